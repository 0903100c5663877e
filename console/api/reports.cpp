// Reports, diagnostics and the plug-in menu that hosts register, and the HTML report.
#include "Console.h"

#include "platform.h"
#include "window/console_state.h"

#include <cstdio>
#include <cstring>

KRMReport::KRMReport() = default;

KRMReport::KRMReport(const KRMReport&) {}

KRMReport& KRMReport::operator=(const KRMReport&) {
    return *this;
}

int KRMReport::ScheduleNext() {
    return 0;
}

void ConsoleAddReport(KRMReport& report) {
    LoadSettings(false);
    // A reference made from a null pointer is refused; read through volatile so the test stays.
    KRMReport* volatile address = &report;
    if (!address)
        return;
    platform::ScopedLock<platform::RecursiveLock> hold(consoleState.registryLock);
    try {
        consoleState.ReportRegistry.push_back(&report);
    } catch (...) {
        // Out of memory: the registration is dropped.
    }
}

void ConsoleAddDiagnostic(KRMDiagnostic& diagnostic) {
    LoadSettings(false);
    KRMDiagnostic* volatile address = &diagnostic;
    if (!address)
        return;
    platform::ScopedLock<platform::RecursiveLock> hold(consoleState.registryLock);
    try {
        consoleState.DiagnosticRegistry.push_back(&diagnostic);
    } catch (...) {
        // Out of memory: the registration is dropped.
    }
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
    try {
        platform::openWithShell(kReportFile);
    } catch (...) {
        // Out of memory: the report is written but not opened.
    }
}
