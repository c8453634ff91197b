/* The 32-bit DLL's unwind tables, given to its own unwinder whatever the host has loaded.
 *
 * A 32-bit mingw build unwinds exceptions by DWARF tables that are registered at run time: while
 * the DLL attaches, the start-up code (crtbegin.o, called first of all constructors) registers
 * them with the static unwinder linked into the DLL, unless the process has already loaded
 * libgcc's DLL (libgcc_s_dw2-1.dll), in which case that DLL's unwinder gets them. The library's
 * own throws still go through its static unwinder (its C++ runtime is linked in statically),
 * which then knows no frame of the DLL and ends the process at the first exception, even one the
 * library catches itself. So once the start-up code is done, the static unwinder is asked for this
 * file's own code; when it does not know it, the tables are registered with it here.
 *
 * This file is linked first of the DLL's objects, so its .eh_frame contribution, and TablesBegin
 * at its start, follows crtbegin.o's directly: what is registered from here on is every table of
 * the DLL but crtbegin.o's own, which covers only its registration functions (scripts/sdk checks
 * that placement). The tables end with crtend.o's terminator. The registration is not undone:
 * the unwinder it is made with is the DLL's own and goes with it. */
#if defined(_WIN32) && defined(__i386__) && !defined(__SEH__) && !defined(__USING_SJLJ_EXCEPTIONS__)

#include <stddef.h>

/* libgcc's interface to its frame registry (unwind-dw2-fde.h), resolved from the static libgcc. */
struct dwarf_eh_bases {
    void* tbase;
    void* dbase;
    void* func;
};
const void* _Unwind_Find_FDE(void* pc, struct dwarf_eh_bases* bases);
void __register_frame_info(const void* begin, void* object);

static const char TablesBegin[] __attribute__((used, section(".eh_frame"), aligned(4))) = {};

/* libgcc's struct object, which it fills and links into its list: six or seven pointer-sized
   fields in the versions that have it; room is left for more. */
static void* Registration[16];

/* After the start-up code's registration (a constructor of the highest priority), before any of
   the library's own. */
static void RegisterOwnTables(void) __attribute__((constructor(101), used));
static void RegisterOwnTables(void)
{
    struct dwarf_eh_bases bases;
    if (_Unwind_Find_FDE((void*)(size_t)&RegisterOwnTables, &bases) == NULL)
        __register_frame_info(TablesBegin, Registration);
}

#endif
