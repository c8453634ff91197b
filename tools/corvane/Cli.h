#pragma once
// Command-line plumbing of the corvane tool: arguments, standard streams, failures.

#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/Bytes.h"
#include "core/SecureText.h"

// A failure the tool reports itself: one line (UTF-8, already escaped where it shows outside
// bytes) on standard error. what() is the same line.
class EToolError : public std::exception {
public:
    explicit EToolError(std::string message) : FMessage(std::move(message)) {}

    const std::string& Message() const noexcept { return FMessage; }
    const char* what() const noexcept override { return FMessage.c_str(); }

private:
    std::string FMessage;
};

// Wrong usage: exit code 2.
class EUsageError : public EToolError {
public:
    using EToolError::EToolError;
};

// The operation failed (wrong key, rejected block, unreadable file...): exit code 1.
class EToolFailure : public EToolError {
public:
    using EToolError::EToolError;
};

// The arguments after the command name, consumed option by option.
class TCommandArgs {
public:
    TCommandArgs(std::string command, std::vector<std::u16string> args);

    const std::string& Command() const noexcept { return FCommand; }
    // Takes "--name" if present.
    bool TakeFlag(std::string_view name);
    // Takes "--name VALUE" or "--name=VALUE" if present; a missing value is a usage error.
    std::optional<std::u16string> TakeValue(std::string_view name);
    // Whatever is left, checked: no unknown options, between min and max positionals.
    std::vector<std::u16string> TakePositionals(std::size_t min, std::size_t max);

private:
    std::string FCommand;
    std::vector<std::u16string> FArgs;
};

// Writes text to standard output: UTF-8, or UTF-16 through the console on a Windows console. The
// text may be a secret (a password of read-params, decrypted text): its UTF-8 form is wiped.
void WriteOut(std::u16string_view text);
void WriteOutLine(std::u16string_view text);
// The same for text that is UTF-8 already.
void WriteOutUtf8(std::string_view utf8);
// One line on standard error.
void WriteError(std::string_view message);

// All bytes of standard input; typed at a Windows console, UTF-16LE behind its byte-order mark.
TSecureBytes ReadStandardInput();
// All bytes of a file; an unreadable file is a failure.
TSecureBytes ReadFileBytes(const std::u16string& path);
// Strict UTF-8 to text; invalid bytes are a failure naming what was read.
TSecureText DecodeUtf8(const TSecureBytes& bytes, std::string_view what);
// Text read from a file or standard input: UTF-8 with or without its byte-order mark, or UTF-16LE
// with its byte-order mark (what Windows PowerShell 5 writes), told apart by the mark. Invalid
// bytes are a failure naming what was read. What is read may hold secrets (items, keys, plaintext).
TSecureText DecodeText(const TSecureBytes& bytes, std::string_view what);

std::string Utf8(std::u16string_view text);
