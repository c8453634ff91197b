/* The 32-bit DLL as a program that loads it at run time calls it: LoadLibrary, GetProcAddress, and
 * every function through a __stdcall pointer type, on every success path and every failure path a
 * caller can reach with plain texts. Each call is made twice: by the compiler through the typed
 * pointer, and by CheckedCall, which puts known values in the callee-saved registers and checks
 * that they, the stack pointer (the callee pops its arguments) and the x87 control word come back
 * as they were.
 *
 *   stdcall_calls --run HANGING-PROGRAM [--libgcc-first]
 *
 * --libgcc-first loads libgcc's DLL (libgcc_s_dw2-1.dll, beside the program with the
 * libwinpthread-1.dll it needs) before CorvaneLaunch.dll, as a host built with the shared libgcc
 * has it: the library's failures, which it raises and catches inside, must still come back as
 * return codes. With --run it ends with 0 when every check held, else prints the first that failed
 * and ends with 1; without it (started as the dialer, with a block) it ends with 7. */
#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "corvane/launch.h"

#if !defined(__i386__)
#error "this program checks the 32-bit calling convention"
#endif

typedef uint32_t(__stdcall* TAbiVersion)(void);
typedef int(__stdcall* TMakeBlock)(const char* const*, size_t, uint32_t, const corvane_minute*, char*, size_t*);
typedef int(__stdcall* TReadBlock)(const char*, uint32_t, const corvane_minute*, char*, size_t*, size_t*);
typedef int(__stdcall* TDial)(const char*, const char* const*, size_t, uint32_t, uint32_t, uint32_t*);
typedef int(__stdcall* TExplain)(uint32_t, char*, size_t*);
typedef const char*(__stdcall* TErrorText)(int);
typedef void(__stdcall* TWipe)(void*, size_t);

/* Used by CheckedCall below; one call at a time. */
uint32_t CheckedEsp;
const void* CheckedFunction;

/* Calls function with the 32-bit words args[0..count) as its arguments; returns its eax and sets
 *intact to 1 when ebx, esi, edi, ebp and esp came back as they were, else 0. */
uint32_t CheckedCall(const void* function, const uint32_t* args, uint32_t count, int* intact);
__asm__(
    ".text\n"
    ".globl _CheckedCall\n"
    "_CheckedCall:\n"
    "  pushl %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 20(%esp), %eax\n"
    "  movl %eax, _CheckedFunction\n"
    "  movl 24(%esp), %edx\n"
    "  movl 28(%esp), %ecx\n"
    "  movl %esp, _CheckedEsp\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%edx,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  movl $0x1b1b1b1b, %ebx\n"
    "  movl $0x5e5e5e5e, %esi\n"
    "  movl $0xd1d1d1d1, %edi\n"
    "  movl $0xb9b9b9b9, %ebp\n"
    "  call *_CheckedFunction\n"
    "  xorl %ecx, %ecx\n"
    "  cmpl $0x1b1b1b1b, %ebx\n"
    "  jne 3f\n"
    "  cmpl $0x5e5e5e5e, %esi\n"
    "  jne 3f\n"
    "  cmpl $0xd1d1d1d1, %edi\n"
    "  jne 3f\n"
    "  cmpl $0xb9b9b9b9, %ebp\n"
    "  jne 3f\n"
    "  cmpl _CheckedEsp, %esp\n"
    "  jne 3f\n"
    "  movl $1, %ecx\n"
    "3:\n"
    "  movl _CheckedEsp, %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  movl 16(%esp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  ret\n");

