#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "CorvaneUtil/CorvaneUtilTestAccess.h"
#include "Utils/Util.CryptoU.h"
#include "platform/CodePage.h"
#include "support/TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/BcryptTesting.h"
#endif

namespace {

namespace fs = std::filesystem;
using TestSupport::ReadFileBytes;
using TestSupport::TTempDir;
using TestSupport::U16;
using TestSupport::U8;
using TestSupport::WriteFileBytes;

constexpr std::size_t RotationThreshold = 65536;

std::optional<std::string> GetVariable(const char* name)
{
#ifdef _WIN32
    const std::u16string wideName = U16(name);
    wchar_t buffer[32768];
    const DWORD n = GetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wideName.c_str()), buffer, 32768);
    if (n == 0)
        return std::nullopt;
    return U8(std::u16string(reinterpret_cast<const char16_t*>(buffer), n));
#else
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
#endif
}

void SetVariable(const char* name, const std::optional<std::string>& utf8Value)
{
#ifdef _WIN32
    const std::u16string wideName = U16(name);
    const std::u16string wideValue = U16(utf8Value.value_or(""));
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(wideName.c_str()),
                            utf8Value ? reinterpret_cast<const wchar_t*>(wideValue.c_str()) : nullptr);
#else
    if (utf8Value)
        setenv(name, utf8Value->c_str(), 1);
    else
        unsetenv(name);
#endif
}

std::string Content(const fs::path& path)
{
    const TBytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string RegexEscaped(const std::u16string& text)
{
    std::string out;
    for (const char c : U8(text)) {
        if (std::string_view("\\^$.|?*+()[]{}-/").find(c) != std::string_view::npos)
            out.push_back('\\');
        out.push_back(c);
    }
    return out;
}

struct TRecord {
    std::string TimeStamp;
    std::string Body;
};

// Splits a log into records by the exact record layout; fails the test on anything else.
std::vector<TRecord> Records(const std::string& log)
{
    static const std::regex record(R"(\[([^\]\r\n]*)\] \r\nErrorMsgST/\r\n([\s\S]*?)\r\n/ErrorMsgED\r\n)");
    std::vector<TRecord> out;
    std::size_t consumed = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), record); it != std::sregex_iterator(); ++it) {
        EXPECT_EQ(static_cast<std::size_t>(it->position()), consumed) << "something between records";
        out.push_back({(*it)[1].str(), (*it)[2].str()});
        consumed = static_cast<std::size_t>(it->position() + it->length());
    }
    EXPECT_EQ(consumed, log.size()) << "trailing bytes after the last record";
    return out;
}

// PROGRAMDATA points at a folder of the test's own that holds Orvex/Common/ErrorLog.
class ErrorLogTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(FLogDir);
        SetVariable("PROGRAMDATA", U8(FProgramData.Path().u16string()));
    }

    void TearDown() override
    {
        SetVariable("PROGRAMDATA", FSavedProgramData);
#ifndef _WIN32
        BcryptTesting::ClearFailures();
#endif
    }

    std::string LogText() const
    {
        return fs::exists(FLog) ? Content(FLog) : std::string();
    }

    std::optional<std::string> FSavedProgramData = GetVariable("PROGRAMDATA");
    TTempDir FProgramData;
    fs::path FLogDir = FProgramData / "Orvex" / "Common" / "ErrorLog";
    fs::path FLog = FLogDir / "corvane_util_tests.log";
    fs::path FOld = FLogDir / "corvane_util_tests.old";
};

TEST_F(ErrorLogTest, RecordCarriesTimeStampWithUserSeparators)
{
    const TLocalDateTime before = LocalNow();
    TCorvaneUtil::WriteErrorLog(u"plain text", false);
    const TLocalDateTime after = LocalNow();

    const std::vector<TRecord> records = Records(LogText());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Body, "plain text");

    const TDateTimeSeparators& separators = UserDateTimeSeparators();
    const std::string d = RegexEscaped(separators.Date);
    const std::string t = RegexEscaped(separators.Time);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        records[0].TimeStamp, m,
        std::regex("(\\d{4})" + d + "(\\d{2})" + d + "(\\d{2}) (\\d{2})" + t + "(\\d{2})" + t + "(\\d{2})")))
        << records[0].TimeStamp;
    const TLocalDateTime stamped{
        std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]), std::stoi(m[6]), 0};
    auto secondsKey = [](const TLocalDateTime& x) {
        return std::make_tuple(x.Year, x.Month, x.Day, x.Hour, x.Minute, x.Second);
    };
    EXPECT_LE(secondsKey(before), secondsKey(stamped));
    EXPECT_LE(secondsKey(stamped), secondsKey(after));
}

