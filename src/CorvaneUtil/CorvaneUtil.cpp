#include "CorvaneUtil/CorvaneUtil.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <span>
#include <thread>

#include "CorvaneUtil/MinuteKeyPieces.h"
#include "Utils/Util.CryptoU.h"
#include "Utils/Util.SecurityU.h"
#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "core/Text.h"
#include "platform/File.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "rtl/DateUtils.h"
#include "rtl/Encoding.h"
#include "rtl/MemoryStream.h"

namespace {

constexpr std::int64_t RotationThreshold = 65536;

// Decimal digits of a non-negative number, zero-padded on the left to width.
template <typename TText>
void AppendPadded(TText& out, int value, std::size_t width)
{
    std::u16string digits = IntToStr(value);
    if (digits.size() < width)
        out.append(width - digits.size(), u'0');
    out += digits;
}

std::u16string WithoutLastExtension(const std::u16string& fileName)
{
    const std::size_t dot = fileName.find_last_of(u'.');
    return dot == std::u16string::npos ? fileName : fileName.substr(0, dot);
}

// The error-log folder under the machine's program data, or the executable's own folder when
// that does not exist. The folder is never created.
std::u16string LogDirectory()
{
    const std::u16string programData = GetEnvironmentVariable(u"PROGRAMDATA").value_or(u"");
    std::u16string candidate = programData;
    for (const char16_t* part : {u"Orvex", u"Common", u"ErrorLog"}) {
        candidate += PathDelimiter;
        candidate += part;
    }
    candidate += PathDelimiter;
    if (DirectoryExists(candidate))
        return candidate;
    return ExtractFilePath(ExecutablePath());
}

bool IsBlankText(const std::u16string& text) noexcept
{
    for (const char16_t c : text) {
        if (c > u' ')
            return false;
    }
    return true;
}

// The same limits on both builds, so a path that one refuses the other refuses too.
bool IsAcceptableLogPath(const std::u16string& path)
{
    if (path.size() > MaxLogPathLength && !IsExtendedLengthPath(path))
        return false;
    if (IsBlankText(path) || !HasValidPathChars(path))
        return false;
    return DirectoryExists(ExtractFilePath(path));
}

// Puts the file back to the size it had before a write that fell short; a record goes in whole or
// not at all, so the next one never starts inside a torn one.
void CutBack(TFile& file, std::int64_t size) noexcept
{
    try {
        file.SetSize(size);
    } catch (const Exception&) {
        // Nothing more to do: what a reader then finds is one damaged stretch, which it reads past.
    }
}

}  // namespace

// The log is opened, or created without truncation, in one call: a writer that finds it just
// rotated away appends to the new one, and one that loses the race to create it never wipes the
// record the winner has just written.
void TCorvaneUtil::AppendToFile(const std::u16string& path, const TSecureBytes& bytes, const TLogStepHook& step)
{
    if (!IsAcceptableLogPath(path))
        throw EOSError(u"Invalid log file path: " + path);
    TFile file(path, TFile::TOpen::LogAppend, [&] { step(TLogStep::AppendOpened); });
    const std::int64_t sizeBefore = file.Seek(0, TSeekOrigin::End);
    const auto size = static_cast<std::int64_t>(bytes.size());
    // Measured under the lock, so writers together never take the log past the cap either.
    if (sizeBefore > LogHardCap - size)
        throw EOSError(u"The log file has reached its size limit: " + path);
    TScopeExit cutBack([&] { CutBack(file, sizeBefore); });
    if (file.Write(bytes.data(), size) != size)
        throw EOSError(u"Short write to the log file: " + path);
    cutBack.Dismiss();
    step(TLogStep::Appended);
}

std::u16string TCorvaneUtil::GetHashMD5String(std::u16string_view srcStr)
{
    const TSecureBytes bytes = TEncoding::UTF8().GetBytes(srcStr);
    TMD5 md5;
    md5.Initialize();
    return LowerHex(md5.Hash(std::span<const std::uint8_t>(bytes.data(), bytes.size())));
}

