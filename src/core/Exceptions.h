#pragma once
#include <cstdint>
#include <exception>
#include <string>

// The general exception: an error that carries a message text. The dialer's entry catches
// exactly this kind (and the standard library's own).
class Exception : public std::exception {
public:
    explicit Exception(std::u16string message);

    const std::u16string& Message() const noexcept { return FMessage; }
    // The message as UTF-8, for diagnostics and test output.
    const char* what() const noexcept override { return FMessageUtf8.c_str(); }

private:
    std::u16string FMessage;
    std::string FMessageUtf8;
};

// A failure that the operating system or a platform library reported.
class EOSError : public Exception {
public:
    explicit EOSError(std::u16string message, std::uint32_t errorCode = 0)
        : Exception(std::move(message)), ErrorCode(errorCode)
    {
    }

    std::uint32_t ErrorCode;
};

// A broken precondition. Its message is "<text> (<source file>, <line> 行)".
class EAssertionFailed : public Exception {
public:
    EAssertionFailed(const std::u16string& text, const std::u16string& sourceFile, int line);
};

// Bytes that are not valid in the encoding that is to turn them into text.
class EEncodingError : public Exception {
public:
    using Exception::Exception;
};

// Raises EAssertionFailed unless condition holds. The line is part of the message people see
// (see docs/ERRORS.md): pass a named constant, never __LINE__.
inline void Assert(bool condition, const std::u16string& text, const std::u16string& sourceFile, int line)
{
    if (!condition)
        throw EAssertionFailed(text, sourceFile, line);
}
