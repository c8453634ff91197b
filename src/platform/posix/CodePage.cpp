#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "core/SecureMemory.h"
#include "core/SecureText.h"
#include "core/Text.h"
#include "core/Utf8.h"

// Without a system ANSI code page, UTF-8 stands in for it. Conversions never fail: a character
// the code page cannot represent becomes its default character ("?", or U+FFFD encoded for
// UTF-8), and what cannot be decoded becomes U+FFFD: each byte the code page refuses, and under
// UTF-8 each maximal subpart of an ill-formed sequence.
//
// UTF-8, the usual case, is converted here; other code pages go through iconv. The texts may be
// secrets. iconv converts between two code pages through its own buffer of code points, which it
// frees unwiped; between the code page and its own code points (WCHAR_T) it converts in one step,
// without that buffer. So the text side is turned into code points here, in wiping arrays.
//
// UTF-8 decodes by the Unicode Standard's recommended practice, which Python's and the WHATWG
// decoders follow (the tests compare with Python's): each maximal subpart of an ill-formed
// sequence becomes one U+FFFD (core/Utf8.h). iconv's own UTF-8 converter does not: it refuses
// one byte at a time and still reads the five- and six-byte forms of the original definition.
// Encoding gives what iconv's encoder gives.
//
// Code pages 1255 and 1258 hold a base character back until they see whether a combining mark
// follows. Before a refused byte's U+FFFD goes out, what iconv holds is written, so that the
// replacement stands where the byte stood.

namespace {

constexpr std::uint32_t Utf8CodePage = 65001;

std::atomic<std::uint32_t> GCodePage{Utf8CodePage};
// This thread's choice over the process's; 0 while none.
thread_local std::uint32_t GThreadCodePage = 0;

// iconv's own code points, native 32-bit units.
constexpr const char* CodePointsName = "WCHAR_T";

using TCodePoints = TSecureVector<char32_t>;

std::string IconvName(std::uint32_t codePage)
{
    if (codePage == Utf8CodePage)
        return "UTF-8";
    return "CP" + std::to_string(codePage);
}

struct TIconvCloser {
    void operator()(iconv_t cd) const noexcept { iconv_close(cd); }
};
using TUniqueIconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, TIconvCloser>;

TUniqueIconv OpenIconv(const std::string& to, const std::string& from)
{
    const iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return nullptr;
    return TUniqueIconv(cd);
}

TUniqueIconv OpenOrRaise(const std::string& to, const std::string& from, std::uint32_t codePage)
{
    TUniqueIconv cd = OpenIconv(to, from);
    if (!cd)
        throw EOSError(u"Code page " + IntToStr(codePage) + u" is not available", static_cast<std::uint32_t>(errno));
    return cd;
}

enum class TDirection { ToAnsi, FromAnsi };

// A descriptor of one direction for the code page it was opened for.
struct TCachedIconv {
    std::uint32_t CodePage = 0;
    TUniqueIconv Descriptor;
};

// The descriptor for a direction under codePage, in its initial state. Opening one costs more
// than most conversions, so each thread keeps one per direction until the code page changes; a
// descriptor carries conversion state, so threads never share one.
iconv_t CachedIconv(TDirection direction, std::uint32_t codePage)
{
    thread_local TCachedIconv cache[2];
    TCachedIconv& entry = cache[direction == TDirection::ToAnsi ? 0 : 1];
    if (!entry.Descriptor || entry.CodePage != codePage) {
        const std::string name = IconvName(codePage);
        entry.Descriptor = direction == TDirection::ToAnsi ? OpenOrRaise(name, CodePointsName, codePage)
                                                           : OpenOrRaise(CodePointsName, name, codePage);
        entry.CodePage = codePage;
    }
    // A conversion that ended early (an allocation that failed) may have left a shift state.
    iconv(entry.Descriptor.get(), nullptr, nullptr, nullptr, nullptr);
    return entry.Descriptor.get();
}

// Runs iconv over the whole input into output (grown as needed). At every sequence iconv refuses,
// replacement goes into the output and skipOf says how many input bytes to pass over. The output
// only ever grows geometrically, so a long run of refused sequences costs linear time.
template <typename Output, typename SkipOf>
void ConvertAll(iconv_t cd, const char* in, std::size_t inLeft, Output& output,
                std::span<const typename Output::value_type> replacement, SkipOf skipOf)
{
    using TUnit = typename Output::value_type;
    std::size_t unitsUsed = 0;
    // One conversion of what is left of the input, or, when writing what a stateful code page
    // still holds, of none (which also returns iconv to its initial state). Returns 0 when iconv
    // took it all, else the error of what it refused.
    const auto convert = [&](bool heldOnly) -> int {
        for (;;) {
            char* out = reinterpret_cast<char*>(output.data() + unitsUsed);
            std::size_t outLeft = (output.size() - unitsUsed) * sizeof(TUnit);
            const std::size_t outBefore = outLeft;
            char* inPtr = const_cast<char*>(in);
            const std::size_t rc =
                heldOnly ? iconv(cd, nullptr, nullptr, &out, &outLeft) : iconv(cd, &inPtr, &inLeft, &out, &outLeft);
            const int error = errno;
            unitsUsed += (outBefore - outLeft) / sizeof(TUnit);
            in = inPtr;
            if (rc != static_cast<std::size_t>(-1))
                return 0;
            if (error != E2BIG)
                return error;
            output.resize(output.size() * 2 + 16);
        }
    };
    while (inLeft > 0 && convert(false) != 0) {
        // EILSEQ (refused) or EINVAL (incomplete at the end): what iconv holds back comes first,
        // then the replacement, and conversion goes on after the refused bytes.
        convert(true);
        if (output.size() - unitsUsed < replacement.size())
            output.resize(output.size() * 2 + replacement.size());
        std::copy(replacement.begin(), replacement.end(), output.begin() + static_cast<std::ptrdiff_t>(unitsUsed));
        unitsUsed += replacement.size();
        const std::size_t skip = std::min(inLeft, skipOf(in, inLeft));
        in += skip;
        inLeft -= skip;
    }
    convert(true);
    output.resize(unitsUsed);
}

// Code points that are no characters (none that a code page decodes to) stand for U+FFFD.
char32_t CharacterOr0xFFFD(char32_t c)
{
    return c > 0x10FFFF || IsSurrogate(c) ? U'\uFFFD' : c;
}

// A surrogate pair becomes one code point; a lone surrogate stays one of its own, which no code
// page can represent.
TCodePoints CodePointsOf(std::u16string_view text)
{
    TCodePoints points;
    points.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
        points.push_back(NextCodePoint(text, i));
    return points;
}

TSecureText TextOf(const TCodePoints& points)
{
    std::size_t length = 0;
    for (const char32_t c : points)
        length += c >= 0x10000 && c <= 0x10FFFF ? 2 : 1;
    TSecureText text;
    text.reserve(length);
    for (const char32_t c : points)
        AppendUtf16(text, CharacterOr0xFFFD(c));
    return text;
}

TSecureBytes Utf8Of(std::u16string_view text)
{
    TSecureBytes bytes;
    bytes.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size();)
        AppendUtf8(bytes, CharacterOr0xFFFD(NextCodePoint(text, i)));
    return bytes;
}

