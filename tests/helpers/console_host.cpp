// A host of Console for the tests: runs the commands of its command line in order, in one process, with
// the settings store named by KITBAG_SETTINGS. In TEXT arguments "\n" stands for a line feed and "\0" for
// a NUL. Arguments holding "logging:" are left to CLog.
//
// The commands are the table kCommands below: each with its arguments and what it does. "console_host
// help" prints them; an unknown command or a missing argument prints them too, on standard error, and
// ends the host with exit code 2.
#include "Console.h"
#include "command_table.h"
#include "crash_ways.h"

#include "bad_address_probe.h"
#include "console_window_probe.h"
#include "platform.h"
#include "thread_error_info.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string unescape(const std::string& text) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            result += '\n';
            ++i;
        } else if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '0') {
            result += '\0';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

// Written beside the path and then renamed to it: a test that waits for the file sees it whole.
void writeReadBack(const std::string& path, bool html) {
    char* text = GetDebugLogOutput(html);
    const std::string partial = path + ".part";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (text)
            out << text;
    }
    std::free(text);
    std::filesystem::rename(partial, path);
}

void writeFromThreads(const std::string& tag, int threadCount, int lineCount) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            for (int line = 0; line < lineCount; ++line)
                CS_TRACE("%s t%d line %d\n", tag.c_str(), t, line);
        });
    }
    go = true;
    for (auto& thread : threads)
        thread.join();
}

std::string escaped(const std::string& text) {
    std::string result;
    for (char c : text)
        result += c == '\n' ? std::string("\\n") : c == '\0' ? std::string("\\0") : std::string(1, c);
    return result;
}

class PrintingCallback : public CLogCallback {
public:
    explicit PrintingCallback(std::string accepted) : m_accepted(std::move(accepted)) {}
    bool AcceptsSeverity(CLog::LogSeverity severity) override {
        return m_accepted.find(static_cast<char>('0' + severity)) != std::string::npos;
    }
    void OnMessage(CLog::LogSeverity severity, const CLog& log) override {
        std::printf("callback %d [%s]\n", static_cast<int>(severity), escaped(log.GetMessageText()).c_str());
        std::fflush(stdout);
    }

private:
    std::string m_accepted;
};

class ThrowingCallback : public CLogCallback {
public:
    bool AcceptsSeverity(CLog::LogSeverity) override { return true; }
    void OnMessage(CLog::LogSeverity, const CLog&) override {
        std::printf("callback-throw called\n");
        std::fflush(stdout);
        throw std::runtime_error("from the callback");
    }
};

class FaultingCallback : public CLogCallback {
public:
    bool AcceptsSeverity(CLog::LogSeverity) override { return true; }
    void OnMessage(CLog::LogSeverity, const CLog&) override {
        std::printf("callback-fault called\n");
        std::fflush(stdout);
        volatile int* nowhere = nullptr;
        *nowhere = 1;
    }
};

// Probes an address that cannot be read, as a client may (IsBadReadPtr handles the fault it raises itself),
// then prints the message.
class ProbingCallback : public CLogCallback {
public:
    bool AcceptsSeverity(CLog::LogSeverity) override { return true; }
    void OnMessage(CLog::LogSeverity, const CLog& log) override {
        bool bad = ProbeUnreadableAddress();
        std::printf("callback-probe bad=%d [%s]\n", bad, escaped(log.GetMessageText()).c_str());
        std::fflush(stdout);
    }
};

// Callbacks live as long as the process: the log may call them until it is destroyed, after every static
// object of this program. The last one stays reachable from here.
CLogCallback* installedCallback = nullptr;

void installCallback(CLogCallback* callback) {
    installedCallback = callback;
    CS_GetLog().SetLogCallback(callback);
}

void probeAtExit() {
    try {
        CS_GetLog();
        std::printf("exit-probe: log alive\n");
    } catch (const std::logic_error& error) {
        std::printf("exit-probe: %s\n", error.what());
    }
    std::fflush(stdout);
}

// A host that serialises its use of the log with a lock of its own, and exits while a thread logs.
[[noreturn]] void exitWhileLogging(int milliseconds) {
    // Never destroyed: the thread may still hold it while the process exits.
    static std::mutex* const hostLock = new std::mutex;
    std::thread([] {
        for (int line = 0;; ++line) {
            std::lock_guard<std::mutex> hold(*hostLock);
            try {
                CS_GetLog() << CLog::INFO << "line " << line << " of the logging thread";
            } catch (const std::logic_error&) {
                return; // the log is gone: the process is exiting
            }
        }
    }).detach();
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    std::exit(0);
}

