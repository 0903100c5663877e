// The exports' one exception boundary: a call whose memory runs out answers as for a setting it could not
// take, and the library's count of drops shows it; calls that had nothing to drop leave the count alone.
// Uses the library's one trace object, without starting its print thread.
#include "Trace.h"

#include "failing_allocations.h"
#include "trace_instance.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <string>

namespace {

struct ExportCall {
    const char* name;
    std::function<void()> call;
    std::size_t drops; // expected with no memory at all
};

TEST(TraceExportBoundary, DropsWithoutMemoryAreCounted) {
    // The exports' folder and names are strings: where the C++ runtime allocates for them in a DLL of its
    // own, this program cannot make them fail.
    if (!testing_support::runtimeAllocationsFailToo())
        GTEST_SKIP() << "the C++ runtime's own allocations cannot be made to fail here";
    TraceSetConsole(false);
    const ExportCall calls[] = {
        {"TraceSetFile on", [] { TraceSetFile(true, "dropped_output.txt", true); }, 1},
        {"TraceSetLogFile", [] { TraceSetLogFile("DroppedPrefix", true, TRACE_ROTATE_SIZE, 1000); }, 1},
        {"TraceSetFile off", [] { TraceSetFile(false, nullptr, true); }, 0},
        {"TracePrint with no output", [] { TracePrint("%s\n", "nowhere"); }, 0},
    };
    for (const ExportCall& c : calls) {
        SCOPED_TRACE(c.name);
        const std::string baseBefore = TheTrace().BaseName();
        const std::size_t before = TraceDrops().Read();
        {
            testing_support::FailingAllocations failing;
            c.call();
        }
        EXPECT_EQ(TraceDrops().Read() - before, c.drops);
        // A dropped setting changed nothing.
        EXPECT_FALSE(TraceGetFile());
        EXPECT_EQ(TheTrace().BaseName(), baseBefore);
    }
    // With memory again the same calls take effect and drop nothing.
    const std::size_t before = TraceDrops().Read();
    TraceSetLogFile("TakenPrefix", true, TRACE_ROTATE_SIZE, 1000);
    EXPECT_NE(TheTrace().BaseName().find("TakenPrefix"), std::string::npos);
    EXPECT_EQ(TraceDrops().Read(), before);
}

} // namespace
