// The console window driven as a person would, from this process: a host process opens it, and the test
// finds it by its class, reads its view, moves the caret, resizes it, presses keys and closes it.
#include "child_process.h"
#include "desktop_win32.h"
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using testing_support::closeMenusByKeys;
using testing_support::eventually;
using testing_support::kHostBound;
using testing_support::popupMenuShown;
using testing_support::pressKey;
using testing_support::TemporaryFolder;
using testing_support::textOfWindow;

constexpr const char* kWindowClass = "PLCONSOLEWINDOW";

HWND viewOf(HWND window) {
    return GetDlgItem(window, 1);
}

// The end of the view's text in the control's own character positions.
LRESULT endOf(HWND view) {
    LRESULT lastLine = SendMessageA(view, EM_GETLINECOUNT, 0, 0) - 1;
    LRESULT start = SendMessageA(view, EM_LINEINDEX, static_cast<WPARAM>(lastLine), 0);
    return start + SendMessageA(view, EM_LINELENGTH, static_cast<WPARAM>(start), 0);
}

std::pair<LRESULT, LRESULT> selectionOf(HWND view) {
    DWORD packed = static_cast<DWORD>(SendMessageA(view, EM_GETSEL, 0, 0));
    return {LOWORD(packed), HIWORD(packed)};
}

// The selection also past 65,535 characters, where EM_GETSEL's result no longer holds it.
std::pair<LRESULT, LRESULT> wideSelectionOf(HWND view) {
    DWORD start = 0, end = 0;
    SendMessageA(view, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return {static_cast<LRESULT>(start), static_cast<LRESULT>(end)};
}

BOOL CALLBACK countConsoleWindow(HWND window, LPARAM counter) {
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) == kWindowClass)
        ++*reinterpret_cast<int*>(counter);
    return TRUE;
}

