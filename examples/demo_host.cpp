// Demo host: uses the libraries the way a host application does and shows what they did.
//
// For now it shows the settings store: it writes the values Console reads, reads them back, and
// shows where they live. Run it through scripts/demo.sh, which points the store at a file of its own.
#include "Kitbag.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const char* kSection = "Debug";

void showSettingsFile() {
    const char* path = std::getenv("KITBAG_SETTINGS");
    if (!path || !*path) {
        std::printf("Settings file: the per-user default (KITBAG_SETTINGS is not set)\n");
        return;
    }
    std::printf("Settings file: %s\n", path);
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    std::printf("---- its text ----\n%s------------------\n", text.str().c_str());
}

void settingsRoundTrip() {
    std::printf(
        "Storing: EnableTrace=1, EnableLogToFile=0, InternalBufferSize=0x19000, LogFile=console.log\n");
    KB_SetBoolA(kSection, "EnableTrace", true);
    KB_SetBoolA(kSection, "EnableLogToFile", false);
    KB_SetStringA(kSection, "InternalBufferSize", "0x19000");
    KB_SetStringA(kSection, "LogFile", "console.log");

    bool trace = false, toFile = true;
    int bufferSize = 0;
    char logFile[260] = "";
    KB_GetBoolA(kSection, "EnableTrace", &trace);
    KB_GetBoolA(kSection, "EnableLogToFile", &toFile);
    KB_GetIntA(kSection, "InternalBufferSize", &bufferSize);
    KB_GetStringA(kSection, "LogFile", logFile, sizeof logFile);
    std::printf("Read back: EnableTrace=%d EnableLogToFile=%d InternalBufferSize=%d LogFile=%s\n", trace,
                toFile, bufferSize, logFile);

    bool missing = true;
    bool found = KB_GetBoolA(kSection, "NoSuchKey", &missing);
    std::printf("A missing key: found=%d, target left at %d\n", found, missing);

    BooleanValue avi(kSection, "Enable AVI Logging", false);
    avi.SetValue(!avi.GetValue());
    std::printf("Enable AVI Logging switched to %d (kept by the store at once)\n", avi.GetValue());
}

} // namespace

int main() {
    std::printf("== Kitbag settings store ==\n");
    settingsRoundTrip();
    showSettingsFile();
    return 0;
}
