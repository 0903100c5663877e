// Console: the diagnostic console and logging module of Pelmora.
//
// The writers below format printf-style on the caller's stack and send the text down one line pipeline:
// a time stamp "hh:mm:ss - " goes in front of each new line, and the text reaches, in this order and under
// one lock, the in-memory ring buffer, the log file (when "EnableLogToFile" is on), the console window
// (when it is open) and the debugger output (when "EnableLogToDebugOutput" is on). The formats decide where
// lines end: nothing adds a line feed.
//
// The switches come from the Kitbag settings store, section "Debug" (see Kitbag.h); the first call of any
// function loads them and writes the banner "*** Pelmora Console started at ...". Each load with
// "EnableLogToFile" on starts a new log file by deleting the one "LogFile" names, if it is a regular file;
// a device, FIFO or link is never deleted, and the log file sink writes to regular files only. A "LogFile"
// of 260 characters or more is refused (no log file) rather than cut. Any thread may call any
// function. No function reports failure: a sink that cannot take a text skips it.
//
// Platforms: on Linux the debugger output is standard error, CS_TRACEDD draws nothing and the error text of
// CS_LOGERROR(long, ...) is the strerror text of an errno value.
#pragma once

#include <cstdint>
#include <string>

#include "PelmoraVersion.h"
#include "TWinString.h"

#if defined(_WIN32)
#if defined(CONSOLE_BUILDING_LIBRARY)
#define CONSOLE_API __declspec(dllexport)
#else
#define CONSOLE_API __declspec(dllimport)
#endif
#define CONSOLE_PRINTF(format_index, first_argument)                                                         \
    __attribute__((format(gnu_printf, format_index, first_argument)))
#else
#define CONSOLE_API __attribute__((visibility("default")))
#define CONSOLE_PRINTF(format_index, first_argument)                                                         \
    __attribute__((format(printf, format_index, first_argument)))
#endif

// A result value shared with the host applications: a 32-bit value and a text.
class KRMResult {
public:
    KRMResult() = default;
    KRMResult(std::int32_t value, std::string text) : m_value(value), m_text(std::move(text)) {}

    std::int32_t Value() const { return m_value; }
    const std::string& Text() const { return m_text; }

private:
    std::int32_t m_value = 0;
    std::string m_text;
};

// "EnableTrace" or "EnableLogToDebugOutput" or "EnableLogToFile" is on.
CONSOLE_API bool CS_IsTraceEnabled();
// "EnableLogInfo" is on: CS_LOG writes.
CONSOLE_API bool CS_IsLogEnabled();
// "EnableLogError" is on. CS_LOGERROR writes either way: test this first to honour the setting.
CONSOLE_API bool CS_IsLogErrorEnabled();

// Writes the text as it is.
CONSOLE_API void CS_TRACESIMPLE(const char* text);
// Formatted texts of 32,768 characters or more are cut to 32,767.
CONSOLE_API void CS_TRACE(const char* format, ...) CONSOLE_PRINTF(1, 2);
// Writes only while "EnableLogInfo" is on; otherwise the arguments are not even formatted.
CONSOLE_API void CS_LOG(const char* format, ...) CONSOLE_PRINTF(1, 2);
CONSOLE_API void CS_LOGERROR(const char* format, ...) CONSOLE_PRINTF(1, 2);
// Writes the formatted text, " - ", the error's text and a line feed. The error is an HRESULT whose text
// comes from DirectShow (AMGetErrorTextA); empty when it has none.
CONSOLE_API void CS_LOGERROR(long error, const char* format, ...) CONSOLE_PRINTF(2, 3);
// Writes the formatted text, " - ", the result's text and a line feed.
CONSOLE_API void CS_LOGKRMERROR(KRMResult result, const char* format, ...) CONSOLE_PRINTF(2, 3);
// Draws the formatted text straight onto the screen at (x, y), yellow on blue; nothing is logged.
CONSOLE_API void CS_TRACEDD(long x, long y, const char* format, ...) CONSOLE_PRINTF(3, 4);

// ---- The CLog stream logger ----------------------------------------------------------------------------
//
//     CS_GetLog() << CLog::WARNING << "disk " << 12 << " MB left" << Endl;
//
// One CLog per process, created by the first CS_GetLog and destroyed (writing its end footer) when Console
// unloads or the process exits. At the end, messages that other threads are still building are finished
// before the footer (at a process exit, for a few seconds at most); messages started after that are dropped,
// and CS_GetLog throws. Its logging word comes from the "logging:" option on the command line (after a hyphen
// or slash, hexadecimal: -logging:7) or else from the "logging" environment variable, which it sets for the
// processes this one starts:
//   bit 0  write each message to "<executable path>.log" (opened, appended and closed per message)
//   bit 1  send each message down the line pipeline above (set by itself when a debugger is attached)
//   bit 2  publish CLog::ERROR and above as the thread's COM error information (Windows)
//   bits 8-15  the lowest severity accepted
// Default 0x100: only USERALERT and USERINTERVENTION come through, to the callback and the alert boxes.
//
// Threads: CLog takes no lock. All messages are built in the log's one shared message text, so two
// messages built at the same time (two threads, or nested) mix. A host that logs from several threads
// serialises its use of CS_GetLog() itself. CS_GetLog itself may be called first from several threads.
//
// Windows headers define ERROR as a macro: include this header after them with the macro undefined (or
// NOGDI defined) to write CLog::ERROR.

