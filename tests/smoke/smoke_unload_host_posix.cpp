// smoke_unload_host CONSOLE_LIBRARY: loads Console, creates its log and frees it again, then throws and
// catches an exception of its own; then loads Console again, creates its log and ends. A function
// registered at exit before the log existed runs after Console destroyed the log, and asks for it again.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

class CLog;

namespace {

CLog& (*getLog)() = nullptr;

void probe() {
    try {
        getLog();
        std::fputs("exit probe: log alive\n", stderr);
    } catch (const std::logic_error& error) {
        std::fprintf(stderr, "exit probe: caught %s\n", error.what());
    } catch (...) {
        std::fputs("exit probe: other exception\n", stderr);
    }
}

bool loadUseAndFree(const char* path) {
    void* console = dlopen(path, RTLD_NOW);
    void* address = console ? dlsym(console, "_Z9CS_GetLogv") : nullptr;
    if (!address)
        return false;
    CLog& (*get)() = nullptr;
    std::memcpy(&get, &address, sizeof get);
    get();
    dlclose(console);
    try {
        throw std::runtime_error("after the unload");
    } catch (const std::runtime_error&) {
        return true;
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    if (loadUseAndFree(argv[1]))
        std::fputs("freed, and exceptions still work\n", stderr);
    void* console = dlopen(argv[1], RTLD_NOW);
    void* address = console ? dlsym(console, "_Z9CS_GetLogv") : nullptr;
    if (!address) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 1;
    }
    std::memcpy(&getLog, &address, sizeof getLog);
    std::atexit(probe); // before the log exists: runs after its destruction
    getLog();
    std::fputs("log created\n", stderr);
    return 0;
}
