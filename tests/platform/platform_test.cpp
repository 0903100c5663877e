#include "platform.h"

#include "child_process.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::kWindows;
using testing_support::ScopedEnvironmentVariable;
using testing_support::TemporaryFolder;

TEST(PlatformPaths, JoinAndParent) {
    std::string sep(1, platform::pathSeparator());
    EXPECT_EQ(platform::joinPath("a", "b"), "a" + sep + "b");
    EXPECT_EQ(platform::joinPath("a" + sep, "b"), "a" + sep + "b");
    EXPECT_EQ(platform::joinPath("", "b"), "b");
    EXPECT_EQ(platform::parentDirectory("x" + sep + "y" + sep + "z.txt"), "x" + sep + "y");
    EXPECT_EQ(platform::parentDirectory("plain"), "");
    if (kWindows) {
        EXPECT_EQ(platform::parentDirectory("C:/a\\b/c"), "C:/a\\b");
    }
}

TEST(PlatformPaths, ExecutableAndLibraryNames) {
    std::string exe = platform::executablePath();
    EXPECT_NE(exe.find("platform_tests"), std::string::npos) << exe;
    EXPECT_EQ(platform::longExecutablePath(), exe) << "the same path where it fits the path buffer";
    EXPECT_EQ(platform::sharedLibraryFileName("Trace"), kWindows ? "Trace.dll" : "libTrace.so");
}

TEST(PlatformEnvironment, SetReadAndRemove) {
    const char* name = "PL_PLATFORM_TEST_VARIABLE";
    EXPECT_TRUE(platform::setEnvironmentVariable(name, "value with spaces"));
    EXPECT_EQ(platform::environmentVariable(name), "value with spaces");
    EXPECT_TRUE(platform::setEnvironmentVariable(name, std::string(1000, 'L').c_str()));
    EXPECT_EQ(platform::environmentVariable(name), std::string(1000, 'L'));
    EXPECT_TRUE(platform::setEnvironmentVariable(name, nullptr));
    EXPECT_EQ(platform::environmentVariable(name), std::nullopt);
}

