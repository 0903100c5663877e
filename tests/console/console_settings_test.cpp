// How a load of the settings treats the values in memory (which the console window's menu changes): the
// store wins for every key it holds, a key it lacks leaves the value in memory ("EnableLogError" and
// "EnableTrace" are set to true first), and a "LogFile" too long for its buffer is refused, not cut.
#include "Kitbag.h"
#include "api/console_settings.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

using testing_support::ScopedEnvironmentVariable;
using testing_support::TemporaryFolder;

struct Values {
    bool debugOutput;
    bool toFile;
    bool info;
    bool error;
    bool trace;
    int bufferSize;
    std::string logFile;

    bool operator==(const Values& other) const {
        return debugOutput == other.debugOutput && toFile == other.toFile && info == other.info &&
               error == other.error && trace == other.trace && bufferSize == other.bufferSize &&
               logFile == other.logFile;
    }
};

std::ostream& operator<<(std::ostream& out, const Values& v) {
    return out << "debugOutput=" << v.debugOutput << " toFile=" << v.toFile << " info=" << v.info
               << " error=" << v.error << " trace=" << v.trace << " bufferSize=" << v.bufferSize
               << " logFile=" << v.logFile;
}

Values inMemory() {
    return {consoleState.logToDebugOutput, consoleState.logToFile, consoleState.logInfo,
            consoleState.logError,         consoleState.trace,     consoleState.DebugLogBuffer.Size(),
            consoleState.logFile};
}

void setInMemory(const Values& v) {
    consoleState.logToDebugOutput = v.debugOutput;
    consoleState.logToFile = v.toFile;
    consoleState.logInfo = v.info;
    consoleState.logError = v.error;
    consoleState.trace = v.trace;
    consoleState.DebugLogBuffer.SizeSetting() = v.bufferSize;
    std::memset(consoleState.logFile, 0, sizeof consoleState.logFile);
    std::memcpy(consoleState.logFile, v.logFile.c_str(), v.logFile.size());
}

class SettingsLoad : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string store = folder.file("settings.ini");
    ScopedEnvironmentVariable pointAtStore{"KITBAG_SETTINGS", store};

    void TearDown() override {
        // Back to the values of a module load with an empty store.
        testing_support::writeFile(store, "");
        setInMemory({false, false, false, true, true, 102400, ""});
        LoadSettings(true);
    }
};

TEST_F(SettingsLoad, TheStoreWinsForEachKeyItHoldsAndAMissingKeyKeepsTheValueInMemory) {
    // In memory every switch is the other way round from the store's, as the menu may leave them; the store
    // holds one key at a time.
    const Values memory{true, true, true, false, false, 3000, folder.file("memory.log")};
    const std::string storeLog = folder.file("store.log");
    struct Case {
        std::string line;
        std::function<void(Values&)> storeWins;
    };
    const Case cases[] = {
        {"EnableLogToDebugOutput=0", [](Values& v) { v.debugOutput = false; }},
        {"EnableLogToFile=0", [](Values& v) { v.toFile = false; }},
        {"EnableLogInfo=0", [](Values& v) { v.info = false; }},
        {"EnableLogError=0", [](Values& v) { v.error = false; }},
        {"EnableTrace=0", [](Values& v) { v.trace = false; }},
        {"InternalBufferSize=4096", [](Values& v) { v.bufferSize = 4096; }},
        {"LogFile=" + storeLog, [&storeLog](Values& v) { v.logFile = storeLog; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        testing_support::writeFile(store, "[Debug]\n" + c.line + "\n");
        setInMemory(memory);
        LoadSettings(true);
        Values expected = memory;
        expected.error = true; // preset before the read, as a missing key leaves it
        expected.trace = true;
        c.storeWins(expected);
        EXPECT_EQ(inMemory(), expected);
    }
}

TEST_F(SettingsLoad, ALogFileNameTooLongForItsBufferIsRefusedAndKeptInTheStore) {
    const std::string prefix = folder.file("");
    const std::string fits = prefix + std::string(259 - prefix.size(), 'f');
    const std::string tooLong = fits + "g";
    setInMemory({false, false, false, true, true, 102400, folder.file("memory.log")});

    testing_support::writeFile(store, "[Debug]\nLogFile=" + fits + "\n");
    LoadSettings(true);
    EXPECT_EQ(std::string(consoleState.logFile), fits) << "259 characters fit";

    testing_support::writeFile(store, "[Debug]\nLogFile=" + tooLong + "\n");
    LoadSettings(true);
    EXPECT_EQ(std::string(consoleState.logFile), "") << "refused, not cut to another file's name";

    // Saving (the console window does, as it closes) does not replace the name by the empty one.
    SaveSettings();
    char stored[512] = "";
    ASSERT_TRUE(KB_GetStringA("Debug", "LogFile", stored, sizeof stored));
    EXPECT_EQ(std::string(stored), tooLong);
}

} // namespace
