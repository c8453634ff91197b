#include "platform/SecureZero.h"

#include <openssl/crypto.h>

void SecureZero(void* data, std::size_t size) noexcept
{
    if (data != nullptr && size != 0)
        OPENSSL_cleanse(data, size);
}
