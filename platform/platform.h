// The OS layer of the libraries: every call into Windows or POSIX goes through here.
//
// Functions and small classes are named for what they do. No OS header is included: handles cross as
// opaque values. Everything here is safe to call from any thread unless it says otherwise; nothing
// throws except where the standard library does (allocation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// ---- Environment ----------------------------------------------------------------------------------

// The value of an environment variable, or nothing when it is not set.
std::optional<std::string> environmentVariable(const char* name);
// Sets (or, with a null value, removes) a variable of this process; children inherit it.
bool setEnvironmentVariable(const char* name, const char* value);

// The process command line as one mutable text that later readers see changed. On Windows it is the
// process's own (GetCommandLineA). On Linux it is built on first use from the process's arguments
// (/proc/self/cmdline, joined by blanks, arguments holding white space or empty in double quotes) and
// kept by the platform layer of the library that asks; the process's argv is never touched.
char* processCommandLine();

// ---- Paths ----------------------------------------------------------------------------------------

// The separator this platform writes between path components, and whether a character is one
// (Windows takes '/' as well as '\\').
char pathSeparator();
bool isPathSeparator(char c);
// a + separator + b, without doubling a separator at the end of a.
std::string joinPath(const std::string& a, const std::string& b);
// Everything before the last separator, or "" when there is none.
std::string parentDirectory(const std::string& path);
// The per-user folder for application settings: %APPDATA% on Windows; $XDG_CONFIG_HOME, else
// $HOME/.config, on Linux. Empty when none can be found.
std::string userConfigDirectory();
// The per-user folder of an application's settings, named as each platform's custom has it: %APPDATA%\Name
// on Windows; the name in lower case under the folder above on Linux (XDG). Empty when there is no
// per-user folder.
std::string userSettingsFolder(const std::string& applicationName);
// The full path of the running executable, or "" when it cannot be had (or does not fit the platform's
// path buffer: 260 characters on Windows).
std::string executablePath();
// The same however long the system reports it (Windows: up to 32,767 characters); "" when it cannot be
// had. For callers that must not cut a path nor fall back to another folder.
std::string longExecutablePath();
std::string currentDirectory();
// The longest path the platform's path buffers hold, without the terminator: 259 on Windows, PATH_MAX - 1
// on Linux.
std::size_t maxPathLength();
// File name of a shared library built from the given base name: "Name.dll" or "libName.so".
std::string sharedLibraryFileName(const std::string& baseName);
// The folder for temporary files ($TMPDIR or /tmp; the user's temporary folder on Windows).
std::string temporaryDirectory();
unsigned long currentProcessId();

// ---- Files ----------------------------------------------------------------------------------------

enum class ReadResult { Ok, Missing, Failed };
// Reads a whole regular file of at most maxSize bytes. Anything else (a folder, a device, a FIFO, a socket,
// a larger file) is Failed, and is neither waited for nor read. Other processes may read, replace or delete
// the file meanwhile.
ReadResult readWholeFile(const std::string& path, std::string& contents, std::size_t maxSize = SIZE_MAX);
// Creates a new file holding the bytes, flushed to the disk before returning. What the path named before is
// removed first, never opened or followed: a stale file, a symbolic link (not its target), a FIFO. The
// file is then created exclusively, so that nothing that appears meanwhile is opened either; a folder at
// the path stays, and the call fails. A file it created but could not write whole is removed again.
bool createFileDurably(const std::string& path, const std::string& contents);
// Renames source over target in one step: a reader sees the old file or the new one, never a mix. A target
// that exists must be a regular file the process may write (not a link, folder, device or FIFO, not
// read-only); the new file then keeps its permissions (POSIX: mode, and owner where the process may set it;
// Windows: attributes). Otherwise nothing is renamed and the result is false.
bool replaceFile(const std::string& source, const std::string& target);
bool deleteFile(const std::string& path);
// A file the process appends to from buffers of its own, each write one system call. No run-time stream
// lies between: a thread killed inside a write leaves no stream buffer to be written again and no stream
// lock held, and what reached the file can be told from its size.
class AppendingFile {
public:
    AppendingFile() = default;
    ~AppendingFile() { close(); }
    AppendingFile(const AppendingFile&) = delete;
    AppendingFile& operator=(const AppendingFile&) = delete;

