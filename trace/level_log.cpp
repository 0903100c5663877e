// CTrace: the trace files of the leveled trace, one open file per id, and their replacement. All of it runs
// on the print thread (or on the thread that drains the queue at unload) under m_filesLock.
//
// WriteLevelLog reads as its steps: when the period changed, every file continues under a name of the new
// period; then the file of the id is found, opened for a new id, or replaced when it outgrew the size
// limit; then the line is written. Replacing a file in either case is ReopenWithClosingLine.
#include "ctrace.h"

namespace {

const char kClosingLine[] = "Log file close";

} // namespace

std::string CTrace::BaseName() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
    return m_strBaseName;
}

int CTrace::WriteLevelLog(std::uint8_t level, int id, char* text) {
    // The threshold is tested again: lowering it drops messages still queued.
    if (level > m_nLevel)
        return -1;
    FilesHold hold(*this);
    const platform::LocalTime now = Now();
    const FileSettings settings = CurrentFileSettings();
    if (PeriodChanged(settings.rotateMode, settings.period, now) && !ContinueAllUnderNewPeriod(now, settings))
        return -1;
    CLogMsg* file = FileForId(id, now, settings);
    if (!file)
        return -1;
    RemoveOneTrailingNewline(text);
    file->PrintText(*m_clock, text);
    if (!m_bBatchedFlush)
        file->Flush();
    return 0;
}

CTrace::FileSettings CTrace::CurrentFileSettings() {
    platform::ScopedLock<platform::RecursiveLock> hold(m_settingsLock);
    return FileSettings{m_nRotateMode, m_nMaxSize, m_bNewFile, m_bFolderKnown, m_period};
}

bool CTrace::ContinueAllUnderNewPeriod(const platform::LocalTime& now, const FileSettings& settings) {
    // The stamp is refreshed for each file: a change of period while no file is open leaves it as it was.
    for (auto entry = m_mapLogs.begin(); entry != m_mapLogs.end(); ++entry) {
        const TraceFileName name{false, BaseName(), entry->first, RefreshPeriod(), now.minute, now.second};
        if (!ReopenWithClosingLine(entry, name, settings))
            return false;
    }
    return true;
}

CLogMsg* CTrace::FileForId(int id, const platform::LocalTime& now, const FileSettings& settings) {
    auto entry = m_mapLogs.find(id);
    if (entry == m_mapLogs.end())
        return OpenFileForId(id, now, settings);
    if (settings.rotateMode == kRotateSize && !ReplaceIfOversized(entry, now, settings))
        return nullptr;
    return entry->second.get();
}

CLogMsg* CTrace::OpenFileForId(int id, const platform::LocalTime& now, const FileSettings& settings) {
    std::unique_ptr<CLogMsg> file(m_newLogMsg());
    if (!file) {
        PrintText("!Trace Error, malloc new Log obj fail\n");
        return nullptr;
    }
    // Named with the stamp as it stands: a new file does not refresh it.
    const TraceFileName name{false, BaseName(), id, Period(), now.minute, now.second};
    if (!OpenTraceFile(*file, name, settings)) {
        ReportCreateFailure(name.Path()); // the next message for the id tries again
        return nullptr;
    }
    return m_mapLogs.emplace(id, std::move(file)).first->second.get();
}

bool CTrace::ReplaceIfOversized(LevelLogs::iterator entry, const platform::LocalTime& now,
                                const FileSettings& settings) {
    const CLogMsg& file = *entry->second;
    const int size = file.GetSize();
    // A file of exactly the limit is kept; an empty file is never replaced, whatever the limit (a negative
    // one included).
    if (size <= settings.maxSize || size <= 0)
        return true;
    const TraceFileName name{true, BaseName(), entry->first, RefreshPeriod(), now.minute, now.second};
    // Within the second that named the open file its replacement would have its very name: the file grows
    // on instead, and is replaced in a later second.
    if (name.Path() == file.Name())
        return true;
    return ReopenWithClosingLine(entry, name, settings);
}

bool CTrace::ReopenWithClosingLine(LevelLogs::iterator entry, const TraceFileName& name,
                                   const FileSettings& settings) {
    CLogMsg& file = *entry->second;
    file.PrintText(*m_clock, kClosingLine);
    file.Close();
    if (OpenTraceFile(file, name, settings))
        return true;
    ReportCreateFailure(name.Path());
    m_mapLogs.erase(entry);
    return false;
}

// Names carry the time to the second only, so two files may get the same name: within one second (two size
// replacements, or a stop and a start), or an hour or more later under a stamp that was not refreshed. A
// name this object opened already is continued, whatever the new-file switch says: the switch empties
// files of earlier runs, never what this run wrote.
bool CTrace::OpenTraceFile(CLogMsg& file, const TraceFileName& name, const FileSettings& settings) {
    if (!settings.folderKnown)
        return false;
    m_namesOpened.KeepOnlyStamp(name.stamp);
    const bool openedBefore = m_namesOpened.Contains(name);
    if (!file.Open(name.Path().c_str(), !settings.newFile || openedBefore))
        return false;
    m_namesOpened.Add(name);
    return true;
}

void CTrace::ReportCreateFailure(const std::string& name) {
    PrintFormatted(*this, "!Trace Error, create new Log file: %s fail\n", name.c_str());
}

void CTrace::DropClosedLevelLogs() {
    FilesHold hold(*this);
    for (auto entry = m_mapLogs.begin(); entry != m_mapLogs.end();) {
        if (entry->second->IsOpen())
            ++entry;
        else
            entry = m_mapLogs.erase(entry);
    }
}
