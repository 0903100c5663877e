#include "platform.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Writes all bytes, riding out short writes and interrupted calls.
bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

ReadResult readWholeFile(const std::string& path, std::string& contents) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    std::string text;
    char chunk[8192];
    ReadResult result = ReadResult::Ok;
    for (;;) {
        ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result = ReadResult::Failed;
            break;
        }
        if (got == 0)
            break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (result == ReadResult::Ok)
        contents.swap(text);
    return result;
}

bool writeFileDurably(const std::string& path, const std::string& contents) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, contents.data(), contents.size()) && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

bool replaceFile(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0;
}

bool deleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

bool createDirectories(const std::string& path) {
    if (path.empty())
        return false;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    std::string parent = parentDirectory(path);
    if (!parent.empty() && parent != path && !createDirectories(parent))
        return false;
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

bool textFilesEndLinesWithCrLf() {
    return false;
}

InterProcessLock::InterProcessLock(const std::string& lockFilePath) {
    int fd = ::open(lockFilePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    m_native = fd;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    m_held = rc == 0;
}

InterProcessLock::~InterProcessLock() {
    if (m_native >= 0)
        ::close(static_cast<int>(m_native)); // closing releases the lock
}

} // namespace platform
