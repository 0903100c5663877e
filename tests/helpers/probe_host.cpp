// A tiny child program for the platform tests: it does what its arguments say and reports on stdout.
//   echo A B ...     prints each argument on a line
//   env NAME         prints the variable's value, or "<unset>"
//   stderr TEXT      prints TEXT on standard error
//   exit N           exits with code N
//   sleep            sleeps until killed
//   debugger         prints "debugger=1" when a debugger is attached, else "debugger=0"
#include "platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    std::string command = argv[1];
    if (command == "echo") {
        for (int i = 2; i < argc; ++i)
            std::printf("%s\n", argv[i]);
        return 0;
    }
    if (command == "env" && argc == 3) {
        auto value = platform::environmentVariable(argv[2]);
        std::printf("%s\n", value ? value->c_str() : "<unset>");
        return 0;
    }
    if (command == "stderr" && argc == 3) {
        std::fprintf(stderr, "%s\n", argv[2]);
        return 0;
    }
    if (command == "exit" && argc == 3)
        return std::atoi(argv[2]);
    if (command == "debugger") {
        std::printf("debugger=%d\n", platform::debuggerPresent() ? 1 : 0);
        // Now: a sanitizer's exit checks may end the process without flushing it under a debugger.
        std::fflush(stdout);
        return 0;
    }
    if (command == "sleep") {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return 2;
}
