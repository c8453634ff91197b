// Provider failures injected through the test variant of the POSIX provider layer.
#ifndef _WIN32

#include <gtest/gtest.h>

#include "Utils/CryptoU/CryptoTestAccess.h"
#include "Utils/CryptoU/CryptoTestHelpers.h"
#include "Utils/Util.SecurityU.h"
#include "platform/posix/BcryptTesting.h"

namespace {

using namespace CryptoTest;
using Access = TCryptoTestAccess;

constexpr std::int32_t Unsuccessful = static_cast<std::int32_t>(0xC0000001);
const TBytes Key = BytesOf("fault key");

class ContainerFaults : public ::testing::Test {
protected:
    void TearDown() override { BcryptTesting::ClearFailures(); }

    // How many digests one derivation pass finishes, measured rather than assumed.
    static int FinishesPerPass()
    {
        TSecureBytes key;
        TSecureBytes iv;
        BcryptTesting::ResetCounters();
        EXPECT_TRUE(Access::DeriveKeyAndIV(Key, Payload(), key, iv));
        return BcryptTesting::CallCount("BCryptFinishHash") / 2;
    }

    static TBytes Payload() { return BytesOf("payload of the fault tests"); }

    static TBytes ValidContainer(bool checkData)
    {
        TMemoryStream source = StreamOf(Payload());
        TMemoryStream dest;
        EXPECT_TRUE(Access::EncryptStreamInner(source, dest, Key, checkData));
        return Plain(dest.Bytes());
    }
};

TEST_F(ContainerFaults, RandomGeneratorFailurePropagatesAndWritesNothing)
{
    BcryptTesting::FailCall("BCryptGenRandom", Unsuccessful);
    TMemoryStream source = StreamOf(Payload());
    TMemoryStream dest;
    EXPECT_THROW((void)Access::EncryptStreamInner(source, dest, Key, false), ENTStatusOSError);
    EXPECT_EQ(dest.Size(), 0);
}

TEST_F(ContainerFaults, DerivationFailureInFirstPassLeavesKeyEmpty)
{
    BcryptTesting::FailCall("BCryptFinishHash", Unsuccessful);
    TSecureBytes key;
    TSecureBytes iv;
    EXPECT_FALSE(Access::DeriveKeyAndIV(Key, Payload(), key, iv));
    EXPECT_TRUE(key.empty());
    EXPECT_TRUE(iv.empty());
}

TEST_F(ContainerFaults, DerivationFailureInSecondPassLeavesIVEmpty)
{
    BcryptTesting::FailCall("BCryptFinishHash", Unsuccessful, FinishesPerPass());
    TSecureBytes key;
    TSecureBytes iv;
    EXPECT_FALSE(Access::DeriveKeyAndIV(Key, Payload(), key, iv));
    EXPECT_EQ(key.size(), 32u);
    EXPECT_TRUE(iv.empty());
}

TEST_F(ContainerFaults, EncryptionStopsBeforeTheCipherWhenDerivationFails)
{
    const int skip = FinishesPerPass();
    BcryptTesting::FailCall("BCryptFinishHash", Unsuccessful, skip);
    BcryptTesting::ResetCounters();
    TMemoryStream source = StreamOf(Payload());
    TMemoryStream dest;
    EXPECT_FALSE(Access::EncryptStreamInner(source, dest, Key, false));
    EXPECT_EQ(dest.Size(), 11);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptImportKey"), 0);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptEncrypt"), 0);
}

TEST_F(ContainerFaults, DecryptionStopsBeforeTheCipherWhenDerivationFails)
{
    const TBytes container = ValidContainer(false);
    const int skip = FinishesPerPass();
    BcryptTesting::FailCall("BCryptFinishHash", Unsuccessful, skip);
    BcryptTesting::ResetCounters();
    TMemoryStream source = StreamOf(container);
    TMemoryStream dest;
    EXPECT_FALSE(Access::DecryptStreamInner(source, dest, Key, false));
    EXPECT_EQ(dest.Size(), 0);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDecrypt"), 0);
}

class CipherFault : public ContainerFaults, public ::testing::WithParamInterface<const char*> {};

TEST_P(CipherFault, EncryptionReturnsFalseAfterTheSalt)
{
    for (const bool checkData : {false, true}) {
        BcryptTesting::FailCall(GetParam(), Unsuccessful);
        TMemoryStream source = StreamOf(Payload());
        TMemoryStream dest;
        EXPECT_FALSE(Access::EncryptStreamInner(source, dest, Key, checkData));
        EXPECT_GE(dest.Size(), 11);
        BcryptTesting::ClearFailures();
    }
}

INSTANTIATE_TEST_SUITE_P(Calls, CipherFault, ::testing::Values("BCryptImportKey", "BCryptEncrypt"),
                         [](const auto& info) { return std::string(info.param); });

TEST_F(ContainerFaults, DecryptionProviderFailureReturnsFalse)
{
    for (const char* call : {"BCryptImportKey", "BCryptDecrypt"}) {
        for (const bool checkData : {false, true}) {
            const TBytes container = ValidContainer(checkData);
            BcryptTesting::FailCall(call, Unsuccessful);
            TMemoryStream source = StreamOf(container);
            TMemoryStream dest;
            EXPECT_FALSE(Access::DecryptStreamInner(source, dest, Key, checkData)) << call;
            if (checkData) {
                EXPECT_EQ(dest.Size(), 0) << call;
            }
            BcryptTesting::ClearFailures();
        }
    }
}

TEST_F(ContainerFaults, FailedTextEncryptionStillDeliversWhatWasWritten)
{
    BcryptTesting::FailCall("BCryptEncrypt", Unsuccessful);
    std::u16string encrypted = u"stale";
    EXPECT_FALSE(TCrypto::GetEncryptedString(u"text", u"key", encrypted));
    EXPECT_GE(DecodeBase64Text(Narrow(encrypted)).size(), 11u);
}

TEST_F(ContainerFaults, StreamOverloadReportsEngineFailure)
{
    BcryptTesting::FailCall("BCryptEncrypt", Unsuccessful, 0, 2);
    TMemoryStream source = StreamOf(Payload());
    TMemoryStream dest;
    EXPECT_FALSE(TCrypto::EncryptStream(source, u"key", dest));
    const auto result = TCrypto::EncryptStream(source, u"key");
    EXPECT_EQ(result->Position(), 0);
    EXPECT_GE(result->Size(), 11);
}

TEST_F(ContainerFaults, RandomGeneratorFailurePropagatesOutOfTextAndStreamOperations)
{
    BcryptTesting::FailCall("BCryptGenRandom", Unsuccessful, 0, -1);
    std::u16string encrypted;
    EXPECT_THROW((void)TCrypto::GetEncryptedStringWithCheckData2(u"text", u"key", encrypted), ENTStatusOSError);
    TMemoryStream source = StreamOf(Payload());
    EXPECT_THROW(TCrypto::EncryptStream(source, u"key"), ENTStatusOSError);
}

}  // namespace

#endif