#pragma push_macro("ERROR")
#undef ERROR

class CLog;
class CLogReffed;
class CLogCallback;

// A system function looked up at run time by library and function name (the debugger check).
class TOSDepFnBase {
public:
    TOSDepFnBase(const char* libraryName, const char* functionName);
    virtual ~TOSDepFnBase();
    TOSDepFnBase(const TOSDepFnBase&) = delete;
    TOSDepFnBase& operator=(const TOSDepFnBase&) = delete;
    // Binds on the first call; a failed binding is never retried.
    virtual bool IsAvailable() = 0;

protected:
    bool m_bBindAttempted;
    void* m_hLibrary;
    const char* m_pLibraryName;
    const char* m_pFunctionName;
};

template <typename F> class TOSDepFn : public TOSDepFnBase {
public:
    TOSDepFn(const char* libraryName, const char* functionName) : TOSDepFnBase(libraryName, functionName) {}
    bool IsAvailable() override;
    // Call only after IsAvailable() answered true.
    template <typename... Arguments> auto operator()(Arguments... arguments) {
        IsAvailable();
        return m_pFunction(arguments...);
    }

private:
    F m_pFunction = nullptr;
};

class CLog {
public:
    enum LogSeverity : std::int32_t {
        INFO = 0,
        TRACE = 1,
        WARNING = 2,
        ERROR = 3,
        FATAL = 4,
        ALWAYS = 5,
        USERALERT = 6,       // shown in an alert box unless the callback accepts it
        USERINTERVENTION = 7 // shown in a box that waits for the user unless the callback accepts it
    };

    // Starts a message: writes the time of day and the severity's prefix (" WARNING: ") when the severity
    // is enabled. The message is dispatched when the returned builder's statement ends.
    CONSOLE_API CLogReffed operator<<(LogSeverity severity);
    // (Logging is on or the severity is USERALERT or above) and the severity reaches the threshold.
    CONSOLE_API bool IsEnabledFor(LogSeverity severity) const;
    // On: messages also go to "<executable path>.log" (off when that path cannot be had).
    CONSOLE_API void SetLogToFile(bool on);
    CONSOLE_API bool GetLogToFile() const;
    // The log file's path; empty while file output is off.
    CONSOLE_API TWinString<char> GetLogFilename() const;
    // Installs the client sink (null removes it). The log neither copies nor deletes it. A callback that
    // throws (or, on Windows, faults) is removed and logging goes on.
    CONSOLE_API void SetLogCallback(CLogCallback* callback);

    // The message text: during CLogCallback::OnMessage, the whole dispatched message.
    const std::string& GetMessageText() const { return m_text; }

    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

private:
    friend class CLogReffed;
    friend class CLogLifetime; // creates and destroys the one log

    CLog();
    ~CLog();

    // The configuration, read from the command line and the environment when it is constructed.
    struct Settings {
        Settings();
        TOSDepFn<int (*)()> debuggerPresent;
        std::uint32_t loggingWord;
        std::string logFileName;
        std::string commandLine;
        bool headerAndFooter;
    };

    void Dispatch();
    void DispatchToSinks(std::uint32_t word);
    bool AcceptedByCallback(LogSeverity severity);
    void CallOnMessage(LogSeverity severity);
    void WriteHeader();
    void WriteFooter();
    void StartMessageText(const char* prefix);

    std::string m_text; // first member: a log's address is also its text's
    std::uint32_t m_userMark;
    Settings m_settings;
    bool m_messageEnabled;
    LogSeverity m_messageSeverity;
    std::int64_t m_startTime;
    CLogCallback* m_callback;
};

// A client sink for finished messages. Derive from it and install it with CLog::SetLogCallback.
class CONSOLE_API CLogCallback {
public:
    // Exported, so that hosts' callbacks construct and copy through the library. There is nothing to copy.
    CLogCallback();
    CLogCallback(const CLogCallback& other);
    CLogCallback& operator=(const CLogCallback& other);
    virtual ~CLogCallback();
    // Whether the client wants messages of this severity. Also asked for USERALERT and USERINTERVENTION:
    // true means the client shows them, and no alert box appears.
    virtual bool AcceptsSeverity(CLog::LogSeverity severity) = 0;
    // A finished message: log.GetMessageText() is its whole text (time, prefix, text, line feed).
    virtual void OnMessage(CLog::LogSeverity severity, const CLog& log) = 0;
};