int consoleWindows() {
    int count = 0;
    EnumWindows(countConsoleWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

// Opens the "&Edit" pop-up as a person does, with Alt+E, and waits until it shows.
bool openEditMenu(HWND main) {
    SetForegroundWindow(main);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pressKey('E', VK_MENU);
    return eventually(popupMenuShown, kHostBound);
}

// The value of KEY in the settings store's text, or "(none)".
std::string storedValue(const std::string& store, const std::string& key) {
    std::size_t at = store.find("\n" + key + "=");
    if (at == std::string::npos)
        return "(none)";
    at += key.size() + 2;
    std::size_t end = store.find_first_of("\r\n", at);
    return store.substr(at, end == std::string::npos ? std::string::npos : end - at);
}

struct DialogSearch {
    const char* title; // null: any title
    HWND owner;        // null: not owned by a dialog
    HWND found;
};

BOOL CALLBACK findDialog(HWND candidate, LPARAM search) {
    auto* wanted = reinterpret_cast<DialogSearch*>(search);
    char name[64] = "", title[256] = "";
    GetClassNameA(candidate, name, sizeof name);
    GetWindowTextA(candidate, title, sizeof title);
    if (std::string(name) != "#32770" || (wanted->title && std::string(title) != wanted->title) ||
        !IsWindowVisible(candidate))
        return TRUE;
    HWND owner = GetWindow(candidate, GW_OWNER);
    if (wanted->owner ? owner != wanted->owner
                      : GetClassNameA(owner, name, sizeof name) && std::string(name) == "#32770")
        return TRUE;
    wanted->found = candidate;
    return FALSE;
}

// A shown dialog with that title, not owned by another dialog (the overwrite prompt of a Save dialog
// may carry the dialog's title too), or one owned by OWNER.
HWND dialogTitled(const char* title, HWND owner = nullptr) {
    DialogSearch search{title, owner, nullptr};
    EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Returns once the window's thread has finished the command it was running (a modal dialog's, say) and
// is back in its message loop: a message sent to the window is handled only then.
bool commandFinished(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result) != 0;
}

HWND waitForDialog(const char* title, HWND owner = nullptr) {
    HWND found = nullptr;
    eventually([&] { return (found = dialogTitled(title, owner)) != nullptr; });
    return found;
}

// The file name box of a Save dialog (the explorer style's combo box) and the text it proposes.
constexpr int kFileNameBox = 0x47c;

std::string proposedName(HWND dialog) {
    char text[MAX_PATH] = "";
    GetDlgItemTextA(dialog, kFileNameBox, text, sizeof text);
    return text;
}

void answerSaveDialog(HWND dialog, const std::string& path) {
    SetDlgItemTextA(dialog, kFileNameBox, path.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

// The Save dialog's file type box (cmb1).
constexpr int kFileTypeBox = 0x470;

// The entries of a combo box of another process. The dialog's controls are Unicode windows; their text
// is asked for as such (Wine hands it over unconverted to an ANSI request).
std::vector<std::string> entriesOf(HWND comboBox) {
    std::vector<std::string> entries;
    LRESULT count = SendMessageW(comboBox, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t entry[256] = L"";
        if (SendMessageW(comboBox, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0) < 256)
            SendMessageW(comboBox, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(entry));
        char narrow[512] = "";
        WideCharToMultiByte(CP_ACP, 0, entry, -1, narrow, sizeof narrow, nullptr, nullptr);
        entries.push_back(narrow);
    }
    return entries;
}

BOOL CALLBACK findFileList(HWND child, LPARAM found) {
    char name[64] = "";
    GetClassNameA(child, name, sizeof name);
    if (std::string(name) != "SysListView32")
        return TRUE;
    *reinterpret_cast<HWND*>(found) = child;
    return FALSE;
}

// How many files the Save dialog lists for its chosen file type, or -1 when it shows no list.
int filesListed(HWND dialog) {
    HWND list = nullptr;
    EnumChildWindows(dialog, findFileList, reinterpret_cast<LPARAM>(&list));
    return list ? static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)) : -1;
}

// Chooses a file type as a person does in the box, which tells the dialog of the change and of the end
// of the choice.
void chooseFileType(HWND dialog, int index) {
    HWND types = GetDlgItem(dialog, kFileTypeBox);
    SendMessageA(types, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    for (WORD notification : {WORD{CBN_SELCHANGE}, WORD{CBN_SELENDOK}})
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kFileTypeBox, notification),
                     reinterpret_cast<LPARAM>(types));
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

BOOL CALLBACK countShownWindowsOfProcess(HWND window, LPARAM search) {
    auto* wanted = reinterpret_cast<std::pair<DWORD, int>*>(search);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    RECT box{};
    GetWindowRect(window, &box);
    // Wine's input-method windows are shown 1x1 pixels: not something a person sees.
    if (process == wanted->first && IsWindowVisible(window) && box.right - box.left > 1)
        ++wanted->second;
    return TRUE;
}

int shownWindowsOf(HWND anyOfTheProcess) {
    std::pair<DWORD, int> search{0, 0};
    GetWindowThreadProcessId(anyOfTheProcess, &search.first);
    EnumWindows(countShownWindowsOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.second;
}

// Whether the lines "TAG line FIRST" to "TAG line LAST" appear in the text in that order, each whole.
bool linesInOrder(const std::string& text, const std::string& tag, int first, int last) {
    std::size_t at = 0;
    for (int line = first; line <= last; ++line) {
        at = text.find(tag + " line " + std::to_string(line) + "\r\n", at);
        if (at == std::string::npos)
            return false;
    }
    return true;
}

// The view's text as the control counts its characters: a line ends with one carriage return.
std::string controlText(HWND view) {
    std::string text = textOfWindow(view), counted;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\n' && i > 0 && text[i - 1] == '\r'))
            counted += text[i];
    }
    return counted;
}

// The text from the start of the view's first visible row to the end of that line.
std::string firstVisibleText(HWND view) {
    const LRESULT row = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    const LRESULT start = SendMessageA(view, EM_LINEINDEX, static_cast<WPARAM>(row), 0);
    std::string text = controlText(view);
    return text.substr(static_cast<std::size_t>(start),
                       text.find('\r', static_cast<std::size_t>(start)) - static_cast<std::size_t>(start));
}

// The lines of a view's text without their stamps "hh:mm:ss - "; a line without one is kept whole,
// marked.
std::vector<std::string> unstampedLines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\n", at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        const bool stamped =
            line.size() >= 11 && line[2] == ':' && line[5] == ':' && line.compare(8, 3, " - ") == 0;
        lines.push_back(stamped ? line.substr(11) : "(no stamp) " + line);
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

class ConsoleWindow : public ::testing::Test {
protected:
    TemporaryFolder folder;
    std::unique_ptr<platform::ChildProcess> host;

    std::string signal(const std::string& name) const { return folder.file(name); }
    void give(const std::string& name) const { testing_support::writeFile(signal(name), "go"); }

    // Starts the host with the commands; it ends when the test gives "end".
    void start(std::vector<std::string> commands) {
        commands.push_back("wait-for");
        commands.push_back(signal("end"));
        host = std::make_unique<platform::ChildProcess>(
            testing_support::helperProgram("console_host"), commands,
            platform::EnvironmentChanges{{"KITBAG_SETTINGS", folder.file("settings.ini")}});
        ASSERT_TRUE(host->started());
    }

    // The console window once it has its view (it is findable while still being created).
    HWND window() {
        HWND found = nullptr;
        eventually(
            [&] {
                return (found = FindWindowA(kWindowClass, nullptr)) != nullptr && viewOf(found) != nullptr;
            },
            20000);
        return found;
    }

    // Chooses Exit and waits until the window and its thread are gone.
    bool exitWindow(HWND main) {
        return testing_support::closeWindowAndWaitForItsThread(main, WM_COMMAND, 105); // Exit
    }

    void TearDown() override {
        if (!host)
            return;
        give("go"); // a host left waiting by a failed check goes on to its end
        give("end");
        if (!host->wait(20000)) {
            host->kill();
            ADD_FAILURE() << "the host did not end";
        }
    }
};

TEST_F(ConsoleWindow, ShowsTheBufferWithCarriageReturnsAndFollowsNewLines) {
    start({"lines", "early", "3", "display", "wait-for", signal("go"), "lines", "later", "2"});
    HWND main = window();
    ASSERT_NE(main, nullptr) << "no window of class PLCONSOLEWINDOW";
    HWND view = viewOf(main);
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(eventually([&] { return textOfWindow(view).find("early line 2") != std::string::npos; }));
    std::string text = textOfWindow(view);
    EXPECT_EQ(text.rfind("*** Pelmora Console started at ", 0), 0u) << text;
    EXPECT_NE(text.find(" - early line 0\r\n"), std::string::npos) << text;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "a line feed without a carriage return at " << i;
        }
    }
    EXPECT_EQ(selectionOf(view), std::make_pair(endOf(view), endOf(view))) << "the caret at the end";

    give("go");
    ASSERT_TRUE(eventually([&] { return textOfWindow(view).find("later line 1\r\n") != std::string::npos; }));
    EXPECT_EQ(selectionOf(view), std::make_pair(endOf(view), endOf(view))) << "new lines are followed";
}

TEST_F(ConsoleWindow, TheViewIsAReadOnlyMultilineRichEditWithBothScrollBars) {
    // Long and many lines, so that the view shows both of its scroll bars.
    start({"lines", std::string(300, 'w'), "200", "display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    HWND view = viewOf(main);
    ASSERT_TRUE(eventually([&] { return textOfWindow(view).find(" line 199") != std::string::npos; }));
    char name[64] = "";
    GetClassNameA(view, name, sizeof name);
    EXPECT_STREQ(name, "RichEdit20A");
    // WS_CHILD WS_VISIBLE WS_BORDER WS_VSCROLL WS_HSCROLL ES_MULTILINE ES_AUTOVSCROLL ES_AUTOHSCROLL
    // ES_NOHIDESEL ES_READONLY
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(view, GWL_STYLE)), 0x50B009C4u);
}

