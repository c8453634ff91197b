#include "platform/Clock.h"

#include <langinfo.h>
#include <locale.h>
#include <time.h>

#include "core/UniqueHandle.h"

namespace {

using TUniqueLocale = TUniqueAny<locale_t, &freelocale, nullptr>;

// Composite conversions stand for fixed field sequences; spelled out, their separators show.
std::string_view ExpandComposite(char conversion) noexcept
{
    switch (conversion) {
        case 'D':
            return "%m/%d/%y";
        case 'F':
            return "%Y-%m-%d";
        case 'T':
            return "%H:%M:%S";
        case 'R':
            return "%H:%M";
        case 'r':
            return "%I:%M:%S %p";
        default:
            return {};
    }
}

// Index just past the conversion that starts at format[pos] == '%': flags, width and the E/O
// modifier may precede the conversion character.
std::size_t SkipConversion(std::string_view format, std::size_t pos) noexcept
{
    ++pos;
    while (pos < format.size() && std::string_view("_-0^#+").find(format[pos]) != std::string_view::npos)
        ++pos;
    while (pos < format.size() && format[pos] >= '0' && format[pos] <= '9')
        ++pos;
    if (pos < format.size() && (format[pos] == 'E' || format[pos] == 'O'))
        ++pos;
    return pos < format.size() ? pos + 1 : pos;
}

bool IsAsciiPunctuationOrSpace(char c) noexcept
{
    return c == ' ' || (c >= '!' && c <= '/') || (c >= ':' && c <= '@') || (c >= '[' && c <= '`') ||
           (c >= '{' && c <= '~');
}

}  // namespace

std::u16string FormatFieldSeparator(std::string_view format, std::u16string_view fallback)
{
    const std::size_t first = format.find('%');
    if (first == std::string_view::npos)
        return std::u16string(fallback);
    const std::size_t afterFirst = SkipConversion(format, first);
    const std::string_view composite = ExpandComposite(format[afterFirst - 1]);
    if (!composite.empty())
        return FormatFieldSeparator(composite, fallback);

    const std::size_t second = format.find('%', afterFirst);
    if (second == std::string_view::npos || second - afterFirst != 1 || !IsAsciiPunctuationOrSpace(format[afterFirst]))
        return std::u16string(fallback);
    return std::u16string(1, static_cast<char16_t>(format[afterFirst]));
}

TDateTimeSeparators LocaleDateTimeSeparators(const char* localeName)
{
    // A locale object of our own: the process-wide locale is never switched.
    TUniqueLocale locale(newlocale(LC_TIME_MASK, localeName, static_cast<locale_t>(0)));
    if (!locale)
        return {u"/", u":"};
    return {FormatFieldSeparator(nl_langinfo_l(D_FMT, locale.Get()), u"/"),
            FormatFieldSeparator(nl_langinfo_l(T_FMT, locale.Get()), u":")};
}

const TDateTimeSeparators& UserDateTimeSeparators()
{
    static const TDateTimeSeparators separators = LocaleDateTimeSeparators("");
    return separators;
}

TLocalDateTime LocalNow()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tzset();
    tm local{};
    localtime_r(&now.tv_sec, &local);
    return {local.tm_year + 1900,
            local.tm_mon + 1,
            local.tm_mday,
            local.tm_hour,
            local.tm_min,
            local.tm_sec > 59 ? 59 : local.tm_sec,
            static_cast<int>(now.tv_nsec / 1000000)};
}
