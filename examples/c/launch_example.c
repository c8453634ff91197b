/* A launching program in C: makes a parameter block, reads it back, and dials.
 *
 *   launch_example [DIALER] [PHONEBOOK ENTRY USER PASSWORD PHONE]
 *
 * Build against the SDK: the header in include/, and the import library of the program's
 * architecture (Windows: x86/ or x64/, CorvaneLaunch.lib for MSVC, libCorvaneLaunch.dll.a for
 * mingw) or libcorvanelaunch.so (POSIX); CorvaneLaunch.dll of that architecture goes beside the
 * program. Ends with 0 when the connection was made.
 *
 * On Windows the arguments are taken as UTF-16 and converted to UTF-8, which the library reads:
 * the char argv holds them in the ANSI code page, where a password such as "pässword" is no
 * UTF-8 and a Japanese one may have become "?". Without DIALER the dialer is found where its
 * package recorded its folder, in the registry's 64-bit view (a 32-bit program is redirected to
 * the 32-bit view, and its %ProgramFiles% is the x86 folder, unless it asks otherwise).
 *
 * corvane_dial blocks its thread for the whole dial (up to the timeout): a program with a window
 * calls it from a thread other than the one that runs the window's messages. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "corvane/launch.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#ifdef _MSC_VER
#pragma comment(lib, "shell32.lib")
#pragma comment(lib, "advapi32.lib")
#endif

/* A UTF-16 text as UTF-8 in a buffer from malloc, or NULL. */
static char* utf8_of(const wchar_t* text)
{
    int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, NULL, 0, NULL, NULL);
    if (size <= 0)
        return NULL;
    char* utf8 = malloc((size_t)size);
    if (utf8 != NULL && WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, utf8, size, NULL, NULL) != size) {
        free(utf8);
        utf8 = NULL;
    }
    return utf8;
}

/* The program's arguments as UTF-8, from its UTF-16 command line. Sets *count; NULL on failure. */
static char** utf8_arguments(int* count)
{
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), count);
    if (wide == NULL)
        return NULL;
    char** arguments = calloc((size_t)*count + 1, sizeof *arguments);
    for (int i = 0; arguments != NULL && i < *count; ++i) {
        arguments[i] = utf8_of(wide[i]);
        if (arguments[i] == NULL) {
            fprintf(stderr, "argument %d is not valid UTF-16\n", i);
            arguments = NULL; /* a short-lived program: the process's end frees them */
        }
    }
    LocalFree(wide);
    return arguments;
}

/* The dialer's path from the folder its package records under
   HKLM\SOFTWARE\Orvex\Corvane Dialer (value InstallLocation, 64-bit view), as UTF-8 in a buffer
   from malloc; NULL when it is not installed. */
static char* installed_dialer(void)
{
    HKEY key = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Orvex\\Corvane Dialer", 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                      &key) != ERROR_SUCCESS)
        return NULL;
    wchar_t folder[MAX_PATH + 1];
    DWORD size = sizeof folder - sizeof folder[0];
    LSTATUS rc = RegGetValueW(key, NULL, L"InstallLocation", RRF_RT_REG_SZ, NULL, folder, &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return NULL;
    /* Room is left for the program's name, with a separator when the folder has none. */
    static const wchar_t program[] = L"CorvaneDialer.exe";
    size_t length = wcslen(folder);
    wchar_t path[MAX_PATH + 1 + sizeof program / sizeof program[0]];
    wcscpy(path, folder);
    if (length > 0 && path[length - 1] != L'\\')
        path[length++] = L'\\';
    wcscpy(path + length, program);
    return utf8_of(path);
}
#endif

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
#ifdef _WIN32
    argv = utf8_arguments(&argc);
    if (argv == NULL)
        return 2;
#endif
    /* The dialer is named when the arguments are one or six; otherwise it is looked up. */
    const char* dialer = argc == 2 || argc == 7 ? argv[1] : NULL;
    const char* const* items = argc == 7   ? (const char* const*)(argv + 2)
                               : argc == 6 ? (const char* const*)(argv + 1)
                                           : defaults;
    if (argc > 7 || (argc > 2 && argc < 6)) {
        fprintf(stderr, "usage: launch_example [DIALER] [PHONEBOOK ENTRY USER PASSWORD PHONE]\n");
        return 2;
    }
#ifdef _WIN32
    if (dialer == NULL)
        dialer = installed_dialer();
#endif
    if (dialer == NULL) {
        fprintf(stderr, "the dialer is not installed here: name its path\n");
        return 2;
    }
    if (corvane_abi_version() != CORVANE_LAUNCH_ABI_VERSION) {
        fprintf(stderr, "the library's ABI version is %u, this program's %u\n", (unsigned)corvane_abi_version(),
                (unsigned)CORVANE_LAUNCH_ABI_VERSION);
        return 2;
    }

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

    /* This thread waits for the whole dial. */
    uint32_t result = 0;
    int rc = corvane_dial(dialer, items, 5, 0, 60000, &result);
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
