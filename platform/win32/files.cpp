#include "platform.h"
#include "win32/handles_win32.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace platform {

namespace {

using win32::FileHandle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool isMissingError(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

} // namespace

ReadResult readWholeFile(const std::string& path, std::string& contents, std::size_t maxSize) {
    // Shared for delete as well, so that a writer can rename its new file over this one meanwhile.
    FileHandle file(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return isMissingError(GetLastError()) ? ReadResult::Missing : ReadResult::Failed;
    // Only a file on a disk: a device, a pipe or the console would be read from until it ends, if ever.
    LARGE_INTEGER size{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
        static_cast<unsigned long long>(size.QuadPart) > maxSize)
        return ReadResult::Failed;
    std::string text;
    char chunk[8192];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr))
            return ReadResult::Failed;
        if (got == 0)
            break;
        // The file may grow while it is read.
        if (got > maxSize - text.size())
            return ReadResult::Failed;
        text.append(chunk, got);
    }
    contents.swap(text);
    return ReadResult::Ok;
}

namespace {

bool writeWhole(HANDLE file, const std::string& contents) {
    std::size_t offset = 0;
    while (offset < contents.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size() - offset, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, contents.data() + offset, chunk, &written, nullptr) || written == 0)
            return false;
        offset += written;
    }
    return FlushFileBuffers(file) != FALSE;
}

} // namespace

bool createFileDurably(const std::string& path, const std::string& contents) {
    // DeleteFileA removes a link itself; a folder stays, and CREATE_NEW then fails.
    DeleteFileA(path.c_str());
    FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid())
        return false;
    const bool ok = writeWhole(file.get(), contents);
    file.reset();
    if (!ok)
        DeleteFileA(path.c_str());
    return ok;
}

namespace {

constexpr DWORD kNotAPlainFile =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;

// What the path names, without following a link: whether it exists, and, when it is a file on a disk, its
// attributes (otherwise kNotAPlainFile).
struct PathFacts {
    bool exists = false;
    DWORD attributes = 0;
};

PathFacts kindOf(const std::string& path) {
    PathFacts kind;
    FileHandle file(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) {
        DWORD error = GetLastError();
        kind.exists = !isMissingError(error);
        kind.attributes = kNotAPlainFile;
        return kind;
    }
    kind.exists = true;
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileInformationByHandle(file.get(), &information))
        kind.attributes = kNotAPlainFile;
    else
        kind.attributes = information.dwFileAttributes;
    return kind;
}

} // namespace

bool replaceFile(const std::string& source, const std::string& target) {
    PathFacts kind = kindOf(target);
    if (kind.exists && (kind.attributes & (kNotAPlainFile | FILE_ATTRIBUTE_READONLY)) != 0)
        return false;
    // A reader may hold the target for a moment without delete sharing (a person's editor): try a few times.
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (MoveFileExA(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            // The attributes a person gave the file (hidden, system, not indexed) stay.
            constexpr DWORD kKept =
                FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
            if (kind.exists && (kind.attributes & kKept) != 0)
                SetFileAttributesA(target.c_str(), kind.attributes & (kKept | FILE_ATTRIBUTE_ARCHIVE));
            return true;
        }
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

namespace {

// The name in UTF-16, from the ANSI code page, as the C run-time opens its files: the ANSI calls refuse
// a path of MAX_PATH characters or more.
std::wstring wideName(const char* path) {
    const int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, path, -1, wide.data(), length);
    wide.resize(static_cast<std::size_t>(length) - 1);
    return wide;
}

} // namespace

bool AppendingFile::open(const char* path, bool keep) {
    close();
    const std::wstring name = wideName(path);
    if (name.empty())
        return false;
    // Shared for reading and writing, as the C run-time shares the files it opens.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    // Writing access, not appending alone: Wine hands the handle of an appending-only file to its Unix side
    // through its server at every write, and a thread killed at process exit in the middle of that leaves
    // the next write a reply meant for it.
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, kShare, nullptr,
                              keep ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    if (!SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_END)) {
        CloseHandle(file);
        return false;
    }
    m_native = reinterpret_cast<std::intptr_t>(file);
    return true;
}

void AppendingFile::close() {
    if (m_native != -1)
        CloseHandle(reinterpret_cast<HANDLE>(m_native));
    m_native = -1;
}

std::size_t AppendingFile::write(const char* data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 0x40000000));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(m_native), data + done, chunk, &written, nullptr) ||
            written == 0)
            break;
        done += written;
    }
    return done;
}

std::int64_t AppendingFile::moveToEnd() {
    LARGE_INTEGER end{};
    if (m_native == -1 ||
        !SetFilePointerEx(reinterpret_cast<HANDLE>(m_native), LARGE_INTEGER{}, &end, FILE_END))
        return -1;
    return end.QuadPart;
}

PathKind pathKind(const std::string& path) {
    const PathFacts kind = kindOf(path);
    if (!kind.exists)
        return PathKind::Missing;
    if ((kind.attributes & kNotAPlainFile) != 0)
        return PathKind::Other;
    return (kind.attributes & FILE_ATTRIBUTE_READONLY) != 0 ? PathKind::ReadOnlyFile : PathKind::File;
}

bool deleteRegularFile(const std::string& path) {
    PathFacts kind = kindOf(path);
    return kind.exists && (kind.attributes & kNotAPlainFile) == 0 && DeleteFileA(path.c_str()) != FALSE;
}

std::string resolveFileLinks(const std::string& path) {
    // Links are rare here and replaceFile refuses them: the path stands for itself.
    return path;
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
