// CTrace: configuration and the producer side (formatting on the caller's thread).
#include "ctrace.h"

#include "hex_dump.h"
#include "text_format.h"
#include "trace_time.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

CLogMsg* newLogMsg() {
    return new (std::nothrow) CLogMsg();
}

// Formats behind the prefix into room characters (plus the terminator); text beyond is cut.
void formatInto(char* text, int room, const char* format, va_list arguments) {
    if (text_format::formatBounded(text, static_cast<std::size_t>(room) + 1, format ? format : "",
                                   arguments) < 0)
        text[0] = '\0';
}

// The hex dump of a block, no more of it than a message keeps. May throw std::bad_alloc.
std::string keptHexDump(const unsigned char* data, int length) {
    std::string dump;
    TraceHexDump(dump, data, length, kDumpKeptCharacters);
    return dump;
}

} // namespace

CTrace::CTrace() : m_consoleOutput(&StandardOutput()), m_clock(&SystemClock()), m_newLogMsg(newLogMsg) {}

// ---- Configuration ---------------------------------------------------------------------------------------

void CTrace::SetFile(bool enable, const std::string& path, bool newFile) {
    if (!enable) {
        m_bFile = false; // the file stays open
        return;
    }
    // Opened before the switch goes on: the print thread never finds the switch on and the file closed.
    bool opened;
    {
        FilesHold hold(*this);
        opened = m_OutFile.Open(path.c_str(), !newFile);
    }
    m_bFile = opened;
}

void CTrace::SetLogFile(const std::string& baseName, bool newFile, int mode, int maxSize, bool folderKnown) {
    {
        platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
        m_strBaseName = baseName; // the one step that may throw: first, so that nothing else changed then
        m_nRotateMode = mode;
        m_nMaxSize = maxSize == 0 ? 1 : maxSize;
        m_bNewFile = newFile;
        m_bFolderKnown = folderKnown;
    }
    UpdatePeriod();
}

void CTrace::SetLevelOutput(bool enable, bool toFiles, bool toConsole) {
    m_bLevelTrace = enable;
    m_bLevelFile = toFiles;
    m_bLevelConsole = toConsole;
    UpdatePeriod();
}

void CTrace::UpdatePeriod() {
    RefreshPeriod();
}

PeriodStamp CTrace::RefreshPeriod() {
    const platform::LocalTime now = Now();
    platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
    m_period = PeriodStamp{now.year, now.month, now.day, now.hour};
    return m_period;
}

std::string CTrace::BaseName() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
    return m_strBaseName;
}

PeriodStamp CTrace::Period() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
    return m_period;
}

// ---- Tracing ---------------------------------------------------------------------------------------------

int CTrace::WritePrefix(char* buffer) {
    return m_bTimeStamp ? m_timePrefix.CopyPrefix(*m_clock, buffer) : 0;
}

int CTrace::Print(const char* format, va_list arguments) {
    if (!m_bFile && !m_bConsole)
        return 0;
    // Not zero-filled: only the terminated text is ever read.
    char buffer[kPlainBufferSize];
    const int prefix = WritePrefix(buffer);
    formatInto(buffer + prefix, kPlainBufferSize - 1 - prefix, format, arguments);
    const int length = prefix + static_cast<int>(std::strlen(buffer + prefix)) + 1;
    if (m_bRunning)
        m_MsgList.PutMsg(TRACE_MSG_PRINT, static_cast<unsigned>(length), buffer,
                         static_cast<unsigned>(prefix));
    else if (m_bConsole)
        WriteConsole(buffer);
    return length;
}

int CTrace::PrintText(const char* text) {
    return PrintFormatted(*this, "%s", text);
}

int PrintFormatted(CTrace& trace, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = trace.Print(format, arguments);
    va_end(arguments);
    return length;
}

int LevelPrintFormatted(CTrace& trace, std::uint8_t level, int id, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    int length = trace.LevelPrint(level, id, format, arguments);
    va_end(arguments);
    return length;
}

int CTrace::LevelPrint(std::uint8_t level, int id, const char* format, va_list arguments) {
    if (!(m_bLevelTrace || m_bRunning) || level > m_nLevel)
        return 0;
    char record[kLevelBufferSize];
    char* text = EncodeLevelRecord(record, level, id);
    const int prefix = WritePrefix(text);
    // The text and its terminator fit the record's 10,235 bytes.
    formatInto(text + prefix, kLevelBufferSize - kLevelRecordHeader - 1 - prefix, format, arguments);
    const int length = prefix + static_cast<int>(std::strlen(text + prefix)) + 1;
    m_MsgList.PutMsg(TRACE_MSG_LEVEL, static_cast<unsigned>(length + kLevelRecordHeader), record,
                     static_cast<unsigned>(prefix));
    return length;
}

// A dump without memory for its text is dropped, as a message the queue has no memory for: the length is
// returned all the same.
int CTrace::BinData(const unsigned char* data, int length) {
    if (!data || length < 1)
        return 0;
    try {
        PrintFormatted(*this, "BinData: \n%s\n", keptHexDump(data, length).c_str());
    } catch (const std::bad_alloc&) {
    }
    return length;
}

int CTrace::LevelBinData(std::uint8_t level, int id, const unsigned char* data, int length) {
    if (!(m_bLevelTrace || m_bRunning) || !data || length < 1 || level > m_nLevel)
        return 0;
    try {
        LevelPrintFormatted(*this, level, id, "BinData: \n%s\n", keptHexDump(data, length).c_str());
    } catch (const std::bad_alloc&) {
    }
    return length;
}
