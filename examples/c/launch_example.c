/* A launching program in C: makes a parameter block, reads it back, and dials.
 *
 *   launch_example DIALER [PHONEBOOK ENTRY USER PASSWORD PHONE]
 *
 * Build against the SDK: the header in include/, and the import library (Windows:
 * CorvaneLaunch.lib for MSVC, libCorvaneLaunch.dll.a for mingw) or libcorvanelaunch.so (POSIX) in
 * lib/; CorvaneLaunch.dll goes beside the program. Ends with 0 when the connection was made. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "corvane/launch.h"

/* Makes this minute's block of the items in the system's ANSI code page (0): the size first, then
   the block. Returns a buffer the caller wipes and frees, or NULL after printing why. */
static char* make_block(const char* const* items, size_t count)
{
    size_t size = 0;
    int rc = corvane_make_block(items, count, 0, NULL, NULL, &size);
    if (rc != CORVANE_E_BUFFER_TOO_SMALL) {
        fprintf(stderr, "make: %s\n", corvane_error_text(rc));
        return NULL;
    }
    char* block = malloc(size);
    if (block == NULL)
        return NULL;
    rc = corvane_make_block(items, count, 0, NULL, block, &size);
    if (rc != CORVANE_OK) {
        fprintf(stderr, "make: %s\n", corvane_error_text(rc));
        free(block);
        return NULL;
    }
    return block;
}

/* Reads the block back as the dialer would and compares the items. Returns 0 when they match. */
static int read_back(const char* block, const char* const* items, size_t count)
{
    size_t size = 0;
    size_t read_count = 0;
    int rc = corvane_read_block(block, 0, NULL, NULL, &size, &read_count);
    if (rc != CORVANE_E_BUFFER_TOO_SMALL) {
        fprintf(stderr, "read: %s\n", corvane_error_text(rc));
        return 1;
    }
    char* texts = malloc(size);
    if (texts == NULL)
        return 1;
    rc = corvane_read_block(block, 0, NULL, texts, &size, &read_count);
    int differ = rc != CORVANE_OK || read_count != count;
    const char* text = texts;
    for (size_t i = 0; !differ && i < count; ++i) {
        differ = strcmp(text, items[i]) != 0;
        text += strlen(text) + 1;
    }
    if (rc != CORVANE_OK)
        fprintf(stderr, "read: %s\n", corvane_error_text(rc));
    else if (differ)
        fprintf(stderr, "read: the items came back changed\n");
    /* The texts hold the password. */
    corvane_wipe(texts, size);
    free(texts);
    return differ;
}

int main(int argc, char** argv)
{
    static const char* const defaults[] = {"C:\\pb\\rasphone.pbk", "office vpn", "alice", "p@ss, word", "vpn.example"};
    if (argc != 2 && argc != 7) {
        fprintf(stderr, "usage: launch_example DIALER [PHONEBOOK ENTRY USER PASSWORD PHONE]\n");
        return 2;
    }
    if (corvane_abi_version() != CORVANE_LAUNCH_ABI_VERSION) {
        fprintf(stderr, "the library's ABI version is %u, this program's %u\n", (unsigned)corvane_abi_version(),
                (unsigned)CORVANE_LAUNCH_ABI_VERSION);
        return 2;
    }
    const char* const* items = argc == 7 ? (const char* const*)(argv + 2) : defaults;

    char* block = make_block(items, 5);
    if (block == NULL)
        return 1;
    printf("block: %zu characters\n", strlen(block));
    int failed = read_back(block, items, 5);
    corvane_wipe(block, strlen(block));
    free(block);
    if (failed)
        return 1;
    printf("read back: the five items\n");

    uint32_t result = 0;
    int rc = corvane_dial(argv[1], items, 5, 0, 60000, &result);
    if (rc != CORVANE_OK) {
        fprintf(stderr, "dial: %s\n", corvane_error_text(rc));
        return 1;
    }
    char meaning[512];
    size_t size = sizeof meaning;
    if (corvane_explain(result, meaning, &size) != CORVANE_OK)
        strcpy(meaning, "(no text)");
    printf("dial result %lu: %s\n", (unsigned long)result, meaning);
    return result == 0 ? 0 : 1;
}
