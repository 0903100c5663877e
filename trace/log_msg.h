// CLogMsg: one text file written line by line, each line behind a time stamp its owner gives (the time of
// writing, from the owner's clock).
//
// Lines end as text files end them on the system (carriage return and line feed on Windows, line feed on
// Linux). They collect in the object's buffer until Flush (or Close) hands them to the system: the owner
// flushes, at once after a line or once after a batch of them (CTrace's print thread). A line enters the
// buffer whole or not at all, and the system gets whole lines. Not synchronised: its owner makes sure one
// thread at a time uses it (see CTrace). The object owns its open file and closes it when destroyed.
//
// A writer may be killed or crash anywhere in a call (Windows process exit, a fault): the thread that
// stands in for it calls TakeOverFromStoppedWriter first, which finds from the file's size how much of
// the buffer had reached the file, so that nothing is written twice. A LineUnderWay, taken before a line
// is written, then tells whether the line got in.
#pragma once

#include "platform.h"
#include "time_prefix_cache.h"

#include <cstdint>
#include <string>

// Turns a final "\n" of the text into its terminator, as every file line is written without one.
void RemoveOneTrailingNewline(char* text);

class CLogMsg;

// A file a line is about to be written to, and its size before; null file: no line.
struct LineUnderWay {
    const CLogMsg* file = nullptr;
    std::int64_t sizeBefore = 0;
};

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
    // closed. The line stays in the buffer until Flush.
    void Print(const platform::LocalTime& now, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Print(now, "%s", text), without the formatter.
    void PrintText(const platform::LocalTime& now, const char* text);
    // The same with the time the clock shows (asked only when its second moved on).
    void PrintText(const TraceClock& clock, const char* text);
    // Hands the lines written since the last flush to the system (one write when they fit the buffer).
    void Flush();
    // For the thread standing in for a writer that stopped inside a call: what of the buffer the file
    // holds already is taken out of it.
    void TakeOverFromStoppedWriter();
    // The file's size (writing always happens at its end); 0 when closed. Counted as lines are written,
    // line ends inside the text included, so asking costs no system call. A file larger than the largest
    // int (a file of 2 GiB or more continued) shows the largest int.
    int GetSize() const;
    bool IsOpen() const { return m_file.isOpen(); }
    // The name the open file was opened under; empty when closed.
    const std::string& Name() const { return m_strName; }
    // The note to take before a line is written.
    LineUnderWay NoteOfNextLine() const { return {this, m_size}; }
    // Whether the line of a note got into its file (or its buffer).
    static bool LineGotIn(const LineUnderWay& note) {
        return note.file && note.file->m_size > note.sizeBefore;
    }

private:
    // Writes the prefix (kTracePrefixLength characters), the text and a line end at the buffer's end.
    void WriteLine(const char* prefix, const char* text);
    // The same for a line longer than the buffer holds: written in one system write of its own.
    void WriteLongLine(const char* prefix, const char* text, std::size_t fileBytes);
    // Hands the buffer to the system.
    void WriteOut();
    std::size_t Buffered() const { return static_cast<std::size_t>(m_size - m_flushed); }

    static constexpr std::size_t kBufferSize = 32 * 1024;

    platform::AppendingFile m_file;
    // Bytes the file holds with the buffer written out (a file continued may hold more than an int
    // counts), and bytes handed to the system; the buffer holds the ones between.
    std::int64_t m_size = 0;
    std::int64_t m_flushed = 0;
    std::string m_strName;
    TraceTimeCache m_linePrefix;
    char m_buffer[kBufferSize];
};
