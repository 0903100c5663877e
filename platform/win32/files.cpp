#include "platform.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Owns one file handle.
class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() {
        if (valid())
            CloseHandle(m_handle);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool isMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

ReadResult readWholeFile(const std::string& path, std::string& contents) {
    // Shared for delete as well, so that a writer can rename its new file over this one meanwhile.
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return isMissingError(GetLastError()) ? ReadResult::Missing : ReadResult::Failed;
    std::string text;
    char chunk[8192];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr))
            return ReadResult::Failed;
        if (got == 0)
            break;
        text.append(chunk, got);
    }
    contents.swap(text);
    return ReadResult::Ok;
}

bool writeFileDurably(const std::string& path, const std::string& contents) {
    FileHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return false;
    std::size_t offset = 0;
    while (offset < contents.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - offset, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file.get(), contents.data() + offset, chunk, &written, nullptr) || written == 0)
            return false;
        offset += written;
    }
    return FlushFileBuffers(file.get()) != FALSE;
}

bool replaceFile(const std::string& source, const std::string& target) {
    // A reader may hold the target for a moment without delete sharing (a person's editor): try a few times.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return false;
        Sleep(10);
    }
    return false;
}

bool deleteFile(const std::string& path) {
    return DeleteFileA(path.c_str()) != FALSE;
}

bool fileExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool createDirectories(const std::string& path) {
    if (path.empty())
        return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    std::string parent = parentDirectory(path);
    // A drive root ("C:") has no parent to create.
    if (!parent.empty() && parent != path && parent.back() != ':' && !createDirectories(parent))
        return false;
    return CreateDirectoryA(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool textFilesEndLinesWithCrLf() {
    return true;
}

InterProcessLock::InterProcessLock(const std::string& lockFilePath) {
    HANDLE file = CreateFileA(lockFilePath.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    m_native = reinterpret_cast<std::intptr_t>(file);
    OVERLAPPED whole{};
    m_held = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole) != FALSE;
}

InterProcessLock::~InterProcessLock() {
    if (m_native == -1)
        return;
    HANDLE file = reinterpret_cast<HANDLE>(m_native);
    if (m_held) {
        OVERLAPPED whole{};
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole);
    }
    CloseHandle(file);
}

} // namespace platform
