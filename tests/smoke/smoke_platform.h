// What the smoke host needs from the operating system, one implementation per platform. The smoke host is
// built like any host (public headers and the installed libraries only), so it has its own small OS layer.
#pragma once

#include <string>
#include <vector>

namespace smoke {

// Sets an environment variable of this process (inherited by the processes it starts).
void setEnvironmentVariable(const char* name, const char* value);
// The full path of the running executable.
std::string executablePath();

// Whether a callback that faults (writes through a null pointer) is caught and dropped by Console: on
// Windows (structured exceptions), not on Linux.
bool faultingCallbacksAreCaught();

// Opens the console window with DisplayLog, checks that its view shows the text, closes it as its close
// box does and waits until it is gone. False with the reason in detail when a step fails or takes longer
// than its time limit; true with "not on this platform" in detail where Console has no window.
bool consoleWindowRoundTrip(const std::string& text, std::string& detail);

// The full path of the Console library this process uses.
std::string consoleLibraryPath();

// The version resource of a library this process loaded (base name: "Trace"), as a file's properties show
// it: the fixed file and product versions as "a.b.c.d" and the strings FileVersion, ProductVersion,
// OriginalFilename and LegalCopyright. False with the reason in detail when it cannot be read; true with "not
// on this platform" in detail where libraries carry none.
struct VersionResource {
    std::string fixedFileVersion;
    std::string fixedProductVersion;
    std::string fileVersion;
    std::string productVersion;
    std::string originalFilename;
    std::string legalCopyright;
};
bool libraryVersionResource(const std::string& baseName, VersionResource& resource, std::string& detail);

struct ChildResult {
    bool finished = false; // false: still running at the time limit, then killed
    int exitCode = -1;
    std::string output; // standard output and standard error, interleaved
};
// Runs a program of this executable's folder (name without ".exe") with the arguments and waits at most
// timeoutSeconds for it.
ChildResult runProgramBeside(const std::string& name, const std::vector<std::string>& arguments,
                             int timeoutSeconds);

} // namespace smoke