static unsigned short ControlWord(void)
{
    unsigned short word;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

static int Failed(const char* what)
{
    fprintf(stderr, "stdcall_calls: %s\n", what);
    return 1;
}

#define WORD(value) ((uint32_t)(uintptr_t)(value))

/* CheckedCall with the arguments given after the function; 0 when the registers or the control word
   changed, after printing which call did it. */
#define CHECKED(result, name, function, ...)                                                                    \
    do {                                                                                                        \
        const uint32_t args_[] = {__VA_ARGS__};                                                                 \
        int intact_ = 0;                                                                                        \
        unsigned short word_ = ControlWord();                                                                   \
        (result) = CheckedCall((const void*)(function), args_, sizeof args_ / sizeof args_[0], &intact_);       \
        if (!intact_ || ControlWord() != word_)                                                                 \
            return Failed(name ": a callee-saved register, the stack pointer or the x87 control word changed"); \
    } while (0)

static int Run(const char* hanging)
{
    HMODULE library = LoadLibraryW(L"CorvaneLaunch.dll");
    if (library == NULL)
        return Failed("CorvaneLaunch.dll does not load");
    TAbiVersion abiVersion = (TAbiVersion)(void (*)(void))GetProcAddress(library, "corvane_abi_version");
    TMakeBlock makeBlock = (TMakeBlock)(void (*)(void))GetProcAddress(library, "corvane_make_block");
    TReadBlock readBlock = (TReadBlock)(void (*)(void))GetProcAddress(library, "corvane_read_block");
    TDial dial = (TDial)(void (*)(void))GetProcAddress(library, "corvane_dial");
    TExplain explain = (TExplain)(void (*)(void))GetProcAddress(library, "corvane_explain");
    TErrorText errorText = (TErrorText)(void (*)(void))GetProcAddress(library, "corvane_error_text");
    TWipe wipe = (TWipe)(void (*)(void))GetProcAddress(library, "corvane_wipe");
    if (!abiVersion || !makeBlock || !readBlock || !dial || !explain || !errorText || !wipe)
        return Failed("a function is not exported under its plain name");

    static const char* const items[5] = {"C:\\pb\\rasphone.pbk", "office vpn", "alice", "p\xc3\xa4ss word",
                                         "vpn.example"};
    static const char* const japanese[5] = {"C:\\pb\\rasphone.pbk", "office vpn", "\xe5\xb1\xb1\xe7\x94\xb0", "pw",
                                            "vpn.example"};
    static const corvane_minute madeAt = {2024, 3, 10, 10, 15};
    static const corvane_minute nextMinute = {2024, 3, 10, 10, 16};
    static const corvane_minute twoOn = {2024, 3, 10, 10, 17};
    static const corvane_minute month13 = {2024, 13, 10, 10, 15};
    static char block[1024];
    static char texts[1024];
    static char text[512];
    uint32_t rc = 0;
    size_t size = 0;
    size_t count = 0;

    for (int round = 0; round < 200; ++round) {
        if (abiVersion() != CORVANE_LAUNCH_ABI_VERSION)
            return Failed("corvane_abi_version: not this header's version");
        CHECKED(rc, "corvane_abi_version", abiVersion, 0);
        if (rc != CORVANE_LAUNCH_ABI_VERSION)
            return Failed("corvane_abi_version (checked): not this header's version");

        /* Making: the size first, then the block; then every failure. */
        size = 0;
        if (makeBlock(items, 5, 65001, &madeAt, NULL, &size) != CORVANE_E_BUFFER_TOO_SMALL || size > sizeof block)
            return Failed("corvane_make_block: no size asked for");
        size = sizeof block;
        if (makeBlock(items, 5, 65001, &madeAt, block, &size) != CORVANE_OK)
            return Failed("corvane_make_block failed");
        size = sizeof block;
        CHECKED(rc, "corvane_make_block", makeBlock, WORD(items), 5, 65001, WORD(&madeAt), WORD(block), WORD(&size));
        if ((int)rc != CORVANE_OK)
            return Failed("corvane_make_block (checked) failed");
        size = sizeof text;
        CHECKED(rc, "corvane_make_block", makeBlock, WORD(items), 4, 65001, WORD(&madeAt), WORD(text), WORD(&size));
        if ((int)rc != CORVANE_E_INVALID_ARGUMENT)
            return Failed("corvane_make_block: four items not refused");
        size = sizeof text;
        CHECKED(rc, "corvane_make_block", makeBlock, WORD(items), 5, 65001, WORD(&month13), WORD(text), WORD(&size));
        if ((int)rc != CORVANE_E_INVALID_ARGUMENT)
            return Failed("corvane_make_block: month 13 not refused");
        size = sizeof text;
        CHECKED(rc, "corvane_make_block", makeBlock, WORD(japanese), 5, 1252, WORD(&madeAt), WORD(text), WORD(&size));
        if ((int)rc != CORVANE_E_NOT_REPRESENTABLE)
            return Failed("corvane_make_block: a Japanese item taken in code page 1252");

        /* Reading: this minute, the next one (through the minute before), a rejected one. */
        size = sizeof texts;
        CHECKED(rc, "corvane_read_block", readBlock, WORD(block), 65001, WORD(&madeAt), WORD(texts), WORD(&size),
                WORD(&count));
        if ((int)rc != CORVANE_OK || count != 5 || strcmp(texts + size - strlen(items[4]) - 1, items[4]) != 0)
            return Failed("corvane_read_block: the block does not read back");
        size = sizeof texts;
        CHECKED(rc, "corvane_read_block", readBlock, WORD(block), 65001, WORD(&nextMinute), WORD(texts), WORD(&size),
                WORD(&count));
        if ((int)rc != CORVANE_OK || count != 5)
            return Failed("corvane_read_block: the block does not read back a minute later");
        size = sizeof texts;
        CHECKED(rc, "corvane_read_block", readBlock, WORD(block), 65001, WORD(&twoOn), WORD(texts), WORD(&size),
                WORD(&count));
        if ((int)rc != CORVANE_E_BLOCK_REJECTED)
            return Failed("corvane_read_block: a block two minutes old not rejected");
        size = 0;
        CHECKED(rc, "corvane_read_block", readBlock, WORD(block), 65001, WORD(&madeAt), 0, WORD(&size), WORD(&count));
        if ((int)rc != CORVANE_E_BUFFER_TOO_SMALL)
            return Failed("corvane_read_block: no size asked for");
        CHECKED(rc, "corvane_read_block", readBlock, WORD(block), 65001, WORD(&madeAt), WORD(texts), 0, WORD(&count));
        if ((int)rc != CORVANE_E_INVALID_ARGUMENT)
            return Failed("corvane_read_block: no size pointer not refused");

        /* The texts, and wiping. */
        size = sizeof text;
        CHECKED(rc, "corvane_explain", explain, 691, WORD(text), WORD(&size));
        if ((int)rc != CORVANE_OK || strlen(text) + 1 != size)
            return Failed("corvane_explain failed");
        CHECKED(rc, "corvane_explain", explain, 691, WORD(text), 0);
        if ((int)rc != CORVANE_E_INVALID_ARGUMENT)
            return Failed("corvane_explain: no size pointer not refused");
        CHECKED(rc, "corvane_error_text", errorText, (uint32_t)CORVANE_E_TIMEOUT);
        if (rc == 0 || strcmp((const char*)(uintptr_t)rc, errorText(CORVANE_E_TIMEOUT)) != 0)
            return Failed("corvane_error_text failed");
        CHECKED(rc, "corvane_wipe", wipe, WORD(texts), sizeof texts);
        for (size_t i = 0; i < sizeof texts; ++i)
            if (texts[i] != 0)
                return Failed("corvane_wipe left a byte");
    }

    /* Dialing, once each: a dialer that ends (this program), one that is missing, one that hangs. */
    char self[MAX_PATH * 3];
    wchar_t selfWide[MAX_PATH];
    if (GetModuleFileNameW(NULL, selfWide, MAX_PATH) == 0 ||
        WideCharToMultiByte(CP_UTF8, 0, selfWide, -1, self, sizeof self, NULL, NULL) == 0)
        return Failed("the program's own path is not known");
    uint32_t result = 0;
    CHECKED(rc, "corvane_dial", dial, WORD(self), WORD(items), 5, 0, 60000, WORD(&result));
    if ((int)rc != CORVANE_OK || result != 7)
        return Failed("corvane_dial: the dialer's status did not come back");
    CHECKED(rc, "corvane_dial", dial, WORD("C:\\no such folder\\CorvaneDialer.exe"), WORD(items), 5, 0, 60000,
            WORD(&result));
    if ((int)rc != CORVANE_E_DIALER_NOT_STARTED)
        return Failed("corvane_dial: a missing dialer not reported");
    CHECKED(rc, "corvane_dial", dial, WORD(hanging), WORD(items), 5, 0, 500, WORD(&result));
    if ((int)rc != CORVANE_E_TIMEOUT)
        return Failed("corvane_dial: a hanging dialer not timed out");
    return 0;
}

int main(int argc, char** argv)
{
    if (argc < 3 || strcmp(argv[1], "--run") != 0)
        return 7;
    if (argc > 4 || (argc == 4 && strcmp(argv[3], "--libgcc-first") != 0))
        return Failed("usage: stdcall_calls --run HANGING-PROGRAM [--libgcc-first]");
    if (argc == 4 && LoadLibraryW(L"libgcc_s_dw2-1.dll") == NULL)
        return Failed("libgcc_s_dw2-1.dll does not load");
    if (Run(argv[2]) != 0)
        return 1;
    printf("stdcall_calls: every function, 200 rounds, registers and stack kept%s\n",
           argc == 4 ? ", with libgcc's DLL loaded first" : "");
    return 0;
}
