// Run-time binding of system functions for CLog (the debugger check): what both platforms share. The
// binding itself is per platform (os_dep_fn_win32.cpp, os_dep_fn_posix.cpp).
#include "Console.h"

#include "platform.h"

TOSDepFnBase::TOSDepFnBase(const char* libraryName, const char* functionName)
    : m_bBindAttempted(false), m_hLibrary(nullptr), m_pLibraryName(libraryName),
      m_pFunctionName(functionName) {}

TOSDepFnBase::~TOSDepFnBase() {
    platform::releaseSystemLibrary(m_hLibrary);
}
