// The settings store through its public API, in this process and across processes.
#include "Kitbag.h"

#include "child_process.h"
#include "failing_allocations.h"
#include "non_regular_files.h"
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using testing_support::kWindows;
using testing_support::ScopedEnvironmentVariable;
using testing_support::TemporaryFolder;

// Whether the text holds the line, whatever its line ends.
bool hasLine(const std::string& text, const std::string& line) {
    std::istringstream lines(text);
    std::string each;
    while (std::getline(lines, each)) {
        if (!each.empty() && each.back() == '\r')
            each.pop_back();
        if (each == line)
            return true;
    }
    return false;
}

// Each test gets its own store file, named through KITBAG_SETTINGS for this process and its children.
class KitbagTest : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string store = folder.file("settings.ini");
    ScopedEnvironmentVariable pointAtStore{"KITBAG_SETTINGS", store};

    // Runs the helper host with the given arguments; returns its output without the final line feed.
    std::string helper(const std::vector<std::string>& arguments, int expectedExit = 0) {
        platform::ProcessResult result =
            platform::runProcess(testing_support::helperProgram("kitbag_helper"), arguments);
        EXPECT_TRUE(result.finished);
        EXPECT_EQ(result.exitCode, expectedExit) << result.errors;
        std::string out = result.output;
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
            out.pop_back();
        return out;
    }
    void writeStore(const std::string& text) { testing_support::writeFile(store, text); }
};

TEST_F(KitbagTest, BooleansCrossProcessesBothWays) {
    ASSERT_TRUE(KB_SetBoolA("Debug", "EnableTrace", true));
    ASSERT_TRUE(KB_SetBoolA("Debug", "EnableLogInfo", false));
    EXPECT_EQ(helper({"get-bool", "Debug", "EnableTrace"}), "1");
    EXPECT_EQ(helper({"get-bool", "Debug", "EnableLogInfo"}), "0");

    helper({"set-bool", "Debug", "EnableTrace", "0"});
    helper({"set-bool", "Debug", "EnableLogToFile", "1"});
    bool trace = true, toFile = false;
    EXPECT_TRUE(KB_GetBoolA("Debug", "EnableTrace", &trace));
    EXPECT_TRUE(KB_GetBoolA("Debug", "EnableLogToFile", &toFile));
    EXPECT_FALSE(trace);
    EXPECT_TRUE(toFile);
}

TEST_F(KitbagTest, IntegersCrossProcessesBothWays) {
    for (int value : {0, 102400, -1, INT_MIN, INT_MAX}) {
        helper({"set-int", "Debug", "InternalBufferSize", std::to_string(value)});
        int read = 12345;
        EXPECT_TRUE(KB_GetIntA("Debug", "InternalBufferSize", &read));
        EXPECT_EQ(read, value);

        ASSERT_TRUE(KB_SetIntA("Debug", "Other", value));
        EXPECT_EQ(helper({"get-int", "Debug", "Other"}), std::to_string(value));
        // Written in decimal, as a person would write it.
        EXPECT_TRUE(hasLine(testing_support::readFile(store), "Other=" + std::to_string(value)))
            << testing_support::readFile(store);

        // A decimal text written by hand (or through the string setter) is an integer too.
        ASSERT_TRUE(KB_SetStringA("Debug", "AsText", std::to_string(value).c_str()));
        EXPECT_EQ(helper({"get-int", "Debug", "AsText"}), std::to_string(value));
    }
    ASSERT_TRUE(KB_SetStringA("Debug", "InternalBufferSize", "0x19000"));
    EXPECT_EQ(helper({"get-int", "Debug", "InternalBufferSize"}), "102400");
}

TEST_F(KitbagTest, IntegerSetterReplacesAValueOfAnyType) {
    ASSERT_TRUE(KB_SetStringA("Debug", "InternalBufferSize", "not a number"));
    ASSERT_TRUE(KB_SetIntA("Debug", "InternalBufferSize", 65536));
    int size = 0;
    EXPECT_TRUE(KB_GetIntA("Debug", "InternalBufferSize", &size));
    EXPECT_EQ(size, 65536);
    char text[16] = {};
    EXPECT_TRUE(KB_GetStringA("Debug", "InternalBufferSize", text, sizeof text));
    EXPECT_STREQ(text, "65536");
}

