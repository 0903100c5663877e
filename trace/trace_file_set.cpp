// WriteLevelLog reads as its steps: when the period changed, every file continues under a name of the new
// period; then the file of the id is found, opened for a new id, or replaced when it outgrew the size
// limit; then the line is written. Replacing a file in either case is ReopenWithClosingLine.
#include "trace_file_set.h"

#include "ctrace.h"

namespace {

const char kClosingLine[] = "Log file close";

} // namespace

int CTraceFileSet::WriteLevelLog(PrintThreadKey printThread, std::uint8_t level, int id, char* text) {
    // The threshold is tested again: lowering it drops messages still queued.
    if (level > m_trace.m_nLevel)
        return -1;
    CTrace::FilesHold hold(m_trace);
    const platform::LocalTime now = m_trace.Now();
    const FileSettings settings = CurrentFileSettings();
    if (PeriodChanged(settings.rotateMode, settings.period, now) && !ContinueAllUnderNewPeriod(now, settings))
        return -1;
    CLogMsg* file = FileForId(id, now, settings);
    if (!file)
        return -1;
    RemoveOneTrailingNewline(text);
    m_trace.NoteLineUnderWay(*file);
    file->PrintText(*m_trace.m_clock, text);
    m_trace.m_messageStage.store(CTrace::MessageStage::Written, std::memory_order_relaxed);
    if (!m_trace.m_bBatchedFlush.Get(printThread))
        file->Flush();
    return 0;
}

void CTraceFileSet::DropClosedFiles(PrintThreadKey) {
    CTrace::FilesHold hold(m_trace);
    for (auto entry = m_files.begin(); entry != m_files.end();) {
        if (entry->second->IsOpen())
            ++entry;
        else
            entry = m_files.erase(entry);
    }
}

CTraceFileSet::FileSettings CTraceFileSet::CurrentFileSettings() const {
    platform::ScopedLock<platform::RecursiveLock> hold(m_trace.m_settingsLock);
    return FileSettings{m_trace.m_nRotateMode, m_trace.m_nMaxSize, m_trace.m_bNewFile, m_trace.m_bFolderKnown,
                        m_trace.m_period};
}

bool CTraceFileSet::ContinueAllUnderNewPeriod(const platform::LocalTime& now, const FileSettings& settings) {
    // The stamp is refreshed for each file: a change of period while no file is open leaves it as it was.
    for (auto entry = m_files.begin(); entry != m_files.end(); ++entry) {
        const TraceFileName name{false,      m_trace.BaseName(), entry->first, m_trace.RefreshPeriod(),
                                 now.minute, now.second};
        if (!ReopenWithClosingLine(entry, name, settings))
            return false;
    }
    return true;
}

CLogMsg* CTraceFileSet::FileForId(int id, const platform::LocalTime& now, const FileSettings& settings) {
    auto entry = m_files.find(id);
    if (entry == m_files.end())
        return OpenFileForId(id, now, settings);
    if (settings.rotateMode == kRotateSize && !ReplaceIfOversized(entry, now, settings))
        return nullptr;
    return entry->second.get();
}

CLogMsg* CTraceFileSet::OpenFileForId(int id, const platform::LocalTime& now, const FileSettings& settings) {
    std::unique_ptr<CLogMsg> file(m_trace.m_newLogMsg());
    if (!file) {
        m_trace.PrintText("!Trace Error, malloc new Log obj fail\n");
        return nullptr;
    }
    // Named with the stamp as it stands: a new file does not refresh it.
    const TraceFileName name{false, m_trace.BaseName(), id, m_trace.Period(), now.minute, now.second};
    if (!OpenTraceFile(*file, name, settings)) {
        ReportCreateFailure(name.Path()); // the next message for the id tries again
        return nullptr;
    }
    return m_files.emplace(id, std::move(file)).first->second.get();
}

bool CTraceFileSet::ReplaceIfOversized(Files::iterator entry, const platform::LocalTime& now,
                                       const FileSettings& settings) {
    const CLogMsg& file = *entry->second;
    const int size = file.GetSize();
    // A file of exactly the limit is kept; an empty file is never replaced, whatever the limit (a negative
    // one included).
    if (size <= settings.maxSize || size <= 0)
        return true;
    const TraceFileName name{true,       m_trace.BaseName(), entry->first, m_trace.RefreshPeriod(),
                             now.minute, now.second};
    // Within the second that named the open file its replacement would have its very name: the file grows
    // on instead, and is replaced in a later second.
    if (name.Path() == file.Name())
        return true;
    return ReopenWithClosingLine(entry, name, settings);
}

bool CTraceFileSet::ReopenWithClosingLine(Files::iterator entry, const TraceFileName& name,
                                          const FileSettings& settings) {
    CLogMsg& file = *entry->second;
    file.PrintText(*m_trace.m_clock, kClosingLine);
    file.Close();
    if (OpenTraceFile(file, name, settings))
        return true;
    ReportCreateFailure(name.Path());
    m_files.erase(entry);
    return false;
}

// Names carry the time to the second only, so two files may get the same name: within one second (two size
// replacements, or a stop and a start), or an hour or more later under a stamp that was not refreshed. A
// name this set opened already is continued, whatever the new-file switch says: the switch empties files
// of earlier runs, never what this run wrote.
bool CTraceFileSet::OpenTraceFile(CLogMsg& file, const TraceFileName& name, const FileSettings& settings) {
    if (!settings.folderKnown)
        return false;
    m_namesOpened.KeepOnlyStamp(name.stamp);
    const bool openedBefore = m_namesOpened.Contains(name);
    if (!file.Open(name.Path().c_str(), !settings.newFile || openedBefore))
        return false;
    m_namesOpened.Add(name);
    return true;
}

void CTraceFileSet::ReportCreateFailure(const std::string& name) {
    PrintFormatted(m_trace, "!Trace Error, create new Log file: %s fail\n", name.c_str());
}