struct TStampCase {
    const char* Name;
    TDateTimeSeparators Separators;
    const char* FirstLine;
};

class LogRecordLayout : public testing::TestWithParam<TStampCase> {};

TEST_P(LogRecordLayout, FormatsTimeStampWithGivenSeparators)
{
    const TStampCase& c = GetParam();
    const std::u16string record =
        TCorvaneUtilTestAccess::BuildLogRecord(u"body\r\nline", {2024, 3, 5, 7, 8, 9, 654}, c.Separators);
    EXPECT_EQ(U8(record), std::string(c.FirstLine) + " \r\nErrorMsgST/\r\nbody\r\nline\r\n/ErrorMsgED\r\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, LogRecordLayout,
                         testing::Values(TStampCase{"SlashColon", {u"/", u":"}, "[2024/03/05 07:08:09]"},
                                         TStampCase{"PointColon", {u".", u":"}, "[2024.03.05 07:08:09]"},
                                         TStampCase{"DashPoint", {u"-", u"."}, "[2024-03-05 07.08.09]"},
                                         TStampCase{"EmptyLeftOut", {u"", u""}, "[20240305 070809]"}),
                         [](const testing::TestParamInfo<TStampCase>& info) { return std::string(info.param.Name); });

TEST_F(ErrorLogTest, EncryptedBodyIsOneLineDecryptingToDigestAndMessage)
{
    const std::u16string message = u"decryption failed\r\nAbC+/=";
    TCorvaneUtil::WriteErrorLog(message, true);
    TCorvaneUtil::WriteErrorLog(message, true);

    const std::vector<TRecord> records = Records(LogText());
    ASSERT_EQ(records.size(), 2u);
    for (const TRecord& record : records) {
        EXPECT_EQ(record.Body.find_first_of("\r\n"), std::string::npos);
        TSecureText plain;
        ASSERT_TRUE(TCrypto::GetDecryptedString(U16(record.Body), std::u16string(TCorvaneUtil::ErrorLogKey), plain));
        EXPECT_EQ(U8(plain), U8(TCorvaneUtil::GetHashMD5String(message)) + U8(message));
    }
    // A fresh salt per record.
    EXPECT_NE(records[0].Body, records[1].Body);
}

TEST_F(ErrorLogTest, EncryptedJapaneseMessageKeepsDigestOfOriginal)
{
    const std::u16string message = U16("下記文字列の復号化に失敗\r\nABC");
    TCorvaneUtil::WriteErrorLog(message, true);
    const std::vector<TRecord> records = Records(LogText());
    ASSERT_EQ(records.size(), 1u);
    TSecureText plain;
    ASSERT_TRUE(TCrypto::GetDecryptedString(U16(records[0].Body), std::u16string(TCorvaneUtil::ErrorLogKey), plain));
    EXPECT_EQ(U8(plain.substr(0, 32)), U8(TCorvaneUtil::GetHashMD5String(message)));
    if (AnsiCodePage() == 932 || AnsiCodePage() == 65001) {
        EXPECT_EQ(U8(plain.substr(32)), U8(message));
    }
}

TEST_F(ErrorLogTest, PlainBodyWritesQuestionMarkForNonAscii)
{
    TCorvaneUtil::WriteErrorLog(U16("エラー: 接続\r\nline2 é"), false);
    const std::vector<TRecord> records = Records(LogText());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Body, "???: ??\r\nline2 ?");
}

#ifndef _WIN32
TEST_F(ErrorLogTest, FailedEncryptionWritesFallbackBody)
{
    BcryptTesting::FailCall("BCryptEncrypt", static_cast<std::int32_t>(0xC0000001), 0, -1);
    TCorvaneUtil::WriteErrorLog(u"anything", true);
    const std::vector<TRecord> records = Records(LogText());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Body, std::string(15, '?'));
}
#endif

