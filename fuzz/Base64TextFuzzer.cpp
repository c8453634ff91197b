// Decoding arbitrary text never fails, and what it yields survives a round through the encoder:
// every layout re-encodes it to a text that decodes to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "Utils/Util.CryptoU.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const TBytes decoded = DecodeBase64Text(text);

    // Four characters carry at most three bytes, whatever else the text holds.
    if (decoded.size() > (size / 4 + 1) * 3)
        std::abort();

    for (const auto option : {TBase64FormattingOptions::None, TBase64FormattingOptions::InsertLineBreaks,
                              TBase64FormattingOptions::InsertLineBreaksXE5Compat}) {
        const std::string encoded = EncodeBase64Text(decoded.data(), static_cast<std::int32_t>(decoded.size()), option);
        if (encoded.size() % 4 != 0 && option == TBase64FormattingOptions::None)
            std::abort();
        if (DecodeBase64Text(encoded) != decoded)
            std::abort();
    }
    return 0;
}
