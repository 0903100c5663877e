// Small helpers shared by the test programs: which platform they run on, where the helper hosts are, a
// private temporary folder per test, and a variable of this process's environment set for the length of
// a scope.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace testing_support {

// Whether the tests run on Windows (natively or under Wine): what they expect differs where the platforms
// differ. The one place the tests learn it.
#if defined(_WIN32)
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// The path of a helper program built beside the running test program ("name.exe" on Windows).
std::string helperProgram(const std::string& name);
// The path of a shared library built beside the running test program.
std::string libraryBesideTests(const std::string& baseName);
std::string readFile(const std::string& path);
// Copies a program into folder together with the shared runtime DLLs that lie beside it (a Windows build
// with the shared GCC runtime: libgcc_s_*.dll, libstdc++-*.dll, libwinpthread-*.dll), as a host ships its
// runtime beside its executable: without them the copy does not start. Returns the copy's path.
std::string copyProgramWithItsRuntime(const std::string& program, const std::string& folder);
// How long a helper host may take to answer (a window to open, a command to finish, the process to end)
// before a test calls it hung: generous, since an emulated 32-bit run on a busy machine is many times
// slower than a native one. A host that answers ends the wait at once.
inline constexpr int kHostBound = 120000;

// Polls the condition until it holds or the time is up; its last answer.
bool eventually(const std::function<bool()>& condition, int milliseconds = 10000, int pollMilliseconds = 20);
void writeFile(const std::string& path, const std::string& contents);

// A fresh, empty folder under the system's temporary folder, removed with everything in it at the end.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const;

private:
    std::string m_path;
};

// Sets (or with nothing, removes) a variable of this process and restores the old value at the end.
class ScopedEnvironmentVariable {
public:
    ScopedEnvironmentVariable(std::string name, const std::optional<std::string>& value);
    ~ScopedEnvironmentVariable();
    ScopedEnvironmentVariable(const ScopedEnvironmentVariable&) = delete;
    ScopedEnvironmentVariable& operator=(const ScopedEnvironmentVariable&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

} // namespace testing_support
