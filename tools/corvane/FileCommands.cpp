#include "tools/corvane/Commands.h"
#include "tools/corvane/FileOperation.h"
#include "tools/corvane/KeySource.h"
#include "tools/corvane/ProgressStream.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "Utils/Util.CryptoU.h"
#include "core/Exceptions.h"
#include "core/ScopeExit.h"
#include "platform/Console.h"
#include "rtl/FileStream.h"

namespace {

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

int RunFileCommand(TCommandArgs& args, const TStreamOperation& operation, const char* failure)
{
    const TSecureText key = TakeKey(args);
    const auto paths = args.TakePositionals(2, 2);
    RunFileOperation(paths[0], paths[1], key, operation, failure);
    return 0;
}

using TStreamCall = bool (*)(TStream&, std::u16string_view, TStream&);

}  // namespace

void RunFileOperation(const std::u16string& in, const std::u16string& out, std::u16string_view key,
                      const TStreamOperation& operation, const char* failure)
{
    const std::u16string temporary = TemporaryNameBeside(out);
    const std::filesystem::path temporaryPath = PathOf(temporary);
    // Removed unless it was renamed into place. Declared before the file is opened, so the file
    // is closed before it is removed.
    TScopeExit removeTemporary([&temporaryPath] {
        std::error_code ignored;
        std::filesystem::remove(temporaryPath, ignored);
    });
    try {
        TFileStream source(in, TFileStream::TMode::OpenRead);
        TFileStream dest(temporary, TFileStream::TMode::Create);
        bool succeeded = false;
        if (IsTerminal(stderr)) {
            TProgressStream progress(source, source.Size());
            succeeded = operation(progress, key, dest);
        } else {
            succeeded = operation(source, key, dest);
        }
        if (!succeeded)
            throw EToolFailure{failure};
        dest.Flush();
    } catch (const Exception& e) {
        throw EToolFailure{e.what()};
    }

    std::error_code error;
    std::filesystem::rename(temporaryPath, PathOf(out), error);
    if (error)
        throw EToolFailure{"cannot write " + Utf8(out) + ": " + error.message()};
    removeTemporary.Dismiss();
}

int EncryptFileCommand(TCommandArgs& args)
{
    return RunFileCommand(args, static_cast<TStreamCall>(&TCrypto::EncryptStream), "encryption failed");
}

int DecryptFileCommand(TCommandArgs& args)
{
    return RunFileCommand(args, static_cast<TStreamCall>(&TCrypto::DecryptStream),
                          "decryption failed: wrong key or damaged file");
}