TEST_F(ConsoleWindow, FarMoreThanTheControlsDefaultCapacityIsShownToTheLastLineInOrder) {
    start({"display", "wait-for", signal("go"), "lines", "many", "4000", "touch", signal("written")});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    HWND view = viewOf(main);
    ASSERT_TRUE(eventually([&] { return textOfWindow(view).find("*** Pelmora") != std::string::npos; }))
        << "the window has taken the buffer and takes new lines from here on";
    // Twice the view's bound, which for the default buffer of 102,400 bytes is 409,600 characters.
    EXPECT_EQ(SendMessageA(view, EM_GETLIMITTEXT, 0, 0), 2 * 409600);
    give("go");
    ASSERT_TRUE(eventually([&] { return platform::fileExists(signal("written")); }, 60000));
    std::string text;
    ASSERT_TRUE(eventually([&] { return endsWith(text = textOfWindow(view), "many line 3999\r\n"); }, 60000))
        << text.size() << " characters, ending " << text.substr(text.size() > 80 ? text.size() - 80 : 0);
    EXPECT_GT(text.size(), 100000u) << "far past the control's default 32,767 characters";
    EXPECT_EQ(text.rfind("*** Pelmora Console started at ", 0), 0u) << "nothing dropped below the bound";
    EXPECT_TRUE(linesInOrder(text, "many", 0, 3999));
}

TEST_F(ConsoleWindow, PastItsBoundTheViewDropsTheOldestWholeLinesAndKeepsTheNewest) {
    // A small buffer: the bound is its floor, 262,144 characters. About 330,000 are written, in lines of
    // about 120 characters: while a report keeps the window busy (they wait for the view, which takes only
    // the newest), or a few at a time (the view takes each batch and drops its own oldest lines).
    struct Case {
        const char* name;
        int batches;
    };
    for (const Case& each : {Case{"while the window is busy", 1}, Case{"a batch at a time", 9}}) {
        SCOPED_TRACE(each.name);
        TemporaryFolder own;
        testing_support::writeFile(own.file("settings.ini"), "[Debug]\nInternalBufferSize=1000\n");
        std::vector<std::string> commands{"waiting-report", own.file("released"), "display", "wait-for",
                                          own.file("go")};
        std::vector<std::string> written;
        const int lines = 2700 / each.batches;
        for (int batch = 0; batch < each.batches; ++batch) {
            const std::string tag = std::string(100, 'k') + static_cast<char>('a' + batch);
            for (int line = 0; line < lines; ++line)
                written.push_back(tag + " line " + std::to_string(line));
            for (std::string command :
                 {std::string("lines"), tag, std::to_string(lines), std::string("sleep"), std::string("300")})
                commands.push_back(command);
        }
        for (std::string command :
             {std::string("touch"), own.file("written"), std::string("wait-for"), own.file("end")})
            commands.push_back(command);
        platform::ChildProcess writer(testing_support::helperProgram("console_host"), commands,
                                      {{"KITBAG_SETTINGS", own.file("settings.ini")}});
        HWND main = window();
        ASSERT_NE(main, nullptr);
        HWND view = viewOf(main);
        ASSERT_TRUE(eventually([&] { return textOfWindow(view).find("*** Pelmora") != std::string::npos; }))
            << "the window has taken the buffer and takes new lines from here on";
        const bool busy = each.batches == 1;
        if (busy) {
            PostMessageA(main, WM_COMMAND, 6969, 0); // the report, which returns once released
            // Running before the lines come: its own line is then older than all of them.
            ASSERT_TRUE(eventually([&] { return platform::fileExists(own.file("released") + ".running"); }));
        }
        testing_support::writeFile(own.file("go"), "go");
        ASSERT_TRUE(eventually([&] { return platform::fileExists(own.file("written")); }, 60000));
        testing_support::writeFile(own.file("released"), "go");
        std::string text;
        ASSERT_TRUE(eventually([&] { return endsWith(text = textOfWindow(view), written.back() + "\r\n"); },
                               60000, 200))
            << text.size() << " characters";
        EXPECT_LE(endOf(view), 262144) << "the view stays within its bound";
        EXPECT_GT(endOf(view), 100000) << "and keeps far more than the buffer";
        // One unbroken stretch of whole lines, each with its stamp, ending with the last line written.
        std::vector<std::string> shown = unstampedLines(text);
        ASSERT_FALSE(shown.empty());
        auto first = std::find(written.begin(), written.end(), shown.front());
        ASSERT_NE(first, written.end()) << "the view starts inside a line: " << text.substr(0, 140);
        EXPECT_NE(first, written.begin()) << "the oldest lines went";
        EXPECT_TRUE(std::equal(shown.begin(), shown.end(), first, written.end()))
            << shown.size() << " lines shown from line " << first - written.begin();
        EXPECT_EQ(wideSelectionOf(view), std::make_pair(endOf(view), endOf(view)))
            << "still following the end";
        testing_support::writeFile(own.file("end"), "end");
        ASSERT_TRUE(writer.wait(kHostBound));
    }
}

