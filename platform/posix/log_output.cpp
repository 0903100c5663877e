#include "platform.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace platform {

std::size_t appendWriteThrough(const char* path, const char* prefix, std::size_t prefixSize, const char* text,
                               std::size_t textSize) {
    // Something other than a writable regular file is not even opened: opening a device may do something of
    // its own, opening a FIFO waits for a reader, and a link is not followed. Read-only counts by the
    // owner's write bit, which root's writes would pass by.
    struct stat info {};
    if (::lstat(path, &info) == 0 && (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0))
        return 0;
    // O_APPEND: each write lands at the end, whoever else appends; O_DSYNC: on the disk when write returns.
    // O_NOFOLLOW, O_NONBLOCK and the check after opening: the path may have been replaced meanwhile.
    int fd = ::open(
        path, O_WRONLY | O_CREAT | O_APPEND | O_DSYNC | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0644);
    if (fd < 0)
        return 0;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0) {
        ::close(fd);
        return 0;
    }
    iovec pieces[2] = {{const_cast<char*>(prefix), prefixSize}, {const_cast<char*>(text), textSize}};
    ssize_t written;
    do {
        written = ::writev(fd, pieces, 2);
    } while (written < 0 && errno == EINTR);
    ::close(fd);
    return written < 0 ? 0 : static_cast<std::size_t>(written);
}

void debuggerOutput(const char* text) {
    writeStandardError(text);
}

void writeStandardError(const char* text) {
    std::size_t length = std::strlen(text);
    while (length > 0) {
        ssize_t written = ::write(STDERR_FILENO, text, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<std::size_t>(written);
    }
}

void mediaErrorText(long error, char* buffer, std::size_t capacity) {
    if (capacity == 0)
        return;
    buffer[0] = '\0';
    // Only errno values have a text; strerrordesc_np answers null for any other number.
    if (error <= 0 || error > 4095)
        return;
    const char* text = ::strerrordesc_np(static_cast<int>(error));
    if (!text)
        return;
    std::strncpy(buffer, text, capacity - 1);
    buffer[capacity - 1] = '\0';
}

} // namespace platform