TEST(PlatformPaths, UserSettingsFolderIsNamedAsThePlatformsCustomHasIt) {
    TemporaryFolder home;
    {
        ScopedEnvironmentVariable config(kWindows ? "APPDATA" : "XDG_CONFIG_HOME", home.path());
        EXPECT_EQ(platform::userSettingsFolder("Kitbag"), home.file(kWindows ? "Kitbag" : "kitbag"));
    }
    ScopedEnvironmentVariable noAppData("APPDATA", std::nullopt);
    ScopedEnvironmentVariable noXdg("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnvironmentVariable noHome("HOME", std::nullopt);
    EXPECT_EQ(platform::userSettingsFolder("Kitbag"), "") << "no per-user folder";
}

TEST(PlatformFiles, ReadTellsMissingFromFailed) {
    TemporaryFolder folder;
    std::string text = "unchanged";
    EXPECT_EQ(platform::readWholeFile(folder.file("none.txt"), text), platform::ReadResult::Missing);
    EXPECT_EQ(platform::readWholeFile(folder.file("no-folder/none.txt"), text),
              platform::ReadResult::Missing);
    EXPECT_EQ(platform::readWholeFile(folder.path(), text), platform::ReadResult::Failed);
    EXPECT_EQ(text, "unchanged");
}

TEST(PlatformFiles, DurableWriteThenReplaceInOneStep) {
    TemporaryFolder folder;
    std::string target = folder.file("target.ini");
    std::string binary("a\0b\r\nc\xff", 7);
    ASSERT_TRUE(platform::createFileDurably(target, "old"));
    ASSERT_TRUE(platform::createFileDurably(folder.file("new.tmp"), binary));
    ASSERT_TRUE(platform::replaceFile(folder.file("new.tmp"), target));
    std::string text;
    ASSERT_EQ(platform::readWholeFile(target, text), platform::ReadResult::Ok);
    EXPECT_EQ(text, binary);
    EXPECT_FALSE(platform::fileExists(folder.file("new.tmp")));
    EXPECT_TRUE(platform::deleteFile(target));
    EXPECT_FALSE(platform::fileExists(target));
    EXPECT_FALSE(platform::deleteFile(target));
}

TEST(PlatformFiles, TextModeLineEndsAreWhatTheRuntimeWrites) {
    TemporaryFolder folder;
    const std::string path = folder.file("text.txt");
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("one\ntwo\n", file);
    std::fclose(file);
    std::string bytes;
    ASSERT_EQ(platform::readWholeFile(path, bytes), platform::ReadResult::Ok);
    EXPECT_EQ(bytes, platform::textFilesEndLinesWithCrLf() ? "one\r\ntwo\r\n" : "one\ntwo\n");
    EXPECT_EQ(platform::textFilesEndLinesWithCrLf(), kWindows);
}

TEST(PlatformFiles, CreateDirectoriesMakesEveryLevel) {
    TemporaryFolder folder;
    std::string deep = platform::joinPath(platform::joinPath(folder.path(), "a"), "b");
    EXPECT_TRUE(platform::createDirectories(deep));
    EXPECT_TRUE(platform::createDirectories(deep)) << "an existing folder is fine";
    EXPECT_TRUE(platform::createFileDurably(platform::joinPath(deep, "f"), "x"));
    EXPECT_FALSE(platform::createDirectories(platform::joinPath(deep, "f"))) << "a file is not a folder";
}

TEST(PlatformFiles, InterProcessLockExcludesOtherHolders) {
    TemporaryFolder folder;
    std::string lockFile = folder.file("store.lock");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    auto worker = [&] {
        for (int i = 0; i < 200; ++i) {
            platform::InterProcessLock lock(lockFile);
            ASSERT_TRUE(lock.held());
            if (inside.fetch_add(1) != 0)
                overlaps++;
            std::this_thread::yield();
            inside.fetch_sub(1);
        }
    };
    std::thread a(worker), b(worker);
    a.join();
    b.join();
    EXPECT_EQ(overlaps.load(), 0);

    platform::InterProcessLock nowhere(folder.file("missing-folder/x.lock"));
    EXPECT_FALSE(nowhere.held());
}

TEST(PlatformLibraries, LoadsAndFailsClearly) {
    platform::DynamicLibrary kitbag(testing_support::libraryBesideTests("Kitbag"));
    ASSERT_TRUE(kitbag.loaded()) << kitbag.error();
    EXPECT_NE(kitbag.symbol("KB_GetBoolA"), nullptr);
    EXPECT_EQ(kitbag.symbol("NoSuchFunction"), nullptr);

    platform::DynamicLibrary missing(testing_support::libraryBesideTests("NoSuchLibrary"));
    EXPECT_FALSE(missing.loaded());
    EXPECT_FALSE(missing.error().empty());
    EXPECT_EQ(missing.symbol("anything"), nullptr);
}

TEST(PlatformChildProcess, PassesArgumentsEnvironmentAndExitCode) {
    const std::string probe = testing_support::helperProgram("probe_host");
    auto echo =
        platform::runProcess(probe, {"echo", "plain", "two words", "quote\"inside", "back\\slash\\", ""});
    ASSERT_TRUE(echo.finished);
    EXPECT_EQ(echo.exitCode, 0);
    std::string newline = kWindows ? "\r\n" : "\n";
    EXPECT_EQ(echo.output, "plain" + newline + "two words" + newline + "quote\"inside" + newline +
                               "back\\slash\\" + newline + newline);

    auto env = platform::runProcess(probe, {"env", "PL_PROBE"}, {{"PL_PROBE", "from parent"}});
    EXPECT_EQ(env.output, "from parent" + newline);
    platform::setEnvironmentVariable("PL_PROBE_INHERITED", "inherited");
    auto removed =
        platform::runProcess(probe, {"env", "PL_PROBE_INHERITED"}, {{"PL_PROBE_INHERITED", std::nullopt}});
    EXPECT_EQ(removed.output, "<unset>" + newline);
    auto inherited = platform::runProcess(probe, {"env", "PL_PROBE_INHERITED"});
    EXPECT_EQ(inherited.output, "inherited" + newline);
    platform::setEnvironmentVariable("PL_PROBE_INHERITED", nullptr);

    auto errors = platform::runProcess(probe, {"stderr", "to stderr"});
    EXPECT_EQ(errors.errors, "to stderr" + newline);
    EXPECT_EQ(errors.output, "");
    EXPECT_EQ(platform::runProcess(probe, {"exit", "7"}).exitCode, 7);
}

// A fresh process per case: whether a debugger is attached belongs to the whole process.
TEST(PlatformDebugger, PresentOnlyWhileADebuggerIsAttached) {
    const std::string probe = testing_support::helperProgram("probe_host");
    auto plain = platform::runProcess(probe, {"debugger"});
    EXPECT_NE(plain.output.find("debugger=0"), std::string::npos) << plain.output;
    if (kWindows)
        GTEST_SKIP() << "no debugger to attach under Wine here";
    // gdb runs the probe as a real debugger would: TracerPid is set.
    auto traced = platform::runProcess(
        "/usr/bin/gdb", {"-nx", "-batch", "-ex", "run", "--args", probe, "debugger"}, {}, 60000);
    ASSERT_TRUE(traced.finished);
    EXPECT_NE(traced.output.find("debugger=1"), std::string::npos) << traced.output << traced.errors;
}

TEST(PlatformChildProcess, TimesOutAndKills) {
    platform::ChildProcess sleeper(testing_support::helperProgram("probe_host"), {"sleep"});
    ASSERT_TRUE(sleeper.started());
    EXPECT_FALSE(sleeper.wait(50));
    sleeper.kill();
    EXPECT_TRUE(sleeper.wait(0));
    EXPECT_NE(sleeper.exitCode(), 0);

    platform::ChildProcess missing(testing_support::helperProgram("no_such_program"), {});
    EXPECT_FALSE(missing.started());
}

// A lock that spins before it waits is still a recursive lock: its holder takes it again, other threads
// wait (or fail to try) while it is held, and many threads taking it for a moment each never overlap.
TEST(PlatformLocks, RecursiveLockExcludesOthersWithAndWithoutSpinning) {
    for (unsigned spins : {0u, 8u}) {
        SCOPED_TRACE(spins);
        platform::RecursiveLock lock(spins);
        lock.lock();
        lock.lock(); // its holder takes it again
        EXPECT_TRUE(lock.tryLock());
        bool otherTook = true;
        std::thread([&] { otherTook = lock.tryLock(); }).join();
        EXPECT_FALSE(otherTook) << "held by this thread";
        lock.unlock();
        lock.unlock();
        std::thread([&] { otherTook = lock.tryLock(); }).join();
        EXPECT_FALSE(otherTook) << "still held once";
        lock.unlock();
        std::thread([&] {
            otherTook = lock.tryLock();
            if (otherTook)
                lock.unlock();
        }).join();
        EXPECT_TRUE(otherTook) << "released as often as taken";

        // Contended: a count that only the holder touches, and a flag that catches two holders at once.
        constexpr int kThreads = 4;
        constexpr int kRounds = 20000;
        long count = 0;
        std::atomic<bool> inside{false};
        std::atomic<int> overlaps{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < kRounds; ++i) {
                    platform::ScopedLock<platform::RecursiveLock> hold(lock);
                    if (inside.exchange(true))
                        ++overlaps;
                    ++count;
                    inside.store(false);
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_EQ(overlaps.load(), 0);
        EXPECT_EQ(count, long{kThreads} * kRounds);
    }
}

// Seconds of the local time, counted on over midnight (a day later is 86,400 more).
long secondOfDay(const platform::LocalTime& t) {
    return (t.hour * 60L + t.minute) * 60L + t.second;
}

TEST(PlatformTime, ReadingsToTheSecondNeverShowATimeBeforeAPreciseOneReadEarlier) {
    // Through three second boundaries, each reading against the precise one just before it. A clock to the
    // second that lags the precise one (Linux's time() does, by up to a scheduler tick) shows the old second
    // after the precise clock showed the new one.
    const std::int64_t start = platform::systemTimeTicks() / 10000000;
    // The two count from different days on Linux (1970, 1601): a whole number of hundreds of seconds apart.
    const std::int64_t epochs =
        std::llround(static_cast<double>(platform::systemSecondsNow() - start) / 100) * 100;
    long checked = 0;
    for (std::int64_t precise = start; precise < start + 3;) {
        const platform::LocalTime preciseLocal = platform::localTime();
        const std::int64_t second = platform::systemSecondsNow() - epochs;
        const platform::LocalTime local = platform::localTimeToTheSecond();
        const platform::LocalTime ofSecond = platform::localTimeOfSystemSecond(second + epochs);
        ASSERT_GE(second, precise);
        // Midnight may fall between two readings: then the later one's time of day is smaller by a day.
        const long day = 86400;
        const long before = secondOfDay(preciseLocal);
        ASSERT_TRUE(secondOfDay(local) >= before || secondOfDay(local) + day - before < 10)
            << preciseLocal.hour << ":" << preciseLocal.minute << ":" << preciseLocal.second << " then "
            << local.hour << ":" << local.minute << ":" << local.second;
        ASSERT_TRUE(secondOfDay(ofSecond) >= before || secondOfDay(ofSecond) + day - before < 10);
        ASSERT_LE(second - start, 10) << "the clock ran on without the loop";
        precise = platform::systemTimeTicks() / 10000000;
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

TEST(PlatformTime, TheLocalTimeOfASystemSecondIsTheLocalTimeOfThatSecond) {
    // Taken until no second boundary fell between the readings.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::int64_t second = platform::systemSecondsNow();
        const platform::LocalTime now = platform::localTime();
        if (platform::systemSecondsNow() != second)
            continue;
        const platform::LocalTime ofSecond = platform::localTimeOfSystemSecond(second);
        EXPECT_EQ(ofSecond.year, now.year);
        EXPECT_EQ(ofSecond.month, now.month);
        EXPECT_EQ(ofSecond.day, now.day);
        EXPECT_EQ(ofSecond.dayOfWeek, now.dayOfWeek);
        EXPECT_EQ(secondOfDay(ofSecond), secondOfDay(now));
        EXPECT_EQ(ofSecond.milliseconds, 0);
        const platform::LocalTime later = platform::localTimeOfSystemSecond(second + 3661);
        EXPECT_EQ((secondOfDay(later) - secondOfDay(ofSecond) + 86400) % 86400, 3661)
            << "an hour, a minute, a second on";
        return;
    }
    FAIL() << "no reading without a second boundary in 100 attempts";
}

TEST(PlatformTime, LocalTimesAgreeWithTheCLibrary) {
    // Both readings and the C library's local time of the same moment, taken until no second boundary
    // fell between them (the C library's time() may lag the precise clock by a scheduler tick, so the
    // first tenth of a second is left out too). A pause between attempts spreads them over more than a
    // second, so the tenths of a second at either end, when the readings are not compared, cannot take
    // every attempt.
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(15));
        std::time_t before = std::time(nullptr);
        platform::LocalTime precise = platform::localTime();
        platform::LocalTime second = platform::localTimeToTheSecond();
        std::time_t after = std::time(nullptr);
        if (before != after || precise.second != second.second || precise.milliseconds > 900 ||
            precise.milliseconds < 100)
            continue;
        std::tm fields{};
#if defined(_WIN32)
        localtime_s(&fields, &before);
#else
        localtime_r(&before, &fields);
#endif
        for (const platform::LocalTime& t : {precise, second}) {
            EXPECT_EQ(t.year, fields.tm_year + 1900);
            EXPECT_EQ(t.month, fields.tm_mon + 1);
            EXPECT_EQ(t.day, fields.tm_mday);
            EXPECT_EQ(t.dayOfWeek, fields.tm_wday);
            EXPECT_EQ(t.hour, fields.tm_hour);
            EXPECT_EQ(t.minute, fields.tm_min);
            EXPECT_EQ(t.second, fields.tm_sec);
        }
        EXPECT_GE(precise.milliseconds, 0);
        return;
    }
    FAIL() << "no reading without a second boundary in 100 attempts";
}

// ---- callGuarded: what a host's callback may do to the caller ----------------------------------------

void returnsNormally(void* calls) {
    ++*static_cast<int*>(calls);
}

void throwsCxx(void* calls) {
    ++*static_cast<int*>(calls);
    throw std::runtime_error("from the body");
}

// A real access fault: the address lies in the first page, never mapped (a null store may be compiled into
// a trap instruction instead).
void faultsOnRead(void* calls) {
    ++*static_cast<int*>(calls);
    volatile int* volatile nowhere = reinterpret_cast<int*>(static_cast<std::uintptr_t>(0x10));
    *nowhere = 1;
}

// A fault caught by an inner guard leaves the outer one (and this thread's chain of handlers) as it was.
void nestsAFault(void* calls) {
    int inner = 0;
    if (!platform::callGuarded(faultsOnRead, &inner) && inner == 1)
        ++*static_cast<int*>(calls);
}

TEST(PlatformCallGuarded, AbsorbsExceptionsAndFaultsAndLeavesTheThreadAsItWas) {
    struct Case {
        const char* name;
        void (*body)(void*);
        bool returned;
        bool faults; // caught on Windows only
    };
    const Case cases[] = {
        {"returns", returnsNormally, true, false},
        {"throws a C++ exception", throwsCxx, false, false},
        {"reads an unmapped address", faultsOnRead, false, true},
        {"nests a guard whose body faults", nestsAFault, true, true},
    };
    // Twice over: a guard that left a stale handler behind (the i686 chain at fs:[0]) shows on the second
    // fault, or on the C++ exception after it.
    for (int round = 0; round < 2; ++round) {
        for (const Case& c : cases) {
            if (c.faults && !kWindows)
                continue; // Linux lets a fault end the process
            SCOPED_TRACE(std::string(c.name) + ", round " + std::to_string(round));
            int calls = 0;
            EXPECT_EQ(platform::callGuarded(c.body, &calls), c.returned);
            EXPECT_EQ(calls, 1);
        }
    }
    // And this thread's own exceptions still reach their handlers.
    EXPECT_THROW(throw std::logic_error("after the guards"), std::logic_error);
}

TEST(PlatformCallGuarded, AnyThreadAndManyAtOnce) {
    if (!kWindows)
        GTEST_SKIP() << "Linux lets a fault end the process";
    std::atomic<int> caught{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&caught] {
            for (int i = 0; i < 50; ++i) {
                int calls = 0;
                if (!platform::callGuarded(faultsOnRead, &calls) && calls == 1)
                    ++caught;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(caught.load(), 200);
}

} // namespace
