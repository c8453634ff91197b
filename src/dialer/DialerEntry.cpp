// The fuzz build's weakened key derivation never reaches a program (cmake/FuzzBuildMode.cmake).
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#error "FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION weakens the key derivation: no program is built with it"
#endif

#include "dialer/DialerEntry.h"

#include "CorvaneUtil/CorvaneUtil.h"
#include "core/ScopeExit.h"
#include "core/SecureZero.h"
#include "platform/Process.h"
#include "rtl/StringList.h"

std::uint32_t DialParameterBlock(const std::u16string& encryptedParamStr, TRasDialWBinder bindRasDialW)
{
    return DialParameterBlock(encryptedParamStr, bindRasDialW, LocalNow(), TMinuteSearch::WithinTwoSeconds());
}

std::uint32_t DialParameterBlock(const std::u16string& encryptedParamStr, TRasDialWBinder bindRasDialW,
                                 const TLocalDateTime& now, const TMinuteSearch& search)
{
    TStringList paramStrList;
    TCorvaneUtil::DecryptParams(encryptedParamStr, paramStrList, now, search);

    // All five are read before dialing: a short list reports its first missing index. Like the
    // list's items, the copies wipe themselves.
    const TSecureText phonebook = paramStrList.Get(0);
    const TSecureText entryName = paramStrList.Get(1);
    const TSecureText userName = paramStrList.Get(2);
    const TSecureText password = paramStrList.Get(3);
    const TSecureText phoneNumber = paramStrList.Get(4);

    return DialVpnConnection(phonebook, entryName, userName, password, phoneNumber, bindRasDialW);
}

std::uint32_t DialCommandLineBlock(TRasDialWBinder bindRasDialW)
{
    std::u16string block = ParamStr(1);
    const TScopeExit wipeBlock([&block] {
        block.resize(block.capacity());
        SecureZero(block.data(), block.size() * sizeof(char16_t));
    });
    OverwriteArguments();
    return DialParameterBlock(block, bindRasDialW);
}
