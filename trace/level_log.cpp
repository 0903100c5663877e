// CTrace: the trace files of the leveled trace, their names and their replacement.
#include "ctrace.h"

#include <cstring>

namespace {

struct FileSettings {
    int rotateMode;
    int maxSize;
    bool newFile;
};

} // namespace

std::string CTrace::BaseName() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
    return m_strBaseName;
}

void CTrace::ReportCreateFailure(const std::string& name) {
    PrintFormatted(*this, "!Trace Error, create new Log file: %s fail\n", name.c_str());
}

int CTrace::WriteLevelLog(std::uint8_t level, int id, char* text) {
    // The threshold is tested again: lowering it drops messages still queued.
    if (level > m_nLevel)
        return -1;
    const platform::LocalTime now = m_clock();
    FileSettings settings;
    PeriodStamp period;
    {
        platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
        settings = FileSettings{m_nRotateMode, m_nMaxSize, m_bNewFile};
        period = m_period;
    }

    if (PeriodChanged(settings.rotateMode, period, now)) {
        // Every open file gets its closing line and continues under a name of the new period.
        for (auto entry = m_mapLogs.begin(); entry != m_mapLogs.end(); ++entry) {
            CLogMsg& file = *entry->second;
            file.PrintText("Log file close");
            file.Close();
            UpdatePeriod();
            std::string name = TraceFileNameA(BaseName(), entry->first, Period(), now.minute, now.second);
            if (!file.Open(name.c_str(), !settings.newFile)) {
                ReportCreateFailure(name);
                m_mapLogs.erase(entry);
                return -1;
            }
        }
    }

    auto entry = m_mapLogs.find(id);
    if (entry == m_mapLogs.end()) {
        std::unique_ptr<CLogMsg> file(m_newLogMsg());
        if (!file) {
            PrintText("!Trace Error, malloc new Log obj fail\n");
            return -1;
        }
        std::string name = TraceFileNameA(BaseName(), id, Period(), now.minute, now.second);
        if (!file->Open(name.c_str(), !settings.newFile)) {
            ReportCreateFailure(name);
            return -1;
        }
        entry = m_mapLogs.emplace(id, std::move(file)).first;
    } else if (settings.rotateMode == kRotateSize && entry->second->GetSize() > settings.maxSize) {
        CLogMsg& file = *entry->second;
        file.PrintText("Log file close");
        file.Close();
        UpdatePeriod();
        std::string name = TraceFileNameB(BaseName(), id, Period(), now.minute, now.second);
        if (!file.Open(name.c_str(), !settings.newFile)) {
            ReportCreateFailure(name);
            m_mapLogs.erase(entry);
            return -1;
        }
    }

    RemoveOneTrailingNewline(text);
    entry->second->PrintText(text);
    return 0;
}
