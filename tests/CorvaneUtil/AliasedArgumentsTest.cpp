// Every text and stream operation gives the same result when its result is one of its inputs:
// f(s, k, s) and f(t, k, k) must read the input before they fill the result.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "Utils/Util.CryptoU.h"
#include "rtl/MemoryStream.h"

namespace {

using TEncryptOperation = bool (*)(std::u16string_view, std::u16string_view, std::u16string&);
using TDecryptOperation = bool (*)(std::u16string_view, std::u16string_view, TSecureText&);

struct TTextPair {
    std::string Name;
    TEncryptOperation Encrypt;
    TDecryptOperation Decrypt;
};

enum class TAliased { Text, Key };

struct TAliasCase {
    std::string Name;
    TTextPair Pair;
    bool OnEncryption;  // which of the pair runs aliased
    TAliased Aliased;
};

void PrintTo(const TAliasCase& c, std::ostream* os)
{
    *os << c.Name;
}

const std::u16string SampleText = u"secret text, 1234 (with a comma)";
const std::u16string SampleKey = u"the key";

// The operation with its result in the same object as the chosen input.
template <typename TOperation, typename TResult>
[[nodiscard]] bool RunAliased(TOperation operation, TAliased aliased, std::u16string_view input, TResult& result)
{
    if (aliased == TAliased::Text) {
        result.assign(input);
        return operation(result, SampleKey, result);
    }
    result.assign(SampleKey);
    return operation(input, result, result);
}

std::vector<TAliasCase> Cases()
{
    const TTextPair pairs[] = {
        {"Ansi", &TCrypto::GetEncryptedString, &TCrypto::GetDecryptedString},
        {"AnsiWithCheckData", &TCrypto::GetEncryptedStringWithCheckData, &TCrypto::GetDecryptedStringWithCheckData},
        {"Utf8", &TCrypto::GetEncryptedString2, &TCrypto::GetDecryptedString2},
        {"Utf8WithCheckData", &TCrypto::GetEncryptedStringWithCheckData2, &TCrypto::GetDecryptedStringWithCheckData2},
        {"CorvaneUtil", &TCorvaneUtil::Encrypt, &TCorvaneUtil::Decrypt},
    };
    std::vector<TAliasCase> cases;
    for (const TTextPair& pair : pairs) {
        for (const bool onEncryption : {true, false}) {
            for (const TAliased aliased : {TAliased::Text, TAliased::Key}) {
                cases.push_back({pair.Name + (onEncryption ? "_Encrypt" : "_Decrypt") +
                                     (aliased == TAliased::Text ? "_ResultIsText" : "_ResultIsKey"),
                                 pair, onEncryption, aliased});
            }
        }
    }
    return cases;
}

class AliasedResult : public ::testing::TestWithParam<TAliasCase> {};

TEST_P(AliasedResult, GivesWhatSeparateObjectsGive)
{
    const TAliasCase& c = GetParam();
    if (c.OnEncryption) {
        // The salt differs per call, so the container is proved by opening it.
        std::u16string container;
        ASSERT_TRUE(RunAliased(c.Pair.Encrypt, c.Aliased, SampleText, container));
        TSecureText decrypted;
        EXPECT_TRUE(c.Pair.Decrypt(container, SampleKey, decrypted));
        EXPECT_EQ(decrypted, SampleText);
        return;
    }
    std::u16string container;
    ASSERT_TRUE(c.Pair.Encrypt(SampleText, SampleKey, container));
    TSecureText result;
    EXPECT_TRUE(RunAliased(c.Pair.Decrypt, c.Aliased, container, result));
    EXPECT_EQ(result, SampleText);
}

INSTANTIATE_TEST_SUITE_P(Operations, AliasedResult, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.Name; });

// A stream that is both source and destination ends up holding what a separate destination would.
TEST(AliasedStream, EncryptingAndDecryptingInPlaceGiveTheSeparateResults)
{
    const std::string plain(100000, 'p');
    TMemoryStream stream;
    stream.WriteBuffer(plain.data(), static_cast<std::int64_t>(plain.size()));

    ASSERT_TRUE(TCrypto::EncryptStream(stream, SampleKey, stream));
    TMemoryStream separate;
    stream.SetPosition(0);
    ASSERT_TRUE(TCrypto::DecryptStream(stream, SampleKey, separate));
    EXPECT_EQ(std::string(separate.Bytes().begin(), separate.Bytes().end()), plain);

    ASSERT_TRUE(TCrypto::DecryptStream(stream, SampleKey, stream));
    EXPECT_EQ(stream.Size(), static_cast<std::int64_t>(plain.size()));
    EXPECT_EQ(std::string(stream.Bytes().begin(), stream.Bytes().end()), plain);
}

}  // namespace