bool TCorvaneUtil::Encrypt(std::u16string_view targetStr, std::u16string_view keyStr, std::u16string& encryptedStr)
{
    // The block in lines is wiped when it goes; the one line is sized up front, so it never leaves
    // a part of the block behind while it grows.
    std::u16string lines;
    const TScopeExit wipeLines([&lines] { WipeString(lines); });
    if (!TCrypto::GetEncryptedString(targetStr, keyStr, lines)) {
        encryptedStr.clear();
        return false;
    }

    // One line for a command line or a log record: every CR LF pair goes, a lone CR or LF stays.
    std::u16string oneLine;
    oneLine.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == u'\r' && i + 1 < lines.size() && lines[i + 1] == u'\n') {
            ++i;
            continue;
        }
        oneLine.push_back(lines[i]);
    }
    encryptedStr = std::move(oneLine);
    return true;
}

bool TCorvaneUtil::Decrypt(std::u16string_view targetStr, std::u16string_view keyStr, TSecureText& decryptedStr)
{
    return TCrypto::GetDecryptedString(targetStr, keyStr, decryptedStr);
}

void TCorvaneUtil::EncryptParams(const TStringList& paramStrList, std::u16string& encryptedParamStr)
{
    EncryptParams(paramStrList, encryptedParamStr, LocalNow());
}

void TCorvaneUtil::EncryptParams(const TStringList& paramStrList, std::u16string& encryptedParamStr,
                                 const TLocalDateTime& now)
{
    // Every text that holds the items from here on (the copy's items, the list text, the plain
    // block) and the key wipe themselves when they go.
    TStringList copy;
    copy.Assign(paramStrList);
    copy.Delimiter = u' ';

    const TSecureText listText = copy.DelimitedText();
    const std::u16string digest = GetHashMD5String(listText);
    TSecureText plainBlock;
    plainBlock.reserve(digest.size() + listText.size());
    plainBlock.append(digest).append(listText);

    const TSecureText key = GetMinuteKey(now);
    if (!Encrypt(plainBlock, key, encryptedParamStr))
        throw Exception(u"暗号化に失敗");
}

TSecureText TCorvaneUtil::GetMinuteKey(const TLocalDateTime& moment)
{
    // Sized up front, so the key is written once and never moved while it grows.
    TSecureText key;
    key.reserve(2 + 13 + 2 + 4 + 13 + 2 + 2);
    AppendPadded(key, moment.Day, 2);
    key += MinuteKeyPieces::PieceA;
    AppendPadded(key, moment.Minute, 2);
    AppendPadded(key, moment.Year, 4);
    key += MinuteKeyPieces::PieceB;
    AppendPadded(key, moment.Hour, 2);
    AppendPadded(key, moment.Month, 2);
    return key;
}

std::u16string TCorvaneUtil::BuildLogRecord(const std::u16string& body, const TLocalDateTime& moment,
                                            const TDateTimeSeparators& separators)
{
    std::u16string record = u"[";
    AppendPadded(record, moment.Year, 4);
    record += separators.Date;
    AppendPadded(record, moment.Month, 2);
    record += separators.Date;
    AppendPadded(record, moment.Day, 2);
    record += u' ';
    AppendPadded(record, moment.Hour, 2);
    record += separators.Time;
    AppendPadded(record, moment.Minute, 2);
    record += separators.Time;
    AppendPadded(record, moment.Second, 2);
    record += u"] \r\nErrorMsgST/\r\n";
    record += body;
    record += u"\r\n/ErrorMsgED\r\n";
    return record;
}

void TCorvaneUtil::RotateLogFile(const std::u16string& logFileName, const std::u16string& oldLogFileName,
                                 const TLogStepHook& step)
{
    // Measured, checked and moved through one exclusive open, so the file that goes to the old
    // name is the one found due, and no other writer can append to it or move it meanwhile.
    TFile log;
    try {
        log = TFile(logFileName, TFile::TOpen::LogRotate, [&] { step(TLogStep::RotateOpened); });
    } catch (const EOSError& e) {
        // Nothing there, or another writer has just moved it: the append starts a new log.
        if (IsFileNotFound(e))
            return;
        throw;
    }
    if (log.Size() <= RotationThreshold)
        return;
    step(TLogStep::Measured);
    // A log that another writer has already moved aside is that writer's rotation: its old log
    // stays, and the record goes into the new log.
    if (!log.IsAt(logFileName))
        return;
    // Removing a name never touches the file that a link there points to. A file that stays
    // there is not replaced: the move below refuses it.
    (void)DeleteFileAt(oldLogFileName);
    try {
        if (log.MoveNoReplace(logFileName, oldLogFileName))
            step(TLogStep::Rotated);
    } catch (const EOSError&) {
        // Anyone who can write to the folder can leave something undeletable at the old name. The
        // log then stays, and takes records up to the cap rather than none: a planted entry must
        // not silence it. The next write tries the move again.
    }
}