TEST_F(KitbagTest, StringsCrossProcessesBothWaysUnchanged) {
    const char* values[] = {
        "C:\\Program Files\\Pelmora\\console.log", "  padded  ", "\"quoted\"", "a=b;c[d]", "caf\xc3\xa9", ""};
    for (const char* value : values) {
        ASSERT_TRUE(KB_SetStringA("Debug", "LogFile", value));
        EXPECT_EQ(helper({"get-string", "Debug", "LogFile"}), value);

        helper({"set-string", "Debug", "Other", value});
        char buffer[260];
        std::memset(buffer, 'x', sizeof buffer);
        EXPECT_TRUE(KB_GetStringA("Debug", "Other", buffer, sizeof buffer));
        EXPECT_STREQ(buffer, value);
    }
}

TEST_F(KitbagTest, FileIsPlainTextAPersonCanEdit) {
    ASSERT_TRUE(KB_SetBoolA("Debug", "EnableTrace", true));
    ASSERT_TRUE(KB_SetStringA("Debug", "LogFile", "console.log"));
    std::string text = testing_support::readFile(store);
    EXPECT_NE(text.find("[Debug]"), std::string::npos) << text;
    EXPECT_NE(text.find("EnableTrace=1"), std::string::npos) << text;
    EXPECT_NE(text.find("LogFile=console.log"), std::string::npos) << text;

    // A person's edit, comment and all, is read and survives the next write.
    writeStore("; edited by hand\n[debug]\nenabletrace = false\n");
    bool trace = true;
    EXPECT_TRUE(KB_GetBoolA("Debug", "EnableTrace", &trace));
    EXPECT_FALSE(trace);
    ASSERT_TRUE(KB_SetBoolA("Debug", "EnableLogInfo", true));
    EXPECT_EQ(testing_support::readFile(store).rfind("; edited by hand", 0), 0u);
}

TEST_F(KitbagTest, MissingValuesLeaveTargetsUntouched) {
    struct Case {
        const char* name;
        const char* storeText; // nullptr: no file at all
    };
    const Case cases[] = {
        {"no file", nullptr},
        {"empty file", ""},
        {"other section only", "[Other]\nFlag=1\nSize=5\nName=x\n"},
        {"keys missing", "[Debug]\nUnrelated=1\n"},
        {"wrong types", "[Debug]\nFlag=yes\nSize=12abc\n"},
        {"out of range", "[Debug]\nFlag=2\nSize=99999999999\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing_support::writeFile(store, c.storeText ? c.storeText : "");
        if (!c.storeText)
            platform::deleteFile(store);
        bool flag = true;
        int size = 777;
        char name[8] = "keep";
        EXPECT_FALSE(KB_GetBoolA("Debug", "Flag", &flag));
        EXPECT_FALSE(KB_GetIntA("Debug", "Size", &size));
        EXPECT_FALSE(KB_GetStringA("Debug", "Name", name, sizeof name));
        EXPECT_TRUE(flag);
        EXPECT_EQ(size, 777);
        EXPECT_STREQ(name, "keep");
    }
}

TEST_F(KitbagTest, StringReadNeverWritesPastItsCapacity) {
    ASSERT_TRUE(KB_SetStringA("Debug", "LogFile", "abcdefgh"));
    struct Case {
        std::size_t capacity;
        const char* expected;
    };
    const Case cases[] = {{1, ""}, {4, "abc"}, {8, "abcdefg"}, {9, "abcdefgh"}, {32, "abcdefgh"}};
    for (const auto& c : cases) {
        char buffer[40];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_TRUE(KB_GetStringA("Debug", "LogFile", buffer, c.capacity));
        EXPECT_STREQ(buffer, c.expected) << "capacity " << c.capacity;
        for (std::size_t i = c.capacity; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], '#') << "byte " << i << " written with capacity " << c.capacity;
    }
    char untouched[4] = {'#', '#', '#', '#'};
    EXPECT_FALSE(KB_GetStringA("Debug", "LogFile", untouched, 0));
    EXPECT_EQ(std::string(untouched, 4), "####");
}