struct TRotationCase {
    const char* Name;
    std::size_t Size;
    bool Rotated;
};

class LogRotation : public ErrorLogTest, public testing::WithParamInterface<TRotationCase> {};

TEST_P(LogRotation, MovesLogAsideOnlyWhenLargerThanThreshold)
{
    const TRotationCase& c = GetParam();
    const std::string previous(c.Size, 'p');
    WriteFileBytes(FLog, previous);
    TCorvaneUtil::WriteErrorLog(u"after", false);

    const std::string log = LogText();
    if (c.Rotated) {
        EXPECT_EQ(Content(FOld), previous);
        EXPECT_EQ(Records(log).size(), 1u);
    } else {
        EXPECT_FALSE(fs::exists(FOld));
        ASSERT_GT(log.size(), previous.size());
        EXPECT_EQ(log.substr(0, previous.size()), previous);
        EXPECT_EQ(Records(log.substr(previous.size())).size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LogRotation,
                         testing::Values(TRotationCase{"KeepsLogOfExactlyThreshold", RotationThreshold, false},
                                         TRotationCase{"MovesLogOneByteOver", RotationThreshold + 1, true},
                                         TRotationCase{"KeepsSmallLog", 10, false}),
                         [](const testing::TestParamInfo<TRotationCase>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(ErrorLogTest, RotationReplacesEarlierOldLog)
{
    WriteFileBytes(FOld, "earlier old log");
    const std::string previous(RotationThreshold + 1, 'q');
    WriteFileBytes(FLog, previous);
    TCorvaneUtil::WriteErrorLog(u"after", false);
    EXPECT_EQ(Content(FOld), previous);
    EXPECT_EQ(Records(LogText()).size(), 1u);
}

// Anyone who can write to the folder can plant something undeletable at the old name. The log
// then keeps taking records up to the cap, and rotates as soon as the name is free again.
TEST_F(ErrorLogTest, OldLogThatCannotBeDeletedKeepsTheLogTakingRecordsUpToTheCap)
{
    fs::create_directory(FOld);
    WriteFileBytes(FOld / "inside", "x");
    const std::string previous(RotationThreshold + 1, 'r');
    WriteFileBytes(FLog, previous);

    TCorvaneUtil::WriteErrorLog(u"kept", false);
    const std::string log = LogText();
    ASSERT_GT(log.size(), previous.size());
    EXPECT_EQ(log.substr(0, previous.size()), previous);
    EXPECT_EQ(Records(log.substr(previous.size())).size(), 1u);
    EXPECT_TRUE(fs::is_directory(FOld));

    const std::string record = "record\r\n";
    const auto append = [&] {
        return TCorvaneUtilTestAccess::AppendLogRecord(FLog.u16string(), FOld.u16string(),
                                                       TSecureBytes(record.begin(), record.end()), [](int) {});
    };
    const std::string nearCap(static_cast<std::size_t>(TCorvaneUtil::LogHardCap) - record.size(), 'c');
    WriteFileBytes(FLog, nearCap);
    EXPECT_EQ(append(), TCorvaneUtilTestAccess::TLogAppend::Written);
    EXPECT_EQ(LogText(), nearCap + record);
    EXPECT_EQ(append(), TCorvaneUtilTestAccess::TLogAppend::Failed);
    EXPECT_EQ(LogText(), nearCap + record) << "the log grew past its cap";

    fs::remove_all(FOld);
    EXPECT_EQ(append(), TCorvaneUtilTestAccess::TLogAppend::Written);
    EXPECT_EQ(Content(FOld), nearCap + record);
    EXPECT_EQ(LogText(), record);
}

TEST_F(ErrorLogTest, RotateLogFileLeavesTheLogWhenTheMoveIsRefused)
{
    fs::create_directory(FOld);
    WriteFileBytes(FOld / "inside", "x");
    const std::string previous(RotationThreshold + 1, 's');
    WriteFileBytes(FLog, previous);
    EXPECT_NO_THROW(TCorvaneUtilTestAccess::RotateLogFile(FLog.u16string(), FOld.u16string()));
    EXPECT_EQ(LogText(), previous);
    EXPECT_TRUE(fs::is_directory(FOld));
    EXPECT_NO_THROW(TCorvaneUtilTestAccess::RotateLogFile((FLogDir / "missing.log").u16string(), FOld.u16string()));
}

// Holds the log open the way another writer would: an exclusive lock of its own.
class THeldFile {
public:
    explicit THeldFile(const fs::path& path)
    {
#ifdef _WIN32
        FHandle = CreateFileW(path.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(FHandle, INVALID_HANDLE_VALUE);
#else
        FHandle = open(path.c_str(), O_RDWR | O_CLOEXEC);
        EXPECT_GE(FHandle, 0);
        EXPECT_EQ(flock(FHandle, LOCK_EX | LOCK_NB), 0);
#endif
    }
    ~THeldFile()
    {
#ifdef _WIN32
        CloseHandle(FHandle);
#else
        close(FHandle);
#endif
    }
    THeldFile(const THeldFile&) = delete;
    THeldFile& operator=(const THeldFile&) = delete;

private:
#ifdef _WIN32
    HANDLE FHandle;
#else
    int FHandle;
#endif
};

TEST_F(ErrorLogTest, LockedLogDropsRecordWithoutRaising)
{
    for (const std::size_t size : {std::size_t{12}, RotationThreshold + 1}) {
        const std::string previous(size, 'h');
        WriteFileBytes(FLog, previous);
        {
            THeldFile held(FLog);
            TCorvaneUtil::WriteErrorLog(u"dropped", true);
            TCorvaneUtil::WriteErrorLog(u"dropped", false);
        }
        EXPECT_EQ(LogText(), previous);
        EXPECT_FALSE(fs::exists(FOld));
    }
    TCorvaneUtil::WriteErrorLog(u"written once free", false);
    EXPECT_EQ(Records(LogText()).size(), 1u);
}

TSecureBytes RecordBytes(std::string_view text)
{
    return TSecureBytes(text.begin(), text.end());
}

long long HeldLogDeadlineMs()
{
    return static_cast<long long>(TCorvaneUtil::HeldLogDeadline.count());
}

TEST_F(ErrorLogTest, HeldLogIsTriedAgainAndTakesTheRecordOnceReleased)
{
    WriteFileBytes(FLog, "before\r\n");
    auto held = std::make_unique<THeldFile>(FLog);
    std::vector<int> pauses;
    const auto outcome = TCorvaneUtilTestAccess::AppendLogRecord(FLog.u16string(), FOld.u16string(),
                                                                 RecordBytes("after\r\n"), [&](int attempt) {
                                                                     pauses.push_back(attempt);
                                                                     if (attempt == 2)
                                                                         held.reset();
                                                                 });
    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Written);
    EXPECT_EQ(pauses, (std::vector<int>{1, 2}));
    EXPECT_EQ(LogText(), "before\r\nafter\r\n");
}

TEST_F(ErrorLogTest, LogHeldThroughEveryAttemptDropsTheRecord)
{
    for (const std::size_t size : {std::size_t{12}, RotationThreshold + 1}) {
        const std::string previous(size, 'h');
        WriteFileBytes(FLog, previous);
        int pauses = 0;
        {
            const THeldFile held(FLog);
            const auto outcome = TCorvaneUtilTestAccess::AppendLogRecord(FLog.u16string(), FOld.u16string(),
                                                                         RecordBytes("x\r\n"), [&](int) { ++pauses; });
            EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Held);
        }
        EXPECT_EQ(pauses, TCorvaneUtilTestAccess::LogAttempts - 1);
        EXPECT_EQ(Content(FLog), previous);
        EXPECT_FALSE(fs::exists(FOld));
    }
}

TEST_F(ErrorLogTest, OtherFailuresAreNotTriedAgain)
{
    fs::create_directory(FLog);
    WriteFileBytes(FLog / "inside", "x");
    int pauses = 0;
    const auto outcome = TCorvaneUtilTestAccess::AppendLogRecord(FLog.u16string(), FOld.u16string(),
                                                                 RecordBytes("x\r\n"), [&](int) { ++pauses; });
    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Failed);
    EXPECT_EQ(pauses, 0);
}

// The dialer's own wait, on a clock of the test's: it keeps trying for the whole deadline, seconds
// rather than milliseconds, and never pauses so long that writers arriving later get in first.
TEST_F(ErrorLogTest, HeldLogIsTriedUntilTheDeadlineInShortPauses)
{
    WriteFileBytes(FLog, "before\r\n");
    auto held = std::make_unique<THeldFile>(FLog);
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    const auto start = now;
    std::vector<std::chrono::milliseconds> pauses;
    const auto wait = TCorvaneUtilTestAccess::HeldLogWait({[&] { return now; },
                                                           [&](std::chrono::milliseconds pause) {
                                                               pauses.push_back(pause);
                                                               now += pause;
                                                           }});
    const auto outcome = TCorvaneUtilTestAccess::AppendLogRecordWaiting(
        FLog.u16string(), FOld.u16string(), RecordBytes("x\r\n"), wait, [](TCorvaneUtilTestAccess::TLogStep) {});
    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Held);
    EXPECT_EQ(now - start, TCorvaneUtil::HeldLogDeadline);
    EXPECT_GE(TCorvaneUtil::HeldLogDeadline, std::chrono::seconds(2));
    ASSERT_FALSE(pauses.empty());
    EXPECT_LE(pauses.front(), std::chrono::milliseconds(1));
    for (const auto pause : pauses)
        EXPECT_LE(pause, TCorvaneUtilTestAccess::MaxHeldLogPause);
    EXPECT_GT(pauses.size(),
              static_cast<std::size_t>(HeldLogDeadlineMs() / TCorvaneUtilTestAccess::MaxHeldLogPause.count()));
    // Windows: the hold shares no reading either.
    held.reset();
    EXPECT_EQ(Content(FLog), "before\r\n");
}

// --- another writer at the points where it can change the log -------------------------------

using TLogStep = TCorvaneUtilTestAccess::TLogStep;

struct TRaceCase {
    const char* Name;
    TLogStep Step;
    std::size_t LogSize;  // the log before the write: due for rotation, or not
};

// At the step, another writer rotates the log as far as a writer can: it moves the log to a name
// of its own and starts a new one with a record. On POSIX it can (the lock is advisory); on
// Windows the writer's handle shares no delete access, so the move is refused there and then.
class LogRace : public ErrorLogTest, public testing::WithParamInterface<TRaceCase> {};

TEST_P(LogRace, WriterMovesOnlyTheLogItMeasuredAndAppendsToTheLogAtTheName)
{
    const TRaceCase& c = GetParam();
    const std::string previous(c.LogSize, 'p');
    WriteFileBytes(FLog, previous);
    WriteFileBytes(FOld, "earlier old log\r\n");
    const fs::path moved = FLogDir / "moved-by-another.log";
    bool acted = false;
    bool moveRefused = false;
    const auto outcome = TCorvaneUtilTestAccess::AppendLogRecord(
        FLog.u16string(), FOld.u16string(), RecordBytes("record\r\n"), [](int) {},
        [&](TLogStep reached) {
            if (reached != c.Step || acted)
                return;
            acted = true;
            std::error_code error;
            fs::rename(FLog, moved, error);
            moveRefused = static_cast<bool>(error);
            if (!moveRefused)
                WriteFileBytes(FLog, "fresh\r\n");
        });
    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Written);
    EXPECT_TRUE(acted);
#ifdef _WIN32
    const bool due = c.LogSize > RotationThreshold;
    EXPECT_TRUE(moveRefused) << "the log was moved while a writer held it";
    EXPECT_FALSE(fs::exists(moved));
    EXPECT_EQ(LogText(), due ? "record\r\n" : previous + "record\r\n");
    EXPECT_EQ(Content(FOld), due ? previous : "earlier old log\r\n");
#else
    ASSERT_FALSE(moveRefused);
    // What the other writer moved stays as it left it, the old log too; the record goes into the
    // log that now has the name.
    EXPECT_EQ(Content(moved), previous);
    EXPECT_EQ(Content(FOld), "earlier old log\r\n");
    EXPECT_EQ(LogText(), "fresh\r\nrecord\r\n");
#endif
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogRace,
    testing::Values(TRaceCase{"MovedBeforeTheRotationLockedIt", TLogStep::RotateOpened, RotationThreshold + 1},
                    TRaceCase{"MovedAfterItWasMeasuredAsDue", TLogStep::Measured, RotationThreshold + 1},
                    TRaceCase{"MovedBeforeTheAppendLockedIt", TLogStep::AppendOpened, 12}),
    [](const testing::TestParamInfo<TRaceCase>& info) { return std::string(info.param.Name); });

