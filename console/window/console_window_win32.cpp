// The console window on Windows: DisplayLog, the window thread, the main window procedure, the view.
//
// Text reaches the view without any thread waiting for another: AppendToView, called under PipelineLock
// on the emitting thread, posts a copy to the main window and returns; the window thread appends it. The
// view is filled from the ring buffer, and the window starts accepting copies, in one hold of
// PipelineLock, so that the fill and the first posted text meet exactly: nothing lost, nothing twice.
#include "console_window.h"

#include "Console.h"
#include "console_state.h"
#include "console_view.h"
#include "line_pipeline.h"
#include "module.h"
#include "platform.h"
#include "resource.h"

#include <windows.h>

#include <richedit.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

// A posted copy of emitted text for the view; lParam owns it (malloc).
constexpr UINT WM_APP_APPEND_TEXT = WM_APP + 1;

HWND viewWindow = nullptr;
char windowTitle[100] = "";
char windowClassName[100] = "";
HINSTANCE dialogInstance = nullptr;
HMODULE richEditLibrary = nullptr;
// The main window that accepts posted text; under PipelineLock.
HWND appendTarget = nullptr;
// A window thread is running (or starting): at most one at a time.
std::atomic<bool> windowThreadActive{false};

// ---- The view --------------------------------------------------------------------------------------------

void setUpView(HWND window, HINSTANCE instance) {
    richEditLibrary = LoadLibraryA("riched20.dll");
    viewWindow = CreateWindowExA(0, "RichEdit20A", "",
                                 WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE |
                                     ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL | ES_READONLY,
                                 0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_VIEW), instance, nullptr);
    SendMessageA(viewWindow, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_MENU)));
    CHARFORMATA format;
    std::memset(&format, 0, sizeof format);
    format.cbSize = sizeof format;
    SendMessageA(viewWindow, EM_GETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
    format.dwMask = CFM_BOLD | CFM_FACE | CFM_COLOR | CFM_SIZE;
    format.dwEffects = CFE_AUTOCOLOR;
    format.yHeight = 160;
    std::strcpy(format.szFaceName, "MS Sans Serif");
    SendMessageA(viewWindow, EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format));
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
    {
        platform::ScopedLock<platform::RecursiveLock> hold(PipelineLock);
        text = ReadDebugLog(false, true);
        appendTarget = window;
    }
    SetWindowTextA(viewWindow, text ? text : "");
    putCaretAtEnd(viewWindow);
    std::free(text);
}

// Appends one posted text at the end of the view, following the end only when the user was there.
void appendNow(const char* text) {
    HWND view = viewWindow;
    if (!view)
        return;
    SendMessageA(view, WM_SETREDRAW, FALSE, 0);
    LRESULT end = textLength(view);
    DWORD selectionStart = 0, selectionEnd = 0;
    SendMessageA(view, EM_GETSEL, reinterpret_cast<WPARAM>(&selectionStart),
                 reinterpret_cast<LPARAM>(&selectionEnd));
    const bool atEnd = selectionStart == static_cast<DWORD>(end) && selectionEnd == static_cast<DWORD>(end);
    LRESULT firstVisible = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(end), end);
    SendMessageA(view, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    if (atEnd) {
        putCaretAtEnd(view);
    } else {
        SendMessageA(view, EM_SETSEL, selectionStart, static_cast<LPARAM>(selectionEnd));
        LRESULT nowFirst = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
        SendMessageA(view, EM_LINESCROLL, 0, firstVisible - nowFirst);
    }
    SendMessageA(view, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view, nullptr, FALSE);
}

// Stops accepting posted text and frees what was posted but not yet appended.
void stopAccepting(HWND window) {
    {
        platform::ScopedLock<platform::RecursiveLock> hold(PipelineLock);
        appendTarget = nullptr;
    }
    MSG pending;
    while (PeekMessageA(&pending, window, WM_APP_APPEND_TEXT, WM_APP_APPEND_TEXT, PM_REMOVE))
        std::free(reinterpret_cast<void*>(pending.lParam));
}

// ---- Commands
// ------------------------------------------------------------------------------------------------

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

