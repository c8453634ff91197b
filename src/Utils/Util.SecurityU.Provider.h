#pragma once
// What the security unit's files share among themselves (the cache, the cipher, the random
// generator, the hashes): provider names, handle conversions, the assertion texts. Not for
// other units.

#include <string>

#include "Utils/Util.SecurityU.Lines.h"
#include "Utils/Util.SecurityU.h"
#include "platform/Bcrypt.h"

namespace SecurityUnit {

inline constexpr const char16_t* ObjectLengthProperty = u"ObjectLength";

// The texts of the assertions, made once: an assertion that holds then costs no string.
inline const std::u16string MustInitialize = u"must initialize.";
inline const std::u16string AssertSourceFile = SecurityUnitSourceFile;

inline BCRYPT_ALG_HANDLE AlgHandle(TProviderHandle handle) noexcept
{
    return reinterpret_cast<BCRYPT_ALG_HANDLE>(handle);
}

// A ULONG property of the provider; raises ENTStatusOSError when the provider refuses.
ULONG QueryUlongProperty(TProviderHandle handle, const char16_t* property);

}  // namespace SecurityUnit
