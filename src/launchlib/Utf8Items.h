#pragma once
// The caller's UTF-8 texts as the units' wiping UTF-16 texts, and back.

#include <cstddef>

#include "core/Bytes.h"
#include "core/SecureText.h"
#include "rtl/StringList.h"

// A NUL-terminated UTF-8 text; raises EBadArgument when it is not well-formed UTF-8.
TSecureText TextOfUtf8(const char* text);
// The items of a C array; raises EBadArgument for a NULL array or item, or ill-formed UTF-8.
TStringList ItemsOfUtf8(const char* const* items, std::size_t count);
// The text in UTF-8 followed by a NUL, appended to bytes. A lone surrogate becomes U+FFFD.
void AppendUtf8Text(TSecureBytes& bytes, std::u16string_view text);
