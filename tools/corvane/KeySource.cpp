#include "tools/corvane/KeySource.h"

#include "platform/Process.h"

TSecureText TakeKey(TCommandArgs& args)
{
    const auto keyFile = args.TakeValue("--key-file");
    const auto keyEnv = args.TakeValue("--key-env");
    if (keyFile.has_value() == keyEnv.has_value())
        throw EUsageError{args.Command() + ": give the key with exactly one of --key-file F or --key-env VAR"};

    if (keyEnv) {
        auto value = GetEnvironmentVariable(*keyEnv);
        if (!value)
            throw EToolFailure{"environment variable " + Utf8(*keyEnv) + " is not set"};
        return TSecureText::TakeOver(*value);
    }

    TSecureBytes bytes = ReadFileBytes(*keyFile);
    // A key file written by an editor or `echo` ends in a line break that is not part of the key.
    if (!bytes.empty() && bytes.back() == '\n') {
        bytes.pop_back();
        if (!bytes.empty() && bytes.back() == '\r')
            bytes.pop_back();
    }
    return DecodeUtf8(bytes, "the key file");
}
