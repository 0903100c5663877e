// The exported printf-style writers, the enable queries and the explicit initialisation.
//
// Each writer formats into a buffer on the caller's stack (no heap, no lock) and writes through the line
// pipeline. A formatted text of kWriterBufferSize characters or more is cut to kWriterBufferSize - 1. No
// exception reaches the host: loading the settings and the pipeline absorb their own.
#include "Console.h"

#include "api/console_settings.h"
#include "api/line_pipeline.h"
#include "api/screen_text.h"

#include "text_format.h"

#include <cstdarg>

namespace {

constexpr int kWriterBufferSize = 32768;
constexpr int kErrorTextSize = 2048;

// A writer's formatting buffer: the text, NUL-terminated, cut at the buffer's size.
struct WriterText {
    char text[kWriterBufferSize];
    // The formatter's result: the full length, or negative on an encoding error (then the text is empty).
    int length;

    // The formatter gives exactly what vsnprintf gives, without the C library for the usual conversions.
    WriterText(const char* format, va_list arguments) {
        length = text_format::formatBounded(text, sizeof text, format ? format : "", arguments);
        if (length < 0)
            text[0] = '\0';
    }
};

void writeWithReason(const char* text, const char* reason) {
    ConsoleWriteText(text, true);
    ConsoleWriteText(" - ", true);
    ConsoleWriteText(reason, true);
    ConsoleWriteText("\n", true);
}

} // namespace

bool CS_IsTraceEnabled() {
    LoadSettings(false);
    return consoleState.trace || consoleState.logToDebugOutput || consoleState.logToFile;
}

bool CS_IsLogEnabled() {
    LoadSettings(false);
    return consoleState.logInfo;
}

bool CS_IsLogErrorEnabled() {
    LoadSettings(false);
    return consoleState.logError;
}

void CS_TRACESIMPLE(const char* text) {
    LoadSettings(false);
    ConsoleWriteText(text, true);
}

void CS_TRACE(const char* format, ...) {
    LoadSettings(false);
    va_list arguments;
    va_start(arguments, format);
    WriterText formatted(format, arguments);
    va_end(arguments);
    ConsoleWriteText(formatted.text, true);
}

void CS_LOG(const char* format, ...) {
    LoadSettings(false);
    if (!consoleState.logInfo)
        return;
    va_list arguments;
    va_start(arguments, format);
    WriterText formatted(format, arguments);
    va_end(arguments);
    ConsoleWriteText(formatted.text, true);
}

void CS_LOGERROR(const char* format, ...) {
    LoadSettings(false);
    va_list arguments;
    va_start(arguments, format);
    WriterText formatted(format, arguments);
    va_end(arguments);
    ConsoleWriteText(formatted.text, true);
}

void CS_LOGERROR(long error, const char* format, ...) {
    LoadSettings(false);
    char errorText[kErrorTextSize];
    platform::mediaErrorText(error, errorText, sizeof errorText);
    va_list arguments;
    va_start(arguments, format);
    WriterText formatted(format, arguments);
    va_end(arguments);
    writeWithReason(formatted.text, errorText);
}

void CS_LOGKRMERROR(KRMResult result, const char* format, ...) {
    LoadSettings(false);
    va_list arguments;
    va_start(arguments, format);
    WriterText formatted(format, arguments);
    va_end(arguments);
    writeWithReason(formatted.text, result.Text().c_str());
}

void CS_TRACEDD(long x, long y, const char* format, ...) {
    LoadSettings(false);
    va_list arguments;
    va_start(arguments, format);
    WriterText formatted(format, arguments);
    va_end(arguments);
    // A text longer than the buffer is not drawn at all.
    if (formatted.length < 0 || formatted.length >= kWriterBufferSize)
        return;
    DrawScreenText(x, y, formatted.text, formatted.length);
}

void ConsoleInitialise() {
    LoadSettings(true);
}

char* GetDebugLogOutput(bool html) {
    return ReadDebugLog(html, false);
}
