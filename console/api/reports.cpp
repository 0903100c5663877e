// Reports, diagnostics and the plug-in menu that hosts register, and the HTML report.
#include "Console.h"

#include "console_state.h"
#include "platform.h"

#include <cstdio>
#include <cstring>

int KRMReport::ScheduleNext() {
    return 0;
}

namespace {

// A reference made from a null pointer is refused; read through volatile so the check is not optimised away.
template <typename T> T* addressOf(T& object) {
    T* volatile address = &object;
    return address;
}

} // namespace

void ConsoleAddReport(KRMReport& report) {
    LoadSettings(false);
    KRMReport* address = addressOf(report);
    if (!address)
        return;
    platform::ScopedLock<platform::RecursiveLock> hold(consoleState.registryLock);
    consoleState.ReportRegistry.push_back(address);
}

void ConsoleAddDiagnostic(KRMDiagnostic& diagnostic) {
    LoadSettings(false);
    KRMDiagnostic* address = addressOf(diagnostic);
    if (!address)
        return;
    platform::ScopedLock<platform::RecursiveLock> hold(consoleState.registryLock);
    consoleState.DiagnosticRegistry.push_back(address);
}

void ConsoleAddMenu(HMENU menu, void* handler) {
    consoleState.PluginMenu = menu;
    PluginCommandHandlerFunction function = nullptr;
    static_assert(sizeof function == sizeof handler, "the handler travels as a data pointer");
    std::memcpy(&function, &handler, sizeof function);
    consoleState.PluginCommandHandler = function;
}

void DisplayHTMLReport(const char* html) {
    constexpr const char* kReportFile = "pelmora_report.html";
    std::FILE* file = std::fopen(kReportFile, "w");
    if (!file)
        return;
    std::fputs(html ? html : "", file);
    std::fclose(file);
    platform::openWithShell(kReportFile);
}
