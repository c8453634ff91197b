#include "tools/corvane/Commands.h"

#include "CorvaneUtil/CorvaneUtil.h"
#include "Utils/Util.CryptoU.h"

int Sha256Command(TCommandArgs& args)
{
    const auto salt = args.TakeValue("--salt");
    if (!salt)
        throw EUsageError{"sha256 needs --salt S (it may be empty: --salt \"\")"};
    const std::u16string text = args.TakePositionals(1, 1).front();
    WriteOutLine(TCrypto::GetHashSHA256(text, *salt));
    return 0;
}

int Md5Command(TCommandArgs& args)
{
    const std::u16string text = args.TakePositionals(1, 1).front();
    WriteOutLine(TCorvaneUtil::GetHashMD5String(text));
    return 0;
}
