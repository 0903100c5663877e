// The console window on Windows: DisplayLog, the window thread and the main window's procedure.
//
// The view (view_text.h) is filled from the ring buffer, and the window starts accepting text
// (pending_text.h), in one hold of PipelineLock, so that the fill and the first pending text meet exactly:
// nothing lost, nothing twice. From then on the window thread appends the pending text at each wake-up.
#include "window/console_window.h"

#include "Console.h"
#include "api/console_settings.h"
#include "api/line_pipeline.h"
#include "platform.h"
#include "win32/handles_win32.h"
#include "window/console_commands.h"
#include "window/pending_text.h"
#include "window/resource.h"
#include "window/view_text.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

// The window's title and class name, from the module's resources. Loaded once, by the first thread that
// asks, and never written after: host threads (DisplayLog looks for an open window by its class) and
// window threads read them without a lock.
struct WindowNames {
    char title[100] = "";
    char className[100] = "";
};

const WindowNames& windowNames(HINSTANCE instance) {
    static const WindowNames names = [instance] {
        WindowNames loaded;
        LoadStringA(instance, IDS_WINDOW_TITLE, loaded.title, sizeof loaded.title);
        LoadStringA(instance, IDS_WINDOW_CLASS, loaded.className, sizeof loaded.className);
        return loaded;
    }();
    return names;
}

// What belongs to the window and its thread. DisplayLog, on a host's thread, reads windowOpenedOnce and
// claims threadActive; the rest is the window thread's own.
struct WindowThreadState {
    // A window thread of this process has started: only then does DisplayLog look for an open window.
    std::atomic<bool> windowOpenedOnce{false};
    // The view of the open window. A closing window's thread may still be finishing while a new window's
    // thread starts, so each clears only its own.
    std::atomic<HWND> view{nullptr};
    HINSTANCE dialogInstance = nullptr;
    // A window is being created or is open: at most one at a time. Cleared when the window is destroyed
    // (or could not be made), so that a DisplayLog right after a close opens the next one.
    std::atomic<bool> threadActive{false};
};
WindowThreadState windowThread;

// ---- The main window's messages --------------------------------------------------------------------

void OnCreate(HWND window, const CREATESTRUCTA& creation) {
    HWND view = CreateView(window, creation.hInstance);
    windowThread.view = view;
    BuildConsoleMenus(window);
    char* text = nullptr;
    std::size_t trimAt = 0;
    {
        ConsoleLockHold hold(PipelineLock);
        text = ReadDebugLog(false, true);
        trimAt = ViewTrimAtFor(consoleState.DebugLogBuffer.Size());
        StartAcceptingText(window, trimAt);
    }
    FillView(view, text ? text : "", trimAt);
    std::free(text);
}

void OnSize(HWND window, int width, int height) {
    MoveWindow(GetDlgItem(window, IDC_VIEW), 0, 0, width, height, TRUE);
}

// True when the command was handled.
bool OnCommand(HWND window, unsigned command, HWND control) {
    // A control's notification (the view's focus and change notices) names the control, not a command: it
    // is neither the window's nor the host's.
    if (control)
        return false;
    return HandleConsoleCommand(window, GetDlgItem(window, IDC_VIEW), windowThread.dialogInstance, command) ||
           HandleHostCommand(command);
}

void OnAppendPending() {
    TakenText taken = TakePendingText();
    HWND view = windowThread.view;
    if (view && !taken.text.empty())
        AppendToViewNow(view, taken.text, taken.trimAt, taken.replaceAll);
}

void OnDestroy(HWND window) {
    SaveSettings();
    // The "Plugins" pop-up is the host's: the bar, destroyed with the window, must not take it along.
    DetachPluginMenu(window);
    StopAcceptingText();
    PostQuitMessage(0);
    HWND view = windowThread.view;
    if (IsWindow(view))
        DestroyWindow(view);
    windowThread.threadActive = false;
}

LRESULT CALLBACK mainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(window, *reinterpret_cast<CREATESTRUCTA*>(lParam));
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    case WM_SIZE:
        OnSize(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_SETFOCUS:
        SetFocus(GetDlgItem(window, IDC_VIEW));
        return 0;
    case WM_INITMENUPOPUP:
        UpdateCheckMarks(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_COMMAND:
        if (OnCommand(window, LOWORD(wParam), reinterpret_cast<HWND>(lParam)))
            return 0;
        break;
    case kAppendPendingMessage:
        OnAppendPending();
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// ---- The window thread ---------------------------------------------------------------------------------

int ConsoleWindowThread(HINSTANCE instance, int showCommand) {
    const WindowNames& names = windowNames(instance);
    windowThread.windowOpenedOnce = true;
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
    windowClass.lpszClassName = names.className;
    RegisterClassExA(&windowClass); // fails harmlessly when still registered from an earlier window

    windowThread.dialogInstance = instance;
    HWND window = CreateWindowExA(0, names.className, names.title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
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
    if (windowThread.windowOpenedOnce) {
        if (HWND open = FindWindowA(windowNames(static_cast<HINSTANCE>(instance)).className, nullptr)) {
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
