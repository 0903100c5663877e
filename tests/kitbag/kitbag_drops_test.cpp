// The exports' exception boundary: an export that meets an exception (here: no memory) answers false and
// adds one to Kitbag's count of drops, which the test reads through the library's seam. The exports are
// compiled into this program, so that it reads the very count they add to.
#include "Kitbag.h"

#include "export_drops.h"
#include "failing_allocations.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>

namespace {

using testing_support::ScopedEnvironmentVariable;
using testing_support::TemporaryFolder;

std::size_t drops() {
    return kitbag::exportDrops().Read();
}

// Names longer than a string holds without the heap.
const char kSection[] = "Debug settings of a long name";
const char kKey[] = "A switch with a rather long name";

TEST(KitbagDrops, AnExportThatMeetsAnExceptionAnswersFalseAndCountsOneDrop) {
    if (!testing_support::allocationFailuresCanBeMade())
        GTEST_SKIP() << "the allocator of a sanitizer or a tool stays in place";
    TemporaryFolder folder;
    ScopedEnvironmentVariable pointAtStore("KITBAG_SETTINGS", folder.file("settings.ini"));
    ASSERT_TRUE(KB_SetBoolA(kSection, kKey, true));
    ASSERT_TRUE(KB_SetIntA(kSection, "A number of a rather long name", 7));
    const std::string stored = testing_support::readFile(folder.file("settings.ini"));
    struct Case {
        const char* name;
        std::function<bool()> call;
    };
    const Case cases[] = {
        {"KB_GetBoolA",
         [] {
             bool value = false;
             return KB_GetBoolA(kSection, kKey, &value);
         }},
        {"KB_GetIntA",
         [] {
             int value = 0;
             return KB_GetIntA(kSection, "A number of a rather long name", &value);
         }},
        {"KB_GetStringA",
         [] {
             char buffer[64] = {};
             return KB_GetStringA(kSection, kKey, buffer, sizeof buffer);
         }},
        {"KB_SetBoolA", [] { return KB_SetBoolA(kSection, kKey, false); }},
        {"KB_SetIntA", [] { return KB_SetIntA(kSection, kKey, 3); }},
        {"KB_SetStringA", [] { return KB_SetStringA(kSection, kKey, "a value of a rather long text"); }},
    };
    std::size_t dropped = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = drops();
        bool answered = true;
        {
            testing_support::FailingAllocations failing;
            answered = c.call();
        }
        // Where the C++ runtime allocates out of this program's reach (a shared runtime DLL), a call may
        // get all it needs and succeed; then it dropped nothing.
        if (testing_support::runtimeAllocationsFailToo()) {
            EXPECT_FALSE(answered);
        }
        EXPECT_EQ(drops() - before, answered ? 0u : 1u);
        dropped += drops() - before;
    }
    EXPECT_GT(dropped, 0u) << "no export met the failure";
    EXPECT_EQ(testing_support::readFile(folder.file("settings.ini")), stored)
        << "a dropped write changed the store";
}

// Refusals and successes are answers, not drops.
TEST(KitbagDrops, RefusedArgumentsAndSuccessfulCallsCountNothing) {
    TemporaryFolder folder;
    ScopedEnvironmentVariable pointAtStore("KITBAG_SETTINGS", folder.file("settings.ini"));
    const std::size_t before = drops();
    bool value = false;
    char buffer[8] = {};
    EXPECT_FALSE(KB_GetBoolA(nullptr, kKey, &value));
    EXPECT_FALSE(KB_GetStringA(kSection, kKey, buffer, 0));
    EXPECT_FALSE(KB_SetStringA(kSection, kKey, nullptr));
    EXPECT_FALSE(KB_GetBoolA(kSection, "missing", &value));
    EXPECT_TRUE(KB_SetBoolA(kSection, kKey, true));
    EXPECT_TRUE(KB_GetBoolA(kSection, kKey, &value));
    EXPECT_TRUE(value);
    EXPECT_EQ(drops(), before);
}

} // namespace