TEST_F(KitbagTest, CorruptFileStillServesItsGoodKeys) {
    std::string junk = "[Debug]\nEnableTrace=1\n";
    const char binary[] = "\x00\x01\xfe\xff garbage \x00 [[[ ===\n";
    junk += std::string(binary, sizeof binary - 1);
    junk += "no equals here\n[Debug\nLogFile=good.log\nEnableLogInfo=maybe\nInternalBufferSize=4096\n";
    writeStore(junk);

    bool trace = false, info = true;
    int size = 0;
    char file[260] = "";
    EXPECT_TRUE(KB_GetBoolA("Debug", "EnableTrace", &trace));
    EXPECT_FALSE(KB_GetBoolA("Debug", "EnableLogInfo", &info));
    EXPECT_TRUE(KB_GetIntA("Debug", "InternalBufferSize", &size));
    EXPECT_TRUE(KB_GetStringA("Debug", "LogFile", file, sizeof file));
    EXPECT_TRUE(trace);
    EXPECT_TRUE(info);
    EXPECT_EQ(size, 4096);
    EXPECT_STREQ(file, "good.log");

    // Writing into a corrupt file keeps what was there, junk included.
    ASSERT_TRUE(KB_SetBoolA("Debug", "EnableLogInfo", true));
    EXPECT_EQ(helper({"get-bool", "Debug", "EnableLogInfo"}), "1");
    EXPECT_EQ(helper({"get-string", "Debug", "LogFile"}), "good.log");
    EXPECT_NE(testing_support::readFile(store).find("garbage"), std::string::npos);
}

TEST_F(KitbagTest, UnreadableStoreIsNeitherReadNorReplaced) {
    // A folder where the file should be: it can be neither read nor replaced.
    ScopedEnvironmentVariable pointAtFolder("KITBAG_SETTINGS", folder.path());
    bool flag = true;
    EXPECT_FALSE(KB_GetBoolA("Debug", "Flag", &flag));
    EXPECT_TRUE(flag);
    EXPECT_FALSE(KB_SetBoolA("Debug", "Flag", false));
    EXPECT_TRUE(platform::fileExists(folder.path()));
}

