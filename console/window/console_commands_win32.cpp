#include "console_commands.h"

#include "Console.h"
#include "console_state.h"
#include "resource.h"

#include <commdlg.h>

#include <string>
#include <vector>

namespace {

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

} // namespace

// Shows the Save dialog with path as the proposal; on confirmation path becomes the choice.
bool ShowFileDialog(std::string& path, DWORD flags, HINSTANCE instance) {
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

// Save As: the view's text, exactly, into a file the user chooses.
void SaveViewToFile(HWND view, HINSTANCE instance) {
    int length = GetWindowTextLengthA(view);
    if (length <= 0)
        return;
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    length = GetWindowTextA(view, text.data(), length + 1);
    if (!ShowFileDialog(lastSavePath, OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY, instance))
        return;
    HANDLE file = CreateFileA(lastSavePath.c_str(), GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
}

bool HandleConsoleCommand(HWND window, HWND view, HINSTANCE dialogInstance, unsigned command) {
    switch (command) {
    case IDM_EXIT:
        DestroyWindow(window);
        return true;
    case IDM_ABOUT:
        DialogBoxParamA(dialogInstance, MAKEINTRESOURCEA(IDD_ABOUT), window, aboutProcedure, 0);
        return true;
    case IDM_SAVE_AS:
        SaveViewToFile(view, dialogInstance);
        return true;
    default:
        return false;
    }
}

namespace {

constexpr int kReportsPopup = 2; // the third pop-up of the menu bar

// The report of a command identifier, or null.
KRMReport* reportFor(unsigned command) {
    platform::ScopedLock<platform::RecursiveLock> hold(consoleState.registryLock);
    const std::vector<KRMReport*>& reports = consoleState.ReportRegistry;
    if (command < IDM_FIRST_REPORT || command - IDM_FIRST_REPORT >= reports.size())
        return nullptr;
    return reports[command - IDM_FIRST_REPORT];
}

} // namespace

void BuildConsoleMenus(HWND window) {
    HMENU bar = GetMenu(window);
    HMENU reportsMenu = GetSubMenu(bar, kReportsPopup);
    std::vector<KRMReport*> reports;
    {
        platform::ScopedLock<platform::RecursiveLock> hold(consoleState.registryLock);
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
