// The console window on Windows: DisplayLog, the window thread, the main window procedure, the view.
//
// Text reaches the view without any thread waiting for another: AppendToView, called under PipelineLock
// on the emitting thread, adds a copy to the pending text and, when that was empty, posts one wake-up to the
// main window; the window thread takes all pending text (briefly under PipelineLock) and appends it as one
// replacement. Under load the view so keeps up in batches, and no per-thread limit of posted messages can
// lose a line. The view is filled from the ring buffer, and the window starts accepting text, in one hold
// of PipelineLock, so that the fill and the first pending text meet exactly: nothing lost, nothing twice.
#include "window/console_window.h"

#include "Console.h"
#include "api/line_pipeline.h"
#include "state/console_state.h"
#include "platform.h"
#include "win32/handles_win32.h"
#include "window/console_commands.h"
#include "api/console_settings.h"
#include "api/console_view.h"
#include "window/resource.h"

#include <windows.h>

#include <richedit.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

// Posted to the main window when pending text waits for the view.
constexpr UINT WM_APP_APPEND_TEXT = WM_APP + 1;

// What the emitting threads hand to the window: every field is read and written under PipelineLock only.
struct PendingText {
    // The main window that accepts text; null while no window does.
    HWND target = nullptr;
    // The text waiting for the view, line feeds already preceded by carriage returns.
    std::string text;
    // A wake-up is on its way to the window.
    bool wakeUpPosted = false;
    // The view's bound (see "The view" below), and whether waiting text was dropped to keep to it.
    std::size_t viewTrimAt = 0;
    bool dropped = false;
};
PendingText pending;

// What belongs to the window and its thread. DisplayLog, on a host's thread, reads the class name and
// claims threadActive; the rest is the window thread's own.
struct WindowThreadState {
    // The view of the open window. A closing window's thread may still be finishing while a new window's
    // thread starts, so each clears only its own.
    std::atomic<HWND> view{nullptr};
    char title[100] = "";
    char className[100] = "";
    HINSTANCE dialogInstance = nullptr;
    // A window is being created or is open: at most one at a time. Cleared when the window is destroyed
    // (or could not be made), so that a DisplayLog right after a close opens the next one.
    std::atomic<bool> threadActive{false};
};
WindowThreadState windowThread;

// ---- The view --------------------------------------------------------------------------------------------
//
// The view's bound. The rich edit control takes only 32,767 characters unless told otherwise, and a host
// that runs for days would make an unbounded view grow without end. So the view keeps the newest lines
// only: once it holds more than four times "InternalBufferSize" characters (at least 262,144; with the
// default buffer 409,600), the oldest whole lines go until it holds at most half of that, which is still
// twice what the ring buffer holds (the text the view starts from). The control's own limit is twice the
// bound, so that the view at its bound plus one batch of waiting text, itself kept to the bound, always
// fits and nothing is cut by the control. Text waits for the view only while its thread is busy (a report
// running): it is kept to the newest lines in the same way, and then replaces the view's text, so that
// the view always shows one unbroken stretch of the newest lines. (Wine's rich edit removes lines in time
// that grows with the lines it keeps, which is why the bound is no larger.)
constexpr std::size_t kMinimumViewTrimAt = 262144;
constexpr std::size_t kMaximumViewTrimAt = 0x3FFFFFFF; // twice it still fits the control's limit

std::size_t viewTrimAtFor(std::int32_t ringSize) {
    const std::size_t fourRings = ringSize > 0 ? 4 * static_cast<std::size_t>(ringSize) : 0;
    return std::min(std::max(fourRings, kMinimumViewTrimAt), kMaximumViewTrimAt);
}

// Drops the oldest whole lines of a text waiting for the view once it is longer than the bound, keeping
// at most half the bound. True when it dropped any.
bool keepNewestLines(std::string& text, std::size_t trimAt) {
    if (text.size() <= trimAt)
        return false;
    const std::size_t cut = text.size() - trimAt / 2;
    const std::size_t lineEnd = text.find('\n', cut - 1);
    text.erase(0, lineEnd == std::string::npos ? cut : lineEnd + 1);
    return true;
}

