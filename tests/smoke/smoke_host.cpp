// The smoke host: one process that uses the three libraries the way a host application does (public
// headers, import libraries, the DLLs and their runtime beside it) and checks what they did. It is the one
// program the 32-bit Windows build runs (under emulation, where every process start is costly), so it
// covers what only a real 32-bit run shows: calls through the import libraries (Trace's by ordinal), the
// calling conventions of C++ members and virtual callbacks, exceptions crossing between the host and
// Console in both directions, structured exceptions caught around a callback, the console window.
//
//   smoke_host -logging:103
//
// runs every check, prints "ok N - ..." or "not ok N - ..." for each on standard error and exits 0 when all
// passed. The check of Console's unload runs smoke_unload_host, which lies beside it.
//
// Settings go to KITBAG_SETTINGS, or to smoke-settings.ini beside the program when it is not set. Files
// are written beside the program.
#include "Console.h"
#include "Kitbag.h"
#include "Trace.h"

#include "smoke_platform.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The logging word the host is run with: bit 0 its own log file, bit 1 the console pipeline, threshold
// CLog::TRACE.
constexpr const char* kLoggingOption = "-logging:103";

class Report {
public:
    void check(bool ok, const std::string& what, const std::string& detail = std::string()) {
        ++m_number;
        (ok ? m_passed : m_failed)++;
        // What went wrong is shown for a failed check only.
        std::fprintf(stderr, "%s %d - %s%s%s\n", ok ? "ok" : "not ok", m_number, what.c_str(),
                     ok || detail.empty() ? "" : ": ", ok ? "" : detail.c_str());
    }
    void skip(const std::string& what, const std::string& why) {
        ++m_number;
        std::fprintf(stderr, "ok %d - %s # SKIP %s\n", m_number, what.c_str(), why.c_str());
    }
    int finish() const {
        std::fprintf(stderr, "smoke host: %d passed, %d failed\n", m_passed, m_failed);
        return m_failed == 0 ? 0 : 1;
    }

private:
    int m_number = 0;
    int m_passed = 0;
    int m_failed = 0;
};

// A whole file, with line ends as "\n" (Trace writes its files in text mode on Windows).
std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), (std::istreambuf_iterator<char>()));
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The text shown after a failed check: short, one line.
std::string excerpt(std::string text) {
    for (char& c : text) {
        if (c == '\n')
            c = '|';
        else if (c == '\r')
            c = ' ';
    }
    return "[" + (text.size() > 300 ? text.substr(0, 300) + "..." : text) + "]";
}

// ---- Kitbag ----------------------------------------------------------------------------------------

void checkKitbag(Report& report) {
    bool value = false;
    bool stored = KB_SetBoolA("Smoke", "Checked", true) && KB_GetBoolA("Smoke", "Checked", &value) && value;
    BooleanValue setting("Smoke", "Checked", false);
    report.check(stored && setting.GetValue(),
                 "Kitbag: a value stored is read back, also through BooleanValue");
}

// ---- Console's writers and buffer ------------------------------------------------------------------

void checkConsoleLines(Report& report) {
    CS_TRACESIMPLE("smoke line one\n");
    CS_TRACE("smoke line %d of %s\n", 2, "two");
    char* plain = GetDebugLogOutput(false);
    char* html = GetDebugLogOutput(true);
    std::string text = plain ? plain : "";
    std::string marked = html ? html : "";
    std::free(plain);
    std::free(html);
    report.check(has(text, "smoke line one\n") && has(text, " - smoke line 2 of two\n"),
                 "Console: lines written with CS_TRACESIMPLE and CS_TRACE are read back", excerpt(text));
    report.check(has(marked, "smoke line one<p>\n"), "Console: the HTML read-back marks each line end",
                 excerpt(marked));
}

// ---- CLog ------------------------------------------------------------------------------------------

