// Reports, diagnostics and the plug-in menu that hosts register, and the HTML report.
#include "Console.h"

#include "api/console_settings.h"
#include "platform.h"

#include <cstdio>
#include <cstring>
#include <vector>

KRMReport::KRMReport() = default;

KRMReport::KRMReport(const KRMReport&) {}

KRMReport& KRMReport::operator=(const KRMReport&) {
    return *this;
}

int KRMReport::ScheduleNext() {
    return 0;
}

namespace {

// Registries keep what the host registers until the process ends. A reference made from a null pointer
// is refused: its address is read through volatile so that the test stays, and travels as a pointer.
template <typename Entry> void registerEntry(std::vector<Entry*> ConsoleState::*registry, Entry* entry) {
    LoadSettings(false);
    Entry* volatile address = entry;
    if (!address)
        return;
    ConsoleLockHold hold(consoleState.registryLock);
    // Out of memory: the registration is dropped.
    boundary::guarded(ConsoleDrops, [&] { (consoleState.*registry).push_back(entry); });
}

} // namespace

void ConsoleAddReport(KRMReport& report) {
    registerEntry(&ConsoleState::ReportRegistry, &report);
}

void ConsoleAddDiagnostic(KRMDiagnostic& diagnostic) {
    registerEntry(&ConsoleState::DiagnosticRegistry, &diagnostic);
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
    // Out of memory: the report is written but not opened.
    boundary::guarded(ConsoleDrops, [] { platform::openWithShell(kReportFile); });
}
