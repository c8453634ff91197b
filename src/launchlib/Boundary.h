#pragma once
// The edge between the C interface and the C++ below it: every exception becomes a return code
// there, and results go into the caller's buffers by the ask-first convention.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <new>
#include <string_view>

#include "corvane/launch.h"
#include "launch/LaunchFailure.h"

// A caller's argument that cannot be used (CORVANE_E_INVALID_ARGUMENT).
class EBadArgument : public std::exception {
public:
    const char* what() const noexcept override { return "bad argument"; }
};

// An outcome that is a return code of its own, raised from deep in a call.
class EReturnCode : public std::exception {
public:
    explicit EReturnCode(int code) : Code(code) {}
    const char* what() const noexcept override { return "return code"; }
    int Code;
};

int ReturnCodeOf(TLaunchFault fault) noexcept;

// Runs body, which returns a code, and turns whatever it raises into one. Nothing passes the
// boundary: not std::bad_alloc, not an exception of a kind nobody expected.
template <typename Body>
int Guarded(Body&& body) noexcept
{
    try {
        return body();
    } catch (const EBadArgument&) {
        return CORVANE_E_INVALID_ARGUMENT;
    } catch (const EReturnCode& e) {
        return e.Code;
    } catch (const ELaunchFailure& e) {
        return ReturnCodeOf(e.Fault);
    } catch (const std::bad_alloc&) {
        return CORVANE_E_OUT_OF_MEMORY;
    } catch (...) {
        return CORVANE_E_INTERNAL;
    }
}

// Copies bytes (which hold their terminating NUL) into the caller's buffer of *size bytes and
// sets *size to their length. Returns CORVANE_E_BUFFER_TOO_SMALL, with nothing written, when the
// buffer is NULL or short.
int PutBytes(const std::uint8_t* bytes, std::size_t length, char* buffer, std::size_t* size) noexcept;
