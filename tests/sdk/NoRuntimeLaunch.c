/* A launching program as an MSVC user links it, without MSVC: no C runtime, compiled by clang for
 * the msvc target and linked by lld-link with its defaults (on x86 that is /safeseh, which every
 * object and import member must allow) against the SDK's CorvaneLaunch.lib alone. The entry point
 * calls every function of the library and ends the process with 0, or with the number of the
 * first check that failed. */
#include "corvane/launch.h"

__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);

static const char* const Items[5] = {"C:\\pb\\rasphone.pbk", "office vpn", "alice", "p@ss, word", "vpn.example"};
static const corvane_minute MadeAt = {2024, 3, 10, 10, 15};

/* Static, so that no stack probe (a C runtime routine) is needed for them. */
static char Block[1024];
static char ReadItems[1024];
static char Text[512];

static int SameText(const char* a, const char* b)
{
    while (*a != '\0' && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

static unsigned int Run(void)
{
    if (corvane_abi_version() != CORVANE_LAUNCH_ABI_VERSION)
        return 10;

    size_t blockSize = 0;
    if (corvane_make_block(Items, 5, 65001, &MadeAt, NULL, &blockSize) != CORVANE_E_BUFFER_TOO_SMALL ||
        blockSize > sizeof Block)
        return 11;
    blockSize = sizeof Block;
    if (corvane_make_block(Items, 5, 65001, &MadeAt, Block, &blockSize) != CORVANE_OK)
        return 12;

    size_t itemsSize = sizeof ReadItems;
    size_t count = 0;
    if (corvane_read_block(Block, 65001, &MadeAt, ReadItems, &itemsSize, &count) != CORVANE_OK || count != 5)
        return 13;
    const char* item = ReadItems;
    for (int i = 0; i < 5; ++i) {
        if (!SameText(item, Items[i]))
            return 14;
        while (*item != '\0')
            ++item;
        ++item;
    }

    /* A failure inside the library comes back as a return code. */
    static const corvane_minute Later = {2024, 3, 10, 10, 17};
    itemsSize = sizeof ReadItems;
    if (corvane_read_block(Block, 65001, &Later, ReadItems, &itemsSize, &count) != CORVANE_E_BLOCK_REJECTED)
        return 15;
    if (corvane_make_block(Items, 4, 65001, &MadeAt, Block, &blockSize) != CORVANE_E_INVALID_ARGUMENT)
        return 16;

    size_t textSize = sizeof Text;
    if (corvane_explain(0, Text, &textSize) != CORVANE_OK || textSize < 2)
        return 17;
    const char* error = corvane_error_text(CORVANE_E_TIMEOUT);
    if (error == NULL || error[0] == '\0')
        return 18;

    uint32_t result = 0;
    if (corvane_dial("C:\\no such folder\\CorvaneDialer.exe", Items, 5, 0, 10000, &result) !=
        CORVANE_E_DIALER_NOT_STARTED)
        return 19;

    corvane_wipe(ReadItems, sizeof ReadItems);
    for (size_t i = 0; i < sizeof ReadItems; ++i)
        if (ReadItems[i] != 0)
            return 20;
    return 0;
}

void __stdcall Start(void)
{
    ExitProcess(Run());
}
