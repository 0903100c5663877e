// The alert boxes, shown by this process's own threads with short ticks, watched and touched from the test's
// thread as a person would: reading captions, pressing a key, clicking, answering.
#include "desktop_win32.h"
#include "log/user_alert.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using testing_support::captionOf;
using testing_support::pressKey;
using testing_support::shownMessageBoxes;
using testing_support::textOfMessageBox;

// Short ticks: boxes come and go within a few hundred milliseconds.
bool eventually(const std::function<bool()>& condition, int milliseconds = 10000) {
    return testing_support::eventually(condition, milliseconds, 2);
}

// The shown box with that text, once it appears.
HWND boxWithText(const std::string& text) {
    HWND found = nullptr;
    eventually([&] {
        for (HWND box : shownMessageBoxes(GetCurrentProcessId())) {
            if (textOfMessageBox(box) == text)
                found = box;
        }
        return found != nullptr;
    });
    return found;
}

const std::string& programPath() {
    static const std::string path = [] {
        char text[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, text, MAX_PATH);
        return std::string(text);
    }();
    return path;
}

// The seconds a countdown caption shows, or -1 for any other caption.
int secondsIn(const std::string& caption) {
    if (caption.size() != programPath().size() + 5 || caption.compare(2, 3, " - ") != 0 ||
        caption.compare(5, std::string::npos, programPath()) != 0 || !isdigit(caption[0]) ||
        !isdigit(caption[1]))
        return -1;
    return std::stoi(caption.substr(0, 2));
}

void clickInside(HWND window) {
    RECT box{};
    GetWindowRect(window, &box);
    SetCursorPos((box.left + box.right) / 2, (box.top + box.bottom) / 2);
    mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
    mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
}