void checkLog(Report& report, const std::string& executable, bool optionGiven) {
    if (!optionGiven) {
        report.check(false, "CLog: configured from the command line",
                     std::string("run with ") + kLoggingOption);
        return;
    }
    CLog& log = CS_GetLog();
    const std::string expectedFile = executable + ".log";
    report.check(log.GetLogToFile() && log.GetLogFilename().str() == expectedFile,
                 "CLog: -logging:103 turns its file on, named after the executable",
                 "file " + log.GetLogFilename().str());
    report.check(!log.IsEnabledFor(CLog::INFO) && log.IsEnabledFor(CLog::TRACE) &&
                     log.IsEnabledFor(CLog::USERINTERVENTION),
                 "CLog: the threshold of -logging:103 lets TRACE and above through, not INFO");

    log << CLog::WARNING << "smoke warning " << 42 << " in hex " << Hex << 255 << Endl;
    log << CLog::INFO << "below the threshold";
    const std::string file = readFile(expectedFile);
    const std::string header = std::string(75, '*') + "\nLog started on ";
    report.check(
        file.compare(0, header.size(), header) == 0 && has(file, "\nProcess ID:           0x") &&
            has(file, "\nCommandLine is:       '") && has(file, kLoggingOption) &&
            has(file, "\nCurrent directory is: '"),
        "CLog: its file starts with the header (asterisks, start time, process, command line, folder)",
        excerpt(file));
    report.check(has(file, " WARNING: smoke warning 42 in hex ff\n") && !has(file, "below the threshold"),
                 "CLog: an accepted message is in its file, a message below the threshold is not",
                 excerpt(file));
    char* pipeline = GetDebugLogOutput(false);
    std::string buffered = pipeline ? pipeline : "";
    std::free(pipeline);
    report.check(has(buffered, " WARNING: smoke warning 42 in hex ff\n"),
                 "CLog: bit 1 sends the message down Console's pipeline too", excerpt(buffered));
}

// ---- Callbacks: virtual calls from Console into the host, exceptions and faults out of them -------------

class RecordingCallback : public CLogCallback {
public:
    bool AcceptsSeverity(CLog::LogSeverity severity) override { return severity >= CLog::WARNING; }
    void OnMessage(CLog::LogSeverity severity, const CLog& log) override {
        severities.push_back(severity);
        texts.push_back(log.GetMessageText());
    }
    std::vector<CLog::LogSeverity> severities;
    std::vector<std::string> texts;
};

class ThrowingCallback : public CLogCallback {
public:
    bool AcceptsSeverity(CLog::LogSeverity) override { return true; }
    void OnMessage(CLog::LogSeverity, const CLog&) override {
        ++calls;
        throw std::runtime_error("thrown by the host's callback");
    }
    int calls = 0;
};