TEST_F(KitbagTest, WritingThroughALinkWritesItsTargetAndKeepsTheLink) {
    if (kWindows)
        GTEST_SKIP() << "symbolic links are POSIX' here";
    std::filesystem::create_directory(folder.file("real"));
    const std::string target = folder.file("real/settings.ini");
    testing_support::writeFile(target, "; kept\n[Debug]\nEnableTrace=0\n");
    struct Case {
        const char* name;
        std::string link; // what the link holds
    };
    for (const Case& c : {Case{"absolute", target}, Case{"relative", "real/settings.ini"}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(store);
        std::filesystem::create_symlink(c.link, store);
        ASSERT_TRUE(KB_SetBoolA("Debug", "EnableTrace", true));
        EXPECT_TRUE(std::filesystem::is_symlink(store)) << "the link was replaced by a file";
        std::string text = testing_support::readFile(target);
        EXPECT_EQ(text.rfind("; kept\n[Debug]\nEnableTrace=1\n", 0), 0u) << text;
        EXPECT_EQ(helper({"get-bool", "Debug", "EnableTrace"}), "1");
        ASSERT_TRUE(KB_SetBoolA("Debug", "EnableTrace", false));
    }
    EXPECT_FALSE(platform::fileExists(store + ".new"));
}

TEST_F(KitbagTest, WritingKeepsTheFilesPermissions) {
    if (kWindows)
        GTEST_SKIP() << "POSIX permission bits";
    using std::filesystem::perms;
    for (perms mode : {perms::owner_read | perms::owner_write,
                       perms::owner_read | perms::owner_write | perms::group_read | perms::group_write}) {
        writeStore("[Debug]\n");
        std::filesystem::permissions(store, mode);
        ASSERT_TRUE(KB_SetBoolA("Debug", "EnableTrace", true));
        EXPECT_EQ(std::filesystem::status(store).permissions(), mode);
    }
}

TEST_F(KitbagTest, ReadOnlyFileIsReadButNotWritten) {
    writeStore("[Debug]\nEnableTrace=1\n");
    const auto readOnly = std::filesystem::perms::owner_read | std::filesystem::perms::group_read;
    std::filesystem::permissions(store, readOnly);
    bool trace = false;
    EXPECT_TRUE(KB_GetBoolA("Debug", "EnableTrace", &trace));
    EXPECT_TRUE(trace);
    EXPECT_FALSE(KB_SetBoolA("Debug", "EnableTrace", false));
    EXPECT_EQ(testing_support::readFile(store), "[Debug]\nEnableTrace=1\n");
    if (!kWindows) {
        EXPECT_EQ(std::filesystem::status(store).permissions(), readOnly);
    }
    std::filesystem::permissions(store, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

TEST_F(KitbagTest, StoreThatIsNoRegularFileIsNeitherWaitedForNorReplaced) {
    if (kWindows)
        GTEST_SKIP() << "FIFOs and device nodes are POSIX'";
    for (const testing_support::NonRegularFile& file : testing_support::nonRegularFiles()) {
        SCOPED_TRACE(file.name);
        const std::string node = folder.file(std::string("node-") + file.name);
        if (!testing_support::makeNonRegularFile(file, node)) {
            EXPECT_TRUE(file.rootOnly) << "could not make a " << file.name;
            continue; // not root: no device node to test with
        }
        // In other processes, with a limit: a read that waits for a writer to the FIFO never ends.
        platform::EnvironmentChanges environment{{"KITBAG_SETTINGS", node}};
        auto get = platform::runProcess(testing_support::helperProgram("kitbag_helper"),
                                        {"get-bool", "Debug", "EnableTrace"}, environment, 20000);
        ASSERT_TRUE(get.finished) << "the read waited on the node";
        EXPECT_EQ(get.output.substr(0, 9), "<missing>");
        auto set = platform::runProcess(testing_support::helperProgram("kitbag_helper"),
                                        {"set-bool", "Debug", "EnableTrace", "1"}, environment, 20000);
        ASSERT_TRUE(set.finished) << "the write waited on the node";
        EXPECT_EQ(set.exitCode, 1) << "refused";
        EXPECT_TRUE(file.isStillThere(node)) << "the node was replaced";
        // KITBAG_SETTINGS=/dev/null made /dev/null.lock.
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(node + ".lock")))
            << "a lock file beside the node";
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(node + ".new")));
    }
}