// The log is gone when the rotation looks for it (another writer moved it and no one has written
// since): the record starts a new log, and the old log stays.
TEST_F(ErrorLogTest, LogGoneWhenTheRotationLooksStartsANewLog)
{
    WriteFileBytes(FOld, "winner's rotation\r\n");
    const auto outcome = TCorvaneUtilTestAccess::AppendLogRecord(FLog.u16string(), FOld.u16string(),
                                                                 RecordBytes("record\r\n"), [](int) {});
    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Written);
    EXPECT_EQ(LogText(), "record\r\n");
    EXPECT_EQ(Content(FOld), "winner's rotation\r\n");
}

// --- what other users can put at the log's names ----------------------------------------------

enum class TPlant { SymbolicLink, HardLink };

struct TPlantCase {
    const char* Name;
    TPlant Plant;
    bool AtOldName;  // at the .old name beside a log due for rotation, or at the .log name
};

class LogNamePlant : public ErrorLogTest, public testing::WithParamInterface<TPlantCase> {
protected:
    TTempDir FUserDir;
    fs::path FVictim = FUserDir / "victim.txt";
};

TEST_P(LogNamePlant, NothingIsWrittenMovedOrRemovedThroughALink)
{
    const TPlantCase& c = GetParam();
    // Larger than the threshold, so that a log followed through the link would be rotated away.
    const std::string victim(RotationThreshold + 100, 'v');
    WriteFileBytes(FVictim, victim);
    const std::string previous(RotationThreshold + 1, 'p');
    if (c.AtOldName)
        WriteFileBytes(FLog, previous);
    const fs::path planted = c.AtOldName ? FOld : FLog;
    std::error_code error;
    if (c.Plant == TPlant::SymbolicLink)
        fs::create_symlink(FVictim, planted, error);
    else
        fs::create_hard_link(FVictim, planted, error);
    if (error && TestSupport::RunningUnderWine())
        GTEST_SKIP() << "Wine cannot make this link (" << error.message()
                     << "); a Unix link made under the prefix is followed by Wine itself and shows no reparse point";
    ASSERT_FALSE(error) << error.message();

    TCorvaneUtil::WriteErrorLog(u"record", false);

    EXPECT_EQ(Content(FVictim), victim);
    if (c.AtOldName) {
        // Only the name goes: the log is rotated as usual, and the file it named stays untouched.
        EXPECT_EQ(Content(FOld), previous);
        EXPECT_EQ(Records(LogText()).size(), 1u);
    } else {
        // Refused: no record, no rotation, and the planted name left as it was.
        EXPECT_FALSE(fs::exists(FOld));
        EXPECT_EQ(fs::is_symlink(fs::symlink_status(FLog)), c.Plant == TPlant::SymbolicLink);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, LogNamePlant,
                         testing::Values(TPlantCase{"SymbolicLinkAtTheLog", TPlant::SymbolicLink, false},
                                         TPlantCase{"HardLinkAtTheLog", TPlant::HardLink, false},
                                         TPlantCase{"SymbolicLinkAtTheOldLog", TPlant::SymbolicLink, true},
                                         TPlantCase{"HardLinkAtTheOldLog", TPlant::HardLink, true}),
                         [](const testing::TestParamInfo<TPlantCase>& info) { return std::string(info.param.Name); });

#ifndef _WIN32
// Another user plants a dangling link at the log's name just after this writer rotated the log
// away: the append makes nothing at the link's target, and the link stays as it was.
TEST_F(ErrorLogTest, DanglingLinkPlantedAfterTheRotationCreatesNothingAtItsTarget)
{
    WriteFileBytes(FLog, std::string(RotationThreshold + 1, 'p'));
    TTempDir userDir;
    const fs::path target = userDir / "made-by-the-dialer";
    const auto outcome = TCorvaneUtilTestAccess::AppendLogRecord(
        FLog.u16string(), FOld.u16string(), RecordBytes("record\r\n"), [](int) {},
        [&](TLogStep reached) {
            if (reached == TLogStep::Rotated)
                fs::create_symlink(target, FLog);
        });
    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Failed);
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(FLog)));
}

