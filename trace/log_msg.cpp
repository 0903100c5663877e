#include "log_msg.h"

#include "trace_time.h"

#include <cstdarg>
#include <cstring>

namespace {

// A text-mode line end takes two bytes on Windows.
const long kLineEndBytes = platform::pathSeparator() == '\\' ? 2 : 1;

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
    std::FILE* file = append ? std::fopen(name, "r+") : nullptr;
    if (!file)
        file = std::fopen(name, "w");
    if (!file)
        return false;
    std::fseek(file, 0, SEEK_END);
    m_size = std::ftell(file);
    m_pFile = file;
    m_bOpen = true;
    return true;
}

bool CLogMsg::Close() {
    if (m_bOpen) {
        std::fclose(m_pFile);
        m_pFile = nullptr;
        m_bOpen = false;
    }
    return true;
}

void CLogMsg::Print(const char* format, ...) {
    if (!m_bOpen && !Open(nullptr, true))
        return;
    TraceTimeText prefix = FormatTraceTime(CurrentTraceTime(), true);
    std::fputs(prefix.text, m_pFile);
    va_list arguments;
    va_start(arguments, format);
    int length = std::vfprintf(m_pFile, format, arguments);
    va_end(arguments);
    EndLine(prefix.length + (length > 0 ? length : 0));
}

void CLogMsg::PrintText(const char* text) {
    if (!m_bOpen && !Open(nullptr, true))
        return;
    TraceTimeText prefix = FormatTraceTime(CurrentTraceTime(), true);
    std::fputs(prefix.text, m_pFile);
    std::fputs(text, m_pFile);
    EndLine(prefix.length + static_cast<int>(std::strlen(text)));
}

void CLogMsg::EndLine(int bytesBefore) {
    std::fputc('\n', m_pFile);
    std::fflush(m_pFile);
    m_size += bytesBefore + kLineEndBytes;
}

int CLogMsg::GetSize() const {
    return m_bOpen ? static_cast<int>(m_size) : 0;
}
