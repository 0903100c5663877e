// Owners of Windows handles, for the Windows-only files that must hold a handle themselves (the console
// window, its dialogs, the alert boxes, the screen text, COM error information).
//
// Each owner releases what it holds in its destructor and is not copyable. They are
// plain wrappers with no policy of their own: the thread rules are those of the handle they hold (a hook
// or a COM apartment belongs to the thread that made it). Nothing here throws.
//
// Windows only: this header includes <windows.h> and is included only by files that CMake compiles for
// Windows. It lives in the OS layer, beside the Windows implementation, because the owners are the OS's
// vocabulary rather than any library's: Console's Windows files, the platform's own and the Windows test
// helpers may all use them. It is not part of platform.h, which names no OS type.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <unknwn.h>

#include <utility>

namespace platform::win32 {

// A kernel object handle (a file, for instance) closed with CloseHandle. INVALID_HANDLE_VALUE and null
// both mean "none".
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() { reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (valid())
            CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// A reference to a COM object, released with Release. put() hands the address of the pointer to a
// function that returns a new reference through it (CreateErrorInfo, QueryInterface, CoCreateInstance).
template <typename Interface> class ComPointer {
public:
    ComPointer() = default;
    ~ComPointer() { reset(); }
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;

    Interface* get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // Releases what is held and gives the place for a new reference.
    Interface** put() {
        reset();
        return &m_pointer;
    }
    // The same place, typed for the functions that take a void** (QueryInterface, CoCreateInstance).
    void** putVoid() { return reinterpret_cast<void**>(put()); }
    void reset() {
        if (m_pointer)
            m_pointer->Release();
        m_pointer = nullptr;
    }

private:
    Interface* m_pointer = nullptr;
};

// The calling thread's membership of a COM apartment (CoInitialize), left (CoUninitialize) at the end
// when joining succeeded. Objects made inside it must be released before it ends: declare it first.
class ComApartment {
public:
    ComApartment() : m_joined(SUCCEEDED(CoInitialize(nullptr))) {}
    ~ComApartment() {
        if (m_joined)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    bool joined() const { return m_joined; }

private:
    bool m_joined;
};

// A hook procedure installed with SetWindowsHookEx, removed with UnhookWindowsHookEx.
class WindowsHook {
public:
    WindowsHook() = default;
    ~WindowsHook() { reset(); }
    WindowsHook(const WindowsHook&) = delete;
    WindowsHook& operator=(const WindowsHook&) = delete;

    bool installed() const { return m_hook != nullptr; }
    // Removes the hook held, if any, and holds the given one (null: none).
    void reset(HHOOK hook = nullptr) {
        if (m_hook)
            UnhookWindowsHookEx(m_hook);
        m_hook = hook;
    }

private:
    HHOOK m_hook = nullptr;
};

// A reference to a loaded module (LoadLibrary, or a reference handed over, such as one taken with
// GetModuleHandleEx), released with FreeLibrary.
class LoadedLibrary {
public:
    LoadedLibrary() = default;
    explicit LoadedLibrary(const char* name) : m_module(LoadLibraryA(name)) {}
    // Takes over a reference taken elsewhere.
    static LoadedLibrary adopt(HMODULE module) {
        LoadedLibrary library;
        library.m_module = module;
        return library;
    }
    ~LoadedLibrary() { reset(); }
    LoadedLibrary(LoadedLibrary&& other) noexcept : m_module(other.release()) {}
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    bool loaded() const { return m_module != nullptr; }
    HMODULE get() const { return m_module; }
    // Hands the reference on: the owner no longer releases it.
    HMODULE release() { return std::exchange(m_module, nullptr); }
    void reset() {
        if (m_module)
            FreeLibrary(m_module);
        m_module = nullptr;
    }

private:
    HMODULE m_module = nullptr;
};

// The device context of the whole screen (GetDC of no window), released with ReleaseDC.
class ScreenDC {
public:
    ScreenDC() : m_dc(GetDC(nullptr)) {}
    ~ScreenDC() {
        if (m_dc)
            ReleaseDC(nullptr, m_dc);
    }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;

    bool valid() const { return m_dc != nullptr; }
    HDC get() const { return m_dc; }

private:
    HDC m_dc;
};

} // namespace platform::win32
