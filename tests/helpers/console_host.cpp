// A host of Console for the tests: runs the commands of its command line in order, in one process, with
// the settings store named by KITBAG_SETTINGS. In TEXT arguments "\n" stands for a line feed and "\0" for
// a NUL. Arguments holding "logging:" are left to CLog.
// clang-format off
//
// Writers and the pipeline:
//   simple TEXT | trace TEXT | log TEXT | logerror TEXT   the writer with that text (the others via "%s")
//   trace-repeat CHAR COUNT                               CS_TRACE of COUNT copies of CHAR
//   logerror-code CODE TEXT | krm RESULT_TEXT TEXT        the writers with a reason
//   tracedd X Y TEXT                                      CS_TRACEDD
//   init                                                  ConsoleInitialise
//   read FILE | read-html FILE                            GetDebugLogOutput(false/true) into FILE
//   queries                                               prints "trace=T log=L error=E"
//   error-text CODE                                       prints the platform's text for CODE
//   threads TAG N M                                       N threads at once, each writing M lines
//                                                         "TAG t<i> line <j>\n" with CS_TRACE
//   lines TAG N                                           N lines "TAG line I"
// Signals and pacing:
//   touch FILE | wait-for FILE | sleep MS                 a file as a signal between processes | a pause
//   chdir DIR                                             changes the current folder
// The console window (Windows; on Linux DisplayLog only loads the settings):
//   display                                               DisplayLog
//   stress ROUNDS                                         writers while the window opens and closes
//   reports N                                             registers reports R1..RN; running one prints "ran RI"
//                                                         and logs "report RI ran" with CS_LOGERROR
//   waiting-report FILE                                   registers a report "Wait" whose run waits for FILE
//   reports-racing N                                      a thread registers R1..RN while windows open and
//                                                         close; then a last window opens
//   plugin-menu                                           ConsoleAddMenu with a pop-up holding "Hello" (9000),
//                                                         whose handler prints "plugin ID"
//   plugin-menu-state                                     prints "plugin menu ID:Text," or "plugin menu
//                                                         destroyed" for that pop-up
//   close                                                 closes the console window as its close box does
//                                                         and prints "closed" once it is gone
//   menu | checks                                         prints the menu bar and reports | the Edit check marks
//   open-reports-menu | close-menus                       opens "Reports" with the keyboard | Escape
//   post ID | wait-title TITLE                            posts a menu command | waits for a window so titled
//   dismiss TITLE                                         answers the dialog with that title with OK
//   answer-boxes-when FILE                                a thread answers this process's message boxes
//                                                         with OK once FILE exists
//   html TEXT                                             DisplayHTMLReport(TEXT)
// The CLog logger:
//   get-log                                               CS_GetLog()
//   clog SEVERITY TEXT                                    CS_GetLog() << severity << TEXT
//   clog-user SEVERITY BEFORE AFTER                       CS_GetLog() << severity << BEFORE << User << AFTER
//   clog-twin SEVERITY TEXT                               CS_GetLog() << severity << TWinString<char>(TEXT)
//   clog-enabled                                          prints "enabled=" and IsEnabledFor 0..7 as 1/0
//   clog-file | set-log-to-file 0|1                       prints "tofile=B logfile=NAME" | SetLogToFile
//   env NAME | command-line                               prints "NAME=value" or "NAME unset" | the
//                                                         process command line as "commandline=[...]"
//   process                                               prints "pid=DECIMAL" and "cwd=[current folder]"
//   callback SEVERITIES                                   a callback accepting those severities ("67");
//                                                         it prints "callback S [text]"
//   callback-throw | callback-fault                       a callback that throws | writes through null
//   callback-probe                                        a callback accepting everything that first probes an
//                                                         unreadable address with IsBadReadPtr (Windows),
//                                                         then prints "callback-probe bad=B [text]"
//   com-error                                             prints "comerror=[description]" or "comerror=none"
//   exit-probe                                            at exit, calls CS_GetLog and prints the outcome
//   threads-get-log N                                     N threads call CS_GetLog at once
//   exit-while-logging MS                                 a thread logs CLog::INFO lines in a loop, each under
//                                                         the host's lock, until the log is gone; after MS
//                                                         milliseconds the main thread calls exit(0)
//
// clang-format on
#include "Console.h"

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

