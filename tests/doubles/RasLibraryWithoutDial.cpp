// A Remote Access Service library that lacks RasDialW, as an old or damaged one would.

#include <cstdint>

#ifdef _WIN32
#define CORVANE_EXPORT __declspec(dllexport)
#else
#define CORVANE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" CORVANE_EXPORT std::uint32_t RasHangUpW(void* /*hRasConn*/)
{
    return 0;
}