class FaultingCallback : public CLogCallback {
public:
    bool AcceptsSeverity(CLog::LogSeverity) override { return true; }
    void OnMessage(CLog::LogSeverity, const CLog&) override {
        ++calls;
        // Both volatile: the compiler may neither drop the store nor replace it by a trap of its own.
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    int calls = 0;
};

void checkCallbacks(Report& report, const std::string& logFile) {
    CLog& log = CS_GetLog();

    RecordingCallback recording;
    log.SetLogCallback(&recording);
    log << CLog::TRACE << "not for the callback";
    log << CLog::ERROR << "for the callback " << 7;
    log.SetLogCallback(nullptr);
    report.check(recording.severities.size() == 1 && recording.severities[0] == CLog::ERROR &&
                     recording.texts.size() == 1 && has(recording.texts[0], " ERROR: for the callback 7\n"),
                 "CLog: the callback is asked and receives the one message it accepts, whole",
                 recording.texts.empty() ? "no call" : excerpt(recording.texts[0]));

    ThrowingCallback throwing;
    log.SetLogCallback(&throwing);
    log << CLog::WARNING << "to the throwing callback";
    log << CLog::WARNING << "after the throwing callback";
    log.SetLogCallback(nullptr);
    std::string file = readFile(logFile);
    report.check(throwing.calls == 1 && has(file, " WARNING: after the throwing callback\n"),
                 "CLog: a callback that throws is dropped after its one call, and logging goes on",
                 "calls " + std::to_string(throwing.calls));

    if (!smoke::faultingCallbacksAreCaught()) {
        report.skip("CLog: a callback that faults is dropped", "faults are not caught on this platform");
        return;
    }
    FaultingCallback faulting;
    log.SetLogCallback(&faulting);
    log << CLog::WARNING << "to the faulting callback";
    log << CLog::WARNING << "after the faulting callback";
    log.SetLogCallback(nullptr);
    file = readFile(logFile);
    report.check(faulting.calls == 1 && has(file, " WARNING: after the faulting callback\n"),
                 "CLog: a callback that writes through a null pointer is dropped, and logging goes on",
                 "calls " + std::to_string(faulting.calls));
}

// ---- The console window ------------------------------------------------------------------------------

void checkWindow(Report& report) {
    std::string detail;
    bool ok = smoke::consoleWindowRoundTrip("smoke line one", detail);
    if (ok && detail == "not on this platform")
        report.skip("Console: the console window opens, shows the log and closes", detail);
    else
        report.check(ok, "Console: the console window opens, shows the log and closes", detail);
}

// ---- Trace: the 19 functions, imported by ordinal through the import library ------------------------------

int vprintThrough(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = TraceVPrint(format, arguments);
    va_end(arguments);
    return length;
}

int levelVPrintThrough(unsigned char level, int id, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = TraceLevelVPrint(level, id, format, arguments);
    va_end(arguments);
    return length;
}

void checkTrace(Report& report, const fs::path& folder) {
    const unsigned char bytes[] = {0x41, 0x42, 0x43};
    std::vector<std::string> wrong;
    auto expect = [&](bool ok, const char* what) {
        if (!ok)
            wrong.push_back(what);
    };
    TraceSetConsole(false);                                                                     // 3
    expect(!TraceGetConsole(), "TraceGetConsole");                                              // 4
    TraceSetFile(true, "smoke-output.txt", true);                                               // 6
    expect(TraceGetFile(), "TraceGetFile");                                                     // 5
    TraceSetTimeStamp(true);                                                                    // 7
    TraceSetLevel(5);                                                                           // 11
    TraceSetLogFile("SmokeTrace", true, TRACE_ROTATE_HOUR, 0);                                  // 12
    TraceSetLevelOutput(true, true, false);                                                     // 13
    expect(TraceStart(), "TraceStart");                                                         // 1
    expect(TracePrint("smoke plain %d\n", 8) == 22 + 14 + 1, "TracePrint");                     // 8
    expect(vprintThrough("smoke vprint %d\n", 9) == 22 + 15 + 1, "TraceVPrint");                // 9
    expect(TraceBinData(bytes, 3) == 3, "TraceBinData");                                        // 10
    expect(TraceLevelPrint(5, 0x5A, "smoke level %d\n", 14) == 22 + 15 + 1, "TraceLevelPrint"); // 14
    expect(TraceLevelPrint(6, 0x5A, "above the level\n") == 0, "TraceLevelPrint above the level");
    expect(levelVPrintThrough(5, 0x5A, "smoke level %d\n", 15) == 22 + 15 + 1, "TraceLevelVPrint"); // 15
    expect(TraceLevelBinData(5, 0x5A, bytes, 3) == 3, "TraceLevelBinData");                         // 16
    char time[32] = "";
    TraceGetTime(time); // 19
    expect(std::strlen(time) == 19 && time[4] == '/' && time[13] == ':', "TraceGetTime");
    expect(TraceStop(), "TraceStop"); // 2: the print thread wrote everything queued
    // Standard output belongs to the console from here on (Windows); the report goes to standard error.
    expect(TraceOpenConsole(), "TraceOpenConsole");    // 17
    expect(!TraceCloseConsole(), "TraceCloseConsole"); // 18
    std::string failed;
    for (const std::string& name : wrong)
        failed += (failed.empty() ? "" : ", ") + name;
    report.check(wrong.empty(),
                 "Trace: the 19 functions called through the import library answer as documented", failed);

    const std::string output = readFile(folder / "smoke-output.txt");
    report.check(has(output, " - smoke plain 8\n") && has(output, " - smoke vprint 9\n") &&
                     has(output, "BinData: \n") && has(output, "41 42 43"),
                 "Trace: the output file holds the plain trace and the hex dump", excerpt(output));

    std::string traceFile;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("SmokeTrace0000005a_", 0) == 0 && entry.path().extension() == ".log")
            traceFile = readFile(entry.path());
    }
    report.check(has(traceFile, " - smoke level 14\n") && has(traceFile, " - smoke level 15\n") &&
                     has(traceFile, "41 42 43") && !has(traceFile, "above the level"),
                 "Trace: the trace file of id 0x5a holds the leveled trace and its hex dump",
                 traceFile.empty() ? "no file SmokeTrace0000005a_*.log" : excerpt(traceFile));
}

