#pragma once
// Watches the blocks the heap takes back for copies of a secret. Every block freed while a watch
// is on, and every block a reallocation leaves behind, is scanned for any run of a few consecutive
// characters of the secret in three forms: UTF-16LE (the texts), UTF-8 (the ANSI form of an ASCII
// secret) and UTF-32LE (what the C library's code-page converters work in).
//
// The native POSIX build replaces free and realloc of the C library in the test program; the
// AddressSanitizer build, whose allocator is its own, reports frees through its free hook. The
// Windows build cannot observe frees.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace FreedBlockProbe {

// Nothing when this build observes frees, otherwise why it does not.
std::optional<std::string> Unavailable();

// One watch at a time, on the thread that frees.
class TWatch {
public:
    // secret: ASCII, at most 64 characters; window: the shortest run that counts, at most the
    // secret's length.
    TWatch(std::u16string_view secret, std::size_t window);
    ~TWatch();
    TWatch(const TWatch&) = delete;
    TWatch& operator=(const TWatch&) = delete;

    // The blocks found so far holding a run of the secret.
    std::size_t Count() const noexcept;
    // Size, form and offset of the first of them, for a failure message.
    std::string Findings() const;
};

// Keeps a copy of every block freed while it lives, for a secret only known afterwards (a block
// made inside the call watched). One recording at a time, and not together with a watch.
class TRecording {
public:
    TRecording();
    ~TRecording();
    TRecording(const TRecording&) = delete;
    TRecording& operator=(const TRecording&) = delete;

    // Ends the recording; what is freed afterwards is not kept.
    void Stop() noexcept;
    // False when the freed blocks outgrew the space kept for them: a count then proves nothing.
    bool Complete() const noexcept;
    // The kept blocks holding a run of `window` consecutive characters of the secret (ASCII, any
    // length) in any of the three forms, looked for at every stride-th start of the secret: any
    // copy of window + stride - 1 characters or more is found. Size, form and offset of each go to
    // findings.
    std::size_t CountCopies(std::u16string_view secret, std::size_t window, std::size_t stride,
                            std::string& findings) const;
};

}  // namespace FreedBlockProbe
