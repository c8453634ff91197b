/* Blocks passed between builds of the library: one build makes a block of fixed items for a fixed
 * minute, another reads it and compares the items.
 *
 *   block_exchange make          prints the block
 *   block_exchange read BLOCK    ends with 0 when it reads back as the fixed items
 *
 * Built for 32-bit and 64-bit Windows and for POSIX, each against its own library. */
#include <stdio.h>
#include <string.h>

#include "corvane/launch.h"

static const char* const Items[5] = {"C:\\pb\\rasphone.pbk", "office vpn", "\xe5\xb1\xb1\xe7\x94\xb0 taro",
                                     "p\xc3\xa4ss, word", "+81-3-1234-5678"};
static const corvane_minute MadeAt = {2024, 3, 10, 10, 15};

int main(int argc, char** argv)
{
    static char buffer[2048];
    size_t size = sizeof buffer;
    if (argc == 2 && strcmp(argv[1], "make") == 0) {
        int rc = corvane_make_block(Items, 5, 65001, &MadeAt, buffer, &size);
        if (rc != CORVANE_OK) {
            fprintf(stderr, "block_exchange: make: %s\n", corvane_error_text(rc));
            return 1;
        }
        printf("%s\n", buffer);
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "read") == 0) {
        size_t count = 0;
        int rc = corvane_read_block(argv[2], 65001, &MadeAt, buffer, &size, &count);
        if (rc != CORVANE_OK || count != 5) {
            fprintf(stderr, "block_exchange: read: %s\n", corvane_error_text(rc));
            return 1;
        }
        const char* text = buffer;
        for (int i = 0; i < 5; ++i) {
            if (strcmp(text, Items[i]) != 0) {
                fprintf(stderr, "block_exchange: read: item %d differs\n", i + 1);
                return 1;
            }
            text += strlen(text) + 1;
        }
        corvane_wipe(buffer, size);
        return 0;
    }
    fprintf(stderr, "usage: block_exchange make | read BLOCK\n");
    return 2;
}
