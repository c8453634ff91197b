// Stands in for a dialer that writes: to its standard output and error, and what it found on its
// standard input. It ends with 0.
#include <cstdio>

int main()
{
    std::size_t input = 0;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
        input += n;
    std::printf("talking program: standard output, %lu bytes of standard input\n", static_cast<unsigned long>(input));
    std::fflush(stdout);
    std::fprintf(stderr, "talking program: standard error\n");
    return 0;
}
