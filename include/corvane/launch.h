/* CorvaneLaunch: the launching side of the dialer as a small C library.
 *
 * A launching program hands the dialer five values in an encrypted parameter block, keyed to the
 * local minute, as the dialer's only argument, and reads the dialer's 32-bit exit status. This
 * library makes and reads such blocks and runs the dialer, so a launching program needs neither
 * the block's cryptography nor a helper process.
 *
 * Conventions for every function:
 * - Texts are UTF-8 and NUL-terminated. Items are, in order: phonebook path, entry name, user
 *   name, password, phone number (further items are carried but unused by the dialer).
 * - Buffers belong to the caller. A function that fills a buffer takes its size in *size on entry
 *   and sets *size to the size needed, terminating NULs included. A NULL or short buffer returns
 *   CORVANE_E_BUFFER_TOO_SMALL with *size set and nothing of the result left in the buffer, so a
 *   caller may ask first with a NULL buffer and then call again.
 * - Every failure is a negative return code; nothing aborts and nothing throws across the
 *   boundary.
 * - Threads: every function may be called from several threads at once. The library keeps no
 *   state between calls besides the platform's cryptography providers, which it opens once and
 *   shares under a lock.
 * - Wiping: every buffer the library frees that held an item or a block is overwritten first.
 *   The caller's own buffers stay the caller's to wipe; corvane_wipe() does it in a way the
 *   compiler cannot drop.
 * - Calling convention: on 32-bit Windows every function is __stdcall and exported under its
 *   plain name (corvane_make_block, not _corvane_make_block@24), so Delphi (stdcall), C#
 *   (CallingConvention.StdCall, the P/Invoke default) and VB-style declarations name it plainly.
 *   On x64 Windows and on POSIX there is one convention and CORVANE_CALL is empty.
 */
#ifndef CORVANE_LAUNCH_H
#define CORVANE_LAUNCH_H

#include <stddef.h>
#include <stdint.h>

/* Changes whenever the set of exported functions or the meaning of one changes. */
#define CORVANE_LAUNCH_ABI_VERSION 1

#if defined(_WIN32) && !defined(_WIN64)
#define CORVANE_CALL __stdcall
#else
#define CORVANE_CALL
#endif

#if defined(_WIN32)
#if defined(CORVANE_LAUNCH_BUILDING)
#define CORVANE_LAUNCH_API __declspec(dllexport)
#else
#define CORVANE_LAUNCH_API __declspec(dllimport)
#endif
#else
#define CORVANE_LAUNCH_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Return codes. The values are fixed; integrators code against them. */
#define CORVANE_OK 0
/* A NULL where a value is needed, fewer than five items, invalid UTF-8 in an item, a minute that
   is not a date and time, or a code page the library does not know. */
#define CORVANE_E_INVALID_ARGUMENT (-1)
/* The buffer is NULL or shorter than needed; *size holds the size needed. */
#define CORVANE_E_BUFFER_TOO_SMALL (-2)
/* The block decrypts and verifies under neither the given minute nor the minute before. */
#define CORVANE_E_BLOCK_REJECTED (-3)
/* An item holds a character the code page cannot carry: it would not read back unchanged. */
#define CORVANE_E_NOT_REPRESENTABLE (-4)
/* An item holds U+0000, which the dialer's reader would cut the item at. */
#define CORVANE_E_ITEM_HOLDS_NUL (-5)
/* The dialer program could not be started (missing, not executable). */
#define CORVANE_E_DIALER_NOT_STARTED (-6)
/* The dial did not end in time; the dialer and what it started were ended, so its outcome is
   unknown (a connection may or may not have been made). */
#define CORVANE_E_TIMEOUT (-7)
/* Memory ran out. */
#define CORVANE_E_OUT_OF_MEMORY (-8)
/* Anything else, such as a failure of the platform's cryptography provider. */
#define CORVANE_E_INTERNAL (-9)

/* corvane_dial's *dial_result when the dialer's end does not carry its result: on POSIX a result
   outside the ranges its 8-bit exit status can carry, a dialer ended by a signal (what it started
   was ended with it), or a dialer whose end could not be learnt (the process waiting for it was
   killed); the dialer ran in each case, and a connection may have been made. */
#define CORVANE_DIAL_RESULT_UNKNOWN 0xFFFFFFFFu

/* A local date and time to the minute: year (1 to 9999), month (1 to 12), day (1 to the month's
   last), hour (0 to 23), minute (0 to 59). Where a function takes a pointer to one, NULL means
   the local clock's minute at the time of the call. */
typedef struct corvane_minute {
    int year, month, day, hour, minute;
} corvane_minute;

/* The ABI version of the loaded library; equals CORVANE_LAUNCH_ABI_VERSION of its header.
   A caller compares it with the header it was built against before any other call. */
CORVANE_LAUNCH_API uint32_t CORVANE_CALL corvane_abi_version(void);

