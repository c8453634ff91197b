#include "Commands.h"
#include "KeySource.h"
#include "ProgressStream.h"

#include <filesystem>
#include <memory>
#include <random>

#include "Utils/Util.CryptoU.h"
#include "core/Exceptions.h"
#include "platform/Console.h"
#include "rtl/FileStream.h"

namespace {

using TStreamOperation = bool (*)(TStream&, std::u16string_view, TStream&);

std::filesystem::path PathOf(const std::u16string& text)
{
    return std::filesystem::path(text);
}

// A name beside the target that no other run picks: OUT.corvane-<random>.tmp.
std::u16string TemporaryNameBeside(const std::u16string& target)
{
    std::random_device random;
    const std::string suffix = ".corvane-" + std::to_string(random()) + ".tmp";
    return target + std::u16string(suffix.begin(), suffix.end());
}

// Runs the stream operation from IN into a temporary file beside OUT and renames it to OUT only on
// success, so a failed decryption leaves no plaintext pieces behind.
int RunFileOperation(TCommandArgs& args, TStreamOperation operation, const char* failure)
{
    const TSecureText key = TakeKey(args);
    const auto paths = args.TakePositionals(2, 2);
    const std::u16string& in = paths[0];
    const std::u16string& out = paths[1];
    const std::u16string temporary = TemporaryNameBeside(out);

    bool succeeded = false;
    try {
        TFileStream source(in, TFileStream::TMode::OpenRead);
        TFileStream dest(temporary, TFileStream::TMode::Create);
        if (IsTerminal(stderr)) {
            TProgressStream progress(source, source.Size());
            succeeded = operation(progress, key, dest);
        } else {
            succeeded = operation(source, key, dest);
        }
        if (succeeded)
            dest.Flush();
    } catch (const Exception& e) {
        std::error_code ignored;
        std::filesystem::remove(PathOf(temporary), ignored);
        throw EToolFailure{e.what()};
    }

    std::error_code error;
    if (!succeeded) {
        std::filesystem::remove(PathOf(temporary), error);
        throw EToolFailure{failure};
    }
    std::filesystem::rename(PathOf(temporary), PathOf(out), error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(PathOf(temporary), ignored);
        throw EToolFailure{"cannot write " + Utf8(out) + ": " + error.message()};
    }
    return 0;
}

}  // namespace

int EncryptFileCommand(TCommandArgs& args)
{
    return RunFileOperation(args, &TCrypto::EncryptStream, "encryption failed");
}

int DecryptFileCommand(TCommandArgs& args)
{
    return RunFileOperation(args, &TCrypto::DecryptStream, "decryption failed: wrong key or damaged file");
}
