// The Windows test program links with -municode, whose start-up code calls wmain; GoogleTest's own
// main would never run.
#ifdef _WIN32

#include <gtest/gtest.h>

int wmain(int argc, wchar_t** argv)
{
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#endif
