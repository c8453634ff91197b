#pragma once
// The cryptography provider calls. On Windows these are the real bcrypt.dll; on POSIX they are
// our own layer over OpenSSL libcrypto with the same names, handle types, flags, property names,
// blob layout and statuses, so the provider classes above are one code for both. Every call
// reports failure by its NTSTATUS (0: success) and none raises, as with the system's own.

#include <cstdint>

#ifdef _WIN32

#include <windows.h>
#include <bcrypt.h>

using TPlatformChar = wchar_t;

#else

using TPlatformChar = char16_t;

using NTSTATUS = std::int32_t;
using ULONG = std::uint32_t;
using UCHAR = std::uint8_t;
using PUCHAR = UCHAR*;
using PULONG = ULONG*;
using PVOID = void*;
using LPCWSTR = const char16_t*;
using BCRYPT_HANDLE = void*;
using BCRYPT_ALG_HANDLE = void*;
using BCRYPT_KEY_HANDLE = void*;
using BCRYPT_HASH_HANDLE = void*;

#define BCRYPT_AES_ALGORITHM u"AES"
#define BCRYPT_RNG_ALGORITHM u"RNG"
#define BCRYPT_SHA256_ALGORITHM u"SHA256"
#define BCRYPT_MD5_ALGORITHM u"MD5"
#define MS_PRIMITIVE_PROVIDER u"Microsoft Primitive Provider"
#define BCRYPT_OBJECT_LENGTH u"ObjectLength"
#define BCRYPT_HASH_LENGTH u"HashDigestLength"
#define BCRYPT_BLOCK_LENGTH u"BlockLength"
#define BCRYPT_CHAINING_MODE u"ChainingMode"
#define BCRYPT_CHAIN_MODE_CBC u"ChainingModeCBC"
#define BCRYPT_KEY_DATA_BLOB u"KeyDataBlob"

#define BCRYPT_KEY_DATA_BLOB_MAGIC 0x4d42444bU
#define BCRYPT_KEY_DATA_BLOB_VERSION1 0x1U
#define BCRYPT_BLOCK_PADDING 0x00000001U
#define BCRYPT_HASH_REUSABLE_FLAG 0x00000020U
#define BCRYPT_ALG_HANDLE_HMAC_FLAG 0x00000008U

struct BCRYPT_KEY_DATA_BLOB_HEADER {
    ULONG dwMagic;
    ULONG dwVersion;
    ULONG cbKeyData;
};

extern "C" {
NTSTATUS BCryptOpenAlgorithmProvider(BCRYPT_ALG_HANDLE* phAlgorithm, LPCWSTR pszAlgId, LPCWSTR pszImplementation,
                                     ULONG dwFlags);
NTSTATUS BCryptCloseAlgorithmProvider(BCRYPT_ALG_HANDLE hAlgorithm, ULONG dwFlags);
NTSTATUS BCryptSetProperty(BCRYPT_HANDLE hObject, LPCWSTR pszProperty, PUCHAR pbInput, ULONG cbInput, ULONG dwFlags);
NTSTATUS BCryptGetProperty(BCRYPT_HANDLE hObject, LPCWSTR pszProperty, PUCHAR pbOutput, ULONG cbOutput,
                           ULONG* pcbResult, ULONG dwFlags);
NTSTATUS BCryptImportKey(BCRYPT_ALG_HANDLE hAlgorithm, BCRYPT_KEY_HANDLE hImportKey, LPCWSTR pszBlobType,
                         BCRYPT_KEY_HANDLE* phKey, PUCHAR pbKeyObject, ULONG cbKeyObject, PUCHAR pbInput, ULONG cbInput,
                         ULONG dwFlags);
NTSTATUS BCryptDestroyKey(BCRYPT_KEY_HANDLE hKey);
NTSTATUS BCryptEncrypt(BCRYPT_KEY_HANDLE hKey, PUCHAR pbInput, ULONG cbInput, void* pPaddingInfo, PUCHAR pbIV,
                       ULONG cbIV, PUCHAR pbOutput, ULONG cbOutput, ULONG* pcbResult, ULONG dwFlags);
NTSTATUS BCryptDecrypt(BCRYPT_KEY_HANDLE hKey, PUCHAR pbInput, ULONG cbInput, void* pPaddingInfo, PUCHAR pbIV,
                       ULONG cbIV, PUCHAR pbOutput, ULONG cbOutput, ULONG* pcbResult, ULONG dwFlags);
NTSTATUS BCryptGenRandom(BCRYPT_ALG_HANDLE hAlgorithm, PUCHAR pbBuffer, ULONG cbBuffer, ULONG dwFlags);
NTSTATUS BCryptCreateHash(BCRYPT_ALG_HANDLE hAlgorithm, BCRYPT_HASH_HANDLE* phHash, PUCHAR pbHashObject,
                          ULONG cbHashObject, PUCHAR pbSecret, ULONG cbSecret, ULONG dwFlags);
NTSTATUS BCryptHashData(BCRYPT_HASH_HANDLE hHash, PUCHAR pbInput, ULONG cbInput, ULONG dwFlags);
NTSTATUS BCryptFinishHash(BCRYPT_HASH_HANDLE hHash, PUCHAR pbOutput, ULONG cbOutput, ULONG dwFlags);
NTSTATUS BCryptDestroyHash(BCRYPT_HASH_HANDLE hHash);
}

#endif

// Our UTF-16 text constants as the platform's wide strings (wchar_t on Windows is UTF-16 too).
inline const TPlatformChar* PlatformText(const char16_t* text) noexcept
{
    return reinterpret_cast<const TPlatformChar*>(text);
}