// The one log of the process, created on the first call. Throws std::logic_error("Dead Reference
// Detected") when called after the log was destroyed at unload.
CONSOLE_API CLog& CS_GetLog();

// Builds one message. Copying a builder hands its message over: only the last holder dispatches it.
class CONSOLE_API CLogReffed {
public:
    CLogReffed(const CLogReffed& other);
    ~CLogReffed();
    CLogReffed& operator=(const CLogReffed&) = delete;

    CLogReffed& operator<<(const char* text);            // null: "<null>"
    CLogReffed& operator<<(unsigned short* const& text); // UTF-16; null: "<null>"
    CLogReffed& operator<<(const TWinString<char>& text);
    CLogReffed& operator<<(bool value); // "true" or "false"
    // In the current radix (10 unless changed); other radices show the 32 bits unsigned: -1 is ffffffff.
    CLogReffed& operator<<(int value);
    // As unsigned, in the current radix: 4294967295 prints 4294967295. (The logger this replaces printed
    // it as a signed value, -1.)
    CLogReffed& operator<<(unsigned long value);
    // A system error code: its text and the code in hexadecimal, "Access is denied. (0x5)", or "(0x...)"
    // when the system has no text. The radix is 10 afterwards.
    CLogReffed& operator<<(long errorCode);
    CLogReffed& operator<<(CLogReffed& (*manipulator)(CLogReffed&));

    // 2 to 36; other values are ignored.
    void SetRadix(int radix);
    // The alert box shows the message from here on.
    void SetUserMark();

private:
    friend class CLog;
    explicit CLogReffed(CLog* log);
    bool Converts() const;

    int m_radix;
    mutable CLog* m_log;
};

// Manipulators: CS_GetLog() << CLog::INFO << "mask " << Hex << 255 << Dec << Endl;
CONSOLE_API CLogReffed& Endl(CLogReffed& builder); // a line feed (does not end the message)
CONSOLE_API CLogReffed& Hex(CLogReffed& builder);
CONSOLE_API CLogReffed& Dec(CLogReffed& builder);
CONSOLE_API CLogReffed& Bin(CLogReffed& builder);
CONSOLE_API CLogReffed& User(CLogReffed& builder); // SetUserMark
CONSOLE_API CLogReffed& Date(CLogReffed& builder); // "Tuesday 8 December 2026"
CONSOLE_API CLogReffed& Time(CLogReffed& builder); // "14:03:27:015"

#pragma pop_macro("ERROR")

// ---- Reports, diagnostics and the plug-in menu
// -------------------------------------------------------------

// A report the console window lists in its "Reports" menu and runs on its own thread when the user picks it.
// The host keeps the object alive while Console is loaded. The order of the virtual operations is part of
// the interface.
class CONSOLE_API KRMReport {
public:
    // Exported, so that hosts' derived reports construct and copy through the library. There is nothing
    // to copy.
    KRMReport();
    KRMReport(const KRMReport& other);
    KRMReport& operator=(const KRMReport& other);
    // The text of its menu item.
    virtual std::string GetName() = 0;
    virtual void Run() = 0;
    // Not called by Console; offered to hosts.
    virtual int ScheduleNext();
};

// Known to Console only by address.
class KRMDiagnostic;

// The Windows menu handle (an opaque pointer on Linux).
typedef struct HMENU__* HMENU;

// Registers a report (listed from the next console window on); the same object twice is listed twice, a
// null reference is refused. Registrations may come from any thread, also while the window builds its menu.
CONSOLE_API void ConsoleAddReport(KRMReport& report);
CONSOLE_API void ConsoleAddDiagnostic(KRMDiagnostic& diagnostic);
// A pop-up menu shown as "Plugins" from the next console window on, and the handler its commands go to (a
// void (*)(unsigned int commandId), passed as void*). Every load of the settings forgets it: call it after
// ConsoleInitialise or another first call.
CONSOLE_API void ConsoleAddMenu(HMENU menu, void* handler);
// Writes html to "pelmora_report.html" in the current folder and opens it in the browser (Windows: the
// shell; Linux: xdg-open when it is there). Each call replaces the file.
CONSOLE_API void DisplayHTMLReport(const char* html);

// ---- Module ----------------------------------------------------------------------------------------------

// Opens the console window (or activates the open one): a window of class "PLCONSOLEWINDOW" with a read-only
// view of the buffered output that follows every line written from then on. Windows only; on Linux it
// loads the settings and returns.
CONSOLE_API void DisplayLog();

// Loads the settings again: a new empty buffer, the log file deleted when file logging is on, a new banner.
CONSOLE_API void ConsoleInitialise();
// The buffered output (the most recent "InternalBufferSize" bytes), with "<p>" before each line feed when
// html is true. The caller releases it with free(); null when memory ran out.
CONSOLE_API char* GetDebugLogOutput(bool html);
