// Stands in for a dialer whose argument a test needs afterwards: writes its first argument to the
// file that CORVANE_TEST_ARGUMENT_FILE names and ends with 0.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    const char* path = std::getenv("CORVANE_TEST_ARGUMENT_FILE");
    if (path == nullptr || argc < 2)
        return 3;
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr)
        return 4;
    const bool written = std::fwrite(argv[1], 1, std::strlen(argv[1]), file) == std::strlen(argv[1]);
    return std::fclose(file) == 0 && written ? 0 : 5;
}
