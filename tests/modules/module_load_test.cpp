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

} // namespace