// A second user of the machine appends to the log the first one made: the new log lets the
// folder's group write, whatever the creator's umask.
TEST_F(ErrorLogTest, NewLogLetsTheGroupAppendWhateverTheUmask)
{
    for (const mode_t mask : {mode_t{022}, mode_t{077}}) {
        fs::remove(FLog);
        const mode_t saved = ::umask(mask);
        TCorvaneUtil::WriteErrorLog(u"first", false);
        ::umask(saved);
        struct stat status {};
        ASSERT_EQ(::stat(FLog.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0660u) << "umask " << mask;
    }
    // A log someone set up otherwise keeps its mode.
    ASSERT_EQ(::chmod(FLog.c_str(), 0640), 0);
    TCorvaneUtil::WriteErrorLog(u"second", false);
    struct stat status {};
    ASSERT_EQ(::stat(FLog.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);
    EXPECT_EQ(Records(LogText()).size(), 2u);
}

TEST_F(ErrorLogTest, FifoAtTheLogNameTakesNoRecordAndDoesNotBlock)
{
    ASSERT_EQ(mkfifo(FLog.c_str(), 0666), 0);
    const auto outcome = TCorvaneUtilTestAccess::AppendLogRecord(FLog.u16string(), FOld.u16string(),
                                                                 RecordBytes("record\r\n"), [](int) {});
    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Failed);
    EXPECT_FALSE(fs::exists(FOld));
}
#endif

// --- a write that falls short ------------------------------------------------------------------

#ifndef _WIN32
TSecureBytes FramedRecord(std::size_t bodySize)
{
    return RecordBytes("[2026/12/11 04:00:00] \r\nErrorMsgST/\r\n" + std::string(bodySize, 'b') +
                       "\r\n/ErrorMsgED\r\n");
}

// A small file system of its own, mounted for the test and gone with it.
class TSmallTmpfs {
public:
    explicit TSmallTmpfs(const fs::path& at) : FAt(at)
    {
        if (::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=64k") != 0)
            FError = std::strerror(errno);
    }
    ~TSmallTmpfs()
    {
        if (FError.empty())
            ::umount2(FAt.c_str(), MNT_DETACH);
    }
    TSmallTmpfs(const TSmallTmpfs&) = delete;
    TSmallTmpfs& operator=(const TSmallTmpfs&) = delete;
    const std::string& Error() const noexcept { return FError; }

private:
    fs::path FAt;
    std::string FError;
};

// Fills the file system up: every free page goes to one file.
void FillUp(const fs::path& filler)
{
    const int fd = open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    const std::string chunk(4096, 'f');
    while (write(fd, chunk.data(), chunk.size()) > 0) {
    }
    EXPECT_EQ(errno, ENOSPC);
    close(fd);
}

TEST(ErrorLogFullDisk, RecordThatDoesNotFitIsCutBackAndTheNextGoesInWhole)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    TTempDir mountPoint;
    TSmallTmpfs tmpfs(mountPoint.Path());
    if (!tmpfs.Error().empty())
        GTEST_SKIP() << "cannot mount a small tmpfs: " << tmpfs.Error();
    const fs::path log = mountPoint / "full.log";
    const fs::path old = mountPoint / "full.old";
    const TSecureBytes record = FramedRecord(300);
    // The log's last page keeps room for all of the record but five bytes.
    const long page = sysconf(_SC_PAGESIZE);
    const std::string previous(static_cast<std::size_t>(page) - (record.size() - 5), 'p');
    WriteFileBytes(log, previous);
    ASSERT_NO_FATAL_FAILURE(FillUp(mountPoint / "filler"));

    EXPECT_EQ(TCorvaneUtilTestAccess::AppendLogRecord(log.u16string(), old.u16string(), record, [](int) {}),
              TCorvaneUtilTestAccess::TLogAppend::Failed);
    EXPECT_EQ(Content(log), previous) << "a torn record was left in the log";

    fs::remove(mountPoint / "filler");
    EXPECT_EQ(TCorvaneUtilTestAccess::AppendLogRecord(log.u16string(), old.u16string(), record, [](int) {}),
              TCorvaneUtilTestAccess::TLogAppend::Written);
    EXPECT_EQ(Content(log), previous + std::string(record.begin(), record.end()));
}

// The same without root: a file-size limit cuts the write short just as a full disk does.
TEST(ErrorLogFullDisk, RecordCutShortByAFileSizeLimitIsCutBack)
{
    TTempDir dir;
    const fs::path log = dir / "limited.log";
    const TSecureBytes record = FramedRecord(300);
    const std::string previous(1000, 'p');
    WriteFileBytes(log, previous);

    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved;
    limited.rlim_cur = previous.size() + record.size() - 5;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const auto outcome =
        TCorvaneUtilTestAccess::AppendLogRecord(log.u16string(), (dir / "limited.old").u16string(), record, [](int) {});
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedHandler);

    EXPECT_EQ(outcome, TCorvaneUtilTestAccess::TLogAppend::Failed);
    EXPECT_EQ(Content(log), previous);
}
#endif

