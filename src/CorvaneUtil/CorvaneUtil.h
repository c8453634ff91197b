#pragma once
// The dialer's application utilities: the text digest, the minute key, the parameter block
// and the error log.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/Exceptions.h"
#include "core/SecureText.h"
#include "platform/Clock.h"
#include "rtl/StringList.h"

class TStream;

// Why a parameter block was refused.
enum class TParamsRefusal {
    NoArgument,  // no block at all (an empty one counts as none)
    TooShort,    // it decodes to fewer bytes than the smallest block has
    NoKey,       // no key of the minutes tried verifies it
};

// A refused parameter block. The message is the error log's record: "下記文字列の復号化に失敗" and
// lines that describe the block for support without quoting it (its length, its fingerprint, why
// it was refused).
class EParamsRejected : public Exception {
public:
    EParamsRejected(std::u16string message, TParamsRefusal refusal) : Exception(std::move(message)), FRefusal(refusal)
    {
    }
    TParamsRefusal Refusal() const noexcept { return FRefusal; }

private:
    TParamsRefusal FRefusal;
};

// How far a refused block's minute is looked for: the minutes up to Span minutes either side of
// now, nearest first, while TimeIsUp (asked before each minute) says false.
struct TMinuteSearch {
    int Span = 26 * 60;
    std::function<bool()> TimeIsUp;
    // Two seconds on the steady clock from the call on.
    static TMinuteSearch WithinTwoSeconds();
};

// Class-level operations only; never instantiated.
class TCorvaneUtil {
public:
    TCorvaneUtil() = delete;

    // 32 lower-case hexadecimal digits of MD5 over the UTF-8 bytes of srcStr. Raises
    // ENTStatusOSError when the provider refuses.
    static std::u16string GetHashMD5String(std::u16string_view srcStr);
    // Encrypts under keyStr into one line of base64 text (CR LF pairs removed). False and raises
    // as TCrypto's text operations (see there).
    [[nodiscard]] static bool Encrypt(std::u16string_view targetStr, std::u16string_view keyStr,
                                      std::u16string& encryptedStr);
    // Makes the parameter block of the list under the minute key of the local clock; raises
    // Exception "暗号化に失敗" when the engine fails, and what TCrypto raises outside it.
    static void EncryptParams(const TStringList& paramStrList, std::u16string& encryptedParamStr);
    static void EncryptParams(const TStringList& paramStrList, std::u16string& encryptedParamStr,
                              const TLocalDateTime& now);
    // Decrypts one line made by Encrypt. False and raises as TCrypto's text operations.
    [[nodiscard]] static bool Decrypt(std::u16string_view targetStr, std::u16string_view keyStr,
                                      TSecureText& decryptedStr);
    // Reads a parameter block made in this minute or the previous one into the list; raises
    // EParamsRejected, whose message never quotes the block. The list changes only on success.
    static void DecryptParams(const std::u16string& encryptedParamStr, TStringList& paramStrList);
    static void DecryptParams(const std::u16string& encryptedParamStr, TStringList& paramStrList,
                              const TLocalDateTime& now);
    // The same, and for a block that neither minute's key verifies, the minute whose key does is
    // looked for as search says and named in the message (the dialer's record). Every text a key
    // of the search decrypts is wiped.
    static void DecryptParams(const std::u16string& encryptedParamStr, TStringList& paramStrList,
                              const TLocalDateTime& now, const TMinuteSearch& search);
    // A block's fingerprint: the first 16 lower-case hexadecimal digits of SHA-256 over its UTF-8
    // bytes. A launching program can log it to match an error-log record with its call.
    static std::u16string BlockFingerprint(std::u16string_view block);
    // The fixed key of the error log's message bodies; support tools read logs with it.
    static constexpr std::u16string_view ErrorLogKey = u"Tm4pXq&d-Lr8)Hs?Y2=w+;K6";

    // Appends one record to the error log. Never raises. A log that another writer holds is
    // tried again until HeldLogDeadline has passed; after that, or on any other failure, the
    // record is dropped. A log past the rotation threshold that cannot be moved to the old name
    // (something undeletable sits there) still takes records while it is under LogHardCap; the
    // move is tried again on every write.
    static void WriteErrorLog(const std::u16string& errMsg, bool isEncryptMsg) noexcept;

