#include "rtl/StringStream.h"

void TStringStream::WriteString(std::u16string_view text)
{
    const TSecureBytes bytes = FEncoding.GetBytes(text);
    WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
}

TSecureText TStringStream::DataString() const
{
    return FEncoding.GetString(Bytes());
}
