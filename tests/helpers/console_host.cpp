// A host of Console for the tests: runs the commands of its command line in order, in one process, with
// the settings store named by KITBAG_SETTINGS. In TEXT arguments "\n" stands for a line feed.
//   simple TEXT | trace TEXT | log TEXT | logerror TEXT     the writer with that text (the others via "%s")
//   trace-repeat CHAR COUNT                                 CS_TRACE of COUNT copies of CHAR
//   logerror-code CODE TEXT | krm RESULT_TEXT TEXT          the writers with a reason
//   tracedd X Y TEXT                                        CS_TRACEDD
//   init                                                    ConsoleInitialise
//   read FILE | read-html FILE                              GetDebugLogOutput(false/true) into FILE
//   queries                                                 prints "trace=T log=L error=E"
//   error-text CODE                                         prints the platform's text for CODE
//   threads TAG N M                                         N threads at once, each writing M lines
//                                                           "TAG t<i> line <j>\n" with CS_TRACE
//   touch FILE | wait-for FILE                              a file as a signal between processes
#include "Console.h"

#include "platform.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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
