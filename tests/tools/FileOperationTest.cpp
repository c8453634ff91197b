// encrypt-file and decrypt-file write under a temporary name beside OUT: whatever ends the
// operation early, that file, which may hold partial plaintext, is gone afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "core/Exceptions.h"
#include "support/TestSupport.h"
#include "tools/corvane/Cli.h"
#include "tools/corvane/FileOperation.h"

using namespace TestSupport;

namespace {

enum class TFailure { Result, SystemError, OutOfMemory, OtherStandardException };

struct TFailureCase {
    const char* Name;
    TFailure Failure;
};

// Writes part of the "plaintext", then fails as the case says.
bool PartialThenFail(TStream&, std::u16string_view, TStream& dest, TFailure failure)
{
    const std::string partial(5000, 'p');
    dest.WriteBuffer(partial.data(), static_cast<std::int64_t>(partial.size()));
    switch (failure) {
        case TFailure::Result:
            return false;
        case TFailure::SystemError:
            throw EOSError(u"ReadFile: the device is not ready", 21);
        case TFailure::OutOfMemory:
            throw std::bad_alloc();
        case TFailure::OtherStandardException:
            throw std::length_error("vector");
    }
    return false;
}

std::vector<std::string> Names(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    return names;
}

class FileOperationFailureTest : public ::testing::TestWithParam<TFailureCase> {};

TEST_P(FileOperationFailureTest, LeavesNoTemporaryFile)
{
    TTempDir dir;
    WriteFileBytes(dir / "in.bin", std::string(7000, 'c'));
    const TFailure failure = GetParam().Failure;
    const auto run = [&] {
        RunFileOperation((dir / "in.bin").u16string(), (dir / "out.bin").u16string(), u"key",
                         [failure](TStream& source, std::u16string_view key, TStream& dest) {
                             return PartialThenFail(source, key, dest, failure);
                         },
                         "decryption failed");
    };
    switch (failure) {
        case TFailure::Result:
        case TFailure::SystemError:
            EXPECT_THROW(run(), EToolFailure);
            break;
        case TFailure::OutOfMemory:
            EXPECT_THROW(run(), std::bad_alloc);
            break;
        case TFailure::OtherStandardException:
            EXPECT_THROW(run(), std::length_error);
            break;
    }
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"in.bin"});
}

INSTANTIATE_TEST_SUITE_P(Failures, FileOperationFailureTest,
                         ::testing::Values(TFailureCase{"FalseResult", TFailure::Result},
                                           TFailureCase{"SystemError", TFailure::SystemError},
                                           TFailureCase{"BadAlloc", TFailure::OutOfMemory},
                                           TFailureCase{"OtherStandardException", TFailure::OtherStandardException}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(FileOperationTest, RenameThatFailsLeavesNoTemporaryFile)
{
    TTempDir dir;
    WriteFileBytes(dir / "in.bin", "plain");
    // A folder with something in it cannot be replaced by a file.
    std::filesystem::create_directory(dir / "out.bin");
    WriteFileBytes(dir / "out.bin" / "kept", "");
    EXPECT_THROW(RunFileOperation((dir / "in.bin").u16string(), (dir / "out.bin").u16string(), u"key",
                                  [](TStream&, std::u16string_view, TStream& dest) {
                                      dest.WriteBuffer("plain", 5);
                                      return true;
                                  },
                                  "encryption failed"),
                 EToolFailure);
    std::vector<std::string> names = Names(dir.Path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"in.bin", "out.bin"}));
}

TEST(FileOperationTest, SuccessLeavesOnlyTheTarget)
{
    TTempDir dir;
    WriteFileBytes(dir / "in.bin", "plain");
    RunFileOperation((dir / "in.bin").u16string(), (dir / "out.bin").u16string(), u"key",
                     [](TStream&, std::u16string_view, TStream& dest) {
                         dest.WriteBuffer("sealed", 6);
                         return true;
                     },
                     "encryption failed");
    std::vector<std::string> names = Names(dir.Path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"in.bin", "out.bin"}));
    const TBytes out = ReadFileBytes(dir / "out.bin");
    EXPECT_EQ(std::string(out.begin(), out.end()), "sealed");
}

}  // namespace