TSecureText TextOfUtf8(const std::uint8_t* data, std::size_t size)
{
    TSecureText text;
    text.reserve(size);
    std::size_t i = 0;
    while (i < size) {
        const TUtf8Sequence sequence = ReadUtf8Sequence(data + i, size - i);
        AppendUtf16(text, sequence.Valid ? sequence.Value : U'\uFFFD');
        i += sequence.Length;
    }
    return text;
}

}  // namespace

std::uint32_t AnsiCodePage()
{
    return GThreadCodePage != 0 ? GThreadCodePage : GCodePage.load();
}

namespace {

// Both directions must be available before later conversions rely on them. The thread's cached
// descriptors are the test, so a library that selects a code page on every call opens each once
// per thread.
void CheckAvailable(std::uint32_t codePage)
{
    if (codePage == Utf8CodePage)
        return;
    CachedIconv(TDirection::ToAnsi, codePage);
    CachedIconv(TDirection::FromAnsi, codePage);
}

}  // namespace

void SetAnsiCodePage(std::uint32_t codePage)
{
    CheckAvailable(codePage);
    GCodePage.store(codePage);
}

TThreadCodePage::TThreadCodePage(std::uint32_t codePage) : FPrevious(GThreadCodePage)
{
    if (codePage == 0)
        return;
    CheckAvailable(codePage);
    GThreadCodePage = codePage;
}

TThreadCodePage::~TThreadCodePage()
{
    GThreadCodePage = FPrevious;
}

TSecureBytes UnicodeToAnsi(std::u16string_view text)
{
    if (text.empty())
        return {};
    const std::uint32_t codePage = AnsiCodePage();
    if (codePage == Utf8CodePage)
        return Utf8Of(text);
    const TCodePoints points = CodePointsOf(text);
    TSecureBytes output(text.size() * 3 + 16);
    const iconv_t cd = CachedIconv(TDirection::ToAnsi, codePage);
    // A character the code page lacks becomes one default character.
    static constexpr std::uint8_t replacement[] = {'?'};
    // A surrogate pair is one code point already, so every refusal passes over one.
    ConvertAll(cd, reinterpret_cast<const char*>(points.data()), points.size() * sizeof(char32_t), output,
               std::span<const std::uint8_t>(replacement), [](const char*, std::size_t) { return sizeof(char32_t); });
    return output;
}

TSecureText AnsiToUnicode(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    const std::uint32_t codePage = AnsiCodePage();
    if (codePage == Utf8CodePage)
        return TextOfUtf8(data, size);
    const iconv_t cd = CachedIconv(TDirection::FromAnsi, codePage);
    TCodePoints points(size + 16);
    static constexpr char32_t replacement[] = {U'\uFFFD'};
    ConvertAll(cd, reinterpret_cast<const char*>(data), size, points, replacement,
               [](const char*, std::size_t) { return std::size_t{1}; });
    return TextOf(points);
}
