// Console: the diagnostic console and logging module of Pelmora.
//
// The writers below format printf-style on the caller's stack and send the text down one line pipeline:
// a time stamp "hh:mm:ss - " goes in front of each new line, and the text reaches, in this order and under
// one lock, the in-memory ring buffer, the log file (when "EnableLogToFile" is on), the console window
// (when it is open) and the debugger output (when "EnableLogToDebugOutput" is on). The formats decide where
// lines end: nothing adds a line feed.
//
// The switches come from the Kitbag settings store, section "Debug" (see Kitbag.h); the first call of any
// function loads them and writes the banner "*** Pelmora Console started at ...". Any thread may call any
// function. No function reports failure: a sink that cannot take a text skips it.
//
// Platforms: on Linux the debugger output is standard error, CS_TRACEDD draws nothing and the error text of
// CS_LOGERROR(long, ...) is the strerror text of an errno value.
#pragma once

#include <cstdint>
#include <string>

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

// Loads the settings again: a new empty buffer, the log file deleted when file logging is on, a new banner.
CONSOLE_API void ConsoleInitialise();
// The buffered output (the most recent "InternalBufferSize" bytes), with "<p>" before each line feed when
// html is true. The caller releases it with free(); null when memory ran out.
CONSOLE_API char* GetDebugLogOutput(bool html);
