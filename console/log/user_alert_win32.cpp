// The alert boxes of CLog on Windows.
//
// A USERALERT box counts down in its caption ("15 - path", "14 - path", ...) and closes itself at the end,
// unless the user presses a key or a mouse button in it first: then the caption becomes the path alone and
// the box waits. A training hook catches the box's creation; from then on a message-filter hook on the
// box's dialog loop takes the timer's ticks and watches for the user's input.
//
// One countdown at a time: the active alert is claimed atomically, and an alert that finds one already
// active (another thread's, or its own thread's from a window procedure while the box is open) shows the
// plain box instead. The plain box touches no shared state and waits for nobody. The hooks are the
// claiming thread's own; it removes them before it gives the claim back, so that the next claimant's
// hook handle is never overwritten or removed by it.
#include "log/user_alert.h"

#include "api/format_string.h"
#include "win32/handles_win32.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace {

constexpr int kCountdownSeconds = 15;
constexpr UINT kBoxStyle = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;

// The record behind a counting box; it lives on the stack of the thread that shows the box.
struct AlertCountdown {
    int initialSeconds = kCountdownSeconds;
    HWND boxWindow = nullptr;
    HINSTANCE moduleInstance = nullptr;
    UINT_PTR timerId = 1;
    int remainingSeconds = kCountdownSeconds;
    std::string captionBase;
};

std::atomic<AlertCountdown*> activeAlert{nullptr};
// The training hook, then the message-filter hook, of the countdown box. Touched only by the thread that
// holds activeAlert.
platform::win32::WindowsHook hook;
std::atomic<unsigned> tickMilliseconds{1000};

// The module that holds this code: Console.dll, or the program it is linked into.
HINSTANCE loggingModule() {
    static const HINSTANCE module = [] {
        static const char marker = 0;
        MEMORY_BASIC_INFORMATION memory{};
        if (!VirtualQuery(&marker, &memory, sizeof memory))
            return HINSTANCE{nullptr};
        return static_cast<HINSTANCE>(memory.AllocationBase);
    }();
    return module;
}

std::string modulePath(HINSTANCE module) {
    char path[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    return std::string(path, length < MAX_PATH ? length : 0);
}

std::string countdownCaption(const AlertCountdown& alert) {
    std::string caption;
    FormatString(caption, "%02d - %s", alert.remainingSeconds, alert.captionBase.c_str());
    return caption;
}

void tick(AlertCountdown& alert, bool initial) {
    alert.remainingSeconds = initial ? alert.initialSeconds : alert.remainingSeconds - 1;
    if (alert.remainingSeconds > 0) {
        SetWindowTextA(alert.boxWindow, countdownCaption(alert).c_str());
        return;
    }
    // Closes the box as if the user had dismissed it.
    PostMessageA(alert.boxWindow, WM_COMMAND, IDCANCEL,
                 reinterpret_cast<LPARAM>(GetDlgItem(alert.boxWindow, IDCANCEL)));
}

bool isUserInput(UINT message) {
    const bool key = message >= WM_KEYDOWN && message <= 0x0108; // the key messages
    const bool mouseButton = message >= WM_LBUTTONDOWN && message <= WM_MBUTTONDBLCLK;
    return key || mouseButton;
}

LRESULT CALLBACK messageFilterHook(int code, WPARAM wParam, LPARAM lParam) {
    AlertCountdown* alert = activeAlert.load(std::memory_order_acquire);
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code != MSGF_DIALOGBOX || !alert || !message ||
        (message->hwnd != alert->boxWindow && !IsChild(alert->boxWindow, message->hwnd)))
        return CallNextHookEx(nullptr, code, wParam, lParam);
    if (isUserInput(message->message)) {
        // The user touched the box: no more counting, the box waits for them.
        LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
        hook.reset();
        KillTimer(alert->boxWindow, alert->timerId);
        SetWindowTextA(alert->boxWindow, alert->captionBase.c_str());
        return result;
    }
    if (message->message == WM_TIMER) {
        tick(*alert, false);
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool isDialogWindow(HWND window) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    return std::string(className) == "#32770";
}

LRESULT CALLBACK trainingHook(int code, WPARAM wParam, LPARAM lParam) {
    AlertCountdown* alert = activeAlert.load(std::memory_order_acquire);
    HWND created = reinterpret_cast<HWND>(wParam);
    if (code != HCBT_CREATEWND || !alert || !isDialogWindow(created))
        return CallNextHookEx(nullptr, code, wParam, lParam);
    LRESULT result = CallNextHookEx(nullptr, code, wParam, lParam);
    hook.reset();
    alert->boxWindow = created;
    hook.reset(
        SetWindowsHookExA(WH_MSGFILTER, messageFilterHook, alert->moduleInstance, GetCurrentThreadId()));
    alert->timerId = SetTimer(created, alert->timerId, tickMilliseconds, nullptr);
    tick(*alert, true);
    return result;
}

void showPlainBox(const char* text, const std::string& caption) {
    MessageBoxA(GetActiveWindow(), text, caption.c_str(), kBoxStyle);
}

void showCountdownBox(const char* text, AlertCountdown& alert) {
    hook.reset(SetWindowsHookExA(WH_CBT, trainingHook, nullptr, GetCurrentThreadId()));
    MessageBoxA(GetActiveWindow(), text, countdownCaption(alert).c_str(), kBoxStyle);
    // Without a box window no timer was started: KillTimer(nullptr, 1) would stop a timer of the host's.
    if (alert.boxWindow)
        KillTimer(alert.boxWindow, alert.timerId);
    hook.reset();
}

} // namespace

void ShowUserAlert(CLog::LogSeverity severity, const char* text) {
    static const std::string captionBase = modulePath(loggingModule());
    if (severity != CLog::USERALERT) {
        showPlainBox(text, captionBase);
        return;
    }
    AlertCountdown alert;
    alert.moduleInstance = loggingModule();
    alert.captionBase = captionBase;
    AlertCountdown* none = nullptr;
    if (!activeAlert.compare_exchange_strong(none, &alert, std::memory_order_acq_rel)) {
        showPlainBox(text, captionBase); // a countdown is on already
        return;
    }
    showCountdownBox(text, alert);
    activeAlert.store(nullptr, std::memory_order_release);
}

void SetUserAlertTickMilliseconds(unsigned milliseconds) {
    tickMilliseconds = milliseconds;
}

bool UserAlertIdle() {
    return activeAlert.load() == nullptr && !hook.installed();
}
