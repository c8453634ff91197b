#include "tools/corvane/Commands.h"

#include <string>
#include <vector>

#include "CorvaneUtil/CorvaneUtil.h"
#include "Utils/Util.CryptoU.h"
#include "core/SecureText.h"

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

int FingerprintCommand(TCommandArgs& args)
{
    const std::vector<std::u16string> given = args.TakePositionals(0, 1);
    if (!given.empty()) {
        WriteOutLine(TCorvaneUtil::BlockFingerprint(given.front()));
        return 0;
    }
    // The block is a secret: read from standard input it stays out of the process list. One line
    // break that ends it is not part of the block.
    TSecureText block = DecodeText(ReadStandardInput(), "standard input");
    if (block.View().ends_with(u"\n"))
        block.pop_back();
    if (block.View().ends_with(u"\r"))
        block.pop_back();
    WriteOutLine(TCorvaneUtil::BlockFingerprint(block));
    return 0;
}
