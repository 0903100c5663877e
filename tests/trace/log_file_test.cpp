// Trace's text file on its own: whole lines with the system's line ends, and a writer stopped inside a
// call (killed at a Windows process exit, or crashed) whose stand-in writes each line once.
#include "log_msg.h"

#include "failing_allocations.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using testing_support::TemporaryFolder;

const platform::LocalTime kNoon{2026, 12, 11, 5, 12, 0, 0, 0};
const std::string kNoonPrefix = "2026/12/11 12:00:00 - ";

// A line as the file holds it: prefix, text and line end, every line feed as the system ends lines.
std::string inFile(const std::string& text) {
    const std::string lineEnd = platform::textFilesEndLinesWithCrLf() ? "\r\n" : "\n";
    std::string line = kNoonPrefix;
    for (char c : text)
        line += c == '\n' ? lineEnd : std::string(1, c);
    return line + lineEnd;
}

// Appends bytes to the file behind the object's back, as the system does with a write it was given.
void appendToFile(const std::string& path, const std::string& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "ab");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    std::fclose(file);
}

class LogFile : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::string path = folder.file("lines.log");
    CLogMsg file;
};

TEST_F(LogFile, LinesReachTheFileWholeWithTheSystemsLineEnds) {
    std::string manyLines;
    for (int i = 0; i < 4000; ++i)
        manyLines += "part of a line longer than the buffer\n";
    const std::string texts[] = {"short", "", "inner\nline feeds\n\nkept", manyLines, "after the long one"};
    ASSERT_TRUE(file.Open(path.c_str(), false));
    std::string expected;
    for (const std::string& text : texts) {
        file.PrintText(kNoon, text.c_str());
        expected += inFile(text);
        EXPECT_EQ(file.GetSize(), static_cast<int>(expected.size())) << "counted as written";
    }
    file.Flush();
    EXPECT_EQ(testing_support::readFile(path), expected);
    file.Close();
    ASSERT_TRUE(file.Open(path.c_str(), true));
    EXPECT_EQ(file.GetSize(), static_cast<int>(expected.size())) << "a continued file counts what it held";
}

TEST_F(LogFile, ALineLongerThanTheBufferArrivesWholeWithoutMemoryForIt) {
    if (!testing_support::allocationFailuresCanBeMade())
        GTEST_SKIP() << "allocation failures cannot be made in this build";
    const std::string longLine(100000, 'x');
    ASSERT_TRUE(file.Open(path.c_str(), false));
    file.PrintText(kNoon, "buffered before it");
    {
        testing_support::FailingAllocations noMemory;
        file.PrintText(kNoon, longLine.c_str());
    }
    file.Flush();
    EXPECT_EQ(testing_support::readFile(path), inFile("buffered before it") + inFile(longLine));
}

// The writer stopped after the system took part of its buffer and before it counted that: the stand-in
// finds from the file's size what got there, and writes the rest.
TEST_F(LogFile, AStandInWritesWhatAStoppedFlushLeftOnce) {
    const std::string lines[] = {"first", "second, cut by the stop", "third"};
    ASSERT_TRUE(file.Open(path.c_str(), false));
    for (const std::string& line : lines)
        file.PrintText(kNoon, line.c_str());
    const std::string second = inFile(lines[1]);
    const std::string reached = inFile(lines[0]) + second.substr(0, second.size() / 2);
    appendToFile(path, reached);

    file.TakeOverFromStoppedWriter();
    file.Flush();
    EXPECT_EQ(testing_support::readFile(path), inFile(lines[0]) + inFile(lines[1]) + inFile(lines[2]));
    file.PrintText(kNoon, "later");
    file.Flush();
    EXPECT_EQ(testing_support::readFile(path),
              inFile(lines[0]) + inFile(lines[1]) + inFile(lines[2]) + inFile("later"));
}

TEST_F(LogFile, AStandInWithNothingReachedOrEverythingFlushedChangesNothing) {
    ASSERT_TRUE(file.Open(path.c_str(), false));
    file.PrintText(kNoon, "flushed");
    file.Flush();
    file.PrintText(kNoon, "buffered");
    file.TakeOverFromStoppedWriter();
    file.Flush();
    file.TakeOverFromStoppedWriter();
    file.Flush();
    EXPECT_EQ(testing_support::readFile(path), inFile("flushed") + inFile("buffered"));
}

TEST_F(LogFile, ANoteTellsWhetherItsLineGotIn) {
    ASSERT_TRUE(file.Open(path.c_str(), false));
    file.PrintText(kNoon, "before");
    const LineUnderWay note = file.NoteOfNextLine();
    EXPECT_FALSE(CLogMsg::LineGotIn(note));
    EXPECT_FALSE(CLogMsg::LineGotIn(LineUnderWay{})) << "no line noted";
    file.PrintText(kNoon, "the noted line");
    EXPECT_TRUE(CLogMsg::LineGotIn(note)) << "in the buffer";
    file.Flush();
    EXPECT_TRUE(CLogMsg::LineGotIn(note)) << "in the file";
}

} // namespace
