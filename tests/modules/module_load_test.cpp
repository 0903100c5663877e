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

// Hosts derive their reports from KRMReport and their callbacks from CLogCallback: the constructors and
// assignment come from the library, by name (the same mangling on both platforms).
TEST(Modules, ConsoleExportsTheBaseClassesHostsDeriveFrom) {
    platform::DynamicLibrary console(testing_support::libraryBesideTests("Console"));
    ASSERT_TRUE(console.loaded()) << console.error();
    // The members a derived class calls: the base-object constructors and destructor (C2, D2). Both classes
    // are abstract, so a compiler may emit no complete-object constructor (C1) for them at all.
    for (const char* name : {
             "_ZN9KRMReportC2Ev",             // KRMReport::KRMReport()
             "_ZN9KRMReportC2ERKS_",          // KRMReport::KRMReport(KRMReport const&)
             "_ZN9KRMReportaSERKS_",          // KRMReport::operator=(KRMReport const&)
             "_ZN9KRMReport12ScheduleNextEv", // KRMReport::ScheduleNext()
             "_ZN12CLogCallbackC2Ev",         // CLogCallback::CLogCallback()
             "_ZN12CLogCallbackC2ERKS_",      // CLogCallback::CLogCallback(CLogCallback const&)
             "_ZN12CLogCallbackaSERKS_",      // CLogCallback::operator=(CLogCallback const&)
             "_ZN12CLogCallbackD2Ev"          // CLogCallback::~CLogCallback()
         })
        EXPECT_NE(console.symbol(name), nullptr) << name << " is not exported";
}

} // namespace