// True when the command was handled here.
bool onCommand(HWND window, unsigned command) {
    switch (command) {
    case IDM_EXIT:
        DestroyWindow(window);
        return true;
    case IDM_ABOUT:
        DialogBoxParamA(dialogInstance, MAKEINTRESOURCEA(IDD_ABOUT), window, aboutProcedure, 0);
        return true;
    default:
        return false;
    }
}

// ---- The main window
// -----------------------------------------------------------------------------------------

void onDestroy(HWND window) {
    SaveSettings();
    stopAccepting(window);
    PostQuitMessage(0);
    if (IsWindow(viewWindow))
        DestroyWindow(viewWindow);
    if (richEditLibrary)
        FreeLibrary(richEditLibrary);
    richEditLibrary = nullptr;
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        setUpView(window, reinterpret_cast<CREATESTRUCTA*>(lParam)->hInstance);
        fillView(window);
        return 0;
    case WM_DESTROY:
        onDestroy(window);
        return 0;
    case WM_SIZE:
        MoveWindow(viewWindow, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        SetFocus(viewWindow);
        return 0;
    case WM_INITMENUPOPUP:
        return 0;
    case WM_COMMAND:
        if (onCommand(window, LOWORD(wParam)))
            return 0;
        break;
    case WM_APP_APPEND_TEXT:
        appendNow(reinterpret_cast<const char*>(lParam));
        std::free(reinterpret_cast<void*>(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int ConsoleWindowThread(HINSTANCE instance, int showCommand) {
    viewWindow = nullptr;
    LoadStringA(instance, IDS_WINDOW_TITLE, windowTitle, sizeof windowTitle);
    LoadStringA(instance, IDS_WINDOW_CLASS, windowClassName, sizeof windowClassName);

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
    windowClass.lpszClassName = windowClassName;
    RegisterClassExA(&windowClass); // fails harmlessly when still registered from an earlier window

    dialogInstance = instance;
    HWND window = CreateWindowExA(0, windowClassName, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (!window)
        return 0;
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
    viewWindow = nullptr;
    consoleState.mainWindow = nullptr;
    return static_cast<int>(message.wParam);
}

unsigned windowThreadEntry(void* instance) {
    // The thread keeps Console loaded while its window is open, so that an unload never pulls the code
    // from under it; it lets go as it ends.
    void* module = platform::acquireOwnModule();
    ConsoleWindowThread(static_cast<HINSTANCE>(instance), SW_SHOW);
    windowThreadActive = false;
    platform::exitThreadReleasingModule(module, 0);
    return 0;
}

} // namespace

void OpenConsoleWindow(void* instance) {
    if (windowClassName[0] != '\0') {
        if (HWND open = FindWindowA(windowClassName, nullptr)) {
            SetActiveWindow(open);
            SetForegroundWindow(open);
            return;
        }
    }
    // A window of this process is on its way: no second one.
    if (windowThreadActive.exchange(true))
        return;
    platform::Thread thread;
    if (!thread.start(windowThreadEntry, instance)) {
        windowThreadActive = false;
        MessageBoxA(GetForegroundWindow(), "Couldn't create thread for console window",
                    "Fatal error starting console window", MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
    }
}

void DisplayLog() {
    LoadSettings(false);
    OpenConsoleWindow(moduleInstance);
}

void AppendToView(const char* text) {
    HWND target = appendTarget; // read under PipelineLock, which every caller holds
    if (!target)
        return;
    std::size_t lineFeeds = 0;
    for (const char* p = text; *p; ++p)
        lineFeeds += *p == '\n' ? 1 : 0;
    std::size_t length = std::strlen(text);
    char* copy = static_cast<char*>(std::malloc(length + lineFeeds + 1));
    if (!copy)
        return;
    char* out = copy;
    for (const char* p = text; *p; ++p) {
        if (*p == '\n')
            *out++ = '\r';
        *out++ = *p;
    }
    *out = '\0';
    if (!PostMessageA(target, WM_APP_APPEND_TEXT, 0, reinterpret_cast<LPARAM>(copy)))
        std::free(copy);
}
