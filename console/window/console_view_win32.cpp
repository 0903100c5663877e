// Handing text to the console window (Windows): the pending text (pending_text.h) and AppendToView, the
// view the line pipeline declares.
#include "window/pending_text.h"

#include "api/console_view.h"

namespace {

struct PendingText {
    // The main window that accepts text; null while no window does.
    HWND target CONSOLE_GUARDED_BY(PipelineLock) = nullptr;
    // The text waiting for the view, line feeds already preceded by carriage returns.
    std::string text CONSOLE_GUARDED_BY(PipelineLock);
    // A wake-up is on its way to the window.
    bool wakeUpPosted CONSOLE_GUARDED_BY(PipelineLock) = false;
    // The view's bound, and whether waiting text was dropped to keep to it.
    std::size_t viewTrimAt CONSOLE_GUARDED_BY(PipelineLock) = 0;
    bool dropped CONSOLE_GUARDED_BY(PipelineLock) = false;
};
PendingText pending;

// Drops the oldest whole lines of a text once it is longer than trimAt, keeping at most half of it (the
// view's bound, view_text.h). True when it dropped any.
bool keepNewestLines(std::string& text, std::size_t trimAt) {
    if (text.size() <= trimAt)
        return false;
    const std::size_t cut = text.size() - trimAt / 2;
    const std::size_t lineEnd = text.find('\n', cut - 1);
    text.erase(0, lineEnd == std::string::npos ? cut : lineEnd + 1);
    return true;
}

} // namespace

void StartAcceptingText(HWND window, std::size_t trimAt) {
    pending.viewTrimAt = trimAt;
    pending.target = window;
    pending.text.clear();
    pending.wakeUpPosted = false;
    pending.dropped = false;
}

void StopAcceptingText() {
    ConsoleLockHold hold(PipelineLock);
    pending.target = nullptr;
    std::string().swap(pending.text);
    pending.wakeUpPosted = false;
    pending.dropped = false;
}

TakenText TakePendingText() {
    TakenText taken;
    ConsoleLockHold hold(PipelineLock);
    taken.text.swap(pending.text);
    pending.wakeUpPosted = false;
    taken.trimAt = pending.viewTrimAt;
    taken.replaceAll = pending.dropped;
    pending.dropped = false;
    return taken;
}

void AppendToView(const char* text) {
    if (!pending.target)
        return;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            pending.text += '\r';
        pending.text += *p;
    }
    if (keepNewestLines(pending.text, pending.viewTrimAt))
        pending.dropped = true;
    if (!pending.wakeUpPosted)
        pending.wakeUpPosted = PostMessageA(pending.target, kAppendPendingMessage, 0, 0) != FALSE;
}
