// The files that are no regular file, which the libraries must neither wait on nor replace where they
// expect a regular one (a settings store, a log file): a FIFO, which an open for reading or writing waits
// on for ever, and a character device like /dev/null. POSIX only: Windows has neither in its folders.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

struct NonRegularFile {
    const char* name;
    // Only root may make it (a device node); anyone else gets no case to test.
    bool rootOnly;
    // The program that makes it and its arguments; "" stands for the file's path.
    std::vector<std::string> make;
    bool (*isStillThere)(const std::filesystem::path& path);
};

const std::vector<NonRegularFile>& nonRegularFiles();

// Makes the file at path; whether it was made.
bool makeNonRegularFile(const NonRegularFile& file, const std::string& path);

} // namespace testing_support
