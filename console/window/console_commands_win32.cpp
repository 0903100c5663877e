// The console window's menu commands and dialogs (Windows), run on the window thread: File (Save As,
// Exit), Edit (the switches), Reports (the hosts' reports), Help (problem report, About) and the host's
// Plugins pop-up.
//
// The switches are written here and read by any thread without a lock (they are atomics); logFile is
// read and written under PipelineLock, as the file sink reads it. Registered reports are read under
// registryLock, since hosts register from any thread.
#include "window/console_commands.h"

#include "Console.h"
#include "api/console_settings.h"
#include "api/line_pipeline.h"
#include "win32/handles_win32.h"
#include "window/resource.h"

#include <commdlg.h>
#include <objbase.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace {

constexpr int kReportsPopup = 2; // the third pop-up of the menu bar
constexpr int kOwnPopups = 4;    // the menu resource's: File, Edit, Reports, Help

// The file chosen in the last Save As, for the rest of the process's life.
std::string lastSavePath;

INT_PTR CALLBACK aboutProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

UINT_PTR CALLBACK plainDialogHook(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// The proposal: the given path, else the current folder and "Pelmora.log".
std::string proposedFile(const std::string& path, HINSTANCE instance) {
    if (!path.empty())
        return path;
    char folder[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    std::string proposal(folder, length);
    if (proposal.back() != '\\')
        proposal += '\\';
    char name[MAX_PATH] = "";
    LoadStringA(instance, IDS_DEFAULT_FILE_NAME, name, MAX_PATH);
    return proposal + name;
}

// Shows the Save dialog with path as the proposal; on confirmation path becomes the choice.
bool showFileDialog(std::string& path, DWORD flags, HINSTANCE instance) {
    char file[MAX_PATH] = "";
    std::string proposal = proposedFile(path, instance);
    if (proposal.size() < MAX_PATH)
        proposal.copy(file, proposal.size());
    char filter[256] = "";
    LoadStringA(instance, IDS_FILE_FILTER, filter, sizeof filter - 1);
    for (char& c : filter) {
        if (c == '!')
            c = '\0';
    }
    char title[256] = "";
    SetLastError(0);
    OPENFILENAMEA dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetForegroundWindow();
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrFileTitle = title;
    dialog.nMaxFileTitle = sizeof title;
    dialog.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING | OFN_ENABLEHOOK;
    dialog.lpfnHook = plainDialogHook;
    if (!GetSaveFileNameA(&dialog))
        return false;
    path = file;
    return true;
}

// Replaces the file's content by the bytes, written through to the disk. Failures are silent.
void writeWholeFile(const std::string& path, const char* bytes, DWORD length) {
    platform::win32::FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH,
                                                 nullptr));
    if (!file.valid())
        return;
    SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file.get());
    DWORD written = 0;
    WriteFile(file.get(), bytes, length, &written, nullptr);
}

// Save As: the view's text, exactly, into a file the user chooses.
void saveViewToFile(HWND view, HINSTANCE instance) {
    int length = GetWindowTextLengthA(view);
    if (length <= 0)
        return;
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    length = GetWindowTextA(view, text.data(), length + 1);
    if (!showFileDialog(lastSavePath, OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, instance))
        return;
    writeWholeFile(lastSavePath, text.data(), static_cast<DWORD>(length));
}

// "&Log to file...": switched on, the user chooses the file; cancelling switches it back off.
void toggleLogToFile(HINSTANCE instance) {
    const bool on = !consoleState.logToFile;
    consoleState.logToFile = on;
    if (!on)
        return;
    std::string path;
    {
        ConsoleLockHold hold(PipelineLock);
        path = consoleState.logFile;
    }
    if (!showFileDialog(path, OFN_PATHMUSTEXIST | OFN_HIDEREADONLY, instance)) {
        consoleState.logToFile = false;
        return;
    }
    // The file sink reads logFile under the pipeline's lock. The dialog's buffer holds at most 259
    // characters, so the choice fits.
    ConsoleLockHold hold(PipelineLock);
    path.copy(consoleState.logFile, sizeof consoleState.logFile - 1);
    consoleState.logFile[std::min(path.size(), sizeof consoleState.logFile - 1)] = '\0';
    // A file kept at the load stays unwritten only while it is the log file.
    consoleState.logFileKept = false;
}

void invert(std::atomic<bool>& value) {
    value = !value;
}

// The two Kitbag switches take the inverse of what the check mark showed, and the store keeps it at once.
void toggleShown(BooleanValue& value, bool shown) {
    value.SetValue(!shown);
}

void checkItem(HMENU menu, UINT command, bool checked) {
    CheckMenuItem(menu, command, static_cast<UINT>(MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED)));
}

