// The corvane tool, each command through a real process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "Utils/Util.CryptoU.h"
#include "platform/CodePage.h"
#include "rtl/FileStream.h"
#include "rtl/MemoryStream.h"
#include "support/ChildProcess.h"
#include "support/JsonReader.h"
#include "support/TestSupport.h"

using namespace TestSupport;

namespace {

TCapturedRun Corvane(const std::vector<std::string>& args, std::string_view input = {},
                     const TEnvironmentChanges& env = {})
{
    return RunCaptured(BuiltProgram("corvane"), args, input, env);
}

// Standard error holds exactly one line, and it says something.
void ExpectOneErrorLine(const TCapturedRun& run)
{
    ASSERT_FALSE(run.Err.empty());
    EXPECT_EQ(run.Err.find('\n'), run.Err.size() - 1) << run.Err;
    EXPECT_TRUE(run.Err.starts_with("corvane: ")) << run.Err;
}

// Records in a log's bytes, counted by their end marks.
std::size_t ParseCount(const std::string& bytes)
{
    std::size_t count = 0;
    for (std::size_t at = bytes.find("/ErrorMsgED\r\n"); at != std::string::npos;
         at = bytes.find("/ErrorMsgED\r\n", at + 1))
        ++count;
    return count;
}

std::string Chomp(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

class CorvaneToolTest : public ::testing::Test {
protected:
    TTempDir FDir;
    const TEnvironmentChanges FKeyEnv{{"CORVANE_TEST_KEY", "correct horse battery staple"}};
};

// --- make-params / read-params ----------------------------------------------------------

TEST_F(CorvaneToolTest, MakeParamsAndReadParamsRoundTripItems)
{
    const std::string items = "C:\\phonebook\\rasphone.pbk\noffice vpn\nuser \"q\"\np@ss, word\n+81 3 1234 5678\n";
    const auto made = Corvane({"make-params", "--at", "2026-03-04 10:15"}, items);
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
    const std::string block = Chomp(made.Out);
    EXPECT_EQ(block.find_first_of("\r\n"), std::string::npos);

    const auto read = Corvane({"read-params", "--at", "2026-03-04 10:15", block});
    ASSERT_EQ(read.ExitCode, 0) << read.Err;
    EXPECT_EQ(read.Out, items);
}

TEST_F(CorvaneToolTest, MakeParamsReadsItemsFromFileWithCrLfLines)
{
    WriteFileBytes(FDir / "items.txt", "a\r\nb c\r\nuser\r\npass\r\nphone\r\n");
    const auto made = Corvane({"make-params", "--at", "2026-03-04 10:15", "--items", (FDir / "items.txt").string()});
    ASSERT_EQ(made.ExitCode, 0) << made.Err;

    TStringList items;
    TCorvaneUtil::DecryptParams(U16(Chomp(made.Out)), items, TLocalDateTime{2026, 3, 4, 10, 15, 30, 0});
    ASSERT_EQ(items.Count(), 5);
    EXPECT_EQ(items.Get(0), u"a");
    EXPECT_EQ(items.Get(1), u"b c");
}

struct TMomentCase {
    const char* Name;
    const char* MadeAt;
    const char* ReadAt;
    bool Accepted;
};

void PrintTo(const TMomentCase& c, std::ostream* os)
{
    *os << "made " << c.MadeAt << ", read " << c.ReadAt;
}

// Five items, as every block needs.
const std::string FiveX = "x\nx\nx\nx\nx\n";

class ParamsMomentTest : public CorvaneToolTest, public ::testing::WithParamInterface<TMomentCase> {};

TEST_P(ParamsMomentTest, BlockIsAcceptedInItsMinuteAndTheNextOnly)
{
    const auto made = Corvane({"make-params", "--at", GetParam().MadeAt}, FiveX);
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
    const auto read = Corvane({"read-params", "--at", GetParam().ReadAt, Chomp(made.Out)});
    if (GetParam().Accepted) {
        EXPECT_EQ(read.ExitCode, 0) << read.Err;
        EXPECT_EQ(read.Out, FiveX);
    } else {
        EXPECT_EQ(read.ExitCode, 1);
        EXPECT_EQ(read.Out, "");
        ExpectOneErrorLine(read);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Moments, ParamsMomentTest,
    ::testing::Values(TMomentCase{"SameMinute", "2026-03-04 10:15", "2026-03-04 10:15", true},
                      TMomentCase{"OneMinuteOld", "2026-03-04 10:15", "2026-03-04 10:16", true},
                      TMomentCase{"TwoMinutesOld", "2026-03-04 10:15", "2026-03-04 10:17", false},
                      TMomentCase{"MadeAMinuteAhead", "2026-03-04 10:15", "2026-03-04 10:14", false},
                      TMomentCase{"OneMinuteOldAcrossNewYear", "2026-12-31 23:59", "2027-01-01 00:00", true},
                      TMomentCase{"TwoMinutesOldAcrossNewYear", "2026-12-31 23:59", "2027-01-01 00:01", false},
                      TMomentCase{"OneMinuteOldOnLeapDay", "2024-02-29 10:15", "2024-02-29 10:16", true},
                      TMomentCase{"OneMinuteOldAfterLeapDayOf2000", "2000-02-29 23:59", "2000-03-01 00:00", true}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CorvaneToolTest, ReadParamsAtNowAcceptsBlockMadeNow)
{
    const auto made = Corvane({"make-params"}, "pb\nentry\nuser\npass\nphone\n");
    ASSERT_EQ(made.ExitCode, 0) << made.Err;
    const auto read = Corvane({"read-params", Chomp(made.Out)});
    EXPECT_EQ(read.ExitCode, 0) << read.Err;
    EXPECT_EQ(read.Out, "pb\nentry\nuser\npass\nphone\n");
}

#ifndef _WIN32
TEST_F(CorvaneToolTest, CodePageOptionCarriesJapaneseItemsForJapaneseWindows)
{
    const std::string items = "pb\n社内VPN\nユーザー\npass\nphone\n";
    const auto made = Corvane({"make-params", "--code-page", "932", "--at", "2026-03-04 10:15"}, items);
    ASSERT_EQ(made.ExitCode, 0) << made.Err;

    // Read as a code page 932 machine reads it: exact.
    const auto same = Corvane({"read-params", "--code-page", "932", "--at", "2026-03-04 10:15", Chomp(made.Out)});
    EXPECT_EQ(same.ExitCode, 0) << same.Err;
    EXPECT_EQ(same.Out, items);

    // Read as UTF-8: the digest was made over the text, so the block still verifies only if the
    // bytes decode to the same text, which Shift_JIS bytes do not.
    const auto utf8 = Corvane({"read-params", "--at", "2026-03-04 10:15", Chomp(made.Out)});
    EXPECT_EQ(utf8.ExitCode, 1);
}
#endif

// --- encrypt / decrypt ------------------------------------------------------------------

struct TTextCase {
    const char* Name;
    std::vector<std::string> Variant;  // --check-data / --utf8
    const char* Layout;
};

void PrintTo(const TTextCase& c, std::ostream* os)
{
    *os << c.Name;
}

class TextVariantTest : public CorvaneToolTest, public ::testing::WithParamInterface<TTextCase> {};

TEST_P(TextVariantTest, EncryptThenDecryptGivesTheTextBack)
{
    const std::string text = std::string(100, 'x') + "\nline two, ASCII only\n";
    std::vector<std::string> encryptArgs{"encrypt", "--key-env", "CORVANE_TEST_KEY", "--layout", GetParam().Layout};
    encryptArgs.insert(encryptArgs.end(), GetParam().Variant.begin(), GetParam().Variant.end());
    const auto encrypted = Corvane(encryptArgs, text, FKeyEnv);
    ASSERT_EQ(encrypted.ExitCode, 0) << encrypted.Err;

    const std::string layout = GetParam().Layout;
    const std::string body = encrypted.Out.substr(0, encrypted.Out.size() - (encrypted.Out.ends_with("\r\n") ? 2 : 1));
    if (layout == "none")
        EXPECT_EQ(body.find("\r\n"), std::string::npos);
    else
        EXPECT_EQ(body.find("\r\n"), 76u);

    std::vector<std::string> decryptArgs{"decrypt", "--key-env", "CORVANE_TEST_KEY"};
    decryptArgs.insert(decryptArgs.end(), GetParam().Variant.begin(), GetParam().Variant.end());
    const auto decrypted = Corvane(decryptArgs, encrypted.Out, FKeyEnv);
    ASSERT_EQ(decrypted.ExitCode, 0) << decrypted.Err;
    EXPECT_EQ(decrypted.Out, text);
}

INSTANTIATE_TEST_SUITE_P(
    AllVariantsAndLayouts, TextVariantTest,
    ::testing::Values(TTextCase{"Ansi_Layout_None", {}, "none"}, TTextCase{"Ansi_Layout_Breaks", {}, "breaks"},
                      TTextCase{"Ansi_Layout_Xe5", {}, "xe5"},
                      TTextCase{"CheckData_Layout_None", {"--check-data"}, "none"},
                      TTextCase{"CheckData_Layout_Breaks", {"--check-data"}, "breaks"},
                      TTextCase{"Utf8_Layout_Xe5", {"--utf8"}, "xe5"},
                      TTextCase{"Utf8_Layout_None", {"--utf8"}, "none"},
                      TTextCase{"CheckDataUtf8_Layout_Breaks", {"--check-data", "--utf8"}, "breaks"},
                      TTextCase{"CheckDataUtf8_Layout_Xe5", {"--check-data", "--utf8"}, "xe5"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CorvaneToolTest, EncryptedTextDecryptsWithTheLibrary)
{
    const auto encrypted =
        Corvane({"encrypt", "--utf8", "--check-data", "--key-env", "CORVANE_TEST_KEY"}, "暗号化に失敗", FKeyEnv);
    ASSERT_EQ(encrypted.ExitCode, 0) << encrypted.Err;
    TSecureText text;
    EXPECT_TRUE(TCrypto::GetDecryptedStringWithCheckData2(U16(encrypted.Out), u"correct horse battery staple", text));
    EXPECT_EQ(text, u"暗号化に失敗");
}

TEST_F(CorvaneToolTest, KeyFileTrailingLineBreakIsNotPartOfTheKey)
{
    WriteFileBytes(FDir / "key", "correct horse battery staple\r\n");
    const auto encrypted = Corvane({"encrypt", "--check-data", "--key-file", (FDir / "key").string()}, "secret");
    ASSERT_EQ(encrypted.ExitCode, 0) << encrypted.Err;
    const auto decrypted =
        Corvane({"decrypt", "--check-data", "--key-env", "CORVANE_TEST_KEY"}, encrypted.Out, FKeyEnv);
    EXPECT_EQ(decrypted.ExitCode, 0) << decrypted.Err;
    EXPECT_EQ(decrypted.Out, "secret");
}

TEST_F(CorvaneToolTest, EmptyKeyIsAValidKey)
{
    WriteFileBytes(FDir / "empty", "");
    const std::string keyFile = (FDir / "empty").string();
    const auto encrypted = Corvane({"encrypt", "--check-data", "--key-file", keyFile}, "text");
    ASSERT_EQ(encrypted.ExitCode, 0) << encrypted.Err;
    const auto decrypted = Corvane({"decrypt", "--check-data", "--key-file", keyFile}, encrypted.Out);
    EXPECT_EQ(decrypted.ExitCode, 0) << decrypted.Err;
    EXPECT_EQ(decrypted.Out, "text");
}

TEST_F(CorvaneToolTest, DecryptWithWrongKeyFailsWithCheckData)
{
    const auto encrypted = Corvane({"encrypt", "--check-data", "--key-env", "CORVANE_TEST_KEY"}, "text", FKeyEnv);
    ASSERT_EQ(encrypted.ExitCode, 0);
    const auto decrypted =
        Corvane({"decrypt", "--check-data", "--key-env", "OTHER_KEY"}, encrypted.Out, {{"OTHER_KEY", "wrong"}});
    EXPECT_EQ(decrypted.ExitCode, 1);
    EXPECT_EQ(decrypted.Out, "");
    ExpectOneErrorLine(decrypted);
}

// --- encrypt-file / decrypt-file ----------------------------------------------------------

TEST_F(CorvaneToolTest, FilesLargerThanOneChunkRoundTripAndMatchTheStreamOperation)
{
    std::string data(3 * 32768 + 123, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 131) >> 3);
    WriteFileBytes(FDir / "plain.bin", data);
    const std::string plain = (FDir / "plain.bin").string();
    const std::string sealed = (FDir / "sealed.bin").string();
    const std::string opened = (FDir / "opened.bin").string();

    const auto enc = Corvane({"encrypt-file", "--key-env", "CORVANE_TEST_KEY", plain, sealed}, {}, FKeyEnv);
    ASSERT_EQ(enc.ExitCode, 0) << enc.Err;
    EXPECT_EQ(enc.Out, "");
    const auto dec = Corvane({"decrypt-file", "--key-env", "CORVANE_TEST_KEY", sealed, opened}, {}, FKeyEnv);
    ASSERT_EQ(dec.ExitCode, 0) << dec.Err;
    const TBytes roundTrip = ReadFileBytes(FDir / "opened.bin");
    EXPECT_EQ(std::string(roundTrip.begin(), roundTrip.end()), data);

    // The container is the one EncryptStream makes: the library opens it, and its length fits.
    const TBytes container = ReadFileBytes(FDir / "sealed.bin");
    EXPECT_EQ(container.size(), 11 + 16 * (data.size() / 16 + 1));
    TMemoryStream source;
    source.WriteBuffer(container.data(), static_cast<std::int64_t>(container.size()));
    const auto decrypted = TCrypto::DecryptStream(source, u"correct horse battery staple");
    EXPECT_EQ(std::string(decrypted->Bytes().begin(), decrypted->Bytes().end()), data);

    // And a container the library wrote opens with the tool.
    TMemoryStream plainStream;
    plainStream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    const auto libraryContainer = TCrypto::EncryptStream(plainStream, u"correct horse battery staple");
    WriteFileBytes(FDir / "library.bin", libraryContainer->Memory(), libraryContainer->Bytes().size());
    const auto dec2 = Corvane({"decrypt-file", "--key-env", "CORVANE_TEST_KEY", (FDir / "library.bin").string(),
                               (FDir / "library.out").string()},
                              {}, FKeyEnv);
    ASSERT_EQ(dec2.ExitCode, 0) << dec2.Err;
    const TBytes libraryRoundTrip = ReadFileBytes(FDir / "library.out");
    EXPECT_EQ(std::string(libraryRoundTrip.begin(), libraryRoundTrip.end()), data);
}

TEST_F(CorvaneToolTest, FailedFileDecryptionLeavesNothingBehind)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "a wrong key without check data is caught by the provider's padding check, which Wine's "
                        "bcrypt does not make";
    WriteFileBytes(FDir / "plain.bin", std::string(70000, 'p'));
    ASSERT_EQ(Corvane({"encrypt-file", "--key-env", "CORVANE_TEST_KEY", (FDir / "plain.bin").string(),
                       (FDir / "sealed.bin").string()},
                      {}, FKeyEnv)
                  .ExitCode,
              0);
    std::filesystem::remove(FDir / "plain.bin");

    const auto dec =
        Corvane({"decrypt-file", "--key-env", "OTHER", (FDir / "sealed.bin").string(), (FDir / "out.bin").string()}, {},
                {{"OTHER", "not the key"}});
    EXPECT_EQ(dec.ExitCode, 1);
    ExpectOneErrorLine(dec);
    // Only the container is left: no output, no temporary with plaintext pieces.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(FDir.Path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"sealed.bin"});
}

#ifndef _WIN32
// A file-size limit makes the write fail, which the tool reports like any failed write: the tool
// itself keeps SIGXFSZ from ending it (the shell sets only the limit).
TEST_F(CorvaneToolTest, FileSizeLimitIsAFailureItReports)
{
    WriteFileBytes(FDir / "plain.bin", std::string(70000, 'p'));
    const auto run =
        RunCaptured("/bin/sh",
                    {"-c", "ulimit -f 1 && exec \"$0\" \"$@\"", BuiltProgram("corvane").string(), "encrypt-file",
                     "--key-env", "CORVANE_TEST_KEY", (FDir / "plain.bin").string(), (FDir / "sealed.bin").string()},
                    {}, FKeyEnv);
    EXPECT_EQ(run.ExitCode, 1);
    ExpectOneErrorLine(run);
    EXPECT_FALSE(std::filesystem::exists(FDir / "sealed.bin"));
}
#endif

// --- digests ------------------------------------------------------------------------------

TEST_F(CorvaneToolTest, DigestsMatchPublishedValues)
{
    // SHA-256("abc") of FIPS 180-4, split between salt and text.
    const auto sha = Corvane({"sha256", "--salt", "a", "bc"});
    EXPECT_EQ(sha.ExitCode, 0);
    EXPECT_EQ(sha.Out, "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=\n");
    // MD5("abc") of RFC 1321.
    const auto md5 = Corvane({"md5", "abc"});
    EXPECT_EQ(md5.ExitCode, 0);
    EXPECT_EQ(md5.Out, "900150983cd24fb0d6963f7d28e17f72\n");
}

// --- usage and failures -------------------------------------------------------------------

struct TUsageCase {
    const char* Name;
    std::vector<std::string> Args;
    int ExitCode;
};

void PrintTo(const TUsageCase& c, std::ostream* os)
{
    *os << "corvane";
    for (const std::string& arg : c.Args)
        *os << ' ' << arg;
}

class UsageTest : public CorvaneToolTest, public ::testing::WithParamInterface<TUsageCase> {};

TEST_P(UsageTest, FailsWithItsExitCodeAndOneErrorLine)
{
    const auto run = Corvane(GetParam().Args, "", FKeyEnv);
    EXPECT_EQ(run.ExitCode, GetParam().ExitCode);
    EXPECT_EQ(run.Out, "");
    ExpectOneErrorLine(run);
}

INSTANTIATE_TEST_SUITE_P(
    BadUsage, UsageTest,
    ::testing::Values(
        TUsageCase{"MissingCommand", {}, 2}, TUsageCase{"UnknownCommand", {"frobnicate"}, 2},
        TUsageCase{"Md5WithoutText", {"md5"}, 2}, TUsageCase{"Md5WithTwoTexts", {"md5", "a", "b"}, 2},
        TUsageCase{"EncryptWithoutKey", {"encrypt"}, 2},
        TUsageCase{"UnknownLayout", {"encrypt", "--key-env", "CORVANE_TEST_KEY", "--layout", "wide"}, 2},
        TUsageCase{"UnknownOption", {"encrypt", "--key-env", "CORVANE_TEST_KEY", "--bogus"}, 2},
        TUsageCase{"TwoKeySources", {"encrypt", "--key-env", "CORVANE_TEST_KEY", "--key-file", "k"}, 2},
        TUsageCase{"ImpossibleDate", {"make-params", "--at", "2026-02-30 10:00"}, 2},
        TUsageCase{"February29OfACommonYear", {"make-params", "--at", "2023-02-29 10:00"}, 2},
        TUsageCase{"February29Of2100", {"read-params", "--at", "2100-02-29 10:00", "bm90IGEgYmxvY2s="}, 2},
        TUsageCase{"AtWithoutMoment", {"make-params", "--at"}, 2},
        TUsageCase{"Sha256WithoutSalt", {"sha256", "text"}, 2},
        TUsageCase{"ReadParamsWithoutBlock", {"read-params"}, 2}, TUsageCase{"ReadLogWithoutFile", {"read-log"}, 2},
        TUsageCase{"UnsetKeyVariable", {"encrypt", "--key-env", "UNSET_CORVANE_VARIABLE"}, 1},
        TUsageCase{"MissingKeyFile", {"encrypt", "--key-file", "/nonexistent/key"}, 1},
        TUsageCase{"UndecryptableBlock", {"read-params", "bm90IGEgYmxvY2s="}, 1},
        TUsageCase{"MissingLog", {"read-log", "/nonexistent/CorvaneDialer.log"}, 1},
        TUsageCase{"MissingInputFile", {"encrypt-file", "--key-env", "CORVANE_TEST_KEY", "/nonexistent/in", "out"}, 1}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(CorvaneToolTest, HelpIsAvailableForTheToolAndEachCommand)
{
    for (const char* command : {"make-params", "read-params", "read-log", "encrypt", "decrypt", "encrypt-file",
                                "decrypt-file", "sha256", "md5", "fingerprint", "dial", "explain"}) {
        const auto run = Corvane({command, "--help"});
        EXPECT_EQ(run.ExitCode, 0) << command;
        EXPECT_TRUE(run.Out.starts_with(std::string("usage: corvane ") + command)) << run.Out;
    }
    const auto tool = Corvane({"--help"});
    EXPECT_EQ(tool.ExitCode, 0);
    EXPECT_NE(tool.Out.find("--code-page 932"), std::string::npos);
}

}  // namespace

// --- read-log -----------------------------------------------------------------------------

namespace {

class ReadLogTest : public CorvaneToolTest {
protected:
    // A log the dialer itself wrote: two runs with blocks that do not decrypt.
    std::filesystem::path DialerWrittenLog()
    {
        const auto logDir = FDir / "ProgramData" / "Orvex" / "Common" / "ErrorLog";
        std::filesystem::create_directories(logDir);
        const TEnvironmentChanges env{{"PROGRAMDATA", (FDir / "ProgramData").string()}};
        for (const char* argument : {"not-a-block", "second"})
            RunCaptured(BuiltProgram("CorvaneDialer"), {argument}, {}, env);
        return logDir / "CorvaneDialer.log";
    }

    static std::string Text(const TBytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

    // A refused argument is told by its fingerprint (SHA-256's first 16 hexadecimal digits), never
    // quoted; the rest of its record is Japanese.
    static constexpr const char* NotABlockFingerprint = "60c1de96e8245873";
    static constexpr const char* SecondFingerprint = "16367aacb67a4a01";
    static bool TellsWithoutQuoting(const std::string& message, const char* fingerprint, const char* argument)
    {
        return message.find(fingerprint) != std::string::npos && message.find(argument) == std::string::npos;
    }

    // The dialer's messages are Japanese; a body carries them in the ANSI code page. Where that
    // cannot hold them (1252 under Wine's C locale) they come back as "?", so the message no longer
    // matches the digest taken over the original: the log reads as digest-mismatch there.
    static const char* DialerRecordStatus()
    {
        const std::uint32_t codePage = AnsiCodePage();
        return codePage == 65001 || codePage == 932 ? "ok" : "digest-mismatch";
    }
};

TEST_F(ReadLogTest, ShowsEveryRecordOfADialerLogWithItsStatus)
{
    const auto log = DialerWrittenLog();
    std::string bytes = Text(ReadFileBytes(log));
    ASSERT_EQ(ParseCount(bytes), 2u) << bytes;

    // Damage the second record's body (still base64), add a plain and a fallback record, and cut a
    // last record short.
    const std::size_t secondBody = bytes.find("ErrorMsgST/\r\n", bytes.find("/ErrorMsgED")) + 13;
    bytes[secondBody + 20] = bytes[secondBody + 20] == 'A' ? 'B' : 'A';
    bytes += "[2026/12/10 10:00:00] \r\nErrorMsgST/\r\nplain text, line one\r\nline two\r\n/ErrorMsgED\r\n";
    bytes += "[2026/12/10 10:00:01] \r\nErrorMsgST/\r\n???????????????\r\n/ErrorMsgED\r\n";
    bytes += "[2026/12/10 10:00:02] \r\nErrorMsgST/\r\nAAAA";
    WriteFileBytes(log, bytes);

    const auto run = Corvane({"read-log", log.string()});
    EXPECT_EQ(run.ExitCode, 1) << run.Err;
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < run.Out.size();) {
        const std::size_t end = run.Out.find('\n', start);
        lines.push_back(run.Out.substr(start, end - start));
        start = end + 1;
    }
    ASSERT_EQ(lines.size(), 5u) << run.Out;
    // The message's Japanese half survives only code pages that hold it, so only its end is checked.
    EXPECT_NE(lines[0].find(std::string("\t") + DialerRecordStatus() + "\t"), std::string::npos) << lines[0];
    EXPECT_TRUE(TellsWithoutQuoting(lines[0], NotABlockFingerprint, "not-a-block")) << lines[0];
    // A changed character either breaks the padding or the digest; both are reported, not hidden.
    EXPECT_TRUE(lines[1].find("\tundecryptable\t") != std::string::npos ||
                lines[1].find("\tdigest-mismatch\t") != std::string::npos)
        << lines[1];
    EXPECT_EQ(lines[2], "2026/12/10 10:00:00\tplain\tplain text, line one\\r\\nline two");
    EXPECT_EQ(lines[3], "2026/12/10 10:00:01\tfallback\t???????????????");
    EXPECT_TRUE(lines[4].starts_with("2026/12/10 10:00:02\ttruncated")) << lines[4];
}

// The fingerprint that support staff and launching programs compute is the one the record holds, the
// block given as an argument or on standard input (its line break not part of it).
TEST_F(ReadLogTest, FingerprintCommandMatchesTheRecord)
{
    const auto log = DialerWrittenLog();
    const auto read = Corvane({"read-log", log.string()});
    for (const auto& [args, input] :
         {std::pair<std::vector<std::string>, std::string>{{"fingerprint", "not-a-block"}, ""},
          std::pair<std::vector<std::string>, std::string>{{"fingerprint"}, "not-a-block\n"},
          std::pair<std::vector<std::string>, std::string>{{"fingerprint"}, "not-a-block\r\n"}}) {
        const auto run = Corvane(args, input);
        EXPECT_EQ(run.ExitCode, 0) << run.Err;
        EXPECT_EQ(run.Out, std::string(NotABlockFingerprint) + "\n");
        EXPECT_NE(read.Out.find(Chomp(run.Out)), std::string::npos) << read.Out;
    }
    // SHA-256("abc") of FIPS 180-4.
    EXPECT_EQ(Corvane({"fingerprint", "abc"}).Out, "ba7816bf8f01cfea\n");
    EXPECT_EQ(Corvane({"fingerprint", "a", "b"}).ExitCode, 2);
}

TEST_F(ReadLogTest, JsonHoldsOneObjectPerRecord)
{
    const auto log = DialerWrittenLog();
    const auto run = Corvane({"read-log", "--json", log.string()});
    const std::string status = DialerRecordStatus();
    EXPECT_EQ(run.ExitCode, status == "ok" ? 0 : 1) << run.Err;
    EXPECT_TRUE(run.Out.starts_with("[\n  {\"time\": \"")) << run.Out;
    EXPECT_NE(run.Out.find("\"status\": \"" + status + "\", \"message\": \""), std::string::npos) << run.Out;
    EXPECT_TRUE(run.Out.ends_with("\"}\n]\n")) << run.Out;

    const TJsonValue records = ParseJson(run.Out);
    ASSERT_EQ(records.Items.size(), 2u) << run.Out;
    for (const TJsonValue& record : records.Items) {
        EXPECT_EQ(record["status"].Text, status);
        EXPECT_FALSE(record["time"].Text.empty());
    }
    EXPECT_TRUE(TellsWithoutQuoting(records.Items[0]["message"].Text, NotABlockFingerprint, "not-a-block")) << run.Out;
    EXPECT_TRUE(TellsWithoutQuoting(records.Items[1]["message"].Text, SecondFingerprint, "second")) << run.Out;
}

// A write that fell short tore the first record and the next one was glued to it (as a writer that
// did not cut its record back would leave it): the torn bytes are one entry, and the whole record
// after them still decrypts.
TEST_F(ReadLogTest, ReadsOnAfterATornRecord)
{
    const auto log = DialerWrittenLog();
    std::string bytes = Text(ReadFileBytes(log));
    const std::size_t secondStart = bytes.find("/ErrorMsgED\r\n") + 13;
    const std::size_t firstBody = bytes.find("ErrorMsgST/\r\n") + 13;
    bytes.erase(firstBody + 30, secondStart - (firstBody + 30));
    WriteFileBytes(log, bytes);

    for (const bool json : {false, true}) {
        std::vector<std::string> args{"read-log"};
        if (json)
            args.push_back("--json");
        args.push_back(log.string());
        const auto run = Corvane(args);
        EXPECT_EQ(run.ExitCode, 1) << run.Err;
        std::vector<std::pair<std::string, std::string>> entries;  // status, message
        if (json) {
            for (const TJsonValue& record : ParseJson(run.Out).Items)
                entries.emplace_back(record["status"].Text, record["message"].Text);
        } else {
            for (std::size_t start = 0; start < run.Out.size();) {
                const std::size_t end = run.Out.find('\n', start);
                const std::string line = run.Out.substr(start, end - start);
                const std::size_t tab = line.find('\t');
                const std::size_t secondTab = line.find('\t', tab + 1);
                entries.emplace_back(line.substr(tab + 1, secondTab - tab - 1), line.substr(secondTab + 1));
                start = end + 1;
            }
        }
        ASSERT_EQ(entries.size(), 2u) << run.Out;
        EXPECT_EQ(entries[0].first, "damaged");
        EXPECT_EQ(entries[0].second, bytes.substr(firstBody, 30));
        EXPECT_EQ(entries[1].first, DialerRecordStatus());
        EXPECT_TRUE(TellsWithoutQuoting(entries[1].second, SecondFingerprint, "second")) << run.Out;
    }
}

}  // namespace
