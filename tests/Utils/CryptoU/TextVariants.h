#pragma once
// The four text variants of TCrypto as a table, for value-parameterised tests.

#include <ostream>
#include <string>
#include <string_view>

#include "Utils/Util.CryptoU.h"

namespace CryptoTest {

using TEncrypt3 = bool (*)(std::u16string_view, std::u16string_view, std::u16string&);
using TEncrypt4 = bool (*)(std::u16string_view, std::u16string_view, std::u16string&, TBase64FormattingOptions);
using TDecrypt = bool (*)(std::u16string_view, std::u16string_view, TSecureText&);

struct TTextVariant {
    const char* Name;
    TEncrypt3 Encrypt;
    TEncrypt4 EncryptWithOptions;
    TDecrypt Decrypt;
    bool CheckData;
    bool Utf8;
};

inline void PrintTo(const TTextVariant& v, std::ostream* os)
{
    *os << v.Name;
}

inline const TTextVariant TextVariants[] = {
    {"Ansi", static_cast<TEncrypt3>(&TCrypto::GetEncryptedString), static_cast<TEncrypt4>(&TCrypto::GetEncryptedString),
     &TCrypto::GetDecryptedString, false, false},
    {"AnsiWithCheckData", static_cast<TEncrypt3>(&TCrypto::GetEncryptedStringWithCheckData),
     static_cast<TEncrypt4>(&TCrypto::GetEncryptedStringWithCheckData), &TCrypto::GetDecryptedStringWithCheckData, true,
     false},
    {"Utf8", static_cast<TEncrypt3>(&TCrypto::GetEncryptedString2),
     static_cast<TEncrypt4>(&TCrypto::GetEncryptedString2), &TCrypto::GetDecryptedString2, false, true},
    {"Utf8WithCheckData", static_cast<TEncrypt3>(&TCrypto::GetEncryptedStringWithCheckData2),
     static_cast<TEncrypt4>(&TCrypto::GetEncryptedStringWithCheckData2), &TCrypto::GetDecryptedStringWithCheckData2,
     true, true},
};

}  // namespace CryptoTest
