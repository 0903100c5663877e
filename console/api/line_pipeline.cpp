#include "api/line_pipeline.h"

#include "api/console_settings.h"
#include "api/console_view.h"
#include "api/format_string.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::int64_t systemSecond() {
    return platform::systemSecondsNow();
}

const StampClock systemStampClock{systemSecond, platform::localTimeOfSystemSecond};

// The stamp of the current second, made when the second changes. Under PipelineLock.
struct StampCache {
    const StampClock* clock = &systemStampClock;
    bool valid = false;
    std::int64_t second = 0;
    TimeStamp stamp{};

    const char* Current() {
        const std::int64_t now = clock->second();
        if (!valid || now != second) {
            const platform::LocalTime time = clock->localTimeAt(now);
            stamp = FormatTimeStamp(time.hour, time.minute, time.second);
            second = now;
            valid = true;
        }
        return stamp.text;
    }
};
// What the pipeline keeps between lines, under PipelineLock; on a cache line of its own, the one line the
// holder of the lock writes besides the ring buffer's.
struct alignas(64) PipelineMemory {
    // The last character of the last non-empty text written; a space at load, so the banner is not
    // stamped.
    char lastCharacter = ' ';
    StampCache stamps;
};
PipelineMemory pipeline;

// Feeds the sinks, in their fixed order, with the lock held and the settings loaded.
void feedSinksLocked(std::string_view stamp, std::string_view text) CONSOLE_REQUIRES(PipelineLock) {
    ConsoleState& state = consoleState;
    if (!state.DebugLogBuffer.PrepareForWrite())
        return;
    state.DebugLogBuffer.Store(stamp.data(), stamp.size());
    state.DebugLogBuffer.Store(text.data(), text.size());
    if (state.logToFile && !state.logFileKept)
        AppendToLogFile(stamp, text);
    if (!stamp.empty())
        AppendToView(stamp.data());
    AppendToView(text.data());
    if (state.logToDebugOutput) {
        if (!stamp.empty())
            SendToDebugger(stamp.data());
        SendToDebugger(text.data());
    }
}

} // namespace

TimeStamp FormatTimeStamp(int hour, int minute, int second) {
    TimeStamp stamp{"00:00:00 - "};
    PutTwoDigits(stamp.text, hour);
    PutTwoDigits(stamp.text + 3, minute);
    PutTwoDigits(stamp.text + 6, second);
    return stamp;
}

void SetStampClock(const StampClock* clock) {
    ConsoleLockHold hold(PipelineLock);
    pipeline.stamps.clock = clock ? clock : &systemStampClock;
    pipeline.stamps.valid = false;
}

void ConsoleWriteText(const char* text, bool stamp) {
    if (!text)
        text = "";
    ConsoleWriteText(text, std::strlen(text), stamp);
}

void ConsoleWriteText(const char* text, std::size_t length, bool stamp) {
    // A sink that runs out of memory (the window's copy of the text) drops the text for itself and the
    // sinks after it; nothing is thrown at the host.
    boundary::guarded(ConsoleDrops, [&] {
        // One hold for the stamp decision and the emission: a stamp is never separated from its text.
        ConsoleLockHold hold(PipelineLock);
        // Loading first means the banner, when this call loads, comes before the stamp decision.
        LoadSettings(false);
        const bool stamped = stamp && pipeline.lastCharacter == '\n';
        if (length > 0)
            pipeline.lastCharacter = text[length - 1];
        if (stamped)
            ConsoleEmitStamped({pipeline.stamps.Current(), TimeStamp::kLength}, {text, length});
        else
            ConsoleEmit({text, length});
    });
}

void ConsoleEmit(std::string_view text) {
    feedSinksLocked("", text);
}

void ConsoleEmitStamped(std::string_view stamp, std::string_view text) {
    feedSinksLocked(stamp, text);
}

std::size_t AppendToLogFile(std::string_view stamp, std::string_view text) {
    return platform::appendWriteThrough(consoleState.logFile, stamp.data(), stamp.size(), text.data(),
                                        text.size());
}

void SendInDebuggerPieces(const char* text, void (*send)(const char* piece)) {
    std::size_t length = std::strlen(text);
    if (length <= kDebuggerPieceSize) {
        send(text);
        return;
    }
    char piece[kDebuggerPieceSize + 4];
    for (std::size_t offset = 0; offset < length; offset += kDebuggerPieceSize) {
        std::size_t pieceLength = std::min(kDebuggerPieceSize, length - offset);
        std::memcpy(piece, text + offset, pieceLength);
        piece[pieceLength] = '\0';
        send(piece);
    }
}

void SendToDebugger(const char* text) {
    SendInDebuggerPieces(text, platform::debuggerOutput);
}

char* ReadDebugLog(bool html, bool crlf) {
    std::string text;
    // Out of memory, as when the copy below cannot be made: null.
    const bool read = boundary::guarded(ConsoleDrops, false, [&] {
        ConsoleLockHold hold(PipelineLock);
        LoadSettings(false);
        text = consoleState.DebugLogBuffer.Read(html, crlf);
        return true;
    });
    if (!read)
        return nullptr;
    // The host releases it with free: allocate with malloc.
    char* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (copy)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}
