#include "log_msg.h"

#include "text_format.h"

#include <algorithm>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

namespace {

// A text-mode line end takes two bytes on Windows: the line end of each line and every line feed inside
// its text.
const long kLineEndBytes = platform::textFilesEndLinesWithCrLf() ? 2 : 1;

constexpr std::size_t kShortLine = 512;

// The stream's buffer: a batch of lines reaches the system in a few writes, not one per line.
constexpr std::size_t kStreamBufferSize = 32 * 1024;

// The bytes a text takes in the file once each of its line feeds is written as a line end.
long bytesInFile(const char* text, std::size_t length) {
    if (kLineEndBytes == 1)
        return static_cast<long>(length);
    const auto lineFeeds = std::count(text, text + length, '\n');
    return static_cast<long>(length) + static_cast<long>(lineFeeds) * (kLineEndBytes - 1);
}

} // namespace

void RemoveOneTrailingNewline(char* text) {
    std::size_t length = std::strlen(text);
    if (length > 0 && text[length - 1] == '\n')
        text[length - 1] = '\0';
}

CLogMsg::~CLogMsg() {
    Close();
}

bool CLogMsg::Open(const char* name, bool append) {
    if (m_bOpen)
        return true;
    if (!name)
        name = "logfile.log";
    // Copied before anything is opened: a copy that fails leaves the object as it was.
    std::string kept(name);
    std::FILE* file = append ? std::fopen(name, "r+") : nullptr;
    if (!file)
        file = std::fopen(name, "w");
    if (!file)
        return false;
    std::setvbuf(file, nullptr, _IOFBF, kStreamBufferSize); // without it, the default buffer serves
    m_size = std::max<std::int64_t>(platform::seekToStreamEnd(file), 0);
    m_pFile = file;
    m_bOpen = true;
    m_strName.swap(kept);
    return true;
}

bool CLogMsg::Close() {
    if (m_bOpen) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
        m_bOpen = false;
        m_bUnflushed = false;
        m_strName.clear();
    }
    return true;
}

void CLogMsg::Print(const platform::LocalTime& now, const char* format, ...) {
    // Formatted first, so that the line feeds of the text are counted as the file gets them.
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = text_format::formatBounded(nullptr, 0, format, arguments);
    va_end(arguments);
    std::unique_ptr<char[]> text(length >= 0 ? new (std::nothrow) char[static_cast<std::size_t>(length) + 1]
                                             : nullptr);
    if (text)
        text_format::formatBounded(text.get(), static_cast<std::size_t>(length) + 1, format, again);
    va_end(again);
    if (text)
        PrintText(now, text.get()); // without memory for the text, the line is dropped
}

void CLogMsg::PrintText(const platform::LocalTime& now, const char* text) {
    if (!m_bOpen && !Open(nullptr, true))
        return;
    char prefix[kTracePrefixLength];
    m_linePrefix.CopyPrefix(now, prefix);
    WriteLine(prefix, text);
}

void CLogMsg::PrintText(const TraceClock& clock, const char* text) {
    if (!m_bOpen && !Open(nullptr, true))
        return;
    char prefix[kTracePrefixLength];
    m_linePrefix.CopyPrefix(clock, prefix);
    WriteLine(prefix, text);
}

void CLogMsg::WriteLine(const char* prefix, const char* text) {
    // A line of the usual length goes to the stream in one piece, a longer one in three.
    char line[kShortLine];
    std::memcpy(line, prefix, kTracePrefixLength);
    const std::size_t length = std::strlen(text);
    if (length < sizeof line - kTracePrefixLength) {
        std::memcpy(line + kTracePrefixLength, text, length);
        line[kTracePrefixLength + length] = '\n';
        std::fwrite(line, 1, kTracePrefixLength + length + 1, m_pFile);
    } else {
        std::fwrite(line, 1, kTracePrefixLength, m_pFile);
        std::fwrite(text, 1, length, m_pFile);
        std::fputc('\n', m_pFile);
    }
    m_bUnflushed = true;
    m_size += kTracePrefixLength + bytesInFile(text, length) + kLineEndBytes;
}

void CLogMsg::Flush() {
    if (m_bOpen && m_bUnflushed) {
        std::fflush(m_pFile);
        m_bUnflushed = false;
    }
}

int CLogMsg::GetSize() const {
    // A file beyond what an int counts shows the largest int: still over every size limit.
    return m_bOpen ? static_cast<int>(std::min<std::int64_t>(m_size, INT_MAX)) : 0;
}