// The new text goes to "settings.ini.new" first, then replaces the file. Whatever lies at that name (left
// by a write that was killed, or put there) is removed and the temporary file made afresh: a link is not
// written through, a FIFO is not waited for.
TEST_F(KitbagTest, TemporaryFileIsMadeAfreshWhateverLiesInItsPlace) {
    namespace fs = std::filesystem;
    const std::string temporary = store + ".new";
    const std::string victim = folder.file("victim.txt");
    struct Case {
        const char* name;
        bool posixOnly;
        std::function<void()> make;
        bool written; // false: the write is refused and what lies there stays
    };
    const Case cases[] = {
        {"stale file", false, [&] { testing_support::writeFile(temporary, "[Stale]\nleft=1\n"); }, true},
        {"link to another file", true, [&] { fs::create_symlink(victim, temporary); }, true},
        {"link to nothing", true, [&] { fs::create_symlink(folder.file("made-through-link"), temporary); },
         true},
        {"FIFO", true, [&] { ASSERT_EQ(platform::runProcess("/usr/bin/mkfifo", {temporary}).exitCode, 0); },
         true},
        {"folder", false, [&] { fs::create_directory(temporary); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.posixOnly && kWindows)
            continue;
        writeStore("[Debug]\nEnableTrace=0\n");
        testing_support::writeFile(victim, "victim\n");
        c.make();
        // In another process, with a limit: a write that waits for a reader of the FIFO never ends.
        auto set = platform::runProcess(testing_support::helperProgram("kitbag_helper"),
                                        {"set-bool", "Debug", "EnableTrace", "1"}, {}, 20000);
        ASSERT_TRUE(set.finished) << "the write waited on what lies at the temporary name";
        EXPECT_EQ(set.exitCode, c.written ? 0 : 1);
        EXPECT_EQ(testing_support::readFile(store),
                  c.written ? "[Debug]\nEnableTrace=1\n" : "[Debug]\nEnableTrace=0\n");
        EXPECT_FALSE(fs::is_symlink(store)) << "the store became a link";
        EXPECT_EQ(testing_support::readFile(victim), "victim\n") << "written through the link";
        EXPECT_FALSE(fs::exists(fs::symlink_status(folder.file("made-through-link"))));
        if (c.written)
            EXPECT_FALSE(fs::exists(fs::symlink_status(temporary))) << "left behind";
        else
            EXPECT_TRUE(fs::is_directory(temporary));
        fs::remove_all(temporary);
    }
}

TEST_F(KitbagTest, FileLargerThanTheLimitIsNeitherReadNorReplaced) {
    constexpr std::size_t kLimit = 1024 * 1024; // the store's limit on its file
    const std::string head = "[Debug]\nEnableTrace=1\n";
    for (std::size_t size : {kLimit, kLimit + 1}) {
        SCOPED_TRACE(size);
        std::string text = head + "; " + std::string(size - head.size() - 3, 'x') + "\n";
        ASSERT_EQ(text.size(), size);
        writeStore(text);
        const bool fits = size <= kLimit;
        bool trace = false;
        EXPECT_EQ(KB_GetBoolA("Debug", "EnableTrace", &trace), fits);
        EXPECT_EQ(trace, fits);
        EXPECT_FALSE(KB_SetBoolA("Debug", "EnableLogInfo", true)) << "no room left, or too large already";
        EXPECT_EQ(testing_support::readFile(store), text);
    }
}

TEST_F(KitbagTest, NullArgumentsAreRefused) {
    bool flag = true;
    int number = 5;
    char text[8] = "keep";
    EXPECT_FALSE(KB_GetBoolA(nullptr, "k", &flag));
    EXPECT_FALSE(KB_GetBoolA("Debug", nullptr, &flag));
    EXPECT_FALSE(KB_GetBoolA("Debug", "k", nullptr));
    EXPECT_FALSE(KB_GetIntA(nullptr, "k", &number));
    EXPECT_FALSE(KB_GetIntA("Debug", nullptr, &number));
    EXPECT_FALSE(KB_GetIntA("Debug", "k", nullptr));
    EXPECT_FALSE(KB_GetStringA(nullptr, "k", text, sizeof text));
    EXPECT_FALSE(KB_GetStringA("Debug", nullptr, text, sizeof text));
    EXPECT_FALSE(KB_GetStringA("Debug", "k", nullptr, 8));
    EXPECT_FALSE(KB_SetBoolA(nullptr, "k", true));
    EXPECT_FALSE(KB_SetBoolA("Debug", nullptr, true));
    EXPECT_FALSE(KB_SetIntA(nullptr, "k", 1));
    EXPECT_FALSE(KB_SetIntA("Debug", nullptr, 1));
    EXPECT_FALSE(KB_SetStringA(nullptr, "k", "v"));
    EXPECT_FALSE(KB_SetStringA("Debug", nullptr, "v"));
    EXPECT_FALSE(KB_SetStringA("Debug", "k", nullptr));
    EXPECT_TRUE(flag);
    EXPECT_EQ(number, 5);
    EXPECT_STREQ(text, "keep");
    EXPECT_FALSE(platform::fileExists(store)) << "a refused call wrote the store";
}

TEST_F(KitbagTest, UnstorableNamesAndValuesAreRefused) {
    EXPECT_FALSE(KB_SetStringA("Debug", "LogFile", "two\nlines"));
    EXPECT_FALSE(KB_SetStringA("Debug", "Key=Value", "x"));
    EXPECT_FALSE(KB_SetStringA("De]bug", "Key", "x"));
    EXPECT_FALSE(KB_SetBoolA("", "Key", true));
    EXPECT_FALSE(KB_SetIntA("Debug", "Key=Value", 1));
    EXPECT_FALSE(KB_SetIntA("De]bug", "Key", 1));
    EXPECT_FALSE(platform::fileExists(store));
}

TEST_F(KitbagTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kKeysEach = 25;
    std::vector<std::unique_ptr<platform::ChildProcess>> writers;
    for (int w = 0; w < kWriters; ++w) {
        std::string prefix = "w" + std::to_string(w) + "_";
        writers.push_back(std::make_unique<platform::ChildProcess>(
            testing_support::helperProgram("kitbag_helper"),
            std::vector<std::string>{"write-many", "Debug", prefix, std::to_string(kKeysEach)}));
        ASSERT_TRUE(writers.back()->started());
    }
    // This process writes too, meanwhile.
    for (int i = 0; i < kKeysEach; ++i)
        ASSERT_TRUE(KB_SetStringA("Debug", ("main_" + std::to_string(i)).c_str(), std::to_string(i).c_str()));
    for (auto& writer : writers) {
        ASSERT_TRUE(writer->wait(120000));
        EXPECT_EQ(writer->exitCode(), 0) << writer->errors();
    }
    for (std::string prefix : {"w0_", "w1_", "w2_", "w3_", "main_"}) {
        for (int i = 0; i < kKeysEach; ++i) {
            int value = -1;
            EXPECT_TRUE(KB_GetIntA("Debug", (prefix + std::to_string(i)).c_str(), &value)) << prefix << i;
            EXPECT_EQ(value, i);
        }
    }
}

TEST_F(KitbagTest, ProcessKilledMidWriteLeavesACompleteFile) {
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(KB_SetStringA("Keep", ("k" + std::to_string(i)).c_str(), std::string(40, 'v').c_str()));
    ASSERT_TRUE(KB_SetStringA("Keep", "sentinel", "end"));

    std::mt19937 random(12345);
    for (int round = 0; round < 8; ++round) {
        platform::ChildProcess writer(testing_support::helperProgram("kitbag_helper"),
                                      {"write-loop", "Loop", "n"});
        ASSERT_TRUE(writer.started());
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 60));
        writer.kill();

        char sentinel[8] = "";
        ASSERT_TRUE(KB_GetStringA("Keep", "sentinel", sentinel, sizeof sentinel)) << "round " << round;
        EXPECT_STREQ(sentinel, "end");
        char value[64] = "";
        for (int i = 0; i < 200; ++i) {
            ASSERT_TRUE(KB_GetStringA("Keep", ("k" + std::to_string(i)).c_str(), value, sizeof value));
            ASSERT_EQ(std::string(value), std::string(40, 'v'));
        }
    }
    // The store is still writable after the killed writers.
    EXPECT_TRUE(KB_SetBoolA("Keep", "after", true));
}