TEST_F(ConsoleWindow, LinesDroppedPastTheBoundLeaveWhatTheUserLooksAtInPlace) {
    // A bound of 262,144 characters and lines of about 120: a holds about 185,000, b about 74,000, and c
    // takes the view past its bound, which keeps the late lines of b.
    testing_support::writeFile(folder.file("settings.ini"), "[Debug]\nInternalBufferSize=1000\n");
    const std::string tag(100, 'u');
    start({"display", "wait-for", signal("go"), "lines", tag + "a", "1500", "sleep", "300", "lines",
           tag + "b", "600", "wait-for", signal("looked"), "lines", tag + "c", "600"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    HWND view = viewOf(main);
    ASSERT_TRUE(eventually([&] { return textOfWindow(view).find("*** Pelmora") != std::string::npos; }));
    give("go");
    ASSERT_TRUE(eventually([&] { return endsWith(textOfWindow(view), tag + "b line 599\r\n"); }, 60000, 200));

    // The user selects a line near the end and scrolls it near the top.
    const std::string selected = tag + "b line 550";
    std::string text = controlText(view);
    const LRESULT start = static_cast<LRESULT>(text.find(selected));
    ASSERT_GT(start, 0);
    SendMessageA(view, EM_SETSEL, static_cast<WPARAM>(start), start + static_cast<LRESULT>(selected.size()));
    const LRESULT row = SendMessageA(view, EM_EXLINEFROMCHAR, 0, start);
    SendMessageA(view, EM_LINESCROLL, 0, row - 3 - SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0));
    const std::string topBefore = firstVisibleText(view);
    ASSERT_NE(topBefore.find(tag + "b line 5"), std::string::npos) << topBefore;

    give("looked");
    ASSERT_TRUE(eventually([&] { return endsWith(textOfWindow(view), tag + "c line 599\r\n"); }, 60000, 200));
    ASSERT_EQ(textOfWindow(view).find(tag + "a line 0\r\n"), std::string::npos) << "the oldest lines went";
    text = controlText(view);
    const auto selection = wideSelectionOf(view);
    EXPECT_EQ(text.substr(static_cast<std::size_t>(selection.first),
                          static_cast<std::size_t>(selection.second - selection.first)),
              selected)
        << "the selection holds the same text";
    EXPECT_EQ(firstVisibleText(view), topBefore) << "the view shows the same lines at its top";
}

TEST_F(ConsoleWindow, TextThatLooksLikeRichTextIsShownAsItIs) {
    // The buffer holds exactly the first line, so the view is filled with a text that begins with it.
    const std::string buffered = "{\\rtf1\\ansi {\\b buffered}}";
    const std::string appended = "{\\rtf1\\ansi {\\b appended}}";
    testing_support::writeFile(folder.file("settings.ini"),
                               "[Debug]\nInternalBufferSize=" + std::to_string(buffered.size() + 1) + "\n");
    // "x " leaves its line open, so the second text is appended on its own, beginning with "{\rtf".
    start({"trace", buffered + "\\n", "display", "wait-for", signal("go"), "trace", "x ", "sleep", "500",
           "trace", appended + "\\n", "touch", signal("written")});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    HWND view = viewOf(main);
    std::string text;
    EXPECT_TRUE(eventually([&] { return (text = textOfWindow(view)) == buffered + "\r\n"; })) << text;
    give("go");
    ASSERT_TRUE(eventually([&] { return platform::fileExists(signal("written")); }));
    EXPECT_TRUE(eventually([&] { return endsWith(text = textOfWindow(view), "x " + appended + "\r\n"); }))
        << text;
}

TEST_F(ConsoleWindow, AfterTheCaretMovedUpNewLinesNeitherMoveItNorScroll) {
    start({"lines", "a", "200", "display", "wait-for", signal("go"), "lines", "b", "50"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    HWND view = viewOf(main);
    ASSERT_TRUE(eventually([&] { return textOfWindow(view).find("a line 199") != std::string::npos; }));
    SendMessageA(view, EM_SETSEL, 10, 20);
    LRESULT first = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    SendMessageA(view, EM_LINESCROLL, 0, 5 - first);
    first = SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    give("go");
    ASSERT_TRUE(eventually([&] { return textOfWindow(view).find("b line 49") != std::string::npos; }));
    EXPECT_EQ(selectionOf(view), std::make_pair(LRESULT{10}, LRESULT{20}));
    EXPECT_EQ(SendMessageA(view, EM_GETFIRSTVISIBLELINE, 0, 0), first) << "the view did not scroll";
}

TEST_F(ConsoleWindow, ResizingResizesTheViewToTheClientArea) {
    start({"display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    for (auto size : {std::make_pair(640, 400), std::make_pair(300, 500)}) {
        MoveWindow(main, 20, 20, size.first, size.second, TRUE);
        RECT client{}, view{};
        ASSERT_TRUE(eventually([&] {
            GetClientRect(main, &client);
            GetWindowRect(viewOf(main), &view);
            return view.right - view.left == client.right && view.bottom - view.top == client.bottom;
        })) << "view "
            << view.right - view.left << "x" << view.bottom - view.top << ", client " << client.right << "x"
            << client.bottom;
    }
}

TEST_F(ConsoleWindow, DisplayLogWhileOpenOrOpeningMakesNoSecondWindow) {
    start({"display", "display", "display", "sleep", "800", "display", "touch", signal("done")});
    ASSERT_TRUE(eventually([&] { return platform::fileExists(signal("done")); }));
    HWND main = window();
    ASSERT_NE(main, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(consoleWindows(), 1);
}

TEST_F(ConsoleWindow, ClosingSavesTheSettingsAndALaterDisplayLogOpensANewWindow) {
    start({"display", "wait-for", signal("go"), "lines", "while closed", "2", "display"});
    HWND first = window();
    ASSERT_NE(first, nullptr);
    ASSERT_FALSE(platform::fileExists(folder.file("settings.ini")));
    PostMessageA(first, WM_CLOSE, 0, 0);
    ASSERT_TRUE(eventually([&] { return !IsWindow(first); }));
    std::string store = testing_support::readFile(folder.file("settings.ini"));
    for (const char* key : {"EnableLogToDebugOutput=", "EnableLogToFile=", "EnableLogInfo=", "LogFile=",
                            "EnableLogError=", "EnableTrace="})
        EXPECT_NE(store.find(key), std::string::npos) << key << " saved at close: " << store;

    give("go");
    HWND second = nullptr;
    ASSERT_TRUE(eventually([&] { return (second = FindWindowA(kWindowClass, nullptr)) != nullptr; }));
    ASSERT_TRUE(eventually(
        [&] { return textOfWindow(viewOf(second)).find("while closed line 1\r\n") != std::string::npos; }));
    EXPECT_EQ(textOfWindow(viewOf(second)).rfind("*** Pelmora Console started at ", 0), 0u)
        << "filled from the buffer";
}

TEST_F(ConsoleWindow, AcceleratorsReachTheMainWindowFromTheView) {
    start({"display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    SetForegroundWindow(main);
    ASSERT_TRUE(eventually([&] {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(GetWindowThreadProcessId(main, nullptr), &info) &&
               info.hwndFocus == viewOf(main);
    })) << "the view has the keyboard focus";

    pressKey(VK_OEM_2, VK_MENU); // Alt+/
    HWND about = nullptr;
    ASSERT_TRUE(eventually([&] { return (about = FindWindowA("#32770", "About Console")) != nullptr; }))
        << "Alt+/ opens the About box";
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(eventually([&] { return !IsWindow(about); }));

    SetForegroundWindow(main);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pressKey('S', VK_CONTROL); // Ctrl+S: Save As
    HWND save = nullptr;
    ASSERT_TRUE(eventually([&] { return (save = FindWindowA("#32770", "Save As")) != nullptr; }))
        << "Ctrl+S opens the Save As dialog";
    PostMessageA(save, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(eventually([&] { return !IsWindow(save); }));

    SetForegroundWindow(main);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pressKey(VK_F4, VK_MENU); // Alt+F4: Exit
    EXPECT_TRUE(eventually([&] { return !IsWindow(main); })) << "Alt+F4 closes the window";
}

TEST_F(ConsoleWindow, EightWritersWhileTheWindowOpensAndClosesKeepTheViewInOrder) {
    testing_support::writeFile(folder.file("settings.ini"), "[Debug]\nInternalBufferSize=8000000\n");
    start({"stress", "5"});
    // A generous watchdog (an emulated 32-bit run is several times slower): the host must report within it.
    ASSERT_TRUE(eventually([&] { return host->output().find("stress") != std::string::npos; }, 300000))
        << "no report: the window or the writers hung";
    EXPECT_NE(host->output().find("stress ok"), std::string::npos) << host->output();
}

TEST_F(ConsoleWindow, ReportsAreListedInOrderAndRunFromTheMenu) {
    for (bool tracing : {true, false}) {
        SCOPED_TRACE(tracing ? "tracing on" : "tracing off");
        TemporaryFolder own;
        testing_support::writeFile(own.file("settings.ini"),
                                   tracing ? "[Debug]\n" : "[Debug]\nEnableTrace=0\n");
        platform::ChildProcess reportHost(testing_support::helperProgram("console_host"),
                                          {"reports", "3", "display", "menu", "wait-for", own.file("go"),
                                           "read", own.file("out"), "wait-for", own.file("end")},
                                          {{"KITBAG_SETTINGS", own.file("settings.ini")}});
        HWND main = window();
        ASSERT_NE(main, nullptr);
        // Menus are the host's own (Wine does not share them between processes): the host describes them.
        ASSERT_TRUE(eventually([&] { return reportHost.output().find("menu ") != std::string::npos; }));
        EXPECT_NE(reportHost.output().find("menu &File|&Edit|Reports|&Help\r\n6969:R1,6970:R2,6971:R3,"),
                  std::string::npos)
            << reportHost.output();
        PostMessageA(main, WM_COMMAND, 6970, 0);
        PostMessageA(main, WM_COMMAND, 6972, 0); // one past the last report: nothing runs
        ASSERT_TRUE(eventually([&] { return reportHost.output().find("ran R2") != std::string::npos; }));
        testing_support::writeFile(own.file("go"), "go");
        ASSERT_TRUE(eventually([&] { return platform::fileExists(own.file("out")); }));
        std::string log = testing_support::readFile(own.file("out"));
        ASSERT_NE(log.find("report R2 ran\n"), std::string::npos) << log;
        if (tracing)
            EXPECT_LT(log.find("Running report 'R2'\n"), log.find("report R2 ran\n"))
                << "the line, then the run";
        else
            EXPECT_EQ(log.find("Running report"), std::string::npos) << log;
        testing_support::writeFile(own.file("end"), "end");
        ASSERT_TRUE(reportHost.wait(kHostBound));
        std::string output = reportHost.output();
        EXPECT_EQ(output.substr(output.find("\r\nran ") + 2), "ran R2\r\n") << "only R2 ran";
    }
}

TEST_F(ConsoleWindow, ReportsRegisteredWhileWindowsBuildTheirMenusAreAllListedInOrder) {
    // The last window is closed before the host ends: a host ending while one of the racing windows'
    // threads still works can hang under Wine.
    start({"reports-racing", "200", "menu", "close"});
    ASSERT_TRUE(eventually([&] { return host->output().find("menu ") != std::string::npos; }, 60000))
        << "no menu described: the host crashed or hung";
    std::string expected;
    for (int r = 1; r <= 200; ++r)
        expected += std::to_string(6968 + r) + ":R" + std::to_string(r) + ",";
    EXPECT_NE(host->output().find("Reports|&Help\r\n" + expected + "\r\n"), std::string::npos)
        << host->output();
}

TEST_F(ConsoleWindow, PluginsMenuOnlyWhenAddedAfterTheSettingsLoaded) {
    for (bool afterLoad : {true, false}) {
        SCOPED_TRACE(afterLoad ? "after ConsoleInitialise" : "before the first load");
        TemporaryFolder own;
        std::vector<std::string> commands =
            afterLoad ? std::vector<std::string>{"reports", "3", "init", "plugin-menu"}
                      : std::vector<std::string>{"plugin-menu"};
        for (const char* command : {"display", "menu", "wait-for"})
            commands.push_back(command);
        commands.push_back(own.file("end"));
        platform::ChildProcess pluginHost(testing_support::helperProgram("console_host"), commands,
                                          {{"KITBAG_SETTINGS", own.file("settings.ini")}});
        HWND main = window();
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(eventually([&] { return pluginHost.output().find("menu ") != std::string::npos; }));
        const std::string bar =
            afterLoad ? "menu &File|&Edit|Reports|&Help|Plugins\r\n" : "menu &File|&Edit|Reports|&Help\r\n";
        EXPECT_NE(pluginHost.output().find(bar), std::string::npos) << pluginHost.output();
        if (afterLoad) {
            PostMessageA(main, WM_COMMAND, 9000, 0);
            // One past the last report reaches the plug-in handler only; one in the report range reaches
            // the handler, then runs its report.
            PostMessageA(main, WM_COMMAND, 6972, 0);
            PostMessageA(main, WM_COMMAND, 6970, 0);
            EXPECT_TRUE(eventually([&] { return pluginHost.output().find("ran R2") != std::string::npos; }));
            EXPECT_NE(pluginHost.output().find("plugin 9000\r\nplugin 6972\r\nplugin 6970\r\nran R2\r\n"),
                      std::string::npos)
                << pluginHost.output();
        }
        testing_support::writeFile(own.file("end"), "end");
        ASSERT_TRUE(pluginHost.wait(kHostBound));
        ASSERT_TRUE(eventually([&] { return FindWindowA(kWindowClass, nullptr) == nullptr; }));
    }
}

TEST_F(ConsoleWindow, ClosingTheWindowLeavesTheHostsPluginMenuForTheNextWindow) {
    start({"init", "plugin-menu", "display", "menu", "close", "plugin-menu-state", "display", "menu", "touch",
           signal("reopened")});
    ASSERT_TRUE(eventually([&] { return platform::fileExists(signal("reopened")); }, 30000))
        << host->output();
    const std::string output = host->output();
    const std::string bar = "menu &File|&Edit|Reports|&Help|Plugins\r\n";
    const std::size_t closed = output.find("closed\r\n");
    ASSERT_NE(closed, std::string::npos) << output;
    EXPECT_LT(output.find(bar), closed) << "the first window shows the plug-in menu: " << output;
    EXPECT_NE(output.find("closed\r\nplugin menu 9000:Hello,\r\n"), std::string::npos)
        << "the host's menu is alive with its item after the window closed: " << output;
    EXPECT_NE(output.find(bar, closed), std::string::npos) << "the second window shows it again: " << output;

    HWND main = window();
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_COMMAND, 9000, 0);
    EXPECT_TRUE(eventually([&] { return host->output().find("plugin 9000\r\n") != std::string::npos; }))
        << "its commands still reach the handler: " << host->output();
    // The view takes the focus in each window: its notifications are not commands of the host's.
    EXPECT_EQ(host->output().find("plugin 1\r\n"), std::string::npos) << host->output();
}

TEST_F(ConsoleWindow, CheckMarksFollowTheSwitchesAndTheEditCommandsInvertThem) {
    testing_support::writeFile(folder.file("settings.ini"),
                               "[Debug]\nEnableLogToDebugOutput=1\nEnableLogInfo=0\nEnable AVI Logging=1\n"
                               "Capture Logging=0\n");
    start({"display", "wait-for", signal("first"), "checks", "wait-for", signal("second"), "checks"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    auto checksShown = [&](const std::string& expected) {
        std::string output;
        eventually([&] { return (output = host->output()).find(expected) != std::string::npos; });
        return output;
    };

    ASSERT_TRUE(openEditMenu(main)) << "Alt+E opens the Edit menu";
    give("first");
    std::string output = checksShown("checks 32779=0 32780=1 32781=0 32783=1 32784=0");
    EXPECT_NE(output.find("checks 32779=0 32780=1 32781=0 32783=1 32784=0"), std::string::npos) << output;
    closeMenusByKeys();

    for (WPARAM command : {32780u, 32781u, 32783u, 32784u})
        PostMessageA(main, WM_COMMAND, command, 0);
    // The two Kitbag switches persist at once, the others when the window goes.
    std::string store;
    EXPECT_TRUE(eventually([&] {
        store = testing_support::readFile(folder.file("settings.ini"));
        return storedValue(store, "Enable AVI Logging") == "0" &&
               storedValue(store, "Capture Logging") == "1";
    })) << store;
    EXPECT_EQ(storedValue(store, "EnableLogToDebugOutput"), "1") << store;

    ASSERT_TRUE(openEditMenu(main));
    give("second");
    output = checksShown("checks 32779=0 32780=0 32781=1 32783=0 32784=1");
    EXPECT_NE(output.find("checks 32779=0 32780=0 32781=1 32783=0 32784=1"), std::string::npos) << output;
    closeMenusByKeys();

    ASSERT_TRUE(exitWindow(main)) << "Exit closes the window";
    store = testing_support::readFile(folder.file("settings.ini"));
    EXPECT_EQ(storedValue(store, "EnableLogToDebugOutput"), "0") << "saved at exit: " << store;
    EXPECT_EQ(storedValue(store, "EnableLogInfo"), "1") << store;
    EXPECT_EQ(storedValue(store, "Enable AVI Logging"), "0") << store;
}

TEST_F(ConsoleWindow, KitbagTogglesInvertWhatTheCheckMarkShowed) {
    // Each toggle flips the shown value; the menu is opened again between them, so that each starts from
    // what the user saw.
    start({"display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    for (const char* expected : {"1", "0", "1"}) {
        ASSERT_TRUE(openEditMenu(main));
        closeMenusByKeys();
        PostMessageA(main, WM_COMMAND, 32783, 0);
        std::string store;
        EXPECT_TRUE(eventually([&] {
            store = testing_support::readFile(folder.file("settings.ini"));
            return storedValue(store, "Enable AVI Logging") == expected;
        })) << "expected "
            << expected << ": " << store;
    }
}

TEST_F(ConsoleWindow, SaveAsWithAnEmptyViewShowsNoDialogAndTheAboutBoxClosesWithOk) {
    testing_support::writeFile(folder.file("settings.ini"), "[Debug]\nInternalBufferSize=0\n");
    start({"display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    ASSERT_EQ(textOfWindow(viewOf(main)), "") << "a buffer that holds nothing leaves the view empty";
    PostMessageA(main, WM_COMMAND, 32778, 0); // Save As
    PostMessageA(main, WM_COMMAND, 104, 0);   // About, handled after it
    HWND about = waitForDialog("About Console");
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(dialogTitled("Save As"), nullptr) << "no Save dialog for an empty view";
    EXPECT_EQ(GetWindow(about, GW_OWNER), main);
    EXPECT_NE(FindWindowExA(about, nullptr, "Static", "Pelmora Console Application"), nullptr);

    PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(eventually([&] { return !IsWindow(about); })) << "OK closes the About box";
    EXPECT_TRUE(IsWindow(main));
}

TEST_F(ConsoleWindow, SaveAsWritesTheViewOverALongerFileAndTheNextProposesThatFile) {
    const std::string saved = folder.file("saved.log");
    testing_support::writeFile(saved, std::string(20000, 'x'));
    start({"chdir", folder.path(), "lines", "kept", "3", "display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(
        eventually([&] { return textOfWindow(viewOf(main)).find("kept line 2") != std::string::npos; }));
    const std::string view = textOfWindow(viewOf(main));

    PostMessageA(main, WM_COMMAND, 32778, 0);
    HWND save = waitForDialog("Save As");
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(endsWith(proposedName(save), "Pelmora.log")) << proposedName(save);
    answerSaveDialog(save, saved);
    HWND prompt = waitForDialog(nullptr, save); // Wine titles it "Error"; a person sees its Yes and No
    ASSERT_NE(prompt, nullptr) << "replacing a file asks first";
    PostMessageA(prompt, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(eventually([&] { return !IsWindow(save); }));
    std::string written;
    EXPECT_TRUE(eventually([&] { return (written = testing_support::readFile(saved)) == view; }))
        << written.size() << " bytes written, the view holds " << view.size();

    PostMessageA(main, WM_COMMAND, 32778, 0);
    save = waitForDialog("Save As");
    ASSERT_NE(save, nullptr);
    EXPECT_TRUE(endsWith(proposedName(save), "saved.log"))
        << "proposes the first choice: " << proposedName(save);
    PostMessageA(save, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(eventually([&] { return !IsWindow(save); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(testing_support::readFile(saved), view) << "a cancelled Save As writes nothing";
}

TEST_F(ConsoleWindow, FirstSaveAsProposesPelmoraLogInTheCurrentFolder) {
    start({"chdir", folder.path(), "lines", "kept", "2", "display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(
        eventually([&] { return textOfWindow(viewOf(main)).find("kept line 1") != std::string::npos; }));
    const std::string view = textOfWindow(viewOf(main));
    PostMessageA(main, WM_COMMAND, 32778, 0);
    HWND save = waitForDialog("Save As");
    ASSERT_NE(save, nullptr);
    PostMessageA(save, WM_COMMAND, IDOK, 0); // the proposal as it stands
    ASSERT_TRUE(eventually([&] { return !IsWindow(save); }));
    std::string written;
    EXPECT_TRUE(eventually([&] {
        return (written = testing_support::readFile(folder.file("Pelmora.log"))) == view;
    })) << "the proposal was Pelmora.log in the current folder; it holds "
        << written.size() << " bytes";
}

TEST_F(ConsoleWindow, SaveDialogsShowTheLogFilterAndTheOptionsOfTheirCommand) {
    struct Case {
        const char* command;
        WPARAM identifier;
        bool asksBeforeReplacing; // OFN_OVERWRITEPROMPT
    };
    for (const Case& each : {Case{"Save As", 32778, true}, Case{"Log to file", 32779, false}}) {
        SCOPED_TRACE(each.command);
        TemporaryFolder own;
        const std::string files = platform::joinPath(own.path(), "files");
        ASSERT_TRUE(platform::createDirectories(files));
        for (const char* name : {"a.log", "b.txt", "c.dat"})
            testing_support::writeFile(platform::joinPath(files, name), "x");
        const std::string existing = platform::joinPath(files, "existing.log");
        testing_support::writeFile(existing, "kept before\n");
        platform::ChildProcess dialogHost(testing_support::helperProgram("console_host"),
                                          {"chdir", files, "lines", "shown", "2", "display", "wait-for",
                                           own.file("answered"), "trace", "after the answer\n", "touch",
                                           own.file("traced"), "wait-for", own.file("end")},
                                          {{"KITBAG_SETTINGS", own.file("settings.ini")}});
        HWND main = window();
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(
            eventually([&] { return textOfWindow(viewOf(main)).find("shown line 1") != std::string::npos; }));
        const std::string view = textOfWindow(viewOf(main));
        PostMessageA(main, WM_COMMAND, each.identifier, 0);
        HWND dialog = waitForDialog("Save As");
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(endsWith(proposedName(dialog), "Pelmora.log")) << proposedName(dialog);

        // The filter list, its first entry chosen; its patterns show in the files listed: *.log;*.txt
        // lists a.log, b.txt and existing.log, *.* c.dat as well.
        HWND types = GetDlgItem(dialog, kFileTypeBox);
        ASSERT_NE(types, nullptr);
        EXPECT_EQ(entriesOf(types), (std::vector<std::string>{"Log Files (.log | .txt)", "All Files"}));
        EXPECT_EQ(SendMessageA(types, CB_GETCURSEL, 0, 0), 0);
        EXPECT_TRUE(eventually([&] { return filesListed(dialog) == 3; })) << filesListed(dialog);
        chooseFileType(dialog, 1);
        EXPECT_TRUE(eventually([&] { return filesListed(dialog) == 4; })) << filesListed(dialog);
        chooseFileType(dialog, 0);

        // OFN_ENABLESIZING: a sizing border. OFN_ENABLEHOOK with OFN_EXPLORER: the hook's child dialog
        // inside the explorer-style dialog. (OFN_HIDEREADONLY shows nothing here: a Save dialog has no
        // read-only box to show.)
        EXPECT_NE(GetWindowLongA(dialog, GWL_STYLE) & WS_THICKFRAME, 0) << "the dialog can be sized";
        EXPECT_NE(FindWindowExA(dialog, nullptr, "#32770", nullptr), nullptr) << "the hook's child dialog";

        // OFN_PATHMUSTEXIST: a file in a folder that does not exist is refused with a message.
        answerSaveDialog(dialog, platform::joinPath(own.file("missing"), "new.log"));
        HWND refusal = waitForDialog(nullptr, dialog);
        ASSERT_NE(refusal, nullptr) << "a missing folder is refused";
        PostMessageA(refusal, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(eventually([&] { return !IsWindow(refusal); }));
        ASSERT_TRUE(IsWindow(dialog)) << "the dialog waits for another choice";

        // OFN_OVERWRITEPROMPT: Save As asks before it replaces a file; Log to file appends and asks nothing.
        answerSaveDialog(dialog, existing);
        if (each.asksBeforeReplacing) {
            HWND prompt = waitForDialog(nullptr, dialog);
            ASSERT_NE(prompt, nullptr) << "replacing a file asks first";
            PostMessageA(prompt, WM_COMMAND, IDYES, 0);
        }
        ASSERT_TRUE(eventually([&] { return !IsWindow(dialog); })) << "the dialog still asks something";
        // The dialog is gone before the command has taken its answer: the host traces once it has.
        ASSERT_TRUE(commandFinished(main));
        testing_support::writeFile(own.file("answered"), "go");
        ASSERT_TRUE(eventually([&] { return platform::fileExists(own.file("traced")); }));
        std::string written = testing_support::readFile(existing);
        if (each.asksBeforeReplacing) {
            EXPECT_EQ(written, view) << "Save As replaces the file with the view";
        } else {
            EXPECT_EQ(written.rfind("kept before\n", 0), 0u)
                << "Log to file keeps what the file held: " << written;
            EXPECT_NE(written.find(" - after the answer\n"), std::string::npos) << written;
        }
        testing_support::writeFile(own.file("end"), "end");
        ASSERT_TRUE(dialogHost.wait(kHostBound));
    }
}

TEST_F(ConsoleWindow, LogToFileCancelledStaysOffAndConfirmedAppendsToTheChosenFile) {
    for (bool confirm : {false, true}) {
        SCOPED_TRACE(confirm ? "confirmed" : "cancelled");
        TemporaryFolder own;
        const std::string old = own.file("old.log"), chosen = own.file("new.log");
        testing_support::writeFile(own.file("settings.ini"),
                                   "[Debug]\nEnableLogToFile=0\nLogFile=" + old + "\n");
        // A chosen file that exists is continued, never emptied.
        if (confirm)
            testing_support::writeFile(chosen, "from an earlier run\n");
        platform::ChildProcess logHost(testing_support::helperProgram("console_host"),
                                       {"display", "wait-for", own.file("answered"), "trace",
                                        "after the answer\n", "touch", own.file("traced"), "wait-for",
                                        own.file("end")},
                                       {{"KITBAG_SETTINGS", own.file("settings.ini")}});
        HWND main = window();
        ASSERT_NE(main, nullptr);
        PostMessageA(main, WM_COMMAND, 32779, 0);
        HWND dialog = waitForDialog("Save As");
        ASSERT_NE(dialog, nullptr) << "switching Log to file on asks for the file";
        EXPECT_TRUE(endsWith(proposedName(dialog), "old.log")) << proposedName(dialog);
        if (confirm)
            answerSaveDialog(dialog, chosen);
        else
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(eventually([&] { return !IsWindow(dialog); }));
        ASSERT_TRUE(commandFinished(main)); // the answer taken: the host traces now
        testing_support::writeFile(own.file("answered"), "go");
        ASSERT_TRUE(eventually([&] { return platform::fileExists(own.file("traced")); }));
        ASSERT_TRUE(exitWindow(main));

        std::string store = testing_support::readFile(own.file("settings.ini"));
        EXPECT_EQ(storedValue(store, "EnableLogToFile"), confirm ? "1" : "0") << store;
        EXPECT_EQ(storedValue(store, "LogFile"), confirm ? chosen : old) << store;
        EXPECT_FALSE(platform::fileExists(old));
        if (confirm) {
            const std::string written = testing_support::readFile(chosen);
            EXPECT_EQ(written.rfind("from an earlier run\n", 0), 0u) << written;
            EXPECT_NE(written.find("after the answer"), std::string::npos) << written;
        } else
            EXPECT_FALSE(platform::fileExists(chosen));
        testing_support::writeFile(own.file("end"), "end");
        ASSERT_TRUE(logHost.wait(kHostBound));
    }
}

TEST_F(ConsoleWindow, ProblemReportWithoutTheComponentShowsNothing) {
    start({"display"});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(eventually([&] { return IsWindowVisible(main) != FALSE; }));
    const int shown = shownWindowsOf(main);
    PostMessageA(main, WM_COMMAND, 32782, 0);
    PostMessageA(main, WM_COMMAND, 104, 0); // handled after the problem report returned
    HWND about = waitForDialog("About Console");
    ASSERT_NE(about, nullptr) << "the window goes on after the problem report";
    EXPECT_EQ(shownWindowsOf(main), shown + 1) << "only the About box is new";
    PostMessageA(about, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(eventually([&] { return !IsWindow(about); }));
}

// The problem-report component registered while it lives, at the path given. (Wine's COM looks only in
// the machine's classes; on Windows that takes an administrator.)
class RegisteredProblemReportComponent {
public:
    explicit RegisteredProblemReportComponent(const std::string& dll) {
        HKEY server = nullptr;
        if (RegCreateKeyExA(HKEY_CLASSES_ROOT, (kClassKey + "\\InprocServer32").c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &server, nullptr) != ERROR_SUCCESS)
            return;
        const char apartment[] = "Apartment";
        m_registered =
            RegSetValueExA(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(dll.c_str()),
                           static_cast<DWORD>(dll.size() + 1)) == ERROR_SUCCESS &&
            RegSetValueExA(server, "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(apartment),
                           sizeof apartment) == ERROR_SUCCESS;
        RegCloseKey(server);
    }
    ~RegisteredProblemReportComponent() { RegDeleteTreeA(HKEY_CLASSES_ROOT, kClassKey.c_str()); }
    bool registered() const { return m_registered; }

private:
    const std::string kClassKey = "CLSID\\{AEA746EA-82EB-11D3-891E-0080AD877781}";
    bool m_registered = false;
};

TEST_F(ConsoleWindow, ProblemReportCallsTheRegisteredComponentWithNoText) {
    RegisteredProblemReportComponent component(
        testing_support::libraryBesideTests("problem_report_component"));
    if (!component.registered())
        GTEST_SKIP() << "registering a COM class takes an administrator here";
    const std::string recordFile = folder.file("problem-report.txt");
    host = std::make_unique<platform::ChildProcess>(
        testing_support::helperProgram("console_host"),
        std::vector<std::string>{"display", "wait-for", signal("end")},
        platform::EnvironmentChanges{{"KITBAG_SETTINGS", folder.file("settings.ini")},
                                     {"PL_PROBLEM_REPORT_RECORD", recordFile}});
    HWND main = window();
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_COMMAND, 32782, 0);
    std::string record;
    EXPECT_TRUE(eventually([&] {
        record = testing_support::readFile(recordFile);
        return record.find("entry -1") != std::string::npos;
    })) << record;
    EXPECT_EQ(record, "entry 16 text=null\nentry -1 text=null\n")
        << "only the entry at index 16, with a null string, then released";
}

TEST(ConsoleWindowUnload, UnloadingRightAfterDisplayLogTwentyTimesLeavesEachWindowWorking) {
    TemporaryFolder folder;
    auto result =
        platform::runProcess(testing_support::helperProgram("console_unload_host"), {"window-at-once", "20"},
                             {{"KITBAG_SETTINGS", folder.file("settings.ini")}}, 180000);
    ASSERT_TRUE(result.finished) << result.output;
    EXPECT_EQ(result.exitCode, 0) << result.output << result.errors;
    for (int round = 0; round < 20; ++round)
        EXPECT_NE(result.output.find("round " + std::to_string(round) + " banner closed"), std::string::npos)
            << "round " << round << ": " << result.output;
}

TEST(ConsoleWindowUnload, UnloadingConsoleWhileTheWindowIsOpenDoesNotCrash) {
    TemporaryFolder folder;
    auto result = platform::runProcess(testing_support::helperProgram("console_unload_host"), {"window"},
                                       {{"KITBAG_SETTINGS", folder.file("settings.ini")}}, 60000);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_NE(result.output.find("unloaded with the window open"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("view still shows the log"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("closed"), std::string::npos) << result.output;
}

} // namespace
