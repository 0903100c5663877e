// The module's DWARF unwind tables, registered a second time so that they outlive the module's unload at
// process exit (see platform.h). Only 32-bit mingw unwinds with registered DWARF tables; x86_64 unwinds
// through the system's tables, which stay with the mapped module.
#include "platform.h"

#include <windows.h>

#if defined(__i386__) && !defined(__SEH__) && !defined(__USING_SJLJ_EXCEPTIONS__)

// The GCC runtime's registry of unwind tables (libgcc's unwind-dw2-fde.h).
extern "C" {
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
const void* _Unwind_Find_FDE(void* pc, void* bases);
}

extern "C" IMAGE_DOS_HEADER __ImageBase; // this module's own image

namespace {

// libgcc's registration record: six words; it must live as long as the registration.
alignas(8) unsigned char keptRegistration[16 * sizeof(void*)];
const void* keptTables = nullptr;

// The start of this module's unwind section: the image section that holds this function's own entry.
const void* unwindTablesOfThisModule() {
    void* bases[3] = {};
    const void* entry = _Unwind_Find_FDE(reinterpret_cast<void*>(&unwindTablesOfThisModule), bases);
    if (!entry)
        return nullptr;
    const auto* image = reinterpret_cast<const unsigned char*>(&__ImageBase);
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + __ImageBase.e_lfanew);
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
    const auto* found = static_cast<const unsigned char*>(entry);
    for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
        const unsigned char* start = image + section->VirtualAddress;
        if (found >= start && found < start + section->Misc.VirtualSize)
            return start;
    }
    return nullptr;
}

} // namespace

namespace platform {

void keepUnwindTablesUntilProcessExit() {
    if (keptTables)
        return;
    keptTables = unwindTablesOfThisModule();
    if (keptTables)
        __register_frame_info(keptTables, keptRegistration);
}

void releaseUnwindTables(bool processEnding) {
    // At process exit the tables stay: the code they describe stays mapped until the process is gone.
    if (!keptTables || processEnding)
        return;
    __deregister_frame_info(keptTables);
    keptTables = nullptr;
}

} // namespace platform

#else

namespace platform {

void keepUnwindTablesUntilProcessExit() {}
void releaseUnwindTables(bool) {}

} // namespace platform

#endif