    // Opens the file for appending, created when missing, emptied first unless keep is true.
    // Other processes may read and write it meanwhile. False when it cannot be opened.
    bool open(const char* path, bool keep);
    void close();
    bool isOpen() const { return m_native != -1; }
    // Writes the bytes at the file's end (on Windows the end as this object last found it: opening and
    // moveToEnd find it); answers how many the system took (fewer only on an error).
    std::size_t write(const char* data, std::size_t size);
    // Finds the file's end as the system has it now, other writers' bytes included, and answers its
    // size; -1 when it cannot be told.
    std::int64_t moveToEnd();

private:
    std::intptr_t m_native = -1; // HANDLE or file descriptor
};
// What a path names, a symbolic link at its end not followed.
enum class PathKind {
    Missing,
    File,
    // A regular file its owner may not write (POSIX: the owner's write bit, so that it holds for root too;
    // Windows: the read-only attribute).
    ReadOnlyFile,
    // A symbolic link (a reparse point on Windows), a folder, a device, a FIFO, a socket, or a path that
    // cannot be looked at.
    Other,
};
PathKind pathKind(const std::string& path);
// Deletes the path only when it names a regular file itself (not a link, folder, device, FIFO or socket).
bool deleteRegularFile(const std::string& path);
// The file a path names once the symbolic links of its last component are followed (POSIX; relative links
// count from the link's folder); the path itself when it is no link, or on Windows. A chain of links that
// does not end gives a path that is still a link.
std::string resolveFileLinks(const std::string& path);
bool fileExists(const std::string& path);
// Creates the folder and any missing parents; true when it exists afterwards.
bool createDirectories(const std::string& path);
// Whether a file written in text mode ends each line with a carriage return and a line feed (Windows: the
// C runtime writes every '\n' as both) rather than with a line feed alone (Linux).
bool textFilesEndLinesWithCrLf();

// An exclusive lock shared by all processes that lock the same lock file. The constructor blocks until
// the lock is held or cannot be had (then held() is false). The lock dies with its owner, so a process
// that is killed never leaves it stuck. The lock file is created when missing; on POSIX a symbolic link,
// a FIFO or anything else but a regular file at its path is neither followed nor waited for (no lock).
class InterProcessLock {
public:
    explicit InterProcessLock(const std::string& lockFilePath);
    ~InterProcessLock();
    InterProcessLock(const InterProcessLock&) = delete;
    InterProcessLock& operator=(const InterProcessLock&) = delete;

    bool held() const { return m_held; }

private:
    std::intptr_t m_native = -1; // HANDLE or file descriptor
    bool m_held = false;
};

// ---- Log files and debugger --------------------------------------------------------------------

// Appends a prefix and a text (either may be empty) to the end of a file as one write, creating the file
// if missing, with write-through: they are on the disk when the call returns. Other processes may append
// to the same file at the same time; appends do not overwrite each other. Only a writable regular file is
// written: a path naming a read-only file (PathKind::ReadOnlyFile), a folder, device, FIFO or socket is
// left alone on every platform; a symbolic link is not followed on POSIX. (On Windows the append follows a
// link: a caller that refuses links looks at the path with pathKind first. Looking at every append costs a
// query of the file that a process exit under Wine could stop halfway, hanging the exit.) Returns the
// bytes written, 0 when the file cannot be opened or is not such a file.
std::size_t appendWriteThrough(const char* path, const char* prefix, std::size_t prefixSize, const char* text,
                               std::size_t textSize);

// Sends one text to the debugger output (OutputDebugStringA; on Linux, standard error).
void debuggerOutput(const char* text);
// Writes one text to the process's standard error, unbuffered.
void writeStandardError(const char* text);

// The platform's text for an error code, NUL-terminated in the buffer, empty when it has none: on
// Windows DirectShow's AMGetErrorTextA (quartz.dll, looked up at run time), on Linux the strerror text
// of an errno value.
void mediaErrorText(long error, char* buffer, std::size_t capacity);

// The system's message text for an error code (FormatMessageA on Windows, the strerror text of an errno
// value on Linux), without line ends at its end. False when the system has none.
bool systemErrorText(long code, std::string& text);

// UTF-16 text (NUL-terminated) as narrow text: the ANSI code page on Windows, UTF-8 on Linux.
std::string narrowFromUtf16(const unsigned short* text);

// ---- Debugger and system functions -----------------------------------------------------------------

// Whether a debugger is attached to the process: IsDebuggerPresent on Windows; on Linux, whether
// something traces the process (TracerPid in /proc/self/status).
bool debuggerPresent();

// A system function found at run time by library and function name, or null. On Windows the library
// is loaded (LoadLibraryA; *library receives it, to release with releaseSystemLibrary) and the function
// looked up. Linux has no such system libraries: the result is null, and so is *library.
void* bindSystemFunction(const char* libraryName, const char* functionName, void** library);
void releaseSystemLibrary(void* library);
// Keeps the system from asking the user about files it cannot open (SetErrorMode with
// SEM_NOOPENFILEERRORBOX on Windows; nothing on Linux).
void suppressOpenFileErrorBoxes();

// Calls body(context) and reports whether it returned normally. Any C++ exception it raises is absorbed;
// on Windows so is a structured exception such as an access fault (the body's frames are abandoned, so
// only code whose state may be abandoned belongs in it). Calls may nest and come from any thread.
bool callGuarded(void (*body)(void*), void* context);