void answerOk(HWND box) {
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

// A thread that shows alerts and says when it is done. Ending it answers whatever boxes are still shown, so
// that a failed check fails the test instead of leaving a thread in a box for ever.
class AlertThread {
public:
    explicit AlertThread(std::function<void()> body)
        : m_thread([this, body] {
              body();
              m_returned = true;
          }) {}
    AlertThread(CLog::LogSeverity severity, std::string text)
        : AlertThread([severity, text] { ShowUserAlert(severity, text.c_str()); }) {}
    ~AlertThread() {
        bool returned = eventually(
            [&] {
                for (HWND box : shownMessageBoxes(GetCurrentProcessId()))
                    answerOk(box);
                return m_returned.load();
            },
            30000);
        if (returned) {
            m_thread.join();
        } else {
            ADD_FAILURE() << "the alert thread does not return even with its boxes answered";
            m_thread.detach();
        }
    }
    bool returned() const { return m_returned; }

private:
    std::atomic<bool> m_returned{false};
    std::thread m_thread;
};

class UserAlert : public ::testing::Test {
protected:
    void SetUp() override { SetUserAlertTickMilliseconds(100); }
    void TearDown() override {
        // Whatever a failed check left open is answered, so that no thread stays behind.
        for (HWND box : shownMessageBoxes(GetCurrentProcessId()))
            answerOk(box);
        SetUserAlertTickMilliseconds(1000);
    }
};

// Every caption a message box of the alert's thread took, in order, as the box shows it: a hook on that
// thread sees each caption change once the box has made it. Polling the caption from another thread would
// miss captions whenever the machine is too busy to look within a tick.
class CaptionRecorder {
public:
    // Call on the thread that shows the boxes; the hook is that thread's own.
    void startOnThisThread() {
        s_recorder = this;
        m_hook = SetWindowsHookExA(WH_CALLWNDPROCRET, recordCaption, nullptr, GetCurrentThreadId());
    }
    void stopOnThisThread() {
        if (m_hook)
            UnhookWindowsHookEx(m_hook);
        m_hook = nullptr;
    }
    bool started() const { return m_hook != nullptr; }
    std::vector<std::string> captions() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_captions;
    }

private:
    static LRESULT CALLBACK recordCaption(int code, WPARAM wParam, LPARAM lParam) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (code == HC_ACTION && call && call->message == WM_SETTEXT && isMessageBox(call->hwnd)) {
            std::lock_guard<std::mutex> hold(s_recorder->m_lock);
            s_recorder->m_captions.push_back(captionOf(call->hwnd));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static bool isMessageBox(HWND window) {
        char name[16] = "";
        GetClassNameA(window, name, sizeof name);
        return std::string(name) == "#32770";
    }

    static CaptionRecorder* s_recorder;
    HHOOK m_hook = nullptr;
    std::mutex m_lock;
    std::vector<std::string> m_captions;
};
CaptionRecorder* CaptionRecorder::s_recorder = nullptr;

TEST_F(UserAlert, CountdownStartsAtFifteenCountsDownAndClosesTheBox) {
    CaptionRecorder recorder;
    std::atomic<bool> recording{false};
    AlertThread alert([&] {
        recorder.startOnThisThread();
        recording = recorder.started();
        ShowUserAlert(CLog::USERALERT, "Camera unplugged\n");
        recorder.stopOnThisThread();
    });
    HWND box = boxWithText("Camera unplugged\n");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(eventually([&] { return alert.returned(); })) << "the box closes by itself";
    EXPECT_FALSE(IsWindow(box));
    ASSERT_TRUE(recording) << "the captions could not be watched";
    std::vector<int> seen;
    for (const std::string& caption : recorder.captions()) {
        int seconds = secondsIn(caption);
        EXPECT_NE(seconds, -1) << "every caption counts: " << caption;
        if (seconds != -1 && (seen.empty() || seen.back() != seconds))
            seen.push_back(seconds);
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 15) << "the first caption is \"15 - \" and the module path";
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_LT(seen[i], seen[i - 1]) << "counts down";
    EXPECT_GE(seen.size(), 10u) << "a caption each tick";
    EXPECT_EQ(seen.back(), 1);
    EXPECT_EQ(seen.size(), 15u) << "each of 15 to 1, once";
    EXPECT_TRUE(UserAlertIdle());
}

TEST_F(UserAlert, KeyOrMouseButtonInTheBoxStopsTheCountdown) {
    struct Case {
        const char* name;
        std::function<void(HWND)> touch;
    };
    for (const Case& c : {Case{"a key",
                               [](HWND box) {
                                   SetForegroundWindow(box);
                                   pressKey(VK_SHIFT);
                               }},
                          Case{"a mouse click", [](HWND box) { clickInside(GetDlgItem(box, 0xFFFF)); }}}) {
        SCOPED_TRACE(c.name);
        AlertThread alert(CLog::USERALERT, "Touch me\n");
        HWND box = boxWithText("Touch me\n");
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(eventually([&] {
            int seconds = secondsIn(captionOf(box));
            return seconds > 0 && seconds <= 12;
        })) << captionOf(box);
        c.touch(box);
        EXPECT_TRUE(eventually([&] { return captionOf(box) == programPath(); }, 3000))
            << "the caption becomes the path alone: " << captionOf(box);
        std::this_thread::sleep_for(std::chrono::milliseconds(1800)); // past the end of any countdown
        EXPECT_TRUE(IsWindow(box)) << "the box stays until dismissed";
        EXPECT_EQ(captionOf(box), programPath());
        answerOk(box);
        EXPECT_TRUE(eventually([&] { return alert.returned(); }));
        EXPECT_TRUE(UserAlertIdle());
    }
}

TEST_F(UserAlert, UserInterventionShowsThePlainBoxThatWaits) {
    AlertThread alert(CLog::USERINTERVENTION, "Insert the calibration card\n");
    HWND box = boxWithText("Insert the calibration card\n");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(captionOf(box), programPath());
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    EXPECT_TRUE(IsWindow(box)) << "no countdown closes it";
    EXPECT_EQ(captionOf(box), programPath());
    answerOk(box);
    EXPECT_TRUE(eventually([&] { return alert.returned(); }));
}

TEST_F(UserAlert, AlertFromAnotherThreadWhileOneCountsShowsThePlainBoxAndWaitsForNobody) {
    SetUserAlertTickMilliseconds(200);
    AlertThread first(CLog::USERALERT, "first\n");
    HWND firstBox = boxWithText("first\n");
    ASSERT_NE(firstBox, nullptr);
    ASSERT_TRUE(eventually([&] { return secondsIn(captionOf(firstBox)) > 0; }));
    {
        AlertThread second(CLog::USERALERT, "second\n");
        HWND secondBox = boxWithText("second\n");
        ASSERT_NE(secondBox, nullptr);
        EXPECT_EQ(captionOf(secondBox), programPath()) << "no countdown of its own";
        const int secondsThen = secondsIn(captionOf(firstBox));
        EXPECT_TRUE(eventually([&] { return secondsIn(captionOf(firstBox)) < secondsThen; }, 3000))
            << "the first box goes on counting";
        EXPECT_EQ(captionOf(secondBox), programPath());
        answerOk(secondBox);
        EXPECT_TRUE(eventually([&] { return second.returned(); }, 3000));
        EXPECT_FALSE(first.returned()) << "the second did not wait for the first";
    }
    EXPECT_TRUE(eventually([&] { return first.returned(); })) << "the first closes by itself";
    EXPECT_TRUE(UserAlertIdle());
}

// A window on the alerting thread whose procedure raises an alert of its own, as a host's window can
// while a box's dialog loop dispatches its messages.
constexpr UINT kRaiseNestedAlert = WM_APP + 7;

LRESULT CALLBACK nestingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRaiseNestedAlert) {
        ShowUserAlert(CLog::USERALERT, "nested\n");
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST_F(UserAlert, AlertFromAWindowProcedureWhileTheBoxIsOpenShowsThePlainBox) {
    SetUserAlertTickMilliseconds(200);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = nestingProcedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PLNESTEDALERT";
    RegisterClassA(&windowClass);
    std::atomic<HWND> nestingWindow{nullptr};
    AlertThread owner([&] {
        HWND window = CreateWindowA("PLNESTEDALERT", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                    GetModuleHandleA(nullptr), nullptr);
        nestingWindow = window;
        ShowUserAlert(CLog::USERALERT, "outer\n");
        // Nothing stuck behind: the next alert of this thread counts down again.
        ShowUserAlert(CLog::USERALERT, "again\n");
        DestroyWindow(window);
    });
    HWND outer = boxWithText("outer\n");
    ASSERT_NE(outer, nullptr);
    ASSERT_TRUE(eventually([&] { return secondsIn(captionOf(outer)) > 0; }));
    PostMessageA(nestingWindow, kRaiseNestedAlert, 0, 0);
    HWND nested = boxWithText("nested\n");
    ASSERT_NE(nested, nullptr) << "the nested alert shows a box at once";
    EXPECT_EQ(captionOf(nested), programPath()) << "without a countdown";
    const int secondsThen = secondsIn(captionOf(outer));
    EXPECT_TRUE(eventually([&] { return secondsIn(captionOf(outer)) < secondsThen; }, 3000))
        << "the outer box goes on counting";
    answerOk(nested);
    EXPECT_TRUE(eventually([&] { return !IsWindow(nested); }));

    HWND again = boxWithText("again\n");
    ASSERT_NE(again, nullptr) << "the outer box closed by itself and the thread went on";
    EXPECT_TRUE(eventually([&] { return secondsIn(captionOf(again)) > 0; }, 3000))
        << "the next alert counts down: " << captionOf(again);
    answerOk(again);
    EXPECT_TRUE(eventually([&] { return owner.returned(); }));
    EXPECT_TRUE(UserAlertIdle());
}

} // namespace
