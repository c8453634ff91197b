#include "platform/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <memory>
#include <string>

#include "core/Exceptions.h"
#include "core/Text.h"

// Without a system ANSI code page, UTF-8 stands in for it. Conversions go through iconv and
// never fail: a character the code page cannot represent becomes its default character ("?",
// or U+FFFD encoded for UTF-8), and every byte that cannot be decoded becomes U+FFFD.

namespace {

constexpr std::uint32_t kUtf8CodePage = 65001;

std::atomic<std::uint32_t> GCodePage{kUtf8CodePage};

constexpr const char* kUtf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

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

bool IsHighSurrogate(char16_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
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
    OpenOrRaise(name, kUtf16Name, codePage);
    OpenOrRaise(kUtf16Name, name, codePage);
    GCodePage.store(codePage);
}

TSecureBytes UnicodeToAnsi(std::u16string_view text)
{
    if (text.empty())
        return {};
    const std::uint32_t codePage = AnsiCodePage();
    TSecureBytes output(text.size() * 3 + 16);
    const TUniqueIconv cd = OpenOrRaise(IconvName(codePage), kUtf16Name, codePage);
    const bool utf8 = codePage == kUtf8CodePage;
    const char* begin = reinterpret_cast<const char*>(text.data());
    const std::size_t total = text.size() * sizeof(char16_t);
    ConvertAll(cd.get(), begin, total, output, [&](const char* at, std::size_t left, TSecureBytes& out) {
        // A character the code page lacks becomes one default character; a surrogate pair
        // counts as one character.
        if (utf8) {
            out.insert(out.end(), {0xEF, 0xBF, 0xBD});
        } else {
            out.push_back('?');
        }
        const std::size_t index = static_cast<std::size_t>(at - begin) / sizeof(char16_t);
        if (left >= 2 * sizeof(char16_t) && IsHighSurrogate(text[index]) && IsLowSurrogate(text[index + 1]))
            return 2 * sizeof(char16_t);
        return sizeof(char16_t);
    });
    return output;
}

std::u16string AnsiToUnicode(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return {};
    const std::uint32_t codePage = AnsiCodePage();
    const TUniqueIconv cd = OpenOrRaise(kUtf16Name, IconvName(codePage), codePage);
    std::u16string output(size + 16, u'\0');
    ConvertAll(cd.get(), reinterpret_cast<const char*>(data), size, output,
               [](const char*, std::size_t, std::u16string& out) {
                   out.push_back(u'\uFFFD');
                   return std::size_t{1};
               });
    return output;
}
