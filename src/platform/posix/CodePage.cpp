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
#include "core/SecureText.h"
#include "core/Text.h"

// Without a system ANSI code page, UTF-8 stands in for it. Conversions go through iconv and
// never fail: a character the code page cannot represent becomes its default character ("?",
// or U+FFFD encoded for UTF-8), and every byte that cannot be decoded becomes U+FFFD.
//
// The texts may be secrets. iconv converts between two code pages through its own buffer of
// code points, which it frees unwiped; between the code page and its own code points (WCHAR_T)
// it converts in one step, without that buffer. So the text side is turned into code points
// here, in wiping arrays.

namespace {

constexpr std::uint32_t kUtf8CodePage = 65001;

std::atomic<std::uint32_t> GCodePage{kUtf8CodePage};

// iconv's own code points, native 32-bit units.
constexpr const char* kCodePointsName = "WCHAR_T";

using TCodePoints = std::vector<char32_t, TWipingAllocator<char32_t>>;

std::string IconvName(std::uint32_t codePage)
{
    if (codePage == kUtf8CodePage)
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
        entry.Descriptor = direction == TDirection::ToAnsi ? OpenOrRaise(name, kCodePointsName, codePage)
                                                           : OpenOrRaise(kCodePointsName, name, codePage);
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
    bool flushed = false;
    while (!flushed) {
        char* out = reinterpret_cast<char*>(output.data() + unitsUsed);
        std::size_t outLeft = (output.size() - unitsUsed) * sizeof(TUnit);
        const std::size_t outBefore = outLeft;
        char* inPtr = const_cast<char*>(in);
        // With the input used up, one more call writes what a stateful code page still holds.
        const bool flushing = inLeft == 0;
        const std::size_t rc =
            flushing ? iconv(cd, nullptr, nullptr, &out, &outLeft) : iconv(cd, &inPtr, &inLeft, &out, &outLeft);
        const int error = errno;
        unitsUsed += (outBefore - outLeft) / sizeof(TUnit);
        in = inPtr;
        if (rc != static_cast<std::size_t>(-1)) {
            flushed = flushing;
            continue;
        }
        if (error == E2BIG) {
            output.resize(output.size() * 2 + 16);
            continue;
        }
        if (flushing)
            break;
        // EILSEQ (refused) or EINVAL (incomplete at the end): replace and move on.
        if (output.size() - unitsUsed < replacement.size())
            output.resize(output.size() * 2 + replacement.size());
        std::copy(replacement.begin(), replacement.end(), output.begin() + static_cast<std::ptrdiff_t>(unitsUsed));
        unitsUsed += replacement.size();
        const std::size_t skip = std::min(inLeft, skipOf(in, inLeft));
        in += skip;
        inLeft -= skip;
    }
    output.resize(unitsUsed);
}

bool IsHighSurrogate(char32_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

// A surrogate pair becomes one code point; a lone surrogate stays one of its own, which no code
// page can represent.
TCodePoints CodePointsOf(std::u16string_view text)
{
    TCodePoints points;
    points.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            points.push_back(0x10000 + ((char32_t{text[i]} - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else {
            points.push_back(text[i]);
        }
    }
    return points;
}

// Code points that are not characters (none that a code page decodes to) become U+FFFD.
TSecureText TextOf(const TCodePoints& points)
{
    std::size_t length = 0;
    for (const char32_t c : points)
        length += c >= 0x10000 && c <= 0x10FFFF ? 2 : 1;
    TSecureText text;
    text.reserve(length);
    for (char32_t c : points) {
        if (c > 0x10FFFF || IsHighSurrogate(c) || IsLowSurrogate(c))
            c = 0xFFFD;
        if (c >= 0x10000) {
            c -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(c));
        }
    }
    return text;
}

}  // namespace

std::uint32_t AnsiCodePage()
{
    return GCodePage.load();
}

void SetAnsiCodePage(std::uint32_t codePage)
{
    // Both directions must be available before later conversions rely on them.
    const std::string name = IconvName(codePage);
    OpenOrRaise(name, kCodePointsName, codePage);
    OpenOrRaise(kCodePointsName, name, codePage);
    GCodePage.store(codePage);
}

TSecureBytes UnicodeToAnsi(std::u16string_view text)
{
    if (text.empty())
        return {};
    const std::uint32_t codePage = AnsiCodePage();
    const TCodePoints points = CodePointsOf(text);
    TSecureBytes output(text.size() * 3 + 16);
    const iconv_t cd = CachedIconv(TDirection::ToAnsi, codePage);
    // A character the code page lacks becomes one default character.
    static constexpr std::uint8_t utf8Default[] = {0xEF, 0xBF, 0xBD};
    static constexpr std::uint8_t ansiDefault[] = {'?'};
    const std::span<const std::uint8_t> replacement = codePage == kUtf8CodePage
                                                          ? std::span<const std::uint8_t>(utf8Default)
                                                          : std::span<const std::uint8_t>(ansiDefault);
    // A surrogate pair is one code point already, so every refusal passes over one.
    ConvertAll(cd, reinterpret_cast<const char*>(points.data()), points.size() * sizeof(char32_t), output, replacement,
               [](const char*, std::size_t) { return sizeof(char32_t); });
    return output;
}

TSecureText AnsiToUnicode(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    const std::uint32_t codePage = AnsiCodePage();
    const iconv_t cd = CachedIconv(TDirection::FromAnsi, codePage);
    TCodePoints points(size + 16);
    static constexpr char32_t replacement[] = {U'\uFFFD'};
    ConvertAll(cd, reinterpret_cast<const char*>(data), size, points, replacement,
               [](const char*, std::size_t) { return std::size_t{1}; });
    return TextOf(points);
}
