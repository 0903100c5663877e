#include "log_msg.h"

#include "trace_time.h"

#include <cstdarg>

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
    std::vfprintf(m_pFile, format, arguments);
    va_end(arguments);
    std::fputc('\n', m_pFile);
    std::fflush(m_pFile);
}

int CLogMsg::GetSize() const {
    return m_bOpen ? static_cast<int>(std::ftell(m_pFile)) : 0;
}
