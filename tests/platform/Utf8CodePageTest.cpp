// The POSIX UTF-8 code page converts without iconv. Decoding follows the Unicode Standard's
// "U+FFFD Substitution of Maximal Subparts": the standard's own examples, and Python's decoder,
// which follows that practice, run as a child process over a generated corpus, are its oracles.
// Encoding must match iconv's own UTF-8 converter byte for byte.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/CodePage.h"
#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

class TUtf8Pin {
public:
    TUtf8Pin() : FSaved(AnsiCodePage()) { SetAnsiCodePage(65001); }
    ~TUtf8Pin() { SetAnsiCodePage(FSaved); }
    TUtf8Pin(const TUtf8Pin&) = delete;
    TUtf8Pin& operator=(const TUtf8Pin&) = delete;

private:
    std::uint32_t FSaved;
};

std::vector<std::uint8_t> IconvEncode(const std::u16string& text)
{
    const iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    std::vector<std::uint8_t> bytes;
    std::size_t at = 0;
    while (at < text.size()) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data() + at));
        std::size_t inLeft = (text.size() - at) * 2;
        std::vector<std::uint8_t> chunk(inLeft * 2 + 4);
        char* out = reinterpret_cast<char*>(chunk.data());
        std::size_t outLeft = chunk.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        chunk.resize(chunk.size() - outLeft);
        bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        at = text.size() - inLeft / 2;
        if (rc == static_cast<std::size_t>(-1)) {
            bytes.insert(bytes.end(), {0xEF, 0xBF, 0xBD});
            ++at;
        }
    }
    iconv_close(cd);
    return bytes;
}

std::u16string Decode(const std::vector<std::uint8_t>& bytes)
{
    const TSecureText text = AnsiToUnicode(bytes.data(), bytes.size());
    return std::u16string(text.data(), text.size());
}

struct TExample {
    const char* Hex;
    std::u16string Text;
};

// The examples of section 3.9 of the Unicode Standard, and the cases its rule decides.
TEST(Utf8CodePage, DecodesTheStandardsExamples)
{
    TUtf8Pin pin;
    const std::u16string r = u"\ufffd";
    const TExample examples[] = {
        // The example that introduces the practice.
        {"61f18080e180c262806380bf64", u"a" + r + r + r + u"b" + r + u"c" + r + r + u"d"},
        // Non-shortest forms, surrogates, other ill-formed sequences, truncated sequences.
        {"c0afe080bff0818241", r + r + r + r + r + r + r + r + u"A"},
        {"eda080edbfbfedaf41", r + r + r + r + r + r + r + r + u"A"},
        {"f4919293ff4180bf42", r + r + r + r + r + u"A" + r + r + u"B"},
        {"e180e2f09192f1bf41", r + r + r + r + u"A"},
        // Past U+10FFFF: no well-formed sequence begins F4 90, so every byte is a subpart.
        {"f4908080", r + r + r + r},
        {"e18041", r + u"A"},
        {"c0af", r + r},
        {"eda080", r + r + r},
        {"e180", r},
        {"f48f", r},
        // The five- and six-byte forms of the original definition begin no sequence at all.
        {"f888808080", r + r + r + r + r},
        {"fc8480808080", r + r + r + r + r + r},
        // Well formed at the edges of each range.
        {"c280dfbfe0a080ed9fbfee8080f0908080f48fbfbf", u"\u0080\u07ff\u0800\ud7ff\ue000\U00010000\U0010ffff"},
    };
    for (const TExample& example : examples)
        EXPECT_EQ(Decode(TestSupport::FromHex(example.Hex)), example.Text) << example.Hex;
}

// Bytes where malformed, overlong, extended and cut sequences are common.
std::vector<std::uint8_t> AwkwardBytes(std::mt19937& random, std::size_t size)
{
    static constexpr std::uint8_t interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1,
                                                   0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3,
                                                   0xF4, 0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFD, 0xFE, 0xFF};
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = random() % 2 ? interesting[random() % std::size(interesting)] : static_cast<std::uint8_t>(random());
    return bytes;
}

