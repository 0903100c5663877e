// Running out of memory inside Console never throws at the host: the text that needed the memory is
// dropped, and a function that hands out a copy returns null. (The log's word comes from the "logging"
// variable that clog_builder_test.cpp sets: 0x108, callback only.)
#include "Console.h"

#include "failing_allocations.h"
#include "state/console_state.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using testing_support::FailingAllocations;

// Records what it receives without allocating.
class RecordingCallback : public CLogCallback {
public:
    int messages = 0;
    char last[256] = {};

    bool AcceptsSeverity(CLog::LogSeverity) override { return true; }
    void OnMessage(CLog::LogSeverity, const CLog& log) override {
        ++messages;
        std::strncpy(last, log.GetMessageText().c_str(), sizeof last - 1);
    }
};

class RegisteredReport final : public KRMReport {
public:
    std::string GetName() override { return "report"; }
    void Run() override {}
};

class OutOfMemory : public ::testing::Test {
protected:
    testing_support::TemporaryFolder folder;
    testing_support::ScopedEnvironmentVariable store{"KITBAG_SETTINGS", folder.file("settings.ini")};

    void SetUp() override {
        if (!testing_support::allocationFailuresCanBeMade())
            GTEST_SKIP()
                << "this program's allocations cannot be made to fail (a sanitizer's or a tool's allocator)";
    }
};

TEST_F(OutOfMemory, WritersQueriesAndRegistriesThrowNothing) {
    RegisteredReport report;
    int diagnostic = 0;
    const KRMResult reason(7, "busy"); // copied without allocating
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(folder.path()); // where the HTML report goes
    char* output = reinterpret_cast<char*>(1);
    {
        FailingAllocations failing;
        ConsoleInitialise(); // the banner's text needs memory
        CS_TRACE("%s\n", "traced");
        CS_TRACESIMPLE("simple\n");
        CS_LOG("%d\n", 1);
        CS_LOGERROR("%s\n", "error");
        CS_LOGERROR(2L, "%s", "with a code");
        CS_LOGKRMERROR(reason, "%s", "with a result");
        CS_IsTraceEnabled();
        CS_IsLogEnabled();
        CS_IsLogErrorEnabled();
        ConsoleAddReport(report);
        ConsoleAddDiagnostic(*reinterpret_cast<KRMDiagnostic*>(&diagnostic));
        DisplayHTMLReport("<p>report</p>");
        output = GetDebugLogOutput(false);
    }
    std::filesystem::current_path(before);
    // Null (no memory for the copy) or the buffered text; never an exception.
    if (output) {
        EXPECT_NE(std::string(output).find("simple\n"), std::string::npos) << output;
    }
    std::free(output);
    // With memory again, everything works as before.
    ConsoleInitialise();
    CS_TRACESIMPLE("afterwards\n");
    output = GetDebugLogOutput(false);
    ASSERT_NE(output, nullptr);
    EXPECT_NE(std::string(output).find("afterwards\n"), std::string::npos);
    std::free(output);
}

TEST_F(OutOfMemory, InsertionsDropTheirTextAndTheMessageStillGoesOut) {
    // The control: a string's growth happens in the C++ runtime's own code, which the 32-bit Windows build
    // takes from a DLL of its own; that DLL allocates through its own operator new, out of this program's
    // reach. (Running the 32-bit process out of memory for real ends it inside Wine, with a stack overflow
    // of the system's own, under QEMU.) There the insertions' failures cannot be made.
    if (!testing_support::runtimeAllocationsFailToo())
        GTEST_SKIP()
            << "the C++ runtime's own allocations cannot be made to fail here (a runtime DLL of its own)";
    CLog& log = CS_GetLog();
    RecordingCallback callback;
    log.SetLogCallback(&callback);
    const std::string large(1 << 20, 'L');
    const TWinString<char> twin(std::string(1 << 20, 'T'));
    std::u16string wideText(1 << 16, u'w');
    unsigned short* wide = reinterpret_cast<unsigned short*>(wideText.data());
    bool filename = true;
    // A message of some length first, so that the short pieces below fit the text's room.
    log << CLog::TRACE << std::string(1000, 'x').c_str();
    callback.messages = 0;
    {
        FailingAllocations failing;
        log << CLog::WARNING << "head " << large.c_str() << twin << wide << 2L << " " << Hex << 255 << " "
            << Date << " " << Time << " tail";
        log.SetLogToFile(true); // the name needs memory: file output stays off
        filename = log.GetLogFilename().empty();
    }
    log.SetLogCallback(nullptr);
    const bool leftOn = log.GetLogToFile();
    log.SetLogToFile(false); // the log is the program's one: the next test finds it as it was
    ASSERT_EQ(callback.messages, 1);
    const std::string text = callback.last;
    EXPECT_NE(text.find(" WARNING: head "), std::string::npos) << text;
    EXPECT_EQ(text.find("LLLL"), std::string::npos) << "the large text could not be added";
    EXPECT_FALSE(leftOn);
    EXPECT_TRUE(filename);
    EXPECT_EQ(log.GetMessageText(), "");
}

// Calls that need memory for one thing each: without it, that thing is dropped and Console's boundary
// counts one drop; with it, nothing is dropped.
struct DropCase {
    const char* what;
    void (*call)();
};
const DropCase kDropCases[] = {
    {"the copy of the buffered text", [] { std::free(GetDebugLogOutput(false)); }},
    // After the copy: a reload without memory leaves the buffer empty, and an empty copy needs none.
    {"the banner of a reload", [] { ConsoleInitialise(); }},
    {"the name of CLog's log file", [] { CS_GetLog().SetLogToFile(true); }},
};

TEST_F(OutOfMemory, EachDropIsCountedOnceAndOnlyWithoutMemory) {
    if (!testing_support::runtimeAllocationsFailToo())
        GTEST_SKIP()
            << "the C++ runtime's own allocations cannot be made to fail here (a runtime DLL of its own)";
    ConsoleInitialise();
    const bool logToFile = CS_GetLog().GetLogToFile();
    for (const DropCase& dropCase : kDropCases) {
        SCOPED_TRACE(dropCase.what);
        const std::size_t before = ConsoleDrops().Read();
        dropCase.call();
        EXPECT_EQ(ConsoleDrops().Read(), before) << "nothing dropped with memory";
        {
            FailingAllocations failing;
            dropCase.call();
        }
        EXPECT_EQ(ConsoleDrops().Read(), before + 1);
    }
    CS_GetLog().SetLogToFile(logToFile); // the log is the program's one: the next test finds it as it was
}

} // namespace
