// The C interface of the launching operations (corvane/launch.h). Each function checks its
// arguments, selects the caller's code page for this thread alone, calls the shared operations
// and turns their outcome into a return code; every buffer it frees that held an item or a block
// wipes itself.

#include "corvane/launch.h"

#include <chrono>
#include <limits>
#include <optional>
#include <string>

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/Exceptions.h"
#include "core/SecureZero.h"
#include "launch/Dial.h"
#include "launch/Minute.h"
#include "launch/ParamsBlock.h"
#include "launch/StatusMeaning.h"
#include "launchlib/Boundary.h"
#include "launchlib/Utf8Items.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"

namespace {

// "Without limit" for a timeout of 0: longer than any dial, short enough for any clock's sums.
constexpr auto NoTimeout = std::chrono::hours(24 * 365 * 10);

// The minute of *at, or the local clock's when at is NULL.
TLocalDateTime MinuteOf(const corvane_minute* at)
{
    if (at == nullptr)
        return LocalNow();
    TLocalDateTime moment;
    moment.Year = at->year;
    moment.Month = at->month;
    moment.Day = at->day;
    moment.Hour = at->hour;
    moment.Minute = at->minute;
    if (!IsValidMinute(moment))
        throw EBadArgument{};
    return moment;
}

// The caller's code page for this thread's conversions while it lives.
class TCallerCodePage {
public:
    explicit TCallerCodePage(std::uint32_t codePage) : FScope(Checked(codePage)) {}

private:
    static std::uint32_t Checked(std::uint32_t codePage)
    {
        // An unknown code page is the caller's mistake, not the system's failure.
        if (codePage != 0) {
            try {
                TThreadCodePage probe(codePage);
            } catch (const EOSError&) {
                throw EBadArgument{};
            }
        }
        return codePage;
    }
    TThreadCodePage FScope;
};

// A block as the units hold it, wiped when it goes.
class TBlock {
public:
    TBlock() = default;
    explicit TBlock(std::u16string text) : FText(TSecureText::TakeOver(text)) {}
    static TBlock OfUtf8(const char* text) { return TBlock(TextOfUtf8(text)); }
    // A plain copy for the units that take one; wiped when it goes.
    const std::u16string& Plain()
    {
        FPlain.assign(FText.View());
        return FPlain;
    }
    std::u16string_view View() const { return FText.View(); }
    ~TBlock()
    {
        FPlain.resize(FPlain.capacity());
        SecureZero(FPlain.data(), FPlain.size() * sizeof(char16_t));
    }
    TBlock(const TBlock&) = delete;
    TBlock& operator=(const TBlock&) = delete;

private:
    explicit TBlock(TSecureText text) : FText(std::move(text)) {}
    TSecureText FText;
    std::u16string FPlain;
};

int MakeBlock(const char* const* items, std::size_t itemCount, std::uint32_t codePage, const corvane_minute* at,
              char* block, std::size_t* blockSize)
{
    if (blockSize == nullptr)
        throw EBadArgument{};
    const TStringList list = ItemsOfUtf8(items, itemCount);
    const TLocalDateTime moment = MinuteOf(at);
    const TCallerCodePage scope(codePage);
    const TBlock made(MakeCheckedBlock(list, moment));
    TSecureBytes bytes;
    AppendUtf8Text(bytes, made.View());
    return PutBytes(bytes.data(), bytes.size(), block, blockSize);
}

int ReadBlock(const char* block, std::uint32_t codePage, const corvane_minute* at, char* items, std::size_t* itemsSize,
              std::size_t* itemCount)
{
    if (block == nullptr || itemsSize == nullptr || itemCount == nullptr)
        throw EBadArgument{};
    TBlock given = TBlock::OfUtf8(block);
    const TLocalDateTime moment = MinuteOf(at);
    const TCallerCodePage scope(codePage);
    TStringList list;
    try {
        TCorvaneUtil::DecryptParams(given.Plain(), list, moment);
    } catch (const Exception&) {
        // The dialer's own refusal: neither minute's key decrypts and verifies it.
        return CORVANE_E_BLOCK_REJECTED;
    }
    TSecureBytes bytes;
    for (const TSecureText& item : list.Items())
        AppendUtf8Text(bytes, item.View());
    *itemCount = static_cast<std::size_t>(list.Count());
    return PutBytes(bytes.data(), bytes.size(), items, itemsSize);
}

int Dial(const char* dialerPath, const char* const* items, std::size_t itemCount, std::uint32_t codePage,
         std::uint32_t timeoutMs, std::uint32_t* dialResult)
{
    if (dialResult == nullptr)
        throw EBadArgument{};
    const TSecureText dialerText = TextOfUtf8(dialerPath);
    const std::u16string dialer(dialerText.View());
    const TStringList list = ItemsOfUtf8(items, itemCount);
    std::optional<TBlock> made;
    {
        const TCallerCodePage scope(codePage);
        made.emplace(MakeCheckedBlock(list, LocalNow()));
    }
    TRunOptions options;
    options.Timeout = timeoutMs == 0 ? std::chrono::duration_cast<std::chrono::milliseconds>(NoTimeout)
                                     : std::chrono::milliseconds(timeoutMs);
    // The host's signal handlers are its own; several of its threads may dial at once.
    options.ForwardSignals = false;
    TProgramEnd end;
    try {
        end = RunDialer(dialer, made->Plain(), options);
    } catch (const EOSError&) {
        return CORVANE_E_DIALER_NOT_STARTED;
    }
    if (end.Kind == TProgramEnd::TKind::TimedOut)
        return CORVANE_E_TIMEOUT;
    *dialResult = DialResultOf(end).value_or(CORVANE_DIAL_RESULT_UNKNOWN);
    return CORVANE_OK;
}

int Explain(std::uint32_t dialResult, char* text, std::size_t* textSize)
{
    if (textSize == nullptr)
        throw EBadArgument{};
    TSecureBytes bytes;
    AppendUtf8Text(bytes, DialResultMeaning(dialResult).Text);
    return PutBytes(bytes.data(), bytes.size(), text, textSize);
}

}  // namespace

