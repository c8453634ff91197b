#include "rasapi/PhonebookFile.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/UniqueHandle.h"
#include "rasapi/RasErrors.h"

namespace {

using TFileDescriptor = TUniqueAny<int, &close, -1>;

}  // namespace

std::uint32_t ReadPhonebookFile(const std::string& path, std::string& text)
{
    const TFileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat facts {};
    if (file.Get() < 0 || fstat(file.Get(), &facts) != 0 || !S_ISREG(facts.st_mode))
        return RasCannotOpenPhonebook;

    text.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t count = read(file.Get(), buffer, sizeof buffer);
        if (count == 0)
            return 0;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return RasCannotLoadPhonebook;
        }
        if (text.size() + static_cast<std::size_t>(count) > MaxPhonebookSize)
            return RasCannotLoadPhonebook;
        text.append(buffer, static_cast<std::size_t>(count));
    }
}