void writeReadBack(const std::string& path, bool html) {
    char* text = GetDebugLogOutput(html);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (text)
        out << text;
    std::free(text);
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
    for (int round = 0; round < rounds; ++round) {
        DisplayLog();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (void* window = FindConsoleWindow())
            CloseConsoleWindow(window);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    DisplayLog(); // opens while the writers still write: the fill and the posted lines must meet
    for (int i = 0; i < 500 && !FindConsoleWindow(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
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
    for (int round = 0; round < 4; ++round) {
        DisplayLog();
        for (int i = 0; i < 500 && !FindConsoleWindow(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (void* window = FindConsoleWindow())
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

// The console window once it exists (a DisplayLog just before may still be creating it), or null.
void* openConsoleWindow() {
    void* window = nullptr;
    for (int wait = 0; wait < 1000 && !(window = FindConsoleWindow()); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return window;
}

void waitForFile(const std::string& path) {
    while (!platform::fileExists(path))
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::size_t i = 0;
    auto next = [&]() -> std::string {
        if (i >= args.size()) {
            std::fprintf(stderr, "missing argument\n");
            std::exit(2);
        }
        return args[i++];
    };
    while (i < args.size()) {
        std::string command = next();
        if (isLoggingOption(command))
            continue; // for CLog, which reads it from the process command line
        if (command == "simple") {
            CS_TRACESIMPLE(unescape(next()).c_str());
        } else if (command == "trace") {
            CS_TRACE("%s", unescape(next()).c_str());
        } else if (command == "log") {
            CS_LOG("%s", unescape(next()).c_str());
        } else if (command == "logerror") {
            CS_LOGERROR("%s", unescape(next()).c_str());
        } else if (command == "trace-repeat") {
            char c = next()[0];
            int count = std::atoi(next().c_str());
            CS_TRACE("%s", std::string(static_cast<std::size_t>(count), c).c_str());
        } else if (command == "logerror-code") {
            // As an HRESULT: 0x80040209 is a negative 32-bit value.
            long code =
                static_cast<long>(static_cast<std::int32_t>(std::strtoul(next().c_str(), nullptr, 0)));
            CS_LOGERROR(code, "%s", unescape(next()).c_str());
        } else if (command == "krm") {
            std::string reason = unescape(next());
            CS_LOGKRMERROR(KRMResult(7, reason), "%s", unescape(next()).c_str());
        } else if (command == "tracedd") {
            long x = std::atol(next().c_str());
            long y = std::atol(next().c_str());
            CS_TRACEDD(x, y, "%s", next().c_str());
        } else if (command == "init") {
            ConsoleInitialise();
        } else if (command == "read" || command == "read-html") {
            writeReadBack(next(), command == "read-html");
        } else if (command == "queries") {
            std::printf("trace=%d log=%d error=%d\n", CS_IsTraceEnabled(), CS_IsLogEnabled(),
                        CS_IsLogErrorEnabled());
        } else if (command == "error-text") {
            char text[2048];
            long code =
                static_cast<long>(static_cast<std::int32_t>(std::strtoul(next().c_str(), nullptr, 0)));
            platform::mediaErrorText(code, text, sizeof text);
            std::printf("%s", text);
        } else if (command == "threads") {
            std::string tag = next();
            int threads = std::atoi(next().c_str());
            writeFromThreads(tag, threads, std::atoi(next().c_str()));
        } else if (command == "get-log") {
            CS_GetLog();
        } else if (command == "clog") {
            int severity = std::atoi(next().c_str());
            CS_GetLog() << static_cast<CLog::LogSeverity>(severity) << unescape(next()).c_str();
        } else if (command == "clog-user") {
            int severity = std::atoi(next().c_str());
            std::string before = unescape(next());
            CS_GetLog() << static_cast<CLog::LogSeverity>(severity) << before.c_str() << User
                        << unescape(next()).c_str();
        } else if (command == "clog-twin") {
            int severity = std::atoi(next().c_str());
            CS_GetLog() << static_cast<CLog::LogSeverity>(severity) << TWinString<char>(unescape(next()));
        } else if (command == "clog-enabled") {
            std::string enabled;
            for (int s = 0; s < 8; ++s)
                enabled += CS_GetLog().IsEnabledFor(static_cast<CLog::LogSeverity>(s)) ? '1' : '0';
            std::printf("enabled=%s\n", enabled.c_str());
        } else if (command == "clog-file") {
            std::printf("tofile=%d logfile=%s\n", CS_GetLog().GetLogToFile(),
                        CS_GetLog().GetLogFilename().c_str());
        } else if (command == "set-log-to-file") {
            CS_GetLog().SetLogToFile(next() == "1");
        } else if (command == "env") {
            std::string name = next();
            auto value = platform::environmentVariable(name.c_str());
            std::printf("%s%s%s\n", name.c_str(), value ? "=" : " unset", value ? value->c_str() : "");
        } else if (command == "command-line") {
            std::printf("commandline=[%s]\n", platform::processCommandLine());
        } else if (command == "callback") {
            installCallback(new PrintingCallback(next()));
        } else if (command == "callback-throw") {
            installCallback(new ThrowingCallback);
        } else if (command == "callback-fault") {
            installCallback(new FaultingCallback);
        } else if (command == "callback-probe") {
            installCallback(new ProbingCallback);
        } else if (command == "process") {
            std::printf("pid=%lu\ncwd=[%s]\n", platform::currentProcessId(),
                        platform::currentDirectory().c_str());
        } else if (command == "com-error") {
            std::printf("comerror=[%s]\n", escaped(ThreadErrorDescription()).c_str());
        } else if (command == "exit-probe") {
            std::atexit(probeAtExit);
        } else if (command == "exit-while-logging") {
            exitWhileLogging(std::atoi(next().c_str()));
        } else if (command == "threads-get-log") {
            getLogFromThreads(std::atoi(next().c_str()));
        } else if (command == "display") {
            DisplayLog();
        } else if (command == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(next().c_str())));
        } else if (command == "lines") {
            std::string tag = next();
            int count = std::atoi(next().c_str());
            for (int line = 0; line < count; ++line)
                CS_TRACE("%s line %d\n", tag.c_str(), line);
        } else if (command == "stress") {
            stressTheWindow(std::atoi(next().c_str()));
        } else if (command == "reports") {
            int count = std::atoi(next().c_str());
            for (int r = 1; r <= count; ++r) {
                reports.push_back(std::make_unique<NumberedReport>(r));
                ConsoleAddReport(*reports.back());
            }
        } else if (command == "waiting-report") {
            waitingReport = std::make_unique<WaitingReport>(next());
            ConsoleAddReport(*waitingReport);
        } else if (command == "reports-racing") {
            registerWhileWindowsOpen(std::atoi(next().c_str()));
        } else if (command == "plugin-menu") {
            void* handler = nullptr;
            void (*function)(unsigned int) = pluginCommand;
            std::memcpy(&handler, &function, sizeof handler);
            pluginMenu = CreatePluginMenu();
            ConsoleAddMenu(static_cast<HMENU>(pluginMenu), handler);
        } else if (command == "plugin-menu-state") {
            std::printf("plugin menu %s\n", DescribePopupMenu(pluginMenu).c_str());
            std::fflush(stdout);
        } else if (command == "close") {
            CloseConsoleWindow(openConsoleWindow());
            std::printf("closed\n");
            std::fflush(stdout);
        } else if (command == "menu") {
            std::printf("menu %s\n", DescribeConsoleMenu(openConsoleWindow()).c_str());
            std::fflush(stdout);
        } else if (command == "answer-boxes-when") {
            std::string file = next();
            std::thread([file] {
                waitForFile(file);
                AnswerMessageBoxes();
            }).detach();
        } else if (command == "dismiss") {
            DismissWindowTitled(next().c_str());
        } else if (command == "checks") {
            std::printf("checks %s\n", DescribeEditChecks(openConsoleWindow()).c_str());
            std::fflush(stdout);
        } else if (command == "open-reports-menu") {
            std::printf("reports menu %s\n",
                        OpenReportsMenuByKeys(openConsoleWindow()) ? "open" : "not shown");
            std::fflush(stdout);
        } else if (command == "close-menus") {
            CloseMenusByKeys();
        } else if (command == "post") {
            PostConsoleCommand(openConsoleWindow(), static_cast<unsigned>(std::atoi(next().c_str())));
        } else if (command == "wait-title") {
            std::string title = next();
            std::printf("%s %s\n", title.c_str(), WaitForWindowTitled(title.c_str()) ? "shown" : "not shown");
            std::fflush(stdout);
        } else if (command == "chdir") {
            std::filesystem::current_path(next());
        } else if (command == "html") {
            DisplayHTMLReport(unescape(next()).c_str());
        } else if (command == "touch") {
            std::ofstream(next()) << "x";
        } else if (command == "wait-for") {
            waitForFile(next());
        } else {
            std::fprintf(stderr, "unknown command %s\n", command.c_str());
            return 2;
        }
    }
    std::fflush(stdout);
    return 0;
}
