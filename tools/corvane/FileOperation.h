#pragma once
// encrypt-file and decrypt-file: a stream operation from one file into another, in constant memory.

#include <functional>
#include <string>
#include <string_view>

#include "rtl/Stream.h"

// True when the operation succeeded (TCrypto::EncryptStream, TCrypto::DecryptStream).
using TStreamOperation = std::function<bool(TStream& source, std::u16string_view key, TStream& dest)>;

// Runs the operation from the file in into a temporary file beside out (OUT.corvane-N.tmp) and
// renames that to out only when the operation succeeds. However it ends otherwise (a false
// result, which raises EToolFailure with failure; a system error; any other exception, which
// passes on unchanged), the temporary file, which may hold partial plaintext, is removed.
void RunFileOperation(const std::u16string& in, const std::u16string& out, std::u16string_view key,
                      const TStreamOperation& operation, const char* failure);