    // How long a writer keeps trying a log that other writers hold. The dialer writes on its way
    // out, and only the launching program waits for it, so seconds are affordable where a
    // dropped record is not.
    static constexpr std::chrono::milliseconds HeldLogDeadline{5000};
    // The size the log never grows past, even when it cannot be rotated.
    static constexpr std::int64_t LogHardCap = 1048576;

    friend struct TCorvaneUtilTestAccess;  // defined by the tests only

private:
    // Decrypts and verifies the container under the key of the moment; the list is set only when
    // it verifies. Every decrypted byte is wiped.
    static bool TryMinute(TStream& container, const TLocalDateTime& moment, TStringList* paramStrList);
    // The offset in minutes from now of the minute whose key verifies the container, or nothing;
    // searched says how many minutes either side were tried in full.
    static std::optional<int> SearchMinute(TStream& container, const TLocalDateTime& now, const TMinuteSearch& search,
                                           int& searched);
    // Joined from the clock and the two constant pieces on every use, in a text that wipes itself.
    static TSecureText GetMinuteKey(const TLocalDateTime& moment);
    // The points of a log write at which another writer can change the log under it; tests step in
    // there to do so.
    enum class TLogStep {
        RotateOpened,  // the log is open for measuring; on POSIX not yet locked
        Measured,      // the log was measured as due, not yet moved
        Rotated,       // the log was moved to the old name
        AppendOpened,  // the log is open for the append; on POSIX not yet locked
        Appended,      // the record is written and the log still held
    };
    using TLogStepHook = std::function<void(TLogStep)>;
    // Called after the n-th attempt (from 1) found the log held: pauses and says whether to try
    // again (false: the record is dropped).
    using TLogWait = std::function<bool(int)>;
    // The clock, the sleep and the deadline of the held-log wait, apart so that tests can run it
    // on a clock of their own, or give writers that a loaded test machine slows a longer deadline.
    struct TLogWaitClock {
        std::function<std::chrono::steady_clock::time_point()> Now;
        std::function<void(std::chrono::milliseconds)> Sleep;
        std::chrono::milliseconds Deadline = HeldLogDeadline;
    };
    // The writers' wait for a held log: pauses that grow from 1 ms to at most MaxHeldLogPause,
    // each with a random part so that writers that met do not meet again, until the deadline
    // (from the moment the wait is made) has passed. The short longest pause keeps a writer that has waited long
    // polling as often as one that has just come, so none is starved by the others.
    static TLogWait HeldLogWait(const TLogWaitClock& clock);
    static constexpr std::chrono::milliseconds MaxHeldLogPause{16};

    // Moves the log to the old name when it has grown past the threshold, replacing the old log.
    // Does nothing when there is no log, when it is not due, when another writer moved it first,
    // or when the move is refused (the log then stays, and LogHardCap bounds it). Raises EOSError
    // when the log cannot be opened (held, refused).
    static void RotateLogFile(const std::u16string& logFileName, const std::u16string& oldLogFileName,
                              const TLogStepHook& step);
    // Appends the bytes whole or not at all; raises EOSError when they do not go in, or would take
    // the file past LogHardCap.
    static void AppendToFile(const std::u16string& path, const TSecureBytes& bytes, const TLogStepHook& step);

    enum class TLogAppend { Written, Held, Failed };
    // Rotates the log when due and appends the record. While another holds the log, wait(n) runs
    // after the n-th failed attempt and the whole step is tried again while it says so; Held when
    // it says no more. step runs at each point of TLogStep reached. Raises nothing but what wait
    // and step raise.
    static TLogAppend AppendLogRecord(const std::u16string& logFileName, const std::u16string& oldLogFileName,
                                      const TSecureBytes& record, const TLogWait& wait, const TLogStepHook& step);
    // WriteErrorLog with the wait for a held log and the steps given and the outcome told; raises
    // what finding the log, encrypting the message, wait or step raise.
    static TLogAppend WriteErrorLogRecord(const std::u16string& errMsg, bool isEncryptMsg, const TLogWait& wait,
                                          const TLogStepHook& step);
    // One log record: the bracketed time stamp with the given separators, then the body between
    // its start and end markers, every line ending in CR LF.
    static std::u16string BuildLogRecord(const std::u16string& body, const TLocalDateTime& moment,
                                         const TDateTimeSeparators& separators);
};