TEST_F(KitbagTest, BooleanValueReadsPersistsAndReloads) {
    {
        BooleanValue avi("Debug", "Enable AVI Logging", true);
        EXPECT_TRUE(avi.GetValue()) << "the default stands in for a missing value";
        EXPECT_TRUE(avi.SetValue(false));
        EXPECT_FALSE(avi.GetValue());
    }
    EXPECT_EQ(helper({"get-bool", "Debug", "Enable AVI Logging"}), "0");
    EXPECT_EQ(helper({"boolean-value", "Debug", "Enable AVI Logging", "1"}), "0");

    // Constructed before the value is stored: nothing is read until the first GetValue.
    BooleanValue capture(TWinString<char>("Debug"), TWinString<char>(std::string("Capture Logging")), false);
    helper({"set-bool", "Debug", "Capture Logging", "1"});
    EXPECT_TRUE(capture.GetValue());
    helper({"set-bool", "Debug", "Capture Logging", "0"});
    EXPECT_TRUE(capture.GetValue()) << "the current value stays until Reload";
    EXPECT_FALSE(capture.Reload(1, nullptr)) << "reserved arguments must be zero";
    EXPECT_TRUE(capture.GetValue());
    EXPECT_TRUE(capture.Reload(0, nullptr));
    EXPECT_FALSE(capture.GetValue());
}