// Every string of one or two bytes; every byte from C0 on before each pair of the edges of the
// continuation ranges, with and without one more continuation byte; random awkward strings.
std::vector<std::vector<std::uint8_t>> Corpus()
{
    std::vector<std::vector<std::uint8_t>> corpus;
    for (int first = 0; first < 256; ++first) {
        corpus.push_back({static_cast<std::uint8_t>(first)});
        for (int second = 0; second < 256; ++second)
            corpus.push_back({static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(second)});
    }
    static constexpr std::uint8_t edges[] = {0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xF4};
    for (int lead = 0xC0; lead < 256; ++lead) {
        for (const std::uint8_t second : edges) {
            for (const std::uint8_t third : edges) {
                corpus.push_back({static_cast<std::uint8_t>(lead), second, third});
                corpus.push_back({static_cast<std::uint8_t>(lead), second, third, 0x80});
            }
        }
    }
    std::mt19937 random(12);
    for (int round = 0; round < 20000; ++round)
        corpus.push_back(AwkwardBytes(random, 1 + random() % 24));
    return corpus;
}

// Python's UTF-8 decoder with "replace" substitutes maximal subparts; its result comes back as
// UTF-16LE in hex, one line per input line.
constexpr const char* PythonDecoder =
    "import sys\n"
    "with open(sys.argv[1]) as source, open(sys.argv[2], 'w') as target:\n"
    "    for line in source:\n"
    "        text = bytes.fromhex(line.strip()).decode('utf-8', 'replace')\n"
    "        target.write(text.encode('utf-16-le').hex() + '\\n')\n";

TEST(Utf8CodePage, DecodesAsPythonDoes)
{
    const std::vector<std::vector<std::uint8_t>> corpus = Corpus();
    TestSupport::TTempDir dir;
    {
        std::ofstream source(dir / "corpus.txt");
        for (const auto& bytes : corpus)
            source << TestSupport::ToHex(bytes) << '\n';
    }
    const TestSupport::TCapturedRun run = TestSupport::RunCaptured(
        "python3", {"-c", PythonDecoder, (dir / "corpus.txt").string(), (dir / "decoded.txt").string()});
    ASSERT_EQ(run.ExitCode, 0) << "python3 (scripts/setup installs it): " << run.Err;

    TUtf8Pin pin;
    std::ifstream decoded(dir / "decoded.txt");
    std::string line;
    int mismatches = 0;
    for (const auto& bytes : corpus) {
        ASSERT_TRUE(std::getline(decoded, line)) << "Python decoded fewer strings than it was given";
        const std::u16string text = Decode(bytes);
        const std::string actual =
            TestSupport::ToHex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size() * sizeof(char16_t));
        if (actual != line && ++mismatches <= 10)
            ADD_FAILURE() << TestSupport::ToHex(bytes) << " decodes as " << actual << " (UTF-16LE), Python gives "
                          << line;
    }
    EXPECT_EQ(mismatches, 0) << "of " << corpus.size() << " strings";
}

TEST(Utf8CodePage, EncodesAsIconvDoesWithLoneSurrogates)
{
    TUtf8Pin pin;
    std::mt19937 random(34);
    static constexpr char16_t interesting[] = {u'A', 0x00E9, 0x3042, 0xD800, 0xDBFF, 0xDC00, 0xDFFF, 0xFFFD, 0xFFFF};
    for (int round = 0; round < 20000; ++round) {
        std::u16string text(1 + random() % 16, u'\0');
        for (auto& c : text)
            c = random() % 2 ? interesting[random() % std::size(interesting)] : static_cast<char16_t>(random());
        const TSecureBytes bytes = UnicodeToAnsi(text);
        ASSERT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), IconvEncode(text)) << "round " << round;
    }
}

}  // namespace
