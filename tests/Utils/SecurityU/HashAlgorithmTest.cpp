#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "Utils/SecurityU/SecurityTestSupport.h"

namespace {

using namespace SecurityTests;
using TestSupport::ToHex;

struct TDigestCase {
    std::string Name;
    std::string Input;
    const char* Digest;
};

TBytes MillionA()
{
    return TBytes(1000000, 'a');
}

// FIPS 180-4 example messages (the NIST examples for SHA-256).
const TDigestCase Sha256Cases[] = {
    {"Empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"Abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"TwoBlocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
};

// RFC 1321, A.5.
const TDigestCase Md5Cases[] = {
    {"Empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
    {"A", "a", "0cc175b9c0f1b6a831c399e269772661"},
    {"Abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"MessageDigest", "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"Alphabet", "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"Alphanumeric", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"Digits", "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

std::string CaseName(const ::testing::TestParamInfo<TDigestCase>& info)
{
    return info.param.Name;
}

template <typename THashClass>
std::unique_ptr<THashClass> Initialized()
{
    auto hash = std::make_unique<THashClass>();
    hash->Initialize();
    return hash;
}

class Sha256VectorTest : public ::testing::TestWithParam<TDigestCase> {};

TEST_P(Sha256VectorTest, ArrayAndStreamGivePublishedDigest)
{
    auto sha = Initialized<TSHA256>();
    const TBytes input = BytesOf(GetParam().Input);
    TMemoryStream stream = StreamOf(input);
    EXPECT_EQ(ToHex(sha->Hash(input)), GetParam().Digest);
    EXPECT_EQ(ToHex(sha->Hash(stream)), GetParam().Digest);
}

INSTANTIATE_TEST_SUITE_P(Fips180, Sha256VectorTest, ::testing::ValuesIn(Sha256Cases), CaseName);

class Md5VectorTest : public ::testing::TestWithParam<TDigestCase> {};

TEST_P(Md5VectorTest, ArrayAndStreamGivePublishedDigest)
{
    auto md5 = Initialized<TMD5>();
    const TBytes input = BytesOf(GetParam().Input);
    TMemoryStream stream = StreamOf(input);
    EXPECT_EQ(ToHex(md5->Hash(input)), GetParam().Digest);
    EXPECT_EQ(ToHex(md5->Hash(stream)), GetParam().Digest);
    EXPECT_EQ(md5->HashLength(), 16);
}

INSTANTIATE_TEST_SUITE_P(Rfc1321, Md5VectorTest, ::testing::ValuesIn(Md5Cases), CaseName);

class HashAlgorithmTest : public TProviderTest {};

TEST_F(HashAlgorithmTest, StreamOfMillionAGivesPublishedDigest)
{
    auto sha = Initialized<TSHA256>();
    TMemoryStream stream = StreamOf(MillionA());
    EXPECT_EQ(ToHex(sha->Hash(stream)), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(stream.Position(), 1000000);
}

TEST_F(HashAlgorithmTest, TrickleStreamGivesDigestOfWholeArray)
{
    auto sha = Initialized<TSHA256>();
    const TBytes bytes = PatternBytes(3 * 32768 + 100);
    TTrickleStream trickle(bytes, 1000);
    EXPECT_EQ(sha->Hash(trickle), sha->Hash(bytes));
}

TEST_F(HashAlgorithmTest, HashesStreamFromItsPositionToItsEnd)
{
    auto sha = Initialized<TSHA256>();
    TMemoryStream stream = StreamOf(BytesOf("xxabc"));
    stream.SetPosition(2);
    EXPECT_EQ(ToHex(sha->Hash(stream)), Sha256Cases[1].Digest);
    EXPECT_EQ(stream.Position(), 5);
    EXPECT_EQ(ToHex(sha->Hash(stream)), Sha256Cases[0].Digest);
}

TEST_F(HashAlgorithmTest, ReportsUseBeforeInitializeAndLengthZero)
{
    TSHA256 sha;
    TMemoryStream stream = StreamOf(BytesOf("abc"));
    EXPECT_EQ(sha.HashLength(), 0);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { sha.Hash(BytesOf("abc")); }),
              "must initialize. (Utils\\Util.SecurityU, 1230 行)");
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { sha.Hash(stream); }),
              "must initialize. (Utils\\Util.SecurityU, 1307 行)");
    EXPECT_EQ(stream.Position(), 0);
    sha.Initialize();
    EXPECT_EQ(sha.HashLength(), 32);
}

TEST_F(HashAlgorithmTest, ObjectsOfOneClassShareTheProvider)
{
    auto first = Initialized<TSHA256>();
    auto second = Initialized<TSHA256>();
    EXPECT_EQ(first->Hash(BytesOf("abc")), second->Hash(BytesOf("abc")));
    ASSERT_EQ(AlgorithmHandlesSnapshot().size(), 1U);
#ifndef _WIN32
    EXPECT_EQ(BcryptTesting::OpenCount(u"SHA256"), 1);
#endif
}

#ifndef _WIN32

TEST_F(HashAlgorithmTest, SecondInitializeCallsNothing)
{
    TSHA256 sha;
    sha.Initialize();
    const int properties = BcryptTesting::CallCount("BCryptGetProperty");
    sha.Initialize();
    EXPECT_EQ(BcryptTesting::CallCount("BCryptGetProperty"), properties);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptOpenAlgorithmProvider"), 1);
}

TEST_F(HashAlgorithmTest, FailedInitializeLeavesObjectUninitializedAndRetryable)
{
    // The second property query (the digest length) fails.
    BcryptTesting::FailCall("BCryptGetProperty", static_cast<std::int32_t>(0xC00000BBU), 1);
    TSHA256 sha;
    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { sha.Initialize(); }), "BCryptGetProperty:-1073741637");
    EXPECT_EQ(sha.HashLength(), 0);
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { sha.Hash(BytesOf("abc")); }),
              "must initialize. (Utils\\Util.SecurityU, 1230 行)");

    sha.Initialize();
    EXPECT_EQ(ToHex(sha.Hash(BytesOf("abc"))), Sha256Cases[1].Digest);
    EXPECT_EQ(BcryptTesting::OpenCount(u"SHA256"), 1);
}

