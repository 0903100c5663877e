#include "ini_document.h"

#include <gtest/gtest.h>

namespace {

using kitbag::IniDocument;

TEST(IniDocument, ReadsEntriesOfTheNamedSectionOnly) {
    IniDocument doc("[Debug]\nEnableTrace=1\nLogFile = C:\\logs\\a.log \n[Other]\nEnableTrace=0\n");
    EXPECT_EQ(doc.value("Debug", "EnableTrace"), "1");
    EXPECT_EQ(doc.value("Debug", "LogFile"), "C:\\logs\\a.log");
    EXPECT_EQ(doc.value("Other", "EnableTrace"), "0");
    EXPECT_EQ(doc.value("Debug", "Missing"), std::nullopt);
    EXPECT_EQ(doc.value("Nowhere", "EnableTrace"), std::nullopt);
}

TEST(IniDocument, NamesCompareWithoutCase) {
    IniDocument doc("[DEBUG]\nenable avi logging=1\n");
    EXPECT_EQ(doc.value("Debug", "Enable AVI Logging"), "1");
}

TEST(IniDocument, EntriesBeforeAnySectionAndMalformedLinesAreIgnored) {
    IniDocument doc("Stray=1\n[Debug\nno equals sign\n=novalue\n[Debug]\n\x01\x02\xff junk\nGood=yes\n");
    EXPECT_EQ(doc.value("Debug", "Stray"), std::nullopt);
    EXPECT_EQ(doc.value("Debug", "Good"), "yes");
}

TEST(IniDocument, FirstOfDuplicateEntriesWinsAndIsTheOneChanged) {
    IniDocument doc("[Debug]\nKey=first\n[debug]\nKey=second\n");
    EXPECT_EQ(doc.value("Debug", "Key"), "first");
    doc.setValue("Debug", "Key", "changed");
    EXPECT_EQ(doc.text(), "[Debug]\nKey=changed\n[debug]\nKey=second\n");
}

TEST(IniDocument, ChangingAValueKeepsEverythingElseAsWritten) {
    const std::string original = "; my settings\n[Debug]\n  EnableTrace = 0 ; old\n# note\nUnknownKey=7\n";
    IniDocument doc(original);
    doc.setValue("Debug", "EnableTrace", "1");
    EXPECT_EQ(doc.text(), "; my settings\n[Debug]\nEnableTrace=1\n# note\nUnknownKey=7\n");
}

TEST(IniDocument, NewKeyGoesAfterTheLastEntryOfItsSection) {
    IniDocument doc("[Debug]\nA=1\n\n; about Other\n[Other]\nB=2\n");
    doc.setValue("debug", "C", "3");
    EXPECT_EQ(doc.text(), "[Debug]\nA=1\nC=3\n\n; about Other\n[Other]\nB=2\n");
}

TEST(IniDocument, NewSectionIsAppendedAfterABlankLine) {
    IniDocument empty("");
    empty.setValue("Debug", "A", "1");
    EXPECT_EQ(empty.text(), "[Debug]\nA=1\n");

    IniDocument doc("[Other]\nB=2");
    doc.setValue("Debug", "A", "1");
    EXPECT_EQ(doc.text(), "[Other]\nB=2\n\n[Debug]\nA=1\n");
}

TEST(IniDocument, KeepsTheFilesLineEndsOrUsesTheGivenOne) {
    IniDocument windows("[Debug]\r\nA=1\r\n", "\n");
    windows.setValue("Debug", "B", "2");
    EXPECT_EQ(windows.text(), "[Debug]\r\nA=1\r\nB=2\r\n");
    EXPECT_EQ(windows.value("Debug", "A"), "1");

    IniDocument fresh("", "\r\n");
    fresh.setValue("Debug", "A", "1");
    EXPECT_EQ(fresh.text(), "[Debug]\r\nA=1\r\n");
}

TEST(IniDocument, ByteOrderMarkBeforeTheFirstSectionIsKept) {
    IniDocument doc("\xEF\xBB\xBF[Debug]\nA=1\n");
    EXPECT_EQ(doc.value("Debug", "A"), "1");
    doc.setValue("Debug", "A", "2");
    EXPECT_EQ(doc.text(), "\xEF\xBB\xBF[Debug]\nA=2\n");
}

TEST(IniDocument, ByteOrderMarkElsewhereIsPartOfTheKey) {
    // Found by fuzzing: a key that starts with those bytes was stored but never read back.
    IniDocument doc("[Debug]\n");
    doc.setValue("Debug", "\xEF\xBB\xBFkey", "1");
    doc.setValue("Debug", "\xEF\xBB\xBFkey", "2");
    EXPECT_EQ(doc.value("Debug", "\xEF\xBB\xBFkey"), "2");
    EXPECT_EQ(doc.value("Debug", "key"), std::nullopt);
    EXPECT_EQ(doc.text(), "[Debug]\n\xEF\xBB\xBFkey=2\n") << "one entry, changed in place";
}

TEST(IniDocument, CarriageReturnsBeforeALineFeedAreTheLineEnd) {
    // A file of LF lines with stray CRs: values read without them, and what is written reads back the same.
    IniDocument doc("[Debug]\nA=1\r\r\nB=2\r\n");
    EXPECT_EQ(doc.value("Debug", "A"), "1");
    EXPECT_EQ(doc.value("Debug", "B"), "2");
    EXPECT_EQ(doc.text(), "[Debug]\nA=1\nB=2\n");
    EXPECT_EQ(IniDocument(doc.text()).text(), doc.text());
}

TEST(IniDocument, ValuesReadBackExactlyAsStored) {
    const char* values[] = {"",           "plain", "  padded both  ", "\ttab", "\"quoted\"",
                            "\"",         "a=b=c", "; not a comment", "[x]",   "C:\\Program Files\\x.log",
                            "caf\xc3\xa9"};
    for (const char* value : values) {
        IniDocument doc("");
        doc.setValue("Debug", "Key", value);
        EXPECT_EQ(IniDocument(doc.text()).value("Debug", "Key"), value) << doc.text();
    }
}

TEST(IniDocument, StorableNamesAndValues) {
    EXPECT_TRUE(kitbag::isStorableSectionName("Debug"));
    EXPECT_TRUE(kitbag::isStorableKey("Enable AVI Logging"));
    for (const char* bad : {"", " lead", "trail ", "line\nbreak", "a]b"})
        EXPECT_FALSE(kitbag::isStorableSectionName(bad)) << bad;
    for (const char* bad : {"", " lead", "a=b", "[x", ";c", "#c", "cr\r"})
        EXPECT_FALSE(kitbag::isStorableKey(bad)) << bad;
    EXPECT_TRUE(kitbag::isStorableValue("  anything = ; [ ] "));
    EXPECT_FALSE(kitbag::isStorableValue("two\nlines"));
}

} // namespace