// For code on a library's exit list (atexit functions, static destructors): true when it runs because the
// process is exiting while the process's other threads may still run (on Linux, and wherever the code is
// linked into the executable: exit() runs the list before the threads stop); false when the library is
// being unloaded (no thread may be inside it then) and when a Windows DLL's list runs at process exit (the
// system has stopped the other threads by then).
//
// On Linux a library loaded with the executable runs its exit list from the dynamic linker's finalisation,
// after its finalisers, just as dlclose does: only a function on the process's exit list registered after
// main began tells the two apart. watchForProcessExit registers it (once per library; call it from code
// that runs after main began, such as when the library starts a thread). Without it such a library's exit
// counts as an unload. Nothing to do on Windows.
bool exitingWhileOtherThreadsRun();
void watchForProcessExit();

// Whether the process's exit can stop a library's threads wherever they are, before the library's own
// exit code runs (Windows: a DLL is detached after the system stopped the other threads). Such a thread
// may die inside a stream's write; what it leaves in the stream's buffer is written again by whoever
// writes next.
bool exitStopsThreadsAnywhere();

// Opens a file with the program the user associates with it (Windows: ShellExecuteA "open"; Linux:
// xdg-open when it is installed, not waited for). Failures are silent.
void openWithShell(const std::string& path);

// ---- Fatal faults ---------------------------------------------------------------------------------

// Called on the faulting thread with one line naming the fault (no line end): on Windows the exception
// code and address, the module and offset when the address lies in a loaded module, and the thread id; on
// Linux the signal, the fault address and the thread id.
using FatalFaultHandler = void (*)(const char* description);

// Watches for faults that would end the process: Linux SIGSEGV, SIGBUS, SIGILL, SIGFPE and SIGABRT (an
// alternate stack is given to the calling thread, so that its stack overflow is seen); Windows the
// unhandled-exception filter, which a filter installed later replaces. handler runs once, on the first
// faulting thread; a thread that faults meanwhile waits for it. Then what was there before runs, so the
// process ends as it would have: the previous handler or filter, or the signal's default action (its core
// dump and exit status unchanged). The handler's run is bounded: once limitMilliseconds have passed, the
// process ends there as the fault would have ended it (Linux: rounded up to whole seconds), and a second
// fault inside the handler ends it at once. False when nothing could be installed. Call once.
bool watchForFatalFaults(FatalFaultHandler handler, unsigned limitMilliseconds);
// Puts back what watchForFatalFaults replaced, where it is still in place (a handler the host installed
// since stays), so that nothing is left pointing into an unloaded library.
void stopWatchingFatalFaults();
// For a thread a library starts: a stack for its fault handling (Linux: an alternate signal stack when the
// thread has none; Windows: stack kept back for a stack overflow's handling). Release it, with what the
// first call answered, before the thread ends.
void* giveThreadFaultStack();
void releaseThreadFaultStack(void* stack);

// ---- Time -----------------------------------------------------------------------------------------

struct LocalTime {
    int year;
    int month;     // 1 to 12
    int day;       // 1 to 31
    int dayOfWeek; // 0 (Sunday) to 6
    int hour;
    int minute;
    int second;
    int milliseconds;
};
// Every reading below comes from one clock, the system time: a reading taken after another never shows an
// earlier time, whether it is to the millisecond or to the second (so that stamps of different precision
// never go back from one line to the next).
LocalTime localTime();
// The local time when only the second is wanted (milliseconds 0), at a fraction of localTime's cost.
LocalTime localTimeToTheSecond();
// The whole seconds of the system time (not the local time), for a caller that only wants to know whether
// the second moved on: at a fraction of its cost again.
std::int64_t systemSecondsNow();
// The local time of a second systemSecondsNow answered, milliseconds 0: a second read once serves as the
// key of a text and as its time.
LocalTime localTimeOfSystemSecond(std::int64_t systemSecond);
// The system time (UTC) in 100-nanosecond units since 1 January 1601.
std::int64_t systemTimeTicks();
// Lets the calling thread sleep for about this long.
void sleepMilliseconds(unsigned milliseconds);

// ---- Memory ---------------------------------------------------------------------------------------

// A block of whole pages straight from the system (mmap; VirtualAlloc on Windows), for memory that must go
// back to the system as soon as it is freed rather than stay with the heap. Its memory is present when
// the call returns (no page fault at its first touch). Sizes are best multiples of 64 KB (Windows
// reserves in steps of 64 KB). Null when the system has none. freeSystemMemory takes the block and the
// size it was allocated with; a null block is ignored.
void* allocateSystemMemory(std::size_t bytes);
void freeSystemMemory(void* block, std::size_t bytes);

// ---- Locks ----------------------------------------------------------------------------------------