// ---- The version every DLL carries, as its file's properties show it ----------------------------------

// "0.1.0" as the four numbers of a version resource: "0.1.0.0".
std::string fourNumbers(std::string version) {
    for (std::size_t parts = 1 + static_cast<std::size_t>(std::count(version.begin(), version.end(), '.'));
         parts < 4; ++parts)
        version += ".0";
    return version;
}

void checkVersions(Report& report) {
    const std::string expected = PL_SMOKE_EXPECTED_VERSION; // the package's version, from CMake
    const std::string headers = std::to_string(PELMORA_VERSION_MAJOR) + "." +
                                std::to_string(PELMORA_VERSION_MINOR) + "." +
                                std::to_string(PELMORA_VERSION_PATCH);
    report.check(headers == expected && std::string(PELMORA_VERSION_STRING) == expected,
                 "the public headers' PELMORA_VERSION_MAJOR/MINOR/PATCH and PELMORA_VERSION_STRING hold the "
                 "package's version " +
                     expected,
                 headers + " \"" + PELMORA_VERSION_STRING + "\"");
    for (const char* name : {"Trace", "Console", "Kitbag"}) {
        smoke::VersionResource resource;
        std::string detail;
        const std::string what = std::string(name) + ": the version resource holds the package's version " +
                                 expected + " and a copyright";
        const bool read = smoke::libraryVersionResource(name, resource, detail);
        if (read && detail == "not on this platform") {
            report.skip(what, detail);
            continue;
        }
        const std::string found = resource.fixedFileVersion + " " + resource.fixedProductVersion + " \"" +
                                  resource.fileVersion + "\" \"" + resource.productVersion + "\" \"" +
                                  resource.originalFilename + "\" \"" + resource.legalCopyright + "\"";
        report.check(read && resource.fixedFileVersion == fourNumbers(expected) &&
                         resource.fixedProductVersion == fourNumbers(expected) &&
                         resource.fileVersion == expected && resource.productVersion == expected &&
                         resource.originalFilename == std::string(name) + ".dll" &&
                         resource.legalCopyright.rfind("Copyright ", 0) == 0,
                     what, read ? found : detail);
    }
}

// ---- Console unloaded: CS_GetLog throws "Dead Reference Detected" -----------------------------------------

void checkDeadReference(Report& report) {
    // A process of its own that loads Console at run time: the log is destroyed when Console unloads at
    // the end of that process, and the exit probe asks for it after that.
    smoke::ChildResult child =
        smoke::runProgramBeside("smoke_unload_host", {smoke::consoleLibraryPath()}, 120);
    child.output.erase(std::remove(child.output.begin(), child.output.end(), '\r'), child.output.end());
    const std::string outcome = "exit " + std::to_string(child.exitCode) + " " + excerpt(child.output);
    const bool caught = has(child.output, "exit probe: caught Dead Reference Detected\n");
    report.check(
        child.finished && child.exitCode == 0 && caught &&
            has(child.output, "freed, and exceptions still work\n"),
        "Console unloaded: freed and loaded again; at exit CS_GetLog throws \"Dead Reference Detected\" "
        "and the host catches it",
        outcome);
}

void removeOldFiles(const fs::path& folder, const std::string& executable) {
    std::error_code ignored;
    fs::remove(executable + ".log", ignored);
    fs::remove(folder / "smoke-output.txt", ignored);
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        if (entry.path().filename().string().rfind("SmokeTrace", 0) == 0)
            fs::remove(entry.path(), ignored);
    }
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    const std::string executable = smoke::executablePath();
    const fs::path folder = fs::path(executable).parent_path();
    if (!std::getenv("KITBAG_SETTINGS"))
        smoke::setEnvironmentVariable("KITBAG_SETTINGS", (folder / "smoke-settings.ini").string().c_str());

    bool optionGiven = false;
    for (int i = 1; i < argc; ++i)
        optionGiven = optionGiven || std::strcmp(argv[i], kLoggingOption) == 0;
    removeOldFiles(folder, executable);

    Report report;
    checkVersions(report);
    checkKitbag(report);
    checkConsoleLines(report);
    checkLog(report, executable, optionGiven);
    checkCallbacks(report, executable + ".log");
    checkWindow(report);
    checkTrace(report, folder);
    checkDeadReference(report);
    return report.finish();
}
