// Console's settings: loaded from the Kitbag store into consoleState on first use (and on each
// ConsoleInitialise), saved back when the console window closes.
#pragma once

#include "state/console_state.h"

#include <atomic>
#include <string>

constexpr const char* kSettingsSection = "Debug";
constexpr const char* kStartBannerFormat = "*** Pelmora Console started at %s\n";

// Reads the settings and prepares the record: a new buffer, the log file deleted when file logging is on
// (only a writable regular file: another is kept and not written, see logFileKept), the start banner. A
// "LogFile" longer than logFile holds is refused: logFile is then empty. A load holds PipelineLock from start
// to end, so texts that other threads emit meanwhile wait for it instead of finding no buffer. Nothing
// throws: without memory the rest of the load is skipped.
void LoadSettingsNow(bool force);

// With force false only the first call in the process loads; later calls return at once.
inline void LoadSettings(bool force) {
    if (force || !firstLoadFinished.load(std::memory_order_acquire))
        LoadSettingsNow(force);
}
// Writes the persisted settings back; called when the console window is destroyed.
void SaveSettings();
// The banner's time text in the asctime layout: "Wed Jun 30 21:49:08 1993\n".
std::string AsctimeText(int year, int month, int day, int dayOfWeek, int hour, int minute, int second);
