#include "log_msg.h"

#include "text_format.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <new>

namespace {

// A line end takes two bytes on Windows: the line end of each line and every line feed inside its text.
const std::size_t kLineEndBytes = platform::textFilesEndLinesWithCrLf() ? 2 : 1;

const char* lineEnd() {
    return kLineEndBytes == 2 ? "\r\n" : "\n";
}

// The bytes a text takes in the file once each of its line feeds is written as a line end.
std::size_t bytesInFile(const char* text, std::size_t length) {
    if (kLineEndBytes == 1)
        return length;
    const auto lineFeeds = static_cast<std::size_t>(std::count(text, text + length, '\n'));
    return length + lineFeeds * (kLineEndBytes - 1);
}

// Copies the text with each line feed as a line end; answers the bytes written (bytesInFile).
std::size_t copyWithLineEnds(const char* text, std::size_t length, char* out) {
    if (kLineEndBytes == 1) {
        std::memcpy(out, text, length);
        return length;
    }
    char* const start = out;
    while (length > 0) {
        const auto* feed = static_cast<const char*>(std::memchr(text, '\n', length));
        const std::size_t run = feed ? static_cast<std::size_t>(feed - text) : length;
        std::memcpy(out, text, run);
        out += run;
        text += run;
        length -= run;
        if (feed) {
            std::memcpy(out, lineEnd(), kLineEndBytes);
            out += kLineEndBytes;
            ++text;
            --length;
        }
    }
    return static_cast<std::size_t>(out - start);
}

// Keeps the compiler from moving stores across: what a line puts in the buffer before the count that
// makes it part of the file. A writer stopped between two stores (killed, or faulting into a handler that
// reads the buffer) leaves them in that order.
void inOrder() {
    std::atomic_signal_fence(std::memory_order_seq_cst);
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
    if (IsOpen())
        return true;
    if (!name)
        name = "logfile.log";
    // Copied before anything is opened: a copy that fails leaves the object as it was.
    std::string kept(name);
    if (!m_file.open(name, append))
        return false;
    m_size = m_flushed = std::max<std::int64_t>(m_file.moveToEnd(), 0);
    m_strName.swap(kept);
    return true;
}

bool CLogMsg::Close() {
    if (IsOpen()) {
        Flush();
        m_file.close();
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
    if (!IsOpen() && !Open(nullptr, true))
        return;
    char prefix[kTracePrefixLength];
    m_linePrefix.CopyPrefix(now, prefix);
    WriteLine(prefix, text);
}

void CLogMsg::PrintText(const TraceClock& clock, const char* text) {
    if (!IsOpen() && !Open(nullptr, true))
        return;
    char prefix[kTracePrefixLength];
    m_linePrefix.CopyPrefix(clock, prefix);
    WriteLine(prefix, text);
}

void CLogMsg::WriteLine(const char* prefix, const char* text) {
    const std::size_t length = std::strlen(text);
    const std::size_t fileBytes = kTracePrefixLength + bytesInFile(text, length) + kLineEndBytes;
    if (fileBytes > kBufferSize - Buffered())
        Flush();
    if (fileBytes > kBufferSize) {
        WriteLongLine(prefix, text, fileBytes);
        return;
    }
    char* out = m_buffer + Buffered();
    std::memcpy(out, prefix, kTracePrefixLength);
    out += kTracePrefixLength;
    out += copyWithLineEnds(text, length, out);
    std::memcpy(out, lineEnd(), kLineEndBytes);
    inOrder();
    m_size += static_cast<std::int64_t>(fileBytes);
}

void CLogMsg::WriteLongLine(const char* prefix, const char* text, std::size_t fileBytes) {
    const std::size_t length = std::strlen(text);
    std::unique_ptr<char[]> line(new (std::nothrow) char[fileBytes]);
    if (line) {
        std::memcpy(line.get(), prefix, kTracePrefixLength);
        const std::size_t textBytes = copyWithLineEnds(text, length, line.get() + kTracePrefixLength);
        std::memcpy(line.get() + kTracePrefixLength + textBytes, lineEnd(), kLineEndBytes);
        const std::size_t written = m_file.write(line.get(), fileBytes);
        inOrder();
        m_flushed += static_cast<std::int64_t>(written);
        m_size = m_flushed;
        return;
    }
    // Without memory for the whole line it goes out in pieces, the text a buffer's worth at a time (a
    // piece takes at most twice its length).
    std::memcpy(m_buffer, prefix, kTracePrefixLength);
    m_size += kTracePrefixLength;
    WriteOut();
    for (std::size_t done = 0; done < length;) {
        const std::size_t piece = std::min(length - done, kBufferSize / 2);
        m_size += static_cast<std::int64_t>(copyWithLineEnds(text + done, piece, m_buffer));
        WriteOut();
        done += piece;
    }
    std::memcpy(m_buffer, lineEnd(), kLineEndBytes);
    m_size += static_cast<std::int64_t>(kLineEndBytes);
    WriteOut();
}

void CLogMsg::WriteOut() {
    const std::size_t written = m_file.write(m_buffer, Buffered());
    inOrder();
    // What the system did not take is dropped: the counts stay true to the file.
    m_flushed += static_cast<std::int64_t>(written);
    m_size = m_flushed;
}

void CLogMsg::Flush() {
    if (IsOpen() && Buffered() > 0)
        WriteOut();
}

void CLogMsg::TakeOverFromStoppedWriter() {
    if (!IsOpen())
        return;
    const std::int64_t inFile = m_file.moveToEnd();
    if (inFile <= m_flushed)
        return; // nothing of the buffer reached the file (or its size cannot be told)
    const auto reached =
        static_cast<std::size_t>(std::min<std::int64_t>(inFile - m_flushed, m_size - m_flushed));
    std::memmove(m_buffer, m_buffer + reached, Buffered() - reached);
    m_flushed = inFile;
    m_size = std::max(m_size, inFile); // beyond it: a long line written on its own
}

int CLogMsg::GetSize() const {
    // A file beyond what an int counts shows the largest int: still over every size limit.
    return IsOpen() ? static_cast<int>(std::min<std::int64_t>(m_size, INT_MAX)) : 0;
}
