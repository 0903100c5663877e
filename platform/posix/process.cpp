#include "platform.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {

namespace {

std::string quotedIfNeeded(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\f\r") == std::string::npos)
        return argument;
    return "\"" + argument + "\"";
}

std::string commandLineFromArguments() {
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::string line;
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        if (start > 0)
            line += ' ';
        line += quotedIfNeeded(raw.substr(start, end - start));
        start = end + 1;
    }
    return line;
}

} // namespace

char* processCommandLine() {
    static std::string line = commandLineFromArguments();
    return line.data();
}

namespace {

// Set by the library's own finaliser. When the library is unloaded (dlclose) its finalisers run before the
// exit functions it registered. When the process exits, exit() runs the exit list: the functions of the
// executable and of libraries loaded later first, then the dynamic linker's finalisation, which runs each
// library's finalisers and then the exit functions that library registered while it was loaded with the
// executable (they were registered before the dynamic linker's own). A library that is part of the
// executable is never unloaded.
bool libraryUnloading = false;
// Set by an exit function registered after main began (so run before the dynamic linker's finalisation),
// unless the library is already unloading (dlclose runs it too).
bool processExiting = false;

__attribute__((destructor)) void markLibraryUnloading() {
    libraryUnloading = true;
}

void markProcessExiting() {
    if (!libraryUnloading)
        processExiting = true;
}

} // namespace

bool exitingWhileOtherThreadsRun() {
    return processExiting || !libraryUnloading;
}

// atexit registers the function with the calling library's handle (glibc links it into each library):
// dlclose runs it and takes it off the list, so the list never keeps an address in an unloaded library.
void watchForProcessExit() {
    static const bool registered = std::atexit(markProcessExiting) == 0;
    (void)registered;
}

bool exitStopsThreadsAnywhere() {
    return false; // a shared library's exit code runs while its threads still run
}

std::string currentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

} // namespace platform

#include <spawn.h>

extern char** environ;

namespace platform {

void openWithShell(const std::string& path) {
    pid_t child = 0;
    char program[] = "xdg-open";
    std::string argument = path;
    char* arguments[] = {program, argument.data(), nullptr};
    // Not waited for: the browser may run long. posix_spawnp fails at once when xdg-open is missing.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnp(&child, program, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace platform
