#include "smoke_platform.h"

#include "Console.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace smoke {

void setEnvironmentVariable(const char* name, const char* value) {
    setenv(name, value, 1);
}

std::string executablePath() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

bool faultingCallbacksAreCaught() {
    return false;
}

bool consoleWindowRoundTrip(const std::string&, std::string& detail) {
    DisplayLog(); // loads the settings and returns
    detail = "not on this platform";
    return true;
}

std::string consoleLibraryPath() {
    Dl_info info{};
    void* address = dlsym(RTLD_DEFAULT, "_Z10DisplayLogv");
    return address && dladdr(address, &info) && info.dli_fname ? info.dli_fname : "";
}

bool libraryVersionResource(const std::string&, VersionResource&, std::string& detail) {
    detail = "not on this platform";
    return true;
}

ChildResult runProgramBeside(const std::string& name, const std::vector<std::string>& arguments,
                             int timeoutSeconds) {
    ChildResult result;
    const std::string self = executablePath();
    const std::string program = self.substr(0, self.find_last_of('/') + 1) + name;
    const std::string outputPath = program + ".output.txt";
    std::fflush(nullptr);
    pid_t child = fork();
    if (child < 0) {
        result.output = "cannot fork";
        return result;
    }
    if (child == 0) {
        int output = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output < 0)
            _exit(127);
        dup2(output, 1);
        dup2(output, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    int status = 0;
    result.finished = true;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > end) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            result.finished = false;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (result.finished)
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::ifstream in(outputPath, std::ios::binary);
    result.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return result;
}

} // namespace smoke
