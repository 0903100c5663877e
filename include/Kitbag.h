// Kitbag: the small settings store of Console.
//
// Values live under a section and a key, persist across processes and are kept in a plain INI file that
// a person can edit:
//
//     [Debug]
//     EnableTrace=1
//     LogFile=C:\logs\console.log
//
// Where the file is: the path in the environment variable KITBAG_SETTINGS when it is set and not empty;
// otherwise "Kitbag\settings.ini" under %APPDATA% on Windows, "kitbag/settings.ini" under
// $XDG_CONFIG_HOME (or ~/.config) on Linux. The path is looked up on every call.
//
// Contract, for every function and any thread or process:
// - Reading never changes the caller's target unless a value of the right type exists. A missing or
//   unreadable file, a missing key, a malformed line or a value of the wrong type leaves it untouched.
// - Writing replaces the file atomically (a temporary file renamed over the old one) under an
//   inter-process lock: a process dying mid-write never leaves a half-written file, and processes that
//   write different keys at the same time all keep their values. A write blocks while another process
//   writes. Lines a person added (comments, unknown keys) survive writes. The file keeps its permissions;
//   through a symbolic link its target is written and the link stays (on Windows a link is not written);
//   a read-only file is not written.
// - The store is a regular file of at most 1 MiB (1,048,576 bytes). Anything else the path names (a
//   device, a FIFO, a folder) or a larger file is neither read (no value is found) nor replaced (writes
//   fail), and is never waited for.
// - Section and key names compare without regard to ASCII case. Values are one line: a string holding a
//   line break, or a name holding '=', '[' or ']' or a line break, is refused.
// - Integers are written in decimal and read in decimal or as 0x hexadecimal (up to 32 bits, taken as
//   the bit pattern: 0xFFFFFFFF reads as -1). Booleans are written as 1 and 0 and read as 1, 0, true or
//   false (any case).
// - A null section, key or target is refused. Every function returns true when it found (Get) or
//   persisted (Set) a value, false otherwise; callers may ignore the result.
#pragma once

#include <cstddef>

#include "PelmoraVersion.h"
#include "TWinString.h"

#if defined(_WIN32)
#if defined(KITBAG_BUILDING_LIBRARY)
#define KITBAG_API __declspec(dllexport)
#else
#define KITBAG_API __declspec(dllimport)
#endif
#else
#define KITBAG_API __attribute__((visibility("default")))
#endif

extern "C" {
KITBAG_API bool KB_GetBoolA(const char* section, const char* key, bool* value);
KITBAG_API bool KB_GetIntA(const char* section, const char* key, int* value);
// Copies at most capacity - 1 characters and a terminating NUL; a longer value is cut. With capacity 0
// nothing is written.
KITBAG_API bool KB_GetStringA(const char* section, const char* key, char* buffer, std::size_t capacity);
KITBAG_API bool KB_SetBoolA(const char* section, const char* key, bool value);
// Writes the integer in decimal; KB_GetIntA reads it back.
KITBAG_API bool KB_SetIntA(const char* section, const char* key, int value);
KITBAG_API bool KB_SetStringA(const char* section, const char* key, const char* value);
}

// A named persisted boolean. Constructing one reads nothing: the first GetValue reads the store (the
// default stands in when the store has no valid value) and keeps that as the current value; SetValue
// makes a value current and persists it at once. Not synchronised: one thread uses an object at a time.
class KITBAG_API BooleanValue {
public:
    BooleanValue(const TWinString<char>& section, const TWinString<char>& key, bool defaultValue);
    virtual ~BooleanValue();

    BooleanValue(const BooleanValue&) = delete;
    BooleanValue& operator=(const BooleanValue&) = delete;

    virtual bool GetValue() const;
    // Returns whether the value was persisted; the value is current either way.
    virtual bool SetValue(bool value);
    // Forgets the current value, so that the next GetValue reads the store again (for a value another
    // process may have changed). Both arguments are reserved and must be zero; with anything else it
    // does nothing and returns false.
    virtual bool Reload(unsigned long flags, void* reserved);

private:
    TWinString<char> m_section;
    TWinString<char> m_key;
    bool m_default;
    mutable bool m_value;
    mutable bool m_known; // m_value holds the current value
};