TCorvaneUtil::TLogAppend TCorvaneUtil::AppendLogRecord(const std::u16string& logFileName,
                                                       const std::u16string& oldLogFileName, const TSecureBytes& record,
                                                       const TLogWait& wait, const TLogStepHook& step)
{
    for (int attempt = 1;; ++attempt) {
        try {
            RotateLogFile(logFileName, oldLogFileName, step);
            AppendToFile(logFileName, record, step);
            return TLogAppend::Written;
        } catch (const EOSError& e) {
            if (!IsHeldByAnother(e))
                return TLogAppend::Failed;
        } catch (const Exception&) {
            return TLogAppend::Failed;
        }
        if (!wait(attempt))
            return TLogAppend::Held;
    }
}

TCorvaneUtil::TLogWait TCorvaneUtil::HeldLogWait(const TLogWaitClock& clock)
{
    // The random part needs no strength, only to differ between writers that started together.
    const std::size_t here = reinterpret_cast<std::uintptr_t>(&clock);
    const auto seed = static_cast<std::uint32_t>(
        std::hash<std::thread::id>{}(std::this_thread::get_id()) ^ here ^
        static_cast<std::size_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    return [clock, deadline = clock.Now() + clock.Deadline, random = std::minstd_rand(seed)](int attempt) mutable {
        const auto now = clock.Now();
        if (now >= deadline)
            return false;
        // 1, 2, 4, 8, 16 ms, then 16 ms on: half of it fixed, half of it random.
        const std::chrono::milliseconds longest{std::min<std::int64_t>(
            std::int64_t{1} << std::min(attempt - 1, 4), static_cast<std::int64_t>(MaxHeldLogPause.count()))};
        const auto half = longest.count() / 2;
        const std::chrono::milliseconds pause{half +
                                              static_cast<std::int64_t>(random() % (longest.count() - half + 1))};
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        clock.Sleep(std::min(pause, left));
        return true;
    };
}

void TCorvaneUtil::WriteErrorLog(const std::u16string& errMsg, bool isEncryptMsg) noexcept
{
    // The log is the last resort of error reporting: whatever fails here is dropped silently.
    try {
        // Another writer holds the log only for the moment it takes to append one record, but
        // many may be queued, each slowed by whatever watches the file system.
        WriteErrorLogRecord(errMsg, isEncryptMsg,
                            HeldLogWait({[] { return std::chrono::steady_clock::now(); },
                                         [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); }}),
                            [](TLogStep) {});
    } catch (...) {
    }
}

TCorvaneUtil::TLogAppend TCorvaneUtil::WriteErrorLogRecord(const std::u16string& errMsg, bool isEncryptMsg,
                                                           const TLogWait& wait, const TLogStepHook& step)
{
    const std::u16string directory = LogDirectory();
    const std::u16string baseName = directory + WithoutLastExtension(ExtractFileName(ExecutablePath()));
    const std::u16string logFileName = baseName + u".log";
    const std::u16string oldLogFileName = baseName + u".old";

    std::u16string body;
    if (isEncryptMsg) {
        if (!Encrypt(GetHashMD5String(errMsg) + errMsg, ErrorLogKey, body))
            body = u"エラーメッセージの暗号化に失敗";
    } else {
        body = errMsg;
    }

    const std::u16string record = BuildLogRecord(body, LocalNow(), UserDateTimeSeparators());
    return AppendLogRecord(logFileName, oldLogFileName, TEncoding::ASCII().GetBytes(record), wait, step);
}
