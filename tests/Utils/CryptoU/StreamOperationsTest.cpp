#include <gtest/gtest.h>

#include "Utils/CryptoU/CryptoTestHelpers.h"
#include "Utils/Util.CryptoU.h"
#include "rtl/FileStream.h"
#include "support/TestSupport.h"

namespace {

using namespace CryptoTest;

TBytes Payload(std::size_t n)
{
    TBytes bytes(n);
    for (std::size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    return bytes;
}

TEST(StreamOperations, EncryptStreamTakesTheWholeSourceWhateverItsPosition)
{
    TMemoryStream source = StreamOf(Payload(1000));  // at its end
    const auto container = TCrypto::EncryptStream(source, u"stream key");
    EXPECT_EQ(container->Position(), 0);
    EXPECT_EQ(container->Size(), static_cast<std::int64_t>(ContainerLength(1000, false)));
    EXPECT_EQ(source.Position(), source.Size());

    const auto plain = TCrypto::DecryptStream(*container, u"stream key");
    EXPECT_EQ(plain->Position(), 0);
    EXPECT_EQ(Plain(plain->Bytes()), Payload(1000));
}

TEST(StreamOperations, OverloadsReportTheEngineResult)
{
    TMemoryStream source = StreamOf(Payload(100));
    TMemoryStream container;
    ASSERT_TRUE(TCrypto::EncryptStream(source, u"k", container));
    TMemoryStream plain;
    EXPECT_TRUE(TCrypto::DecryptStream(container, u"k", plain));
    EXPECT_EQ(Plain(plain.Bytes()), Payload(100));

    TBytes truncated = Plain(container.Bytes());
    truncated.pop_back();
    TMemoryStream damaged = StreamOf(truncated);
    TMemoryStream out;
    EXPECT_FALSE(TCrypto::DecryptStream(damaged, u"k", out));
}

TEST(StreamOperations, FailedDecryptionStillReturnsAStreamAtTheStart)
{
    TMemoryStream tooShort = StreamOf(Payload(11));
    const auto result = TCrypto::DecryptStream(tooShort, u"k");
    EXPECT_EQ(result->Position(), 0);
    EXPECT_EQ(result->Size(), 0);
}

TEST(StreamOperations, FileToFileRoundTripsDataLargerThanTheCipherBuffer)
{
    TestSupport::TTempDir dir;
    const TBytes payload = Payload(3 * 32768 + 123);
    TestSupport::WriteFileBytes(dir / "plain.bin", payload.data(), payload.size());
    {
        TFileStream source((dir / "plain.bin").u16string(), TFileStream::TMode::OpenRead);
        TFileStream dest((dir / "sealed.bin").u16string(), TFileStream::TMode::Create);
        ASSERT_TRUE(TCrypto::EncryptStream(source, u"file key", dest));
    }
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / "sealed.bin").size(), ContainerLength(payload.size(), false));
    {
        TFileStream source((dir / "sealed.bin").u16string(), TFileStream::TMode::OpenRead);
        TFileStream dest((dir / "opened.bin").u16string(), TFileStream::TMode::Create);
        ASSERT_TRUE(TCrypto::DecryptStream(source, u"file key", dest));
    }
    EXPECT_EQ(TestSupport::ReadFileBytes(dir / "opened.bin"), payload);
}

}  // namespace
