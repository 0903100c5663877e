#include "platform.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Writes the bytes, riding out short writes and interrupted calls; answers how many were written (fewer
// only on an error).
std::size_t writeAll(int fd, const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t written = ::write(fd, data + done, size - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            break;
        done += static_cast<std::size_t>(written);
    }
    return done;
}

} // namespace

ReadResult readWholeFile(const std::string& path, std::string& contents, std::size_t maxSize) {
    // Non-blocking, so that a FIFO without a writer is not waited for; only a regular file is then read.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) ||
        static_cast<std::uintmax_t>(info.st_size) > maxSize) {
        ::close(fd);
        return ReadResult::Failed;
    }
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
        // The file may grow while it is read.
        if (static_cast<std::size_t>(got) > maxSize - text.size()) {
            result = ReadResult::Failed;
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (result == ReadResult::Ok)
        contents.swap(text);
    return result;
}

bool createFileDurably(const std::string& path, const std::string& contents) {
    // unlink removes a link itself and a FIFO without opening it; a folder stays, and so does the error.
    ::unlink(path.c_str());
    // O_EXCL: only a file this call creates is opened (with O_CREAT it follows no link either).
    int fd = ::open(path.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, contents.data(), contents.size()) == contents.size() && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok)
        ::unlink(path.c_str());
    return ok;
}

bool replaceFile(const std::string& source, const std::string& target) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) == 0) {
        // Read-only counts by the owner's write bit, so that it holds for root too.
        if (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0 || ::access(target.c_str(), W_OK) != 0)
            return false;
        // The owner first (a change of owner may clear mode bits), where the process may give it: root
        // rewriting a user's file leaves it the user's.
        if ((info.st_uid != ::geteuid() || info.st_gid != ::getegid()) &&
            ::chown(source.c_str(), info.st_uid, info.st_gid) != 0) {
            // Not permitted: the new file stays this process's, as any file it creates.
        }
        if (::chmod(source.c_str(), info.st_mode & 07777) != 0)
            return false;
    } else if (errno != ENOENT) {
        return false;
    }
    return std::rename(source.c_str(), target.c_str()) == 0;
}

bool AppendingFile::open(const char* path, bool keep) {
    close();
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | (keep ? 0 : O_TRUNC), 0666);
    if (fd < 0)
        return false;
    m_native = fd;
    return true;
}

void AppendingFile::close() {
    if (m_native != -1)
        ::close(static_cast<int>(m_native));
    m_native = -1;
}

std::size_t AppendingFile::write(const char* data, std::size_t size) {
    return writeAll(static_cast<int>(m_native), data, size);
}

std::int64_t AppendingFile::moveToEnd() {
    if (m_native == -1)
        return -1;
    return static_cast<std::int64_t>(::lseek(static_cast<int>(m_native), 0, SEEK_END));
}

bool deleteFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

PathKind pathKind(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Other;
    if (!S_ISREG(info.st_mode))
        return PathKind::Other;
    return (info.st_mode & S_IWUSR) == 0 ? PathKind::ReadOnlyFile : PathKind::File;
}

bool deleteRegularFile(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::unlink(path.c_str()) == 0;
}

std::string resolveFileLinks(const std::string& path) {
    std::string current = path;
    // As many links as the system itself follows in one path.
    for (int link = 0; link < 40; ++link) {
        char target[PATH_MAX];
        ssize_t length = ::readlink(current.c_str(), target, sizeof target);
        if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target)
            return current;
        std::string next(target, static_cast<std::size_t>(length));
        current = next.front() == '/' ? next : joinPath(parentDirectory(current), next);
    }
    return current;
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
    int fd =
        ::open(lockFilePath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644);
    if (fd < 0)
        return;
    m_native = fd;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return;
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
