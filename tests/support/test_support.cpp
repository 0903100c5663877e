#include "test_support.h"

#include "platform.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace testing_support {

namespace {

std::string testProgramFolder() {
    return platform::parentDirectory(platform::executablePath());
}

} // namespace

std::string helperProgram(const std::string& name) {
    std::string fileName = kWindows ? name + ".exe" : name;
    return platform::joinPath(testProgramFolder(), fileName);
}

std::string libraryBesideTests(const std::string& baseName) {
    return platform::joinPath(testProgramFolder(), platform::sharedLibraryFileName(baseName));
}

namespace {

bool isSharedRuntimeLibrary(const std::string& name) {
    for (const char* prefix : {"libgcc_s_", "libstdc++-", "libwinpthread-"}) {
        if (name.rfind(prefix, 0) == 0 && name.size() > 4 && name.compare(name.size() - 4, 4, ".dll") == 0)
            return true;
    }
    return false;
}

} // namespace

std::string copyProgramWithItsRuntime(const std::string& program, const std::string& folder) {
    const std::filesystem::path source(program);
    const std::filesystem::path copy = std::filesystem::path(folder) / source.filename();
    std::filesystem::copy_file(source, copy);
    for (const auto& entry : std::filesystem::directory_iterator(source.parent_path())) {
        if (entry.is_regular_file() && isSharedRuntimeLibrary(entry.path().filename().string()))
            std::filesystem::copy_file(entry.path(), std::filesystem::path(folder) / entry.path().filename(),
                                       std::filesystem::copy_options::skip_existing);
    }
    return copy.string();
}

bool eventually(const std::function<bool()>& condition, int milliseconds, int pollMilliseconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMilliseconds));
    }
    return condition();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

TemporaryFolder::TemporaryFolder() {
    static std::atomic<unsigned> counter{0};
    std::filesystem::path base(platform::temporaryDirectory());
    for (;;) {
        std::filesystem::path candidate = base / ("pl-test-" + std::to_string(platform::currentProcessId()) +
                                                  "-" + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate.string();
            return;
        }
    }
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string TemporaryFolder::file(const std::string& name) const {
    return platform::joinPath(m_path, name);
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(std::string name,
                                                     const std::optional<std::string>& value)
    : m_name(std::move(name)), m_previous(platform::environmentVariable(m_name.c_str())) {
    platform::setEnvironmentVariable(m_name.c_str(), value ? value->c_str() : nullptr);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable() {
    platform::setEnvironmentVariable(m_name.c_str(), m_previous ? m_previous->c_str() : nullptr);
}

} // namespace testing_support