struct TPathLengthCase {
    const char* Name;
    std::size_t Length;
    bool Written;
};

class LogPathLength : public ErrorLogTest, public testing::WithParamInterface<TPathLengthCase> {};

TEST_P(LogPathLength, RefusesPathsOfMaxPathOrLonger)
{
    const TPathLengthCase& c = GetParam();
    // A program-data folder whose name pads the log path to the wanted length.
    const std::u16string suffix = (fs::path("Orvex") / "Common" / "ErrorLog" / "corvane_util_tests.log").u16string();
    const std::size_t fixed = FProgramData.Path().u16string().size() + 1 + 1 + suffix.size();
    ASSERT_LT(fixed, c.Length);
    const fs::path programData = FProgramData / std::string(c.Length - fixed, 'd');
    const fs::path log = programData / "Orvex" / "Common" / "ErrorLog" / "corvane_util_tests.log";
    ASSERT_EQ(log.u16string().size(), c.Length);
    fs::create_directories(log.parent_path());
    SetVariable("PROGRAMDATA", U8(programData.u16string()));

    TCorvaneUtil::WriteErrorLog(u"long path", false);
    EXPECT_EQ(fs::exists(log), c.Written);
}

INSTANTIATE_TEST_SUITE_P(Cases, LogPathLength,
                         testing::Values(TPathLengthCase{"AcceptsLongestPath", 259, true},
                                         TPathLengthCase{"RefusesMaxPath", 260, false}),
                         [](const testing::TestParamInfo<TPathLengthCase>& info) {
                             return std::string(info.param.Name);
                         });

// One test for every run that writes beside the program, so parallel runs never share that file.
TEST(ErrorLogFallback, WritesBesideProgramWhenProgramDataFolderIsMissing)
{
    const fs::path besideLog = TestSupport::ProgramDir() / "corvane_util_tests.log";
    const fs::path besideOld = TestSupport::ProgramDir() / "corvane_util_tests.old";
    const std::optional<std::string> saved = GetVariable("PROGRAMDATA");
    TTempDir programData;
    fs::remove(besideLog);

    SetVariable("PROGRAMDATA", U8(programData.Path().u16string()));
    TCorvaneUtil::WriteErrorLog(u"first", false);
    EXPECT_FALSE(fs::exists(programData / "Orvex")) << "the log folder must never be created";

    SetVariable("PROGRAMDATA", std::nullopt);
    TCorvaneUtil::WriteErrorLog(u"second", false);
    SetVariable("PROGRAMDATA", saved);

    const std::vector<TRecord> records = Records(fs::exists(besideLog) ? Content(besideLog) : std::string());
    fs::remove(besideLog);
    fs::remove(besideOld);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Body, "first");
    EXPECT_EQ(records[1].Body, "second");
}

}  // namespace
