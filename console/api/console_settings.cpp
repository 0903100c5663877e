#include "api/console_settings.h"

#include "api/format_string.h"
#include "api/line_pipeline.h"
#include "platform.h"

#include <cstdio>
#include <cstring>

namespace {

void readBool(const char* key, std::atomic<bool>& field) {
    bool value = field.load();
    KB_GetBoolA(kSettingsSection, key, &value);
    field.store(value);
}

void writeStartBanner() {
    platform::LocalTime now = platform::localTime();
    std::string timeText =
        AsctimeText(now.year, now.month, now.day, now.dayOfWeek, now.hour, now.minute, now.second);
    std::string banner;
    FormatString(banner, kStartBannerFormat, timeText.c_str());
    ConsoleWriteText(banner.c_str(), true);
}

// "LogFile" into logFile (unchanged when the store has none). A name that does not fit is refused rather
// than cut, since a cut name would be another, perhaps existing, file: logFile is then empty, and the file
// sink has no file.
void readLogFile(ConsoleState& state) CONSOLE_REQUIRES(PipelineLock) {
    char value[sizeof state.logFile + 1];
    std::memcpy(value, state.logFile, sizeof state.logFile);
    value[sizeof state.logFile] = '\0';
    KB_GetStringA(kSettingsSection, "LogFile", value, sizeof value);
    const std::size_t length = std::strlen(value);
    state.logFileRefused = length >= sizeof state.logFile;
    std::memset(state.logFile, 0, sizeof state.logFile);
    if (!state.logFileRefused)
        std::memcpy(state.logFile, value, length);
}

// Each load starts a new log file: a writable regular file is removed. What the setting names otherwise is
// kept, the same on every platform, and the file sink stays off until the next load: a read-only file (a
// person protected it), a symbolic link (neither it nor its target is removed or written), a device or a
// FIFO (never destroyed, never waited for).
void startLogFile(ConsoleState& state) CONSOLE_REQUIRES(PipelineLock) {
    state.logFileKept = false;
    if (!state.logToFile || state.logFile[0] == '\0')
        return;
    switch (platform::pathKind(state.logFile)) {
    case platform::PathKind::Missing:
        break;
    case platform::PathKind::File:
        platform::deleteRegularFile(state.logFile);
        break;
    case platform::PathKind::ReadOnlyFile:
    case platform::PathKind::Other:
        state.logFileKept = true;
        break;
    }
}

void loadSettingsLocked() CONSOLE_REQUIRES(PipelineLock) {
    ConsoleState& state = consoleState;
    state.PluginMenu = nullptr;
    state.PluginCommandHandler = nullptr;
    settingsLoaded = true;
    state.logError = true;
    state.trace = true;

    readBool("EnableLogToDebugOutput", state.logToDebugOutput);
    KB_GetIntA(kSettingsSection, "InternalBufferSize", &state.DebugLogBuffer.SizeSetting());
    readBool("EnableLogToFile", state.logToFile);
    readBool("EnableLogInfo", state.logInfo);
    readBool("EnableLogError", state.logError);
    readBool("EnableTrace", state.trace);
    readLogFile(state);

    state.DebugLogBuffer.Allocate(state.DebugLogBuffer.Size());
    startLogFile(state);
    writeStartBanner();
}

} // namespace

void LoadSettingsNow(bool force) {
    // The first use of the module: from here on its exit list knows a process exit from an unload, and
    // keeps consoleState and PipelineLock for the threads still writing (state/console_state.cpp).
    platform::watchForProcessExit();
    ConsoleLockHold hold(PipelineLock);
    // Either this thread is inside its own load (the banner's emission), or another thread finished it.
    if (!force && settingsLoaded)
        return;
    // Out of memory part of the way (the banner's text): what was read stands, the rest is skipped. The
    // body takes the lock again (it is recursive), so that the analysis sees it held there too.
    boundary::guarded(ConsoleDrops, [] {
        ConsoleLockHold again(PipelineLock);
        loadSettingsLocked();
    });
    firstLoadFinished.store(true, std::memory_order_release);
}

void SaveSettings() {
    ConsoleState& state = consoleState;
    KB_SetBoolA(kSettingsSection, "EnableLogToDebugOutput", state.logToDebugOutput);
    KB_SetBoolA(kSettingsSection, "EnableLogToFile", state.logToFile);
    KB_SetBoolA(kSettingsSection, "EnableLogInfo", state.logInfo);
    {
        ConsoleLockHold hold(PipelineLock);
        // A name that was refused for its length stays in the store, unless another file was chosen since.
        if (!(state.logFileRefused && state.logFile[0] == '\0'))
            KB_SetStringA(kSettingsSection, "LogFile", state.logFile);
    }
    KB_SetBoolA(kSettingsSection, "EnableLogError", state.logError);
    KB_SetBoolA(kSettingsSection, "EnableTrace", state.trace);
}

std::string AsctimeText(int year, int month, int day, int dayOfWeek, int hour, int minute, int second) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::string text;
    FormatString(text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays[dayOfWeek % 7], kMonths[(month + 11) % 12],
                 day, hour, minute, second, year);
    return text;
}
