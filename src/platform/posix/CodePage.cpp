#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/Text.h"

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

// Runs iconv over the whole input into output (grown as needed). onInvalid is called at every
// sequence iconv refuses; it appends the replacement and returns how many input bytes to skip.
template <typename Output, typename OnInvalid>
void ConvertAll(iconv_t cd, const char* in, std::size_t inLeft, Output& output, OnInvalid onInvalid)
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
        output.resize(unitsUsed);
        const std::size_t skip = std::min(inLeft, onInvalid(in, inLeft, output));
        unitsUsed = output.size();
        output.resize(unitsUsed + inLeft + 16);
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
    const TUniqueIconv cd = OpenOrRaise(IconvName(codePage), kCodePointsName, codePage);
    const bool utf8 = codePage == kUtf8CodePage;
    ConvertAll(cd.get(), reinterpret_cast<const char*>(points.data()), points.size() * sizeof(char32_t), output,
               [&](const char*, std::size_t, TSecureBytes& out) {
                   // A character the code page lacks becomes one default character.
                   if (utf8) {
                       out.insert(out.end(), {0xEF, 0xBF, 0xBD});
                   } else {
                       out.push_back('?');
                   }
                   return sizeof(char32_t);
               });
    return output;
}

TSecureText AnsiToUnicode(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    const std::uint32_t codePage = AnsiCodePage();
    const TUniqueIconv cd = OpenOrRaise(kCodePointsName, IconvName(codePage), codePage);
    TCodePoints points(size + 16);
    ConvertAll(cd.get(), reinterpret_cast<const char*>(data), size, points,
               [](const char*, std::size_t, TCodePoints& out) {
                   out.push_back(0xFFFD);
                   return std::size_t{1};
               });
    return TextOf(points);
}