TEST_F(KitbagTest, BooleanValueKeepsItsValueWhenTheStoreCannotBeWritten) {
    ScopedEnvironmentVariable pointAtFolder("KITBAG_SETTINGS", folder.path());
    BooleanValue value("Debug", "Capture Logging", false);
    EXPECT_FALSE(value.SetValue(true));
    EXPECT_TRUE(value.GetValue());
}

TEST_F(KitbagTest, OutOfMemoryNothingIsThrown) {
    if (!testing_support::allocationFailuresCanBeMade())
        GTEST_SKIP() << "the sanitizer's allocator stays in place";
    // Names longer than a string holds without the heap. (On Windows the DLL allocates through a runtime
    // of its own, which this program cannot make fail: there the calls simply succeed.)
    const TWinString<char> section("Debug settings of a long name");
    const TWinString<char> key("A switch with a rather long name");
    ASSERT_TRUE(KB_SetBoolA(section.c_str(), key.c_str(), true));
    bool found = false, value = false, stored = true;
    {
        testing_support::FailingAllocations failing;
        BooleanValue flag(section, key, false);
        value = flag.GetValue();
        stored = flag.SetValue(false);
        bool target = false;
        found = KB_GetBoolA(section.c_str(), key.c_str(), &target) && target;
    }
    if (!kWindows) {
        EXPECT_FALSE(value) << "no memory for the names: the default";
        EXPECT_FALSE(stored);
        EXPECT_FALSE(found);
    }
    EXPECT_EQ(helper({"get-bool", section.c_str(), key.c_str()}), kWindows ? "0" : "1");
}

// Where the store lives without KITBAG_SETTINGS: a fresh helper process per case.
TEST(KitbagDefaultLocation, PerUserFileUnderTheConfigFolder) {
    TemporaryFolder home;
    struct Case {
        const char* name;
        platform::EnvironmentChanges environment;
        std::string expectedFile;
    };
    std::vector<Case> cases;
    if (kWindows) {
        cases.push_back({"APPDATA",
                         {{"KITBAG_SETTINGS", std::nullopt}, {"APPDATA", home.path()}},
                         home.file("Kitbag\\settings.ini")});
        cases.push_back({"empty KITBAG_SETTINGS",
                         {{"KITBAG_SETTINGS", ""}, {"APPDATA", home.path()}},
                         home.file("Kitbag\\settings.ini")});
    } else {
        cases.push_back({"XDG_CONFIG_HOME",
                         {{"KITBAG_SETTINGS", std::nullopt}, {"XDG_CONFIG_HOME", home.file("xdg")}},
                         home.file("xdg/kitbag/settings.ini")});
        cases.push_back(
            {"HOME",
             {{"KITBAG_SETTINGS", std::nullopt}, {"XDG_CONFIG_HOME", std::nullopt}, {"HOME", home.path()}},
             home.file(".config/kitbag/settings.ini")});
        cases.push_back({"empty KITBAG_SETTINGS",
                         {{"KITBAG_SETTINGS", ""}, {"XDG_CONFIG_HOME", home.file("xdg2")}},
                         home.file("xdg2/kitbag/settings.ini")});
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto set = platform::runProcess(testing_support::helperProgram("kitbag_helper"),
                                        {"set-bool", "Debug", "EnableTrace", "1"}, c.environment);
        EXPECT_EQ(set.exitCode, 0) << set.errors;
        EXPECT_NE(testing_support::readFile(c.expectedFile).find("EnableTrace=1"), std::string::npos);
        auto get = platform::runProcess(testing_support::helperProgram("kitbag_helper"),
                                        {"get-bool", "Debug", "EnableTrace"}, c.environment);
        EXPECT_EQ(get.output.substr(0, 1), "1");
    }
}

} // namespace