void setUpView(HWND window, HINSTANCE instance) {
    HWND view = CreateWindowExA(0, "RichEdit20A", "",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                    ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | ES_READONLY,
                                0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_VIEW), instance, nullptr);
    windowThread.view = view;
    SendMessageA(view, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_MENU)));
    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    SendMessageA(view, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    format.dwMask = CFM_BOLD | CFM_FACE | CFM_COLOR | CFM_SIZE;
    format.dwEffects = CFE_AUTOCOLOR;
    format.yHeight = 160;
    std::strcpy(format.szFaceName, "MS Sans Serif");
    SendMessageA(view, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    // A read-only view keeps no undo: the text it drops would otherwise live on there.
    SendMessageA(view, EM_SETUNDOLIMIT, 0, 0);
}

// A text handed to the control through EM_STREAMIN, a piece at a time.
struct PlainTextSource {
    const char* next;
    std::size_t left;
};

DWORD CALLBACK readPlainText(DWORD_PTR cookie, LPBYTE buffer, LONG capacity, LONG* given) {
    auto* source = reinterpret_cast<PlainTextSource*>(cookie);
    std::size_t size = std::min(source->left, static_cast<std::size_t>(capacity > 0 ? capacity : 0));
    // A carriage return and its line feed go in one piece: split, they could make two line breaks.
    if (size > 1 && size < source->left && source->next[size - 1] == '\r')
        --size;
    std::memcpy(buffer, source->next, size);
    source->next += size;
    source->left -= size;
    *given = static_cast<LONG>(size);
    return 0;
}

// Puts a text into the view as plain text, in place of the selection or of the whole text. WM_SETTEXT and
// EM_REPLACESEL would read a text that begins with "{\rtf" as rich text and show its markup's result
// instead of the text; a stream of the format SF_TEXT is never read as anything but characters.
void insertPlainText(HWND view, const char* text, std::size_t length, bool replaceSelection) {
    PlainTextSource source{text, length};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
    stream.pfnCallback = readPlainText;
    SendMessageA(view, EM_STREAMIN, SF_TEXT | (replaceSelection ? SFF_SELECTION : 0),
                 reinterpret_cast<LPARAM>(&stream));
}

LRESULT textLength(HWND view) {
    LRESULT lastLine = SendMessageA(view, EM_GETLINECOUNT, 0, 0) - 1;
    LRESULT lastLineStart = SendMessageA(view, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0);
    return lastLineStart + SendMessageA(view, EM_LINELENGTH, static_cast<WPARAM>(lastLineStart), 0);
}

void putCaretAtEnd(HWND view) {
    LRESULT end = textLength(view);
    SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageA(view, EM_SCROLLCARET, 0, 0);
}

// Fills the view from the ring buffer and starts accepting posted text, in one hold of PipelineLock.
void fillView(HWND window) {
    char* text = nullptr;
    std::size_t trimAt = 0;
    {
        ConsoleLockHold hold(PipelineLock);
        text = ReadDebugLog(false, true);
        trimAt = viewTrimAtFor(consoleState.DebugLogBuffer.Size());
        pending.viewTrimAt = trimAt;
        pending.target = window;
        pending.text.clear();
        pending.wakeUpPosted = false;
        pending.dropped = false;
    }
    HWND view = windowThread.view;
    SendMessageA(view, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(2 * trimAt));
    insertPlainText(view, text ? text : "", text ? std::strlen(text) : 0, false);
    putCaretAtEnd(view);
    std::free(text);
}

// What dropping the oldest lines took away: characters and lines.
struct Dropped {
    LRESULT characters = 0;
    LRESULT lines = 0;
};

// The start of the first line of text at or after a character position, or -1 when none starts there.
// The control's own lines are rows on the screen, which a long line of text may fill several of; a line
// of text ends with a paragraph mark.
LRESULT nextLineStart(HWND view, LRESULT position, LRESULT length) {
    constexpr LRESULT kPiece = 4096;
    char piece[kPiece * 2 + 1];
    // From the character before the position: it may end the line before.
    for (LRESULT from = position - 1; from < length; from += kPiece) {
        TEXTRANGEA range{{static_cast<LONG>(from), static_cast<LONG>(std::min(from + kPiece, length))},
                         piece};
        const LRESULT got = SendMessageA(view, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
        for (LRESULT i = 0; i < got && piece[i] != '\0'; ++i) {
            if (piece[i] == '\r' || piece[i] == '\n') {
                // Characters, not bytes: a character of a double-byte code page takes two.
                return from + MultiByteToWideChar(CP_ACP, 0, piece, static_cast<int>(i + 1), nullptr, 0);
            }
        }
        if (got <= 0)
            break;
    }
    return -1;
}

// Keeps the view to its bound: past trimAt characters, drops the oldest whole lines down to half of it.
Dropped dropOldestLines(HWND view, std::size_t trimAt) {
    const LRESULT length = textLength(view);
    if (length <= static_cast<LRESULT>(trimAt))
        return {};
    const LRESULT keptStart = nextLineStart(view, length - static_cast<LRESULT>(trimAt / 2), length);
    if (keptStart <= 0)
        return {};
    const LRESULT rows = SendMessageA(view, EM_EXLINEFROMCHAR, 0, keptStart);
    SendMessageA(view, EM_SETSEL, 0, keptStart);
    SendMessageA(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
    return {keptStart, rows};
}

// Appends one posted text at the end of the view, following the end only when the user was there. When
// the lines between the view's text and this one were dropped, the text replaces the view's instead.
void appendNow(const std::string& text, std::size_t trimAt, bool replaceAll) {
    HWND view = windowThread.view;
    if (!view)
        return;
    SendMessageA(view, WM_SETREDRAW, FALSE, 0);
    LRESULT end = textLength(view);
    DWORD selectionStart = 0, selectionEnd = 0;
    SendMessageA(view, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                 reinterpret_cast<LPARAM>(&selectionEnd));
    const bool atEnd = selectionStart == static_cast<DWORD>(end) && selectionEnd == static_cast<DWORD>(end);
    LRESULT firstVisible = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    Dropped dropped;
    if (replaceAll) {
        dropped = {end, SendMessageA(view, EM_GETLINECOUNT, 0, 0)};
        insertPlainText(view, text.data(), text.size(), false);
    } else {
        SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(end), end);
        insertPlainText(view, text.data(), text.size(), true);
        dropped = dropOldestLines(view, trimAt);
    }
    if (atEnd) {
        putCaretAtEnd(view);
    } else {
        // The text the user looks at moved up by what was dropped; it stays where it was on the screen
        // (the selection goes to the start when its own text was dropped).
        auto shifted = [&](DWORD position) {
            return static_cast<LPARAM>(
                std::max<LRESULT>(0, static_cast<LRESULT>(position) - dropped.characters));
        };
        SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(shifted(selectionStart)), shifted(selectionEnd));
        LRESULT nowFirst = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
        LRESULT wantedFirst = std::max<LRESULT>(0, firstVisible - dropped.lines);
        SendMessageA(view, EM_LINESCROLL, 0, wantedFirst - nowFirst);
    }
    SendMessageA(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, FALSE);
}

// Stops accepting text; what was pending is dropped (it stays in the ring buffer).
void stopAccepting() {
    ConsoleLockHold hold(PipelineLock);
    pending.target = nullptr;
    std::string().swap(pending.text);
    pending.wakeUpPosted = false;
    pending.dropped = false;
}

// Appends all pending text as one replacement.
void appendPending() {
    std::string text;
    std::size_t trimAt = 0;
    bool replaceAll = false;
    {
        ConsoleLockHold hold(PipelineLock);
        text.swap(pending.text);
        pending.wakeUpPosted = false;
        trimAt = pending.viewTrimAt;
        replaceAll = pending.dropped;
        pending.dropped = false;
    }
    if (!text.empty())
        appendNow(text, trimAt, replaceAll);
}

// ---- The main window ---------------------------------------------------------------------------------

void onDestroy(HWND window) {
    SaveSettings();
    // The "Plugins" pop-up is the host's: the bar, destroyed with the window, must not take it along.
    DetachPluginMenu(window);
    stopAccepting();
    PostQuitMessage(0);
    HWND view = windowThread.view;
    if (IsWindow(view))
        DestroyWindow(view);
    windowThread.threadActive = false;
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        setUpView(window, reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance);
        BuildConsoleMenus(window);
        fillView(window);
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    case WM_SIZE:
        MoveWindow(GetDlgItem(window, IDC_VIEW), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(GetDlgItem(window, IDC_VIEW));
        return 0;
    case WM_INITMENUPOPUP:
        UpdateCheckMarks(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_COMMAND:
        // A control's notification (the view's focus and change notices) names the control, not a command:
        // it is neither the window's nor the host's.
        if (lParam != 0)
            break;
        if (HandleConsoleCommand(window, GetDlgItem(window, IDC_VIEW), windowThread.dialogInstance,
                                 LOWORD(wParam)) ||
            HandleHostCommand(LOWORD(wParam)))
            return 0;
        break;
    case WM_APP_APPEND_TEXT:
        appendPending();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int ConsoleWindowThread(HINSTANCE instance, int showCommand) {
    LoadStringA(instance, IDS_WINDOW_TITLE, windowThread.title, sizeof windowThread.title);
    LoadStringA(instance, IDS_WINDOW_CLASS, windowThread.className, sizeof windowThread.className);
    // The view's control class; each window loads it once and lets it go when its loop ends.
    const platform::win32::LoadedLibrary richEdit("riched20.dll");

    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_CONSOLE));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEA(IDR_CONSOLE_MENU);
    windowClass.lpszClassName = windowThread.className;
    RegisterClassExA(&windowClass); // fails harmlessly when still registered from an earlier window

    windowThread.dialogInstance = instance;
    HWND window = CreateWindowExA(0, windowThread.className, windowThread.title, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, 0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!window) {
        windowThread.threadActive = false;
        return 0;
    }
    HWND ownView = windowThread.view;
    consoleState.mainWindow = window;
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_CONSOLE_ACCELERATORS));
    MSG message{};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        // Accelerators reach the main window whichever of its windows has the focus.
        if (accelerators && TranslateAcceleratorA(window, accelerators, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    windowThread.view.compare_exchange_strong(ownView, nullptr);
    if (consoleState.mainWindow == window)
        consoleState.mainWindow = nullptr;
    return static_cast<int>(message.wParam);
}

// The window thread's start: the instance, and the reference to Console that the thread owns.
struct WindowThreadStart {
    HINSTANCE instance;
    void* module;
};

unsigned windowThreadEntry(void* argument) {
    const WindowThreadStart start = *static_cast<WindowThreadStart*>(argument);
    delete static_cast<WindowThreadStart*>(argument);
    ConsoleWindowThread(start.instance, SW_SHOW);
    // Lets Console go as the thread ends; the code of this function is not needed after that.
    platform::exitThreadReleasingModule(start.module, 0);
    return 0;
}

} // namespace

void OpenConsoleWindow(void* instance) {
    if (windowThread.className[0] != '\0') {
        if (HWND open = FindWindowA(windowThread.className, nullptr)) {
            SetActiveWindow(open);
            SetForegroundWindow(open);
            return;
        }
    }
    // A window of this process is on its way: no second one.
    if (windowThread.threadActive.exchange(true))
        return;
    // The thread keeps Console loaded while its window is open, so that an unload never pulls the code
    // from under it. The reference is taken here, before the thread exists: a host that unloads Console
    // right after DisplayLog returns would otherwise unmap it before the new thread got to take one.
    auto module = platform::win32::LoadedLibrary::adopt(static_cast<HMODULE>(platform::acquireOwnModule()));
    std::unique_ptr<WindowThreadStart> start(
        new (std::nothrow) WindowThreadStart{static_cast<HINSTANCE>(instance), module.get()});
    platform::Thread thread;
    if (start && thread.start(windowThreadEntry, start.get())) {
        // The thread's now: it deletes the start and lets go of the module as it ends.
        start.release();
        module.release();
        return;
    }
    module.reset(); // not held while the box waits
    windowThread.threadActive = false;
    MessageBoxA(GetForegroundWindow(), "Couldn't create thread for console window",
                "Fatal error starting console window", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
}

void DisplayLog() {
    LoadSettings(false);
    OpenConsoleWindow(moduleInstance);
}

void AppendToView(const char* text) {
    // Called under PipelineLock, like everything that touches the pending text.
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
        pending.wakeUpPosted = PostMessageA(pending.target, WM_APP_APPEND_TEXT, 0, 0) != FALSE;
}
