#pragma once
// Text and stream encryption: the encrypted container, the TCrypto operations, the base64
// text forms and the salted SHA-256 digests.

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/SecureText.h"
#include "rtl/MemoryStream.h"
#include "rtl/Stream.h"

// Line layout of base64 text.
enum class TBase64FormattingOptions : std::uint8_t {
    None = 0,                       // one line
    InsertLineBreaks = 1,           // lines of 76 characters separated by CR LF
    InsertLineBreaksXE5Compat = 2,  // every full line of 76 characters followed by CR LF
};

// Bytes to 8-bit base64 text (one byte per character) in the chosen layout. Never fails but
// for memory.
std::string EncodeBase64Text(const std::uint8_t* data, std::int32_t count, TBase64FormattingOptions option);
// 8-bit text to bytes. Every character outside the alphabet is skipped; never fails.
TBytes DecodeBase64Text(std::string_view text);
// Base64 text as the text operations read it: every character beyond ASCII is skipped with the
// other characters outside the alphabet.
TBytes DecodeBase64String(std::u16string_view text);

// Class-level operations only; never instantiated. Texts and keys come in as views, so a caller's
// wiping text passes without a copy; decrypted text comes out in a wiping text.
//
// How the text and stream operations fail: they return false when the engine failed (the
// provider refused inside key derivation or the cipher, the padding is wrong, the check data
// does not match, nothing follows the salt). The result then holds what the engine wrote: with
// check data nothing, without it the chunks decrypted before the failure. They raise, whatever
// the key: ENTStatusOSError when the random generator fails (encryption: the salt);
// EEncodingError when a decrypted UTF-8 payload (the variants "2") is not valid UTF-8; Exception
// when a container is too large for base64 text; what the caller's streams raise (EStreamError,
// EOSError); EAssertionFailed when the provider cannot destroy a key or hash.
class TCrypto {
public:
    TCrypto() = delete;

    // Encryption without check data, payload in the system ANSI code page.
    [[nodiscard]] static bool GetEncryptedString(std::u16string_view AText, std::u16string_view AKey,
                                                 std::u16string& AEncryptedText);
    [[nodiscard]] static bool GetEncryptedString(std::u16string_view AText, std::u16string_view AKey,
                                                 std::u16string& AEncryptedText, TBase64FormattingOptions options);
    [[nodiscard]] static bool GetDecryptedString(std::u16string_view AEncryptedText, std::u16string_view AKey,
                                                 TSecureText& AText);

    // With check data, ANSI payload.
    [[nodiscard]] static bool GetEncryptedStringWithCheckData(std::u16string_view AText, std::u16string_view AKey,
                                                              std::u16string& AEncryptedText);
    [[nodiscard]] static bool GetEncryptedStringWithCheckData(std::u16string_view AText, std::u16string_view AKey,
                                                              std::u16string& AEncryptedText,
                                                              TBase64FormattingOptions options);
    [[nodiscard]] static bool GetDecryptedStringWithCheckData(std::u16string_view AEncryptedText,
                                                              std::u16string_view AKey, TSecureText& AText);

    // Without check data, UTF-8 payload.
    [[nodiscard]] static bool GetEncryptedString2(std::u16string_view AText, std::u16string_view AKey,
                                                  std::u16string& AEncryptedText);
    [[nodiscard]] static bool GetEncryptedString2(std::u16string_view AText, std::u16string_view AKey,
                                                  std::u16string& AEncryptedText, TBase64FormattingOptions options);
    [[nodiscard]] static bool GetDecryptedString2(std::u16string_view AEncryptedText, std::u16string_view AKey,
                                                  TSecureText& AText);

    // With check data, UTF-8 payload.
    [[nodiscard]] static bool GetEncryptedStringWithCheckData2(std::u16string_view AText, std::u16string_view AKey,
                                                               std::u16string& AEncryptedText);
    [[nodiscard]] static bool GetEncryptedStringWithCheckData2(std::u16string_view AText, std::u16string_view AKey,
                                                               std::u16string& AEncryptedText,
                                                               TBase64FormattingOptions options);
    [[nodiscard]] static bool GetDecryptedStringWithCheckData2(std::u16string_view AEncryptedText,
                                                               std::u16string_view AKey, TSecureText& AText);

    // The whole source (whatever its position) encrypted or decrypted without check data into a
    // new memory stream at position 0. The result holds whatever the engine wrote, also when it
    // failed; callers that must know use the overloads below.
    static std::unique_ptr<TMemoryStream> EncryptStream(TStream& ASource, std::u16string_view AKey);
    static std::unique_ptr<TMemoryStream> DecryptStream(TStream& ASource, std::u16string_view AKey);

    // The same into a stream of the caller's (a file, say), in constant memory. ADest is written
    // from position 0 and should be empty. Returns false when the engine failed: the content
    // of ADest is then invalid and must be discarded.
    [[nodiscard]] static bool EncryptStream(TStream& ASource, std::u16string_view AKey, TStream& ADest);
    [[nodiscard]] static bool DecryptStream(TStream& ASource, std::u16string_view AKey, TStream& ADest);

    // Base64 (one line, 44 characters) of SHA-256 over the UTF-8 bytes of ASalt followed by AText.
    // The digests raise ENTStatusOSError when the provider refuses; they return no failure.
    static std::u16string GetHashSHA256(std::u16string_view AText, std::u16string_view ASalt);
    // SHA-256 over ASalt followed by ASrc.
    static TBytes GetHashSHA256b(TBytes ASrc, TBytes ASalt);

    friend struct TCryptoTestAccess;  // the tests reach the container engines through it

private:
    [[nodiscard]] static bool GetEncryptedStringInner(std::u16string_view AText, std::u16string_view AKey,
                                                      std::u16string& AEncryptedText, bool checkData,
                                                      TBase64FormattingOptions options, bool utf8);
    [[nodiscard]] static bool GetDecryptedStringInner(std::u16string_view AEncryptedText, std::u16string_view AKey,
                                                      TSecureText& AText, bool checkData, bool utf8);

    [[nodiscard]] static bool EncryptStreamInner(TStream& source, TStream& dest, std::span<const std::uint8_t> keyBytes,
                                                 bool checkData);
    [[nodiscard]] static bool DecryptStreamInner(TStream& source, TStream& dest, std::span<const std::uint8_t> keyBytes,
                                                 bool checkData);
    [[nodiscard]] static bool DeriveKeyAndIV(std::span<const std::uint8_t> keyBytes, std::span<const std::uint8_t> salt,
                                             TSecureBytes& key, TSecureBytes& iv);
    static TBytes GenerateSalt();
    // The byte count of a container for the base64 encoder; raises Exception beyond 32 bits.
    static std::int32_t ContainerByteCount(std::size_t size);
};
