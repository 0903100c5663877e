// The report and diagnostic registries: hosts register from several threads at once; a null reference is
// refused. (Run under ThreadSanitizer too.)
#include "Console.h"

#include "api/console_settings.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

// A host's mistake on purpose: a reference made from a null pointer (the sanitizer would stop it first).
#if defined(__clang__)
__attribute__((no_sanitize("null")))
#endif
void registerNullReferences() {
    KRMReport* nothing = nullptr;
    ConsoleAddReport(*nothing);
    KRMDiagnostic* noDiagnostic = nullptr;
    ConsoleAddDiagnostic(*noDiagnostic);
}

class NamedReport final : public KRMReport {
public:
    std::string GetName() override { return "report"; }
    void Run() override {}
};

TEST(Registries, ConcurrentRegistrationsAreAllKeptAndNullIsRefused) {
    testing_support::TemporaryFolder folder;
    testing_support::ScopedEnvironmentVariable store("KITBAG_SETTINGS", folder.file("settings.ini"));
    NamedReport report;
    const std::size_t before = consoleState.ReportRegistry.size();
    std::vector<std::thread> hosts;
    for (int t = 0; t < 4; ++t) {
        hosts.emplace_back([&report] {
            for (int i = 0; i < 500; ++i)
                ConsoleAddReport(report);
        });
    }
    for (auto& host : hosts)
        host.join();
    registerNullReferences();
    ConsoleLockHold hold(consoleState.registryLock);
    EXPECT_EQ(consoleState.ReportRegistry.size(), before + 2000);
    for (std::size_t i = before; i < consoleState.ReportRegistry.size(); ++i)
        ASSERT_EQ(consoleState.ReportRegistry[i], &report);
    EXPECT_TRUE(consoleState.DiagnosticRegistry.empty());
    EXPECT_EQ(report.ScheduleNext(), 0);
}

} // namespace