// A lock the holding thread may take again (a critical section on Windows). Not copyable.
//
// A lock that many threads take for a moment each may spin: a thread that finds it held tries again up
// to spinAttempts times, a short pause apart, before it waits in the system (a critical section's spin
// count on Windows). The holder usually lets go within the spin, which then saves the wait's system call
// and the wake-up's. 0: wait at once.
class RecursiveLock {
public:
    explicit RecursiveLock(unsigned spinAttempts = 0);
    ~RecursiveLock();
    RecursiveLock(const RecursiveLock&) = delete;
    RecursiveLock& operator=(const RecursiveLock&) = delete;

    void lock();
    // Takes the lock only if no other thread holds it; never waits.
    bool tryLock();
    void unlock();
    // In the child of fork(), where only the forking thread runs: the lock anew and free, whoever held it
    // in the parent.
    void resetInForkedChild();

private:
    alignas(8) unsigned char m_storage[56]; // with the spin count, one cache line
    unsigned m_spinAttempts;
};

// Holds a lock for a scope.
template <typename Lock> class ScopedLock {
public:
    explicit ScopedLock(Lock& lock) : m_lock(lock) { m_lock.lock(); }
    ~ScopedLock() { m_lock.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Lock& m_lock;
};

// An event: signalled or not, reset by hand (manual reset) or by the wait that it releases (auto reset).
class Event {
public:
    static constexpr unsigned kInfinite = 0xFFFFFFFFu;

    Event(bool initiallySignalled, bool manualReset);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Waits until signalled or the time runs out (kInfinite: no limit); true when signalled.
    bool wait(unsigned timeoutMilliseconds);
    void set();
    void reset();
    // In the child of fork(): the event anew, in the state it had, without the waiters the parent's
    // threads left in it (what they left is not destroyed: that would wait for them).
    void resetInForkedChild();

private:
    struct State;
    State* m_state;
};

// ---- Threads ----------------------------------------------------------------------------------------

// A thread the owner starts and may wait for. The destructor neither waits nor stops: it lets go of the
// handle, and the thread runs on.
class Thread {
public:
    Thread() = default;
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts entry(argument) on a new thread (the C runtime's thread creation on Windows); false when no
    // thread could be created. A thread already held is let go first.
    bool start(unsigned (*entry)(void*), void* argument);
    bool started() const { return m_handle != 0; }
    // Whether the calling thread is this one.
    bool isCallingThread();
    // Waits until the thread has ended (without limit), then lets go of it.
    void join();
    // Whether the thread has ended (on Windows also when it was killed, as at process exit).
    bool hasEnded();
    // Lets go of the thread without waiting.
    void release();
    // In the child of fork(), where the thread does not exist: forgets it without touching it.
    void forgetInForkedChild();

private:
    std::intptr_t m_handle = 0;
};

// For a thread that runs code of this library: a reference to the library's own module that keeps it
// loaded while the thread runs, released as the thread ends (Windows: GetModuleHandleEx, then
// FreeLibraryAndExitThread, which does not return). On Linux there is nothing to hold: the library's
// unload waits for its threads itself, and the release returns.
void* acquireOwnModule();
void exitThreadReleasingModule(void* module, unsigned exitCode);

// Calls the functions around every fork() of the process (pthread_atfork): prepare in the forking thread
// before the fork, parent in the parent and child in the child after it (where the forking thread is the
// only thread). Registered for good; on Linux withdrawn when the calling library unloads. Windows has no
// fork: nothing is registered.
void callAroundFork(void (*prepare)(), void (*parent)(), void (*child)());

// For a library that throws at its callers after its own unload at process exit (Console's "Dead Reference
// Detected" to a DLL unloaded after it). 32-bit Windows unwinds through a module only while its unwind
// tables are registered with the GCC runtime, and the module's unload withdraws them; keeping a second
// registration of the calling module's tables, withdrawn at FreeLibrary but kept when the process ends
// (its code stays mapped until then), lets such a throw reach its catch. Call the first from the module's
// entry at attach, the second at detach. Nothing on other platforms (their tables are the system's).
void keepUnwindTablesUntilProcessExit();
void releaseUnwindTables(bool processEnding);

// ---- Shared libraries -----------------------------------------------------------------------------

// A loaded shared library, released by the destructor.
class DynamicLibrary {
public:
    explicit DynamicLibrary(const std::string& path);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool loaded() const { return m_handle != nullptr; }
    // The address of an exported symbol, or null.
    void* symbol(const char* name) const;
    // The address of the export with this ordinal (Windows), or null (always on Linux, which has none).
    void* exportByOrdinal(unsigned ordinal) const;
    // The loader's explanation of the last failure, for messages in tests and tools.
    const std::string& error() const { return m_error; }

private:
    void* m_handle = nullptr;
    std::string m_error;
};

} // namespace platform
