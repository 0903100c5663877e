#include "non_regular_files.h"

#include "child_process.h"

namespace testing_support {

const std::vector<NonRegularFile>& nonRegularFiles() {
    static const std::vector<NonRegularFile> files = {
        {"FIFO",
         false,
         {"/usr/bin/mkfifo", ""},
         [](const std::filesystem::path& p) { return std::filesystem::is_fifo(p); }},
        // Like /dev/null (character device 1, 3), made in the test's folder.
        {"device",
         true,
         {"/usr/bin/mknod", "-m", "666", "", "c", "1", "3"},
         [](const std::filesystem::path& p) { return std::filesystem::is_character_file(p); }},
    };
    return files;
}

bool makeNonRegularFile(const NonRegularFile& file, const std::string& path) {
    std::vector<std::string> arguments(file.make.begin() + 1, file.make.end());
    for (std::string& argument : arguments) {
        if (argument.empty())
            argument = path;
    }
    return platform::runProcess(file.make[0], arguments).exitCode == 0;
}

} // namespace testing_support
