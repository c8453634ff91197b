#pragma once
#include <string>
#include <string_view>

#include "rtl/Encoding.h"
#include "rtl/MemoryStream.h"

// A memory stream with a text encoding: text written into it becomes bytes in that encoding,
// and its whole content can be read back as text.
class TStringStream : public TMemoryStream {
public:
    explicit TStringStream(const TEncoding& encoding) : FEncoding(encoding) {}

    // Writes the encoded text at the current position.
    void WriteString(std::u16string_view text);
    // All bytes of the stream, from its first byte to its size, decoded.
    TSecureText DataString() const;

    const TEncoding& Encoding() const noexcept { return FEncoding; }

private:
    const TEncoding& FEncoding;
};
