#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Bytes.h"
#include "core/SecureText.h"

// The process's ANSI code page and conversion between it and UTF-16.
//
// Windows: the active code page (GetACP) through MultiByteToWideChar / WideCharToMultiByte
// with no conversion flags. POSIX: UTF-8 (65001) stands as the ANSI code page and behaves as
// Windows does with 65001. On both, a program may select another code page for the process;
// on POSIX that goes through iconv, which knows 932 (CP932) and 1252 among others.
// Neither direction fails. Windows: characters the code page lacks map best-fit where Windows
// knows a fit (A for U+0100 under 1252) and to the default character otherwise; bytes decode by
// the code page's own rules. POSIX: a character the code page lacks becomes one "?" (U+FFFD's
// bytes under 65001; a surrogate pair counts as one character, no best fit); a byte the code
// page cannot decode becomes U+FFFD, in its place among the characters around it. Under 65001
// bytes that form no character follow the Unicode Standard's "U+FFFD Substitution of Maximal
// Subparts" (section 3.9), as Python's and the WHATWG decoders do: each maximal subpart (the
// longest run that begins some well-formed sequence, else a single byte) becomes one U+FFFD.
// So F4 90 80 80 gives four (nothing past U+10FFFF begins a sequence), ED A0 80 (a surrogate)
// three, C0 AF two, E1 80 41 gives U+FFFD and "A", and E1 80 cut by the end one.

std::uint32_t AnsiCodePage();
// Selects the code page of every later conversion; raises EOSError when it is unknown.
void SetAnsiCodePage(std::uint32_t codePage);

// Selects the code page of this thread's conversions while it lives, over the process's choice;
// 0 leaves the process's. Raises EOSError when the code page is unknown. A library's callers on
// several threads may each name their own code page without disturbing one another.
class TThreadCodePage {
public:
    explicit TThreadCodePage(std::uint32_t codePage);
    ~TThreadCodePage();
    TThreadCodePage(const TThreadCodePage&) = delete;
    TThreadCodePage& operator=(const TThreadCodePage&) = delete;

private:
    std::uint32_t FPrevious;
};

// Either side may hold a secret: both are wiping types.
TSecureBytes UnicodeToAnsi(std::u16string_view text);
TSecureText AnsiToUnicode(const std::uint8_t* data, std::size_t size);
