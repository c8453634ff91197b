#include "dialer/DialerEntry.h"

#include "CorvaneUtil.h"
#include "rtl/StringList.h"

std::uint32_t DialParameterBlock(const std::u16string& encryptedParamStr, TRasDialWBinder bindRasDialW)
{
    TStringList paramStrList;
    TCorvaneUtil::DecryptParams(encryptedParamStr, paramStrList);

    // All five are read before dialing: a short list reports its first missing index.
    const std::u16string phonebook = paramStrList.Get(0);
    const std::u16string entryName = paramStrList.Get(1);
    const std::u16string userName = paramStrList.Get(2);
    const std::u16string password = paramStrList.Get(3);
    const std::u16string phoneNumber = paramStrList.Get(4);

    return DialVpnConnection(phonebook, entryName, userName, password, phoneNumber, bindRasDialW);
}