// Threads write lines with CS_TRACE without end; once each has written one, the main thread calls exit(0)
// while they go on.
[[noreturn]] void exitWhileTracing(int threadCount) {
    static std::atomic<int> started{0};
    // Long lines: a thread spends most of its time copying into the ring buffer. Nothing here is destroyed
    // at exit: the threads still use it.
    static char line[4001];
    std::memset(line, 'w', sizeof line - 1);
    for (int t = 0; t < threadCount; ++t) {
        std::thread([t] {
            for (int number = 0;; ++number) {
                CS_TRACE("t%d line %d %s\n", t, number, line);
                if (number == 0)
                    started.fetch_add(1);
            }
        }).detach();
    }
    // A safety net only: the threads start within milliseconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (started.load() < threadCount && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    std::exit(0);
}

// Lines from CLog (stamped to the millisecond) and from CS_TRACE (stamped to the second) in turn, from the
// last few milliseconds of a second of the system time until pairsAfter pairs after its end; as many times
// as boundaries says.
void alternateAcrossSeconds(int boundaries, int pairsAfter) {
    constexpr std::int64_t kTicksPerSecond = 10000000;
    for (int pair = 0; boundaries > 0; --boundaries) {
        while (platform::systemTimeTicks() % kTicksPerSecond < kTicksPerSecond - 50000) {
            // at most a second: until the last 5 ms of the current one
        }
        const std::int64_t second = platform::systemTimeTicks() / kTicksPerSecond;
        for (int after = 0; after < pairsAfter; ++pair) {
            CS_GetLog() << CLog::INFO << "clog " << pair;
            CS_TRACE("trace %d\n", pair);
            if (platform::systemTimeTicks() / kTicksPerSecond != second)
                ++after;
        }
    }
}

void getLogFromThreads(int count) {
    std::atomic<bool> go{false};
    std::vector<CLog*> seen(static_cast<std::size_t>(count), nullptr);
    std::vector<std::thread> threads;
    for (int t = 0; t < count; ++t) {
        threads.emplace_back([&, t] {
            while (!go.load())
                std::this_thread::yield();
            seen[static_cast<std::size_t>(t)] = &CS_GetLog();
        });
    }
    go = true;
    for (auto& thread : threads)
        thread.join();
    bool same = true;
    for (CLog* log : seen)
        same = same && log == seen[0];
    std::printf("same log=%d\n", same);
}

