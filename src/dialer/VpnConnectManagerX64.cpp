// The fuzz build's weakened key derivation never reaches a program (cmake/FuzzBuildMode.cmake).
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#error "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION weakens the key derivation: no program is built with it"
#endif

#include "dialer/VpnConnectManagerX64.h"

#include <algorithm>
#include <cstddef>
#include <memory>

#include "core/SecureZero.h"
#include "platform/RasRecords.h"

namespace {

// The parameters record carries the password; it is wiped however the dial ends.
struct TWipedDialParams {
    RASDIALPARAMSW Record;

    TWipedDialParams() noexcept {}
    TWipedDialParams(const TWipedDialParams&) = delete;
    TWipedDialParams& operator=(const TWipedDialParams&) = delete;
    ~TWipedDialParams() { SecureZero(&Record, sizeof Record); }
};

template <std::size_t N>
constexpr bool Fits(std::u16string_view text, const char16_t (&)[N]) noexcept
{
    return text.size() < N;
}

// Copies the text and one terminator; what follows the terminator is left as it was.
template <std::size_t N>
void CopyField(char16_t (&field)[N], std::u16string_view text) noexcept
{
    std::copy(text.begin(), text.end(), field);
    field[text.size()] = u'\0';
}

std::unique_ptr<RASDIALEXTENSIONS> MakeExtensions()
{
    auto extensions = std::make_unique<RASDIALEXTENSIONS>();
    extensions->dwSize = sizeof(RASDIALEXTENSIONS);
    extensions->dwfOptions = 0;
    extensions->hwndParent = nullptr;
    extensions->reserved = 0;
    extensions->reserved1 = 0;
    extensions->RasEapInfo.dwSizeofEapInfo = sizeof(RASEAPINFO);
    extensions->RasEapInfo.pbEapInfo = nullptr;
    return extensions;
}

}  // namespace

std::uint32_t DialVpnConnection(const TSecureText& phonebook, const TSecureText& entryName, const TSecureText& userName,
                                const TSecureText& password, const TSecureText& phoneNumber,
                                TRasDialWBinder bindRasDialW)
{
    TWipedDialParams params;
    RASDIALPARAMSW& record = params.Record;
    if (!Fits(entryName, record.szEntryName) || !Fits(phoneNumber, record.szPhoneNumber) ||
        !Fits(userName, record.szUserName) || !Fits(password, record.szPassword))
        return ErrorInvalidParameter;

    const std::unique_ptr<RASDIALEXTENSIONS> extensions = MakeExtensions();

    record.dwSize = sizeof(RASDIALPARAMSW);
    CopyField(record.szEntryName, entryName);
    CopyField(record.szPhoneNumber, phoneNumber);
    CopyField(record.szCallbackNumber, u"");
    CopyField(record.szUserName, userName);
    CopyField(record.szPassword, password);
    CopyField(record.szDomain, u"");
    record.dwSubEntry = 0;
    record.dwCallbackId = 0;

    void* connection = nullptr;
    const TRasDialWFunction rasDialW = bindRasDialW();
    return rasDialW(extensions.get(), phonebook.c_str(), &record, 0, nullptr, &connection);
}