// Each overload: its name, how it hashes, and the line of its destroy check.
struct TOverloadCase {
    const char* Name;
    bool Stream;
    int DestroyLine;
};

class HashFailureTest : public TProviderTest, public ::testing::WithParamInterface<TOverloadCase> {
protected:
    TBytes HashAbc(TSHA256& sha)
    {
        if (!GetParam().Stream)
            return sha.Hash(BytesOf("abc"));
        TMemoryStream stream = StreamOf(BytesOf("abc"));
        return sha.Hash(stream);
    }
    std::string DestroyMessage() const
    {
        return "BCryptDestroyHash: -1073741816 (Utils\\Util.SecurityU, " + std::to_string(GetParam().DestroyLine) +
               " 行)";
    }
};

TEST_P(HashFailureTest, NamesFailedCallAndStillDestroysHash)
{
    for (const char* function : {"BCryptCreateHash", "BCryptHashData", "BCryptFinishHash"}) {
        TSHA256 sha;
        sha.Initialize();
        BcryptTesting::ResetCounters();
        BcryptTesting::FailCall(function, static_cast<std::int32_t>(0xC000000DU));
        EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { HashAbc(sha); }), std::string(function) + ":-1073741811");
        const bool created = std::string(function) != "BCryptCreateHash";
        EXPECT_EQ(BcryptTesting::CallCount("BCryptDestroyHash"), created ? 1 : 0) << function;
    }
}

TEST_P(HashFailureTest, RaisesFailedDestructionInPlaceOfResult)
{
    TSHA256 sha;
    sha.Initialize();
    BcryptTesting::FailCall("BCryptDestroyHash", static_cast<std::int32_t>(0xC0000008U));
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { HashAbc(sha); }), DestroyMessage());
    // Nothing was left behind: the object hashes on.
    EXPECT_EQ(ToHex(HashAbc(sha)), Sha256Cases[1].Digest);
}

TEST_P(HashFailureTest, RaisesFailedDestructionInPlaceOfPropagatingFailure)
{
    TSHA256 sha;
    sha.Initialize();
    BcryptTesting::FailCall("BCryptFinishHash", static_cast<std::int32_t>(0xC000000DU));
    BcryptTesting::FailCall("BCryptDestroyHash", static_cast<std::int32_t>(0xC0000008U));
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { HashAbc(sha); }), DestroyMessage());
}

TEST_P(HashFailureTest, DestroysHandleHandedOutWithFailedCreation)
{
    TSHA256 sha;
    sha.Initialize();
    BcryptTesting::FailCallAfterItsWork("BCryptCreateHash", static_cast<std::int32_t>(0xC000000DU));
    EXPECT_EQ(MessageOf<ENTStatusOSError>([&] { HashAbc(sha); }), "BCryptCreateHash:-1073741811");
    EXPECT_EQ(BcryptTesting::CallCount("BCryptDestroyHash"), 1);
    EXPECT_EQ(BcryptTesting::CallCount("BCryptHashData"), 0);
}

TEST_P(HashFailureTest, RaisesFailedDestructionOfHandleHandedOutWithFailedCreation)
{
    TSHA256 sha;
    sha.Initialize();
    BcryptTesting::FailCallAfterItsWork("BCryptCreateHash", static_cast<std::int32_t>(0xC000000DU));
    BcryptTesting::FailCall("BCryptDestroyHash", static_cast<std::int32_t>(0xC0000008U));
    EXPECT_EQ(MessageOf<EAssertionFailed>([&] { HashAbc(sha); }), DestroyMessage());
    EXPECT_EQ(ToHex(HashAbc(sha)), Sha256Cases[1].Digest);
}

INSTANTIATE_TEST_SUITE_P(Overloads, HashFailureTest,
                         ::testing::Values(TOverloadCase{"Bytes", false, 1282}, TOverloadCase{"Stream", true, 1368}),
                         [](const ::testing::TestParamInfo<TOverloadCase>& info) { return info.param.Name; });

#endif

}  // namespace