/* Makes the parameter block that the dialer reads, keyed to the minute *at (NULL: now).
   items: item_count (at least five) UTF-8 texts, in the order above.
   code_page: how the block's text becomes bytes before encryption: 0 for the system's ANSI code
   page (65001 on POSIX), or 65001, 1252 or 932 (any other installed Windows code page is taken on
   Windows). It must match the dialer's ANSI code page: the dialer reads with that.
   block, *block_size: on entry the buffer and its size; on return *block_size is the size of the
   block text including its NUL. The block is one line of base64 text.
   Returns CORVANE_OK, CORVANE_E_INVALID_ARGUMENT, CORVANE_E_BUFFER_TOO_SMALL,
   CORVANE_E_NOT_REPRESENTABLE, CORVANE_E_ITEM_HOLDS_NUL, CORVANE_E_OUT_OF_MEMORY or
   CORVANE_E_INTERNAL. Each call encrypts with a fresh random salt, so two blocks of the same
   items differ; asking for the size first and then calling again makes a new block. */
CORVANE_LAUNCH_API int CORVANE_CALL corvane_make_block(const char* const* items, size_t item_count, uint32_t code_page,
                                                       const corvane_minute* at, char* block, size_t* block_size);

/* Reads a block as the dialer would: under the minute *at (NULL: now), then under the minute
   before. code_page as for corvane_make_block.
   items, *items_size: on entry the buffer and its size; on return the items as consecutive
   NUL-terminated UTF-8 texts and *items_size their total size, every NUL included.
   *item_count (not NULL): the number of items, set also when the buffer is too short.
   Returns CORVANE_OK, CORVANE_E_INVALID_ARGUMENT, CORVANE_E_BUFFER_TOO_SMALL,
   CORVANE_E_BLOCK_REJECTED, CORVANE_E_OUT_OF_MEMORY or CORVANE_E_INTERNAL. The items buffer
   then holds a password: wipe it with corvane_wipe when done. */
CORVANE_LAUNCH_API int CORVANE_CALL corvane_read_block(const char* block, uint32_t code_page, const corvane_minute* at,
                                                       char* items, size_t* items_size, size_t* item_count);

/* Does what a launching program does: makes a block of this minute, starts the dialer at
   dialer_path (UTF-8) with the block as its only argument, waits for it and sets *dial_result to
   its 32-bit exit status (0 connected, a RAS error code, or 9999 when the dialer reached no dial
   result; on POSIX the result its 8-bit status stands for, or CORVANE_DIAL_RESULT_UNKNOWN).
   code_page as for corvane_make_block; the dialer reads in the system's ANSI code page, so 0 is
   usually right. timeout_ms 0 waits without limit; otherwise after timeout_ms milliseconds the
   dialer and every process it started are ended and CORVANE_E_TIMEOUT is returned. The call
   blocks the calling thread for the whole dial (call it from a thread other than the one that
   runs a window's messages), and leaves the host's signal handlers alone (on
   POSIX the dialer's end raises no SIGCHLD in the host, and a host that ignores SIGCHLD or reaps
   with waitpid(-1) still gets the dialer's status). On POSIX, when the dialer dies of a signal or
   the calling thread ends during the dial, every process in the dialer's process group is ended;
   what a dialer that ended by itself left running is left alone, and nothing it left becomes a
   child of the host.
   Returns CORVANE_OK (the dialer ran to its end; see *dial_result), CORVANE_E_INVALID_ARGUMENT,
   CORVANE_E_NOT_REPRESENTABLE, CORVANE_E_ITEM_HOLDS_NUL, CORVANE_E_DIALER_NOT_STARTED,
   CORVANE_E_TIMEOUT, CORVANE_E_OUT_OF_MEMORY or CORVANE_E_INTERNAL. */
CORVANE_LAUNCH_API int CORVANE_CALL corvane_dial(const char* dialer_path, const char* const* items, size_t item_count,
                                                 uint32_t code_page, uint32_t timeout_ms, uint32_t* dial_result);

/* The meaning of a dialer exit status, as `corvane explain` prints it, in English UTF-8 text
   (one line, no line break). *text_size as for the other buffers.
   Returns CORVANE_OK, CORVANE_E_INVALID_ARGUMENT (text_size NULL), CORVANE_E_BUFFER_TOO_SMALL,
   CORVANE_E_OUT_OF_MEMORY or CORVANE_E_INTERNAL. */
CORVANE_LAUNCH_API int CORVANE_CALL corvane_explain(uint32_t dial_result, char* text, size_t* text_size);

/* A static English text for a return code (an unknown code has one too). Never NULL; the
   caller does not free it. */
CORVANE_LAUNCH_API const char* CORVANE_CALL corvane_error_text(int error);

/* Overwrites n bytes at p with zeros in a way the compiler cannot drop. p may be NULL when n is
   0. */
CORVANE_LAUNCH_API void CORVANE_CALL corvane_wipe(void* p, size_t n);

#ifdef __cplusplus
}
#endif

#endif
