// No block the heap takes back from the cipher holds the key or the data in clear: the key object
// at destruction and the three buffers of every run are wiped before they are released.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Utils/SecurityU/SecurityTestSupport.h"
#include "dialer/FreedBlockProbe.h"

namespace {

using namespace SecurityTests;

// The shortest run of the secret that counts as a copy.
constexpr std::size_t CopyWindow = 8;

// A destination that only counts what it is given, so that it frees nothing while a watch is on.
class TCountingStream : public TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override
    {
        FWritten += count;
        return count;
    }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return FWritten; }
    void SetSize(std::int64_t) override {}
    std::int64_t Size() override { return FWritten; }

private:
    std::int64_t FWritten = 0;
};

class FreedCipherMemoryTest : public TProviderTest {
protected:
    void SetUp() override
    {
        TProviderTest::SetUp();
        if (const auto reason = FreedBlockProbe::Unavailable())
            GTEST_SKIP() << *reason;
    }
    void TearDown() override
    {
        BcryptTesting::LeaveReleasedKeysInPlace(false);
        TProviderTest::TearDown();
    }

    static TBytes Repeated(const std::u16string& text, std::size_t size)
    {
        TBytes bytes(size);
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<std::uint8_t>(text[i % text.size()]);
        return bytes;
    }
};

TEST_F(FreedCipherMemoryTest, DestructionLeavesNoCopyOfTheKey)
{
    // The provider leaves the released key in the key-object memory: only the cipher wipes it.
    BcryptTesting::LeaveReleasedKeysInPlace(true);
    const std::u16string secret = u"K3y-object-probe-0123456789abcdE";
    const TBytes key = Repeated(secret, 32);
    auto cipher = std::make_unique<TAes256Crypt>();
    cipher->Initialize(key);

    FreedBlockProbe::TWatch watch(secret, CopyWindow);
    cipher.reset();
    EXPECT_EQ(watch.Count(), 0U) << watch.Findings();
}

TEST_F(FreedCipherMemoryTest, RunsLeaveNoCopyOfTheData)
{
    // Two chunks, so that both input buffers hold plain text when an encryption ends; a
    // decryption leaves it in the output buffer.
    const std::u16string secret = u"cipher-buffer-probe!";
    const TBytes plain = Repeated(secret, 32768 + 7000);
    TAes256Crypt cipher;
    cipher.Initialize(TBytes(32, 0x5C));
    TMemoryStream source = StreamOf(plain);
    TMemoryStream encrypted;
    TBytes iv(16, 0);
    {
        FreedBlockProbe::TWatch watch(secret, CopyWindow);
        cipher.Encrypt(iv, source, encrypted);
        EXPECT_EQ(watch.Count(), 0U) << "encryption: " << watch.Findings();
    }

    encrypted.SetPosition(0);
    TCountingStream decrypted;
    iv.assign(16, 0);
    {
        FreedBlockProbe::TWatch watch(secret, CopyWindow);
        cipher.Decrypt(iv, encrypted, decrypted);
        EXPECT_EQ(watch.Count(), 0U) << "decryption: " << watch.Findings();
    }
    EXPECT_EQ(decrypted.Size(), static_cast<std::int64_t>(plain.size()));
}

}  // namespace
