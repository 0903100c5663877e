// CTrace: the trace files of the leveled trace, their names and their replacement.
#include "ctrace.h"

#include <cstring>

namespace {

bool samePeriod(const PeriodStamp& a, const PeriodStamp& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour;
}

} // namespace

std::string CTrace::BaseName() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
    return m_strBaseName;
}

void CTrace::ReportCreateFailure(const std::string& name) {
    PrintFormatted(*this, "!Trace Error, create new Log file: %s fail\n", name.c_str());
}

// Names carry the time to the second only, so two files may get the same name within one second (two size
// replacements, or a stop and a start). A name this object opened already is continued, whatever the
// new-file switch says: the switch empties files of earlier runs, never what this run wrote.
bool CTrace::OpenTraceFile(CLogMsg& file, const std::string& name, const PeriodStamp& stamp,
                           const FileSettings& settings) {
    if (!settings.folderKnown)
        return false;
    if (!samePeriod(stamp, m_namesPeriod)) {
        m_namesOpened.clear();
        m_namesPeriod = stamp;
    }
    const bool openedBefore = m_namesOpened.count(name) != 0;
    if (!file.Open(name.c_str(), !settings.newFile || openedBefore))
        return false;
    m_namesOpened.insert(name);
    return true;
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
        settings = FileSettings{m_nRotateMode, m_nMaxSize, m_bNewFile, m_bFolderKnown};
        period = m_period;
    }

    if (PeriodChanged(settings.rotateMode, period, now)) {
        // Every open file gets its closing line and continues under a name of the new period.
        for (auto entry = m_mapLogs.begin(); entry != m_mapLogs.end(); ++entry) {
            CLogMsg& file = *entry->second;
            UpdatePeriod();
            const PeriodStamp stamp = Period();
            std::string name = TraceFileNameA(BaseName(), entry->first, stamp, now.minute, now.second);
            file.PrintText("Log file close");
            file.Close();
            if (!OpenTraceFile(file, name, stamp, settings)) {
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
        const PeriodStamp stamp = Period();
        std::string name = TraceFileNameA(BaseName(), id, stamp, now.minute, now.second);
        if (!OpenTraceFile(*file, name, stamp, settings)) {
            ReportCreateFailure(name);
            return -1;
        }
        entry = m_mapLogs.emplace(id, std::move(file)).first;
    } else if (settings.rotateMode == kRotateSize) {
        CLogMsg& file = *entry->second;
        const int size = file.GetSize();
        // An empty file is never replaced, whatever the limit (a negative one included).
        if (size > settings.maxSize && size > 0) {
            UpdatePeriod();
            const PeriodStamp stamp = Period();
            std::string name = TraceFileNameB(BaseName(), id, stamp, now.minute, now.second);
            // Within the second that named the open file its replacement would have its very name: the file
            // grows on instead, and is replaced in a later second.
            if (name != file.Name()) {
                file.PrintText("Log file close");
                file.Close();
                if (!OpenTraceFile(file, name, stamp, settings)) {
                    ReportCreateFailure(name);
                    m_mapLogs.erase(entry);
                    return -1;
                }
            }
        }
    }

    RemoveOneTrailingNewline(text);
    entry->second->PrintText(text);
    return 0;
}
