// Each deliverable is a real shared library that a host can load and unload.
#include "platform.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(Modules, EveryDeliverableLoadsAndUnloads) {
    for (const char* name : {"Kitbag", "Trace", "Console"}) {
        for (int round = 0; round < 2; ++round) {
            platform::DynamicLibrary library(testing_support::libraryBesideTests(name));
            EXPECT_TRUE(library.loaded()) << name << ": " << library.error();
        }
    }
}

// Hosts derive their reports from KRMReport: its constructors and assignment come from the library, by
// name (GCC's mangling on both platforms), beside the operation it offers.
TEST(Modules, ConsoleExportsTheBaseClassesHostsDeriveFrom) {
    platform::DynamicLibrary console(testing_support::libraryBesideTests("Console"));
    ASSERT_TRUE(console.loaded()) << console.error();
    for (const char* name : {
             "_ZN9KRMReportC1Ev",             // KRMReport::KRMReport()
             "_ZN9KRMReportC2Ev",             //   (the base object's)
             "_ZN9KRMReportC1ERKS_",          // KRMReport::KRMReport(KRMReport const&)
             "_ZN9KRMReportC2ERKS_",          //   (the base object's)
             "_ZN9KRMReportaSERKS_",          // KRMReport::operator=(KRMReport const&)
             "_ZN9KRMReport12ScheduleNextEv", // KRMReport::ScheduleNext()
             "_ZN12CLogCallbackC1Ev",         // CLogCallback::CLogCallback()
             "_ZN12CLogCallbackC1ERKS_",      // CLogCallback::CLogCallback(CLogCallback const&)
             "_ZN12CLogCallbackaSERKS_",      // CLogCallback::operator=(CLogCallback const&)
             "_ZN12CLogCallbackD1Ev"          // CLogCallback::~CLogCallback()
         })
        EXPECT_NE(console.symbol(name), nullptr) << name << " is not exported";
}

} // namespace
