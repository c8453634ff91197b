#include "tools/corvane/LogFileRead.h"

#include <chrono>
#include <cstdint>
#include <thread>

#include "core/Exceptions.h"
#include "platform/File.h"

namespace {

std::string ReadWhole(TFile& file)
{
    std::string bytes(static_cast<std::size_t>(file.Size()), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::int64_t n = file.Read(bytes.data() + done, static_cast<std::int64_t>(bytes.size() - done));
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    // A log that a writer cut back after measuring ends where the reading ended.
    bytes.resize(done);
    return bytes;
}

}  // namespace

std::string ReadLogFile(const std::u16string& path, const std::function<void(int)>& pause)
{
    for (int attempt = 1;; ++attempt) {
        try {
            TFile file(path, TFile::TOpen::LogRead);
            return ReadWhole(file);
        } catch (const EOSError& e) {
            if (!IsHeldByAnother(e) || attempt == HeldLogReadAttempts)
                throw;
        }
        pause(attempt);
    }
}

std::string ReadLogFile(const std::u16string& path)
{
    return ReadLogFile(path, [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(25)); });
}