// The host's problem-report component, when one is registered; silence otherwise.
void createProblemReport() {
    static const CLSID kProblemReportClass = {
        0xAEA746EA, 0x82EB, 0x11D3, {0x89, 0x1E, 0x00, 0x80, 0xAD, 0x87, 0x77, 0x81}};
    static const IID kProblemReportInterface = {
        0xAEA746E9, 0x82EB, 0x11D3, {0x89, 0x1E, 0x00, 0x80, 0xAD, 0x87, 0x77, 0x81}};
    // The apartment first: the component is released before the thread leaves it.
    const platform::win32::ComApartment apartment;
    if (!apartment.joined())
        return;
    platform::win32::ComPointer<IUnknown> component;
    if (FAILED(CoCreateInstance(kProblemReportClass, nullptr,
                                CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                                kProblemReportInterface, component.putVoid())) ||
        !component)
        return;
    // Only the entry at index 16 of its function table is known: it takes one string, here none.
    using StartReport = HRESULT(STDMETHODCALLTYPE*)(void* self, BSTR text);
    StartReport* table = *reinterpret_cast<StartReport**>(component.get());
    table[16](component.get(), nullptr);
}

// The report of a command identifier, or null.
KRMReport* reportFor(unsigned command) {
    ConsoleLockHold hold(consoleState.registryLock);
    const std::vector<KRMReport*>& reports = consoleState.ReportRegistry;
    if (command < IDM_FIRST_REPORT || command - IDM_FIRST_REPORT >= reports.size())
        return nullptr;
    return reports[command - IDM_FIRST_REPORT];
}

} // namespace

bool HandleConsoleCommand(HWND window, HWND view, HINSTANCE dialogInstance, unsigned command) {
    switch (command) {
    case IDM_EXIT:
        DestroyWindow(window);
        return true;
    case IDM_ABOUT:
        DialogBoxParamA(dialogInstance, MAKEINTRESOURCEA(IDD_ABOUT), window, aboutProcedure, 0);
        return true;
    case IDM_SAVE_AS:
        saveViewToFile(view, dialogInstance);
        return true;
    case IDM_LOG_TO_FILE:
        toggleLogToFile(dialogInstance);
        return true;
    case IDM_LOG_TO_DEBUG_OUTPUT:
        invert(consoleState.logToDebugOutput);
        return true;
    case IDM_INCLUDE_INFORMATIONAL:
        invert(consoleState.logInfo);
        return true;
    case IDM_CREATE_PROBLEM_REPORT:
        createProblemReport();
        return true;
    case IDM_ENABLE_AVI_LOGGING:
        toggleShown(consoleState.aviLogging, consoleState.aviLoggingShown);
        return true;
    case IDM_ENABLE_PLF_LOGGING:
        toggleShown(consoleState.captureLogging, consoleState.captureLoggingShown);
        return true;
    default:
        return false;
    }
}

void UpdateCheckMarks(HMENU popup) {
    ConsoleState& state = consoleState;
    checkItem(popup, IDM_LOG_TO_FILE, state.logToFile);
    checkItem(popup, IDM_INCLUDE_INFORMATIONAL, state.logInfo);
    checkItem(popup, IDM_LOG_TO_DEBUG_OUTPUT, state.logToDebugOutput);
    state.aviLoggingShown = state.aviLogging.GetValue();
    checkItem(popup, IDM_ENABLE_AVI_LOGGING, state.aviLoggingShown);
    state.captureLoggingShown = state.captureLogging.GetValue();
    checkItem(popup, IDM_ENABLE_PLF_LOGGING, state.captureLoggingShown);
}

void BuildConsoleMenus(HWND window) {
    HMENU bar = GetMenu(window);
    HMENU reportsMenu = GetSubMenu(bar, kReportsPopup);
    std::vector<KRMReport*> reports;
    {
        ConsoleLockHold hold(consoleState.registryLock);
        reports = consoleState.ReportRegistry;
    }
    for (std::size_t i = 0; i < reports.size(); ++i) {
        std::string name = reports[i] ? reports[i]->GetName() : std::string();
        AppendMenuA(reportsMenu, MF_STRING, IDM_FIRST_REPORT + i, name.c_str());
    }
    if (consoleState.PluginMenu)
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(consoleState.PluginMenu), "Plugins");
    DrawMenuBar(window);
}

void DetachPluginMenu(HWND window) {
    HMENU bar = GetMenu(window);
    if (!bar)
        return;
    // RemoveMenu takes the pop-up off the bar without destroying it, as destroying the bar would.
    while (GetMenuItemCount(bar) > kOwnPopups) {
        if (!RemoveMenu(bar, kOwnPopups, MF_BYPOSITION))
            break;
    }
}

bool HandleHostCommand(unsigned command) {
    if (PluginCommandHandlerFunction handler = consoleState.PluginCommandHandler)
        handler(command);
    KRMReport* report = reportFor(command);
    if (!report)
        return false;
    if (CS_IsTraceEnabled())
        CS_TRACE("Running report '%s'\n", report->GetName().c_str());
    report->Run();
    return true;
}