// The console window once it exists (a DisplayLog just before may still be creating it: up to a minute on
// a slow or emulated machine), or null.
void* openConsoleWindow() {
    void* window = nullptr;
    for (int wait = 0; wait < 6000 && !(window = FindConsoleWindow()); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return window;
}

// Eight threads write while the console window opens and closes rounds times; then the last window's view
// must hold exactly what the buffer holds (give it room for everything). Prints "stress ok" or what differed.
void stressTheWindow(int rounds) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t) {
        writers.emplace_back([&stop, t] {
            // A steady, bounded stream: a line every few milliseconds from each writer.
            for (int line = 0; !stop && line < 2000; ++line) {
                CS_TRACE("writer %d line %d\n", t, line);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    // Each window is waited for before it is closed: a slow machine (or an emulated one) may take longer to
    // make it than a fixed pause, and a window left open would be the next round's.
    for (int round = 0; round < rounds; ++round) {
        DisplayLog();
        void* window = openConsoleWindow();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (window)
            CloseConsoleWindow(window);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    DisplayLog(); // opens while the writers still write: the fill and the posted lines must meet
    openConsoleWindow();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stop = true;
    for (auto& writer : writers)
        writer.join();
    // The window appends what was posted in its own time: wait until the last line has arrived.
    CS_TRACE("stress end\n");
    std::string view;
    for (int i = 0; i < 3000; ++i) {
        view = ConsoleViewText(FindConsoleWindow());
        if (view.size() >= 12 && view.compare(view.size() - 12, 12, "stress end\r\n") == 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    char* buffered = GetDebugLogOutput(false);
    std::string expected = buffered ? buffered : "";
    std::free(buffered);
    // The view holds the buffer as it was at opening plus all lines since; with a buffer larger than all
    // that was written, that is the buffer itself.
    std::string viewWithoutCarriageReturns;
    for (char c : view)
        if (c != '\r')
            viewWithoutCarriageReturns += c;
    if (viewWithoutCarriageReturns == expected)
        std::printf("stress ok\n");
    else
        std::printf("stress differs: view %zu bytes, buffer %zu bytes\n", viewWithoutCarriageReturns.size(),
                    expected.size());
    if (void* window = FindConsoleWindow())
        CloseConsoleWindow(window);
}

bool isLoggingOption(std::string argument) {
    for (char& c : argument)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return argument.find("logging:") != std::string::npos;
}

class NumberedReport final : public KRMReport {
public:
    explicit NumberedReport(int number) : m_name("R" + std::to_string(number)) {}
    std::string GetName() override { return m_name; }
    void Run() override {
        // Into the log too (as an error, which is on also when tracing is off), to show what came first.
        CS_LOGERROR("report %s ran\n", m_name.c_str());
        std::printf("ran %s\n", m_name.c_str());
        std::fflush(stdout);
    }

private:
    std::string m_name;
};

// Reports live as long as the process (Console holds them by address).
std::vector<std::unique_ptr<NumberedReport>> reports;

// Keeps the console window's thread busy until a file appears.
class WaitingReport final : public KRMReport {
public:
    explicit WaitingReport(std::string file) : m_file(std::move(file)) {}
    std::string GetName() override { return "Wait"; }
    void Run() override {
        std::ofstream(m_file + ".running") << "running";
        while (!platform::fileExists(m_file))
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

private:
    std::string m_file;
};
std::unique_ptr<WaitingReport> waitingReport;

// Registration from another thread while window threads build their menus from the list.
void registerWhileWindowsOpen(int count) {
    for (int r = 1; r <= count; ++r)
        reports.push_back(std::make_unique<NumberedReport>(r));
    std::thread registering([count] {
        for (int r = 0; r < count; ++r) {
            ConsoleAddReport(*reports[static_cast<std::size_t>(r)]);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    // Each window is waited for and closed before the next opens: one left open would be the last round's
    // window, whose menu was built before the last registrations.
    for (int round = 0; round < 4; ++round) {
        DisplayLog();
        if (void* window = openConsoleWindow())
            CloseConsoleWindow(window);
    }
    registering.join();
    DisplayLog();
}

// The pop-up handed to ConsoleAddMenu: the host's own, alive until the host destroys it.
void* pluginMenu = nullptr;

void pluginCommand(unsigned int command) {
    std::printf("plugin %u\n", command);
    std::fflush(stdout);
}

// ConsoleAddMenu with the host's pop-up and pluginCommand as its handler.
void addPluginMenu() {
    void* handler = nullptr;
    void (*function)(unsigned int) = pluginCommand;
    std::memcpy(&handler, &function, sizeof handler);
    pluginMenu = CreatePluginMenu();
    ConsoleAddMenu(static_cast<HMENU>(pluginMenu), handler);
}

// A partner process that never makes the file ends this host with exit code 3 after five minutes,
// instead of leaving a test or a script waiting for ever.
void waitForFile(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (!platform::fileExists(path)) {
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "gave up waiting for %s\n", path.c_str());
            std::fflush(stdout);
            std::_Exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// ---- The commands ------------------------------------------------------------------------------------

using host_commands::Arguments;
using Command = host_commands::Command<void>;

int number(const std::string& text) {
    return std::atoi(text.c_str());
}

// A code given in decimal or hexadecimal, as a 32-bit HRESULT: 0x80040209 is a negative value.
long errorCode(const std::string& text) {
    return static_cast<long>(static_cast<std::int32_t>(std::strtoul(text.c_str(), nullptr, 0)));
}

CLog::LogSeverity severity(const std::string& text) {
    return static_cast<CLog::LogSeverity>(number(text));
}

void printFlushed(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

[[noreturn]] void failWithUsage(const std::string& message);

// clang-format off
const Command kCommands[] = {
    // Writers and the pipeline
    {"simple", "TEXT", "CS_TRACESIMPLE(TEXT)",
     [](const Arguments& a) { CS_TRACESIMPLE(unescape(a[0]).c_str()); }},
    {"trace", "TEXT", "CS_TRACE(\"%s\", TEXT)",
     [](const Arguments& a) { CS_TRACE("%s", unescape(a[0]).c_str()); }},
    {"log", "TEXT", "CS_LOG(\"%s\", TEXT)",
     [](const Arguments& a) { CS_LOG("%s", unescape(a[0]).c_str()); }},
    {"logerror", "TEXT", "CS_LOGERROR(\"%s\", TEXT)",
     [](const Arguments& a) { CS_LOGERROR("%s", unescape(a[0]).c_str()); }},
    {"trace-repeat", "CHAR COUNT", "CS_TRACE of COUNT copies of CHAR",
     [](const Arguments& a) {
         CS_TRACE("%s", std::string(static_cast<std::size_t>(number(a[1])), a[0][0]).c_str());
     }},
    {"trace-format", "FORMAT A B", "CS_TRACE(FORMAT, A, B) with two int arguments: a format of the host's",
     [](const Arguments& a) { CS_TRACE(unescape(a[0]).c_str(), number(a[1]), number(a[2])); }},
    {"logerror-code", "CODE TEXT", "CS_LOGERROR(CODE, \"%s\", TEXT): the text with the code's reason",
     [](const Arguments& a) { CS_LOGERROR(errorCode(a[0]), "%s", unescape(a[1]).c_str()); }},
    {"krm", "RESULT_TEXT TEXT", "CS_LOGKRMERROR with a KRMResult of that text",
     [](const Arguments& a) {
         CS_LOGKRMERROR(KRMResult(7, unescape(a[0])), "%s", unescape(a[1]).c_str());
     }},
    {"tracedd", "X Y TEXT", "CS_TRACEDD",
     [](const Arguments& a) { CS_TRACEDD(std::atol(a[0].c_str()), std::atol(a[1].c_str()), "%s", a[2].c_str()); }},
    {"init", "", "ConsoleInitialise",
     [](const Arguments&) { ConsoleInitialise(); }},
    {"read", "FILE", "GetDebugLogOutput(false) into FILE",
     [](const Arguments& a) { writeReadBack(a[0], false); }},
    {"read-html", "FILE", "GetDebugLogOutput(true) into FILE",
     [](const Arguments& a) { writeReadBack(a[0], true); }},
    {"queries", "", "prints \"trace=T log=L error=E\"",
     [](const Arguments&) {
         std::printf("trace=%d log=%d error=%d\n", CS_IsTraceEnabled(), CS_IsLogEnabled(), CS_IsLogErrorEnabled());
     }},
    {"error-text", "CODE", "prints the platform's text for CODE",
     [](const Arguments& a) {
         char text[2048];
         platform::mediaErrorText(errorCode(a[0]), text, sizeof text);
         std::printf("%s", text);
     }},
    {"across-seconds", "B N", "CLog INFO lines and CS_TRACE lines in turn, from just before a second of the "
                              "system time ends until N pairs after; B times",
     [](const Arguments& a) { alternateAcrossSeconds(number(a[0]), number(a[1])); }},
    {"exit-while-tracing", "N", "N threads write long lines with CS_TRACE without end; once each wrote one, the "
                                "main thread calls exit(0)",
     [](const Arguments& a) { exitWhileTracing(number(a[0])); }},
    {"threads", "TAG N M", "N threads at once, each writing M lines \"TAG t<i> line <j>\" with CS_TRACE",
     [](const Arguments& a) { writeFromThreads(a[0], number(a[1]), number(a[2])); }},
    {"lines", "TAG N", "N lines \"TAG line I\" with CS_TRACE",
     [](const Arguments& a) {
         for (int line = 0; line < number(a[1]); ++line)
             CS_TRACE("%s line %d\n", a[0].c_str(), line);
     }},
    // Signals and pacing
    {"touch", "FILE", "creates FILE: a signal to another process",
     [](const Arguments& a) { std::ofstream(a[0]) << "x"; }},
    {"wait-for", "FILE", "waits until FILE exists",
     [](const Arguments& a) { waitForFile(a[0]); }},
    {"crash", "WAY", "the process crashes that WAY: segv, ill, fpe, abort, throw or stack-overflow",
     [](const Arguments& a) { CrashBy(a[0]); }},
    {"sleep", "MS", "pauses for MS milliseconds",
     [](const Arguments& a) { std::this_thread::sleep_for(std::chrono::milliseconds(number(a[0]))); }},
    {"chdir", "DIR", "changes the current folder",
     [](const Arguments& a) { std::filesystem::current_path(a[0]); }},
    // The console window (Windows; on Linux DisplayLog only loads the settings)
    {"display", "", "DisplayLog",
     [](const Arguments&) { DisplayLog(); }},
    {"stress", "ROUNDS", "writers while the window opens and closes; prints \"stress ok\" or what differed",
     [](const Arguments& a) { stressTheWindow(number(a[0])); }},
    {"reports", "N", "registers reports R1..RN; running one prints \"ran RI\" and logs \"report RI ran\" "
                     "with CS_LOGERROR",
     [](const Arguments& a) {
         for (int r = 1; r <= number(a[0]); ++r) {
             reports.push_back(std::make_unique<NumberedReport>(r));
             ConsoleAddReport(*reports.back());
         }
     }},
    {"waiting-report", "FILE", "registers a report \"Wait\" whose run makes FILE.running, then waits for FILE",
     [](const Arguments& a) {
         waitingReport = std::make_unique<WaitingReport>(a[0]);
         ConsoleAddReport(*waitingReport);
     }},
    {"reports-racing", "N", "a thread registers R1..RN while windows open and close; then a last window opens",
     [](const Arguments& a) { registerWhileWindowsOpen(number(a[0])); }},
    {"plugin-menu", "", "ConsoleAddMenu with a pop-up holding \"Hello\" (9000), whose handler prints "
                        "\"plugin ID\"",
     [](const Arguments&) { addPluginMenu(); }},
    {"plugin-menu-state", "", "prints \"plugin menu ID:Text,\" or \"plugin menu destroyed\" for that pop-up",
     [](const Arguments&) { printFlushed("plugin menu " + DescribePopupMenu(pluginMenu)); }},
    {"close", "", "closes the console window as its close box does and prints \"closed\" once it is gone",
     [](const Arguments&) {
         CloseConsoleWindow(openConsoleWindow());
         printFlushed("closed");
     }},
    {"menu", "", "prints the menu bar and the reports",
     [](const Arguments&) { printFlushed("menu " + DescribeConsoleMenu(openConsoleWindow())); }},
    {"checks", "", "prints the Edit menu's check marks",
     [](const Arguments&) { printFlushed("checks " + DescribeEditChecks(openConsoleWindow())); }},
    {"open-reports-menu", "", "opens \"Reports\" with the keyboard",
     [](const Arguments&) {
         printFlushed(std::string("reports menu ") + (OpenReportsMenuByKeys(openConsoleWindow()) ? "open" : "not shown"));
     }},
    {"close-menus", "", "closes open menus with Escape",
     [](const Arguments&) { CloseMenusByKeys(); }},
    {"menu-command", "ITEM", "chooses the menu item so named: its text in lower case without \"&\", "
                             "accelerator and \"...\", blanks as \"-\" (save-as, exit, about, log-to-file, r1)",
     [](const Arguments& a) {
         if (!ChooseConsoleMenuItem(openConsoleWindow(), a[0]))
             failWithUsage("no menu item " + a[0]);
     }},
    {"post", "ID", "posts the menu command ID, as choosing its item does",
     [](const Arguments& a) { PostConsoleCommand(openConsoleWindow(), static_cast<unsigned>(number(a[0]))); }},
    {"wait-title", "TITLE", "waits for a window so titled; prints \"TITLE shown\" or \"TITLE not shown\"",
     [](const Arguments& a) {
         printFlushed(a[0] + (WaitForWindowTitled(a[0].c_str()) ? " shown" : " not shown"));
     }},
    {"dismiss", "TITLE", "answers the dialog with that title with OK and waits until it is gone",
     [](const Arguments& a) { DismissWindowTitled(a[0].c_str()); }},
    {"answer-boxes-when", "FILE", "a thread answers this process's message boxes with OK once FILE exists",
     [](const Arguments& a) {
         std::thread([file = a[0]] {
             waitForFile(file);
             AnswerMessageBoxes();
         }).detach();
     }},
    {"html", "TEXT", "DisplayHTMLReport(TEXT)",
     [](const Arguments& a) { DisplayHTMLReport(unescape(a[0]).c_str()); }},
    // The CLog logger
    {"get-log", "", "CS_GetLog()",
     [](const Arguments&) { CS_GetLog(); }},
    {"clog", "SEVERITY TEXT", "CS_GetLog() << severity << TEXT",
     [](const Arguments& a) { CS_GetLog() << severity(a[0]) << unescape(a[1]).c_str(); }},
    {"clog-user", "SEVERITY BEFORE AFTER", "CS_GetLog() << severity << BEFORE << User << AFTER",
     [](const Arguments& a) {
         CS_GetLog() << severity(a[0]) << unescape(a[1]).c_str() << User << unescape(a[2]).c_str();
     }},
    {"clog-twin", "SEVERITY TEXT", "CS_GetLog() << severity << TWinString<char>(TEXT)",
     [](const Arguments& a) { CS_GetLog() << severity(a[0]) << TWinString<char>(unescape(a[1])); }},
    {"clog-enabled", "", "prints \"enabled=\" and IsEnabledFor 0..7 as 1/0",
     [](const Arguments&) {
         std::string enabled;
         for (int s = 0; s < 8; ++s)
             enabled += CS_GetLog().IsEnabledFor(static_cast<CLog::LogSeverity>(s)) ? '1' : '0';
         std::printf("enabled=%s\n", enabled.c_str());
     }},
    {"clog-file", "", "prints \"tofile=B logfile=NAME\"",
     [](const Arguments&) {
         std::printf("tofile=%d logfile=%s\n", CS_GetLog().GetLogToFile(), CS_GetLog().GetLogFilename().c_str());
     }},
    {"set-log-to-file", "0|1", "SetLogToFile",
     [](const Arguments& a) { CS_GetLog().SetLogToFile(a[0] == "1"); }},
    {"env", "NAME", "prints \"NAME=value\" or \"NAME unset\"",
     [](const Arguments& a) {
         auto value = platform::environmentVariable(a[0].c_str());
         std::printf("%s%s%s\n", a[0].c_str(), value ? "=" : " unset", value ? value->c_str() : "");
     }},
    {"command-line", "", "prints the process command line as \"commandline=[...]\"",
     [](const Arguments&) { std::printf("commandline=[%s]\n", platform::processCommandLine()); }},
    {"process", "", "prints \"pid=DECIMAL\" and \"cwd=[current folder]\"",
     [](const Arguments&) {
         std::printf("pid=%lu\ncwd=[%s]\n", platform::currentProcessId(), platform::currentDirectory().c_str());
     }},
    {"callback", "SEVERITIES", "a callback accepting those severities (\"67\"); it prints \"callback S [text]\"",
     [](const Arguments& a) { installCallback(new PrintingCallback(a[0])); }},
    {"callback-throw", "", "a callback that throws",
     [](const Arguments&) { installCallback(new ThrowingCallback); }},
    {"callback-fault", "", "a callback that writes through null",
     [](const Arguments&) { installCallback(new FaultingCallback); }},
    {"callback-probe", "", "a callback accepting everything that first probes an unreadable address with "
                           "IsBadReadPtr (Windows), then prints \"callback-probe bad=B [text]\"",
     [](const Arguments&) { installCallback(new ProbingCallback); }},
    {"probe-bad-read", "", "probes an unreadable address with IsBadReadPtr (Windows) outside any callback and "
                           "prints \"probe-bad-read bad=B\"",
     [](const Arguments&) { printFlushed("probe-bad-read bad=" + std::to_string(ProbeUnreadableAddress())); }},
    {"com-error", "", "prints \"comerror=[description]\" or \"comerror=none\"",
     [](const Arguments&) { std::printf("comerror=[%s]\n", escaped(ThreadErrorDescription()).c_str()); }},
    {"exit-probe", "", "at exit, calls CS_GetLog and prints the outcome",
     [](const Arguments&) { std::atexit(probeAtExit); }},
    {"threads-get-log", "N", "N threads call CS_GetLog at once; prints \"same log=B\"",
     [](const Arguments& a) { getLogFromThreads(number(a[0])); }},
    {"exit-while-logging", "MS", "a thread logs CLog::INFO lines in a loop, each under the host's lock, until "
                                 "the log is gone; after MS milliseconds the main thread calls exit(0)",
     [](const Arguments& a) { exitWhileLogging(number(a[0])); }},
};
// clang-format on

const host_commands::CommandTable kTable("console_host COMMAND [ARGUMENTS] [COMMAND [ARGUMENTS]]...",
                                         kCommands);

[[noreturn]] void failWithUsage(const std::string& message) {
    kTable.FailWithUsage(message);
}

} // namespace

int main(int argc, char** argv) {
    const Arguments args(argv + 1, argv + argc);
    if (kTable.AnsweredHelp(args))
        return 0;
    Arguments taken;
    for (std::size_t next = 0; next < args.size();) {
        if (isLoggingOption(args[next])) {
            ++next; // for CLog, which reads it from the process command line
            continue;
        }
        kTable.Take(args, next, taken).run(taken);
    }
    std::fflush(stdout);
    return 0;
}