extern "C" {

CORVANE_LAUNCH_API uint32_t CORVANE_CALL corvane_abi_version(void)
{
    return CORVANE_LAUNCH_ABI_VERSION;
}

CORVANE_LAUNCH_API int CORVANE_CALL corvane_make_block(const char* const* items, size_t item_count, uint32_t code_page,
                                                       const corvane_minute* at, char* block, size_t* block_size)
{
    return Guarded([&] { return MakeBlock(items, item_count, code_page, at, block, block_size); });
}

CORVANE_LAUNCH_API int CORVANE_CALL corvane_read_block(const char* block, uint32_t code_page, const corvane_minute* at,
                                                       char* items, size_t* items_size, size_t* item_count)
{
    return Guarded([&] { return ReadBlock(block, code_page, at, items, items_size, item_count); });
}

CORVANE_LAUNCH_API int CORVANE_CALL corvane_dial(const char* dialer_path, const char* const* items, size_t item_count,
                                                 uint32_t code_page, uint32_t timeout_ms, uint32_t* dial_result)
{
    return Guarded([&] { return Dial(dialer_path, items, item_count, code_page, timeout_ms, dial_result); });
}

CORVANE_LAUNCH_API int CORVANE_CALL corvane_explain(uint32_t dial_result, char* text, size_t* text_size)
{
    return Guarded([&] { return Explain(dial_result, text, text_size); });
}

CORVANE_LAUNCH_API const char* CORVANE_CALL corvane_error_text(int error)
{
    switch (error) {
        case CORVANE_OK:
            return "success";
        case CORVANE_E_INVALID_ARGUMENT:
            return "invalid argument: a NULL where a value is needed, fewer than five items, invalid UTF-8, "
                   "a minute that is no date and time, or an unknown code page";
        case CORVANE_E_BUFFER_TOO_SMALL:
            return "buffer too small: the size needed was returned";
        case CORVANE_E_BLOCK_REJECTED:
            return "block rejected: it does not decrypt and verify under the key of that minute or the minute before";
        case CORVANE_E_NOT_REPRESENTABLE:
            return "an item would not read back as given: the code page cannot hold one of its characters";
        case CORVANE_E_ITEM_HOLDS_NUL:
            return "an item holds U+0000, which ends it when the block is read";
        case CORVANE_E_DIALER_NOT_STARTED:
            return "the dialer could not be started";
        case CORVANE_E_TIMEOUT:
            return "the dialer did not end in time and was stopped with everything it started; the outcome is unknown";
        case CORVANE_E_OUT_OF_MEMORY:
            return "out of memory";
        case CORVANE_E_INTERNAL:
            return "internal error";
        default:
            return "unknown return code";
    }
}

CORVANE_LAUNCH_API void CORVANE_CALL corvane_wipe(void* p, size_t n)
{
    SecureZero(p, n);
}

}  // extern "C"
