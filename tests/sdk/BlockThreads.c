/* Eight threads of a 32-bit program making and reading blocks at once through CorvaneLaunch.dll,
 * each with its own items, code page and minute, for a number of rounds. Ends with 0 when every
 * block read back as made, else prints the first difference and ends with 1. */
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "corvane/launch.h"

enum { Threads = 8, Rounds = 50 };

static DWORD WINAPI MakeAndRead(void* parameter)
{
    const int index = (int)(intptr_t)parameter;
    char user[32];
    snprintf(user, sizeof user, "user %d \xc3\xa9", index);
    const char* const items[5] = {"C:\\pb\\rasphone.pbk", "office vpn", user, "p@ss word", "vpn.example"};
    const uint32_t codePage = index % 2 == 0 ? 65001 : 1252;
    const corvane_minute at = {2024, 3, 10, 10, index};
    char block[1024];
    char texts[1024];
    for (int round = 0; round < Rounds; ++round) {
        size_t size = sizeof block;
        if (corvane_make_block(items, 5, codePage, &at, block, &size) != CORVANE_OK)
            return 1;
        size_t count = 0;
        size = sizeof texts;
        if (corvane_read_block(block, codePage, &at, texts, &size, &count) != CORVANE_OK || count != 5)
            return 2;
        const char* text = texts;
        for (int i = 0; i < 5; ++i) {
            if (strcmp(text, items[i]) != 0)
                return 3;
            text += strlen(text) + 1;
        }
        corvane_wipe(texts, size);
    }
    return 0;
}

int main(void)
{
    HANDLE threads[Threads];
    for (int i = 0; i < Threads; ++i) {
        threads[i] = CreateThread(NULL, 0, MakeAndRead, (void*)(intptr_t)i, 0, NULL);
        if (threads[i] == NULL) {
            fprintf(stderr, "block_threads: thread %d did not start\n", i);
            return 1;
        }
    }
    WaitForMultipleObjects(Threads, threads, TRUE, INFINITE);
    int failed = 0;
    for (int i = 0; i < Threads; ++i) {
        DWORD code = 1;
        if (!GetExitCodeThread(threads[i], &code) || code != 0) {
            fprintf(stderr, "block_threads: thread %d failed at step %lu\n", i, (unsigned long)code);
            failed = 1;
        }
        CloseHandle(threads[i]);
    }
    if (!failed)
        printf("block_threads: %d threads, %d blocks each, all read back\n", Threads, Rounds);
    return failed;
}
