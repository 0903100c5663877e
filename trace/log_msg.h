// CLogMsg: one text file written line by line, each line behind a time stamp its owner gives (the time of
// writing, from the owner's clock).
//
// Files are opened in text mode (carriage return and line feed on Windows, line feed on Linux). Lines
// collect in the stream's buffer until Flush (or Close) hands them to the system: the owner flushes, at
// once after a line or once after a batch of them (CTrace's print thread). Not synchronised: its owner
// makes sure one thread at a time uses it (see CTrace). The object owns its open stream and closes it
// when destroyed.
#pragma once

#include "platform.h"
#include "time_prefix_cache.h"

#include <cstdint>
#include <cstdio>
#include <string>

// Turns a final "\n" of the text into its terminator, as every file line is written without one.
void RemoveOneTrailingNewline(char* text);

class CLogMsg {
public:
    CLogMsg() = default;
    virtual ~CLogMsg();
    CLogMsg(const CLogMsg&) = delete;
    CLogMsg& operator=(const CLogMsg&) = delete;

    // Opens name ("logfile.log" when null): emptied, or continued when append is true. True at once when a
    // file is open already. May throw std::bad_alloc (the name is kept), and then opens nothing.
    bool Open(const char* name, bool append);
    bool Close();
    // now as "yyyy/mm/dd hh:mm:ss - ", the formatted text and a line end; opens "logfile.log" first when
    // closed. The line stays in the stream's buffer until Flush.
    void Print(const platform::LocalTime& now, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Print(now, "%s", text), without the formatter.
    void PrintText(const platform::LocalTime& now, const char* text);
    // The same with the time the clock shows (asked only when its second moved on).
    void PrintText(const TraceClock& clock, const char* text);
    // Hands the lines written since the last flush to the system (one write when they fit the buffer).
    void Flush();
    // The file's size (writing always happens at its end); 0 when closed. Counted as lines are written,
    // line ends inside the text included, so asking costs no system call. A file larger than the largest
    // int (a file of 2 GiB or more continued) shows the largest int.
    int GetSize() const;
    bool IsOpen() const { return m_bOpen; }
    // The name the open file was opened under; empty when closed.
    const std::string& Name() const { return m_strName; }

private:
    // Writes the prefix (kTracePrefixLength characters), the text and a line end to the open stream.
    void WriteLine(const char* prefix, const char* text);

    bool m_bOpen = false;
    std::FILE* m_pFile = nullptr;
    std::int64_t m_size = 0; // a file continued may hold more than an int counts
    std::string m_strName;
    bool m_bUnflushed = false;
    TraceTimeCache m_linePrefix;
};
