// CTraceFileSet: the trace files of one CTrace's leveled trace, one open file per id (CTrace::m_mapLogs),
// how they are named, continued under a new period and replaced when they outgrow the size limit.
//
// Threads: the print thread owns it. Everything that writes asks for the print thread's key, so only the
// print thread (or the unload's drain, which stands in for it) writes, always under the trace object's
// files lock. The settings it writes by are the trace object's, read at once under its settings lock.
//
// Ownership: the trace object owns the set and the files of its map; the set keeps the names it opened.
// WriteLevelLog may throw std::bad_alloc (a name, an entry of the map): the print thread then drops the
// message and calls DropClosedFiles.
#pragma once

#include "log_msg.h"
#include "platform.h"
#include "thread_roles.h"
#include "trace_file_names.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class CTrace;

class CTraceFileSet {
public:
    // The open trace files by id.
    using Files = std::map<std::int32_t, std::unique_ptr<CLogMsg>>;

    CTraceFileSet(CTrace& trace, Files& files) : m_trace(trace), m_files(files) {}
    CTraceFileSet(const CTraceFileSet&) = delete;
    CTraceFileSet& operator=(const CTraceFileSet&) = delete;

    // Writes one leveled text (after its time prefix) to the trace file of its id: 0 written, -1 not.
    // A file is never emptied if this set wrote a file of that name already, and a size replacement whose
    // new name is the open file's own (within the second that named it) keeps writing that file.
    int WriteLevelLog(PrintThreadKey printThread, std::uint8_t level, int id, char* text);
    // After an exception in WriteLevelLog: entries left without an open file are removed, so that the next
    // message for their id starts a file as for a new id.
    void DropClosedFiles(PrintThreadKey printThread);
    // The records kept of the trace-file names opened (each of the same size).
    std::size_t NameRecordsKept() const { return m_namesOpened.Series(); }

private:
    // What WriteLevelLog reads of the settings, taken at once.
    struct FileSettings {
        int rotateMode;
        int maxSize;
        bool newFile;
        bool folderKnown;
        PeriodStamp period;
    };

    FileSettings CurrentFileSettings() const;
    // Every open file gets its closing line and continues under a name of the new period. False when one
    // could not be reopened (reported, its entry removed; the files after it are left as they are).
    bool ContinueAllUnderNewPeriod(const platform::LocalTime& now, const FileSettings& settings);
    // The open file of the id: made for a new id, replaced when it outgrew the size limit. Null when it
    // could not be had (reported).
    CLogMsg* FileForId(int id, const platform::LocalTime& now, const FileSettings& settings);
    CLogMsg* OpenFileForId(int id, const platform::LocalTime& now, const FileSettings& settings);
    // False when the file had to be replaced and could not be (reported, its entry removed).
    bool ReplaceIfOversized(Files::iterator entry, const platform::LocalTime& now,
                            const FileSettings& settings);
    // Writes the closing line into the entry's file, closes it and reopens the same object under name. False
    // when that fails: reported, the entry removed.
    bool ReopenWithClosingLine(Files::iterator entry, const TraceFileName& name,
                               const FileSettings& settings);
    bool OpenTraceFile(CLogMsg& file, const TraceFileName& name, const FileSettings& settings);
    // Emits a report of the trace files through the plain trace.
    void ReportCreateFailure(const std::string& name);

    CTrace& m_trace;
    Files& m_files;
    // The trace-file names this set opened under the current period stamp: the memory they take does not
    // grow with the files opened.
    OpenedTraceFileNames m_namesOpened;
};
