// CLog's alert boxes as a host shows them through Console.dll: the real countdown, the box text from the
// user mark, a callback that takes alerts, and the logging word 0.
#include "child_process.h"
#include "desktop_win32.h"
#include "platform.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::captionOf;
using testing_support::shownMessageBoxes;
using testing_support::TemporaryFolder;
using testing_support::textOfMessageBox;

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The seconds of a countdown caption on Console.dll's path, or -1.
int countdownSeconds(const std::string& caption) {
    if (caption.size() < 6 || caption.compare(2, 3, " - ") != 0 || !endsWith(caption, "\\Console.dll") ||
        !isdigit(static_cast<unsigned char>(caption[0])) || !isdigit(static_cast<unsigned char>(caption[1])))
        return -1;
    return std::stoi(caption.substr(0, 2));
}

class AlertHost : public ::testing::Test {
protected:
    TemporaryFolder folder;

    std::unique_ptr<platform::ChildProcess> start(const std::vector<std::string>& commands) {
        auto host = std::make_unique<platform::ChildProcess>(
            testing_support::helperProgram("console_host"), commands,
            platform::EnvironmentChanges{{"KITBAG_SETTINGS", folder.file("settings.ini")},
                                         {"logging", std::nullopt}});
        EXPECT_TRUE(host->started());
        return host;
    }

    // Watches the shown boxes until the host ends; each new box is handed to onBox once.
    void watchUntilTheHostEnds(platform::ChildProcess& host,
                               const std::function<void(HWND, const std::string&)>& onBox,
                               int milliseconds = 30000) {
        std::vector<HWND> handled;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (!host.wait(0) && std::chrono::steady_clock::now() < deadline) {
            for (HWND box : shownMessageBoxes()) {
                if (std::find(handled.begin(), handled.end(), box) == handled.end()) {
                    handled.push_back(box);
                    onBox(box, textOfMessageBox(box));
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (!host.wait(0)) {
            host.kill();
            ADD_FAILURE() << "the host did not end";
        }
    }
};

TEST_F(AlertHost, RealCountdownShowsFifteenDownToOneAndClosesTheBoxItself) {
    auto host = start({"clog", "6", "Disk almost full"});
    HWND box = nullptr;
    std::vector<int> seen;
    auto firstSeen = std::chrono::steady_clock::now(), gone = firstSeen;
    watchUntilTheHostEnds(*host, [&](HWND shown, const std::string& text) {
        EXPECT_EQ(text, "Disk almost full\n") << "the text from the user mark on";
        box = shown;
        firstSeen = std::chrono::steady_clock::now();
        while (IsWindow(box)) {
            int seconds = countdownSeconds(captionOf(box));
            if (seconds != -1 && (seen.empty() || seen.back() != seconds))
                seen.push_back(seconds);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        gone = std::chrono::steady_clock::now();
    });
    ASSERT_NE(box, nullptr) << "a USERALERT without a callback shows a box";
    std::vector<int> expected;
    for (int seconds = 15; seconds >= 1; --seconds)
        expected.push_back(seconds);
    EXPECT_EQ(seen, expected) << "captions \"15 - <Console.dll's path>\" down to \"01 - ...\"";
    auto shownFor = std::chrono::duration_cast<std::chrono::seconds>(gone - firstSeen).count();
    EXPECT_GE(shownFor, 12) << "a second a tick";
}

TEST_F(AlertHost, BoxTextStartsAtTheUserMark) {
    auto host = start({"clog-user", "6", "written before the mark ", "after the mark"});
    std::vector<std::string> texts;
    watchUntilTheHostEnds(*host, [&](HWND box, const std::string& text) {
        texts.push_back(text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(texts, std::vector<std::string>{"after the mark\n"});
}

TEST_F(AlertHost, ACallbackThatAcceptsAlertsTakesThemAndNoBoxAppears) {
    struct Case {
        const char* accepted;
        bool boxExpected;
    };
    for (const Case& c : {Case{"6", false}, Case{"23", true}}) {
        SCOPED_TRACE(std::string("callback accepting ") + c.accepted);
        auto host = start({"-logging:0", "callback", c.accepted, "clog", "6", "taken or shown"});
        int boxes = 0;
        watchUntilTheHostEnds(*host, [&](HWND box, const std::string& text) {
            ++boxes;
            EXPECT_EQ(text, "taken or shown\n");
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        EXPECT_EQ(boxes, c.boxExpected ? 1 : 0);
        EXPECT_EQ(host->output().find("callback 6 [") != std::string::npos, !c.boxExpected) << host->output();
    }
}

TEST_F(AlertHost, WithLoggingWordZeroAnAlertStillShowsABoxAndFatalGoesNowhere) {
    auto host = start({"-logging:0", "clog", "5", "fatal goes nowhere", "clog", "6", "alert shown", "read",
                       folder.file("buffer")});
    std::vector<std::string> texts;
    watchUntilTheHostEnds(*host, [&](HWND box, const std::string& text) {
        texts.push_back(text);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(texts, std::vector<std::string>{"alert shown\n"});
    std::string buffer = testing_support::readFile(folder.file("buffer"));
    EXPECT_EQ(buffer.find("fatal goes nowhere"), std::string::npos) << buffer;
    EXPECT_EQ(buffer.find("alert shown"), std::string::npos)
        << "the box is the alert's only sink: " << buffer;
}

} // namespace
