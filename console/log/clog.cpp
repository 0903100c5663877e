// CLog: configuration, the enabled test, the log file switch, header and footer, and the one instance.
#include "Console.h"

#include "log/clog_lifetime.h"
#include "log/logging_word.h"
#include "platform.h"
#include "state/console_state.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>

namespace {

constexpr const char* kStars = "***************************************************************************";

} // namespace

// ---- Configuration ---------------------------------------------------------------------------------------

namespace {

// Passes the word on to the processes this one starts. Out of memory, it is not passed on.
void publishWord(std::uint32_t word) noexcept {
    boundary::guarded(ConsoleDrops, [word] {
        platform::setEnvironmentVariable(logging_word::kEnvironmentVariable,
                                         logging_word::FormatWord(word).c_str());
    });
}

} // namespace

// Nothing throws out of the configuration (CS_GetLog must return a log): a step that runs out of memory
// is skipped, and the word is what the steps before it made it.
CLog::Settings::Settings()
    : debuggerPresent("kernel32.dll", "IsDebuggerPresent"), loggingWord(logging_word::kDefault),
      headerAndFooter(true) {
    const bool underDebugger = debuggerPresent.IsAvailable() && debuggerPresent() != 0;
    if (underDebugger)
        loggingWord |= logging_word::kToPipeline;
    // Out of memory, the header shows an empty command line.
    boundary::guarded(ConsoleDrops, [this] { commandLine = platform::processCommandLine(); });

    // The option is removed from the process's command line in place; the copy above keeps it for the
    // header.
    if (char* option = logging_word::FindOption(platform::processCommandLine())) {
        loggingWord =
            logging_word::ParseHex(option + 1 + std::char_traits<char>::length(logging_word::kOptionName));
        if (underDebugger)
            loggingWord = logging_word::UnderDebugger(loggingWord);
        publishWord(loggingWord);
        logging_word::RemoveOption(option);
        return;
    }
    // An inherited word is taken as it is, and the process that set it writes the header and footer.
    const std::optional<std::string> inherited =
        boundary::guarded(ConsoleDrops, std::optional<std::string>(),
                          [] { return platform::environmentVariable(logging_word::kEnvironmentVariable); });
    if (inherited && !inherited->empty()) {
        loggingWord = logging_word::ParseHex(inherited->c_str());
        headerAndFooter = false;
        return;
    }
    publishWord(loggingWord);
}

CLog::CLog()
    : m_userMark(0), m_messageEnabled(true), m_messageSeverity(ERROR), m_startTime(0), m_callback(nullptr) {
    SetLogToFile((m_settings.loggingWord & logging_word::kToFile) != 0);
    if (m_settings.headerAndFooter)
        WriteHeader();
}

// The footer was written when the log ended (CLogLifetime::End).
CLog::~CLog() = default;

void CLog::WriteHeader() {
    m_startTime = platform::systemTimeTicks();
    if (!CLogLifetime::BeginMessage())
        return;
    m_messageEnabled = true;
    m_messageSeverity = ERROR;
    const std::string directory =
        boundary::guarded(ConsoleDrops, std::string(), [] { return platform::currentDirectory(); });
    CLogReffed builder(this);
    builder << kStars << "\nLog started on " << Date << " at " << Time
            << " local time\nProcess ID:           0x" << Hex
            << static_cast<int>(platform::currentProcessId()) << Dec << Endl << "CommandLine is:       '"
            << m_settings.commandLine.c_str() << "'" << Endl << "Current directory is: '" << directory.c_str()
            << "'" << Endl << Endl;
}

void CLog::WriteFooter() {
    std::int64_t endTime = platform::systemTimeTicks();
    // The footer is a message of its own: a message that can no longer end (its thread is gone, or it is
    // this thread's, which is exiting) is dropped rather than mixed into it.
    m_text.clear();
    m_messageEnabled = true;
    m_messageSeverity = TRACE;
    const std::string runningTime = boundary::guarded(
        ConsoleDrops, std::string(), [&] { return logging_word::RunningTime(endTime - m_startTime); });
    CLogReffed builder(this);
    builder << "\nLog ended on " << Date << " at " << Time << " local time\nRunning time "
            << runningTime.c_str() << "\n"
            << kStars << "\n\n";
}

// ---- Queries and switches --------------------------------------------------------------------------------

bool CLog::IsEnabledFor(LogSeverity severity) const {
    return logging_word::IsEnabled(m_settings.loggingWord, severity);
}

void CLog::SetLogToFile(bool on) {
    // A name that would not fit the path buffers turns file output off rather than being cut; so does
    // running out of memory for it.
    std::string name;
    if (on) {
        name = boundary::guarded(ConsoleDrops, std::string(), [] {
            return logging_word::LogFileName(platform::executablePath(), platform::maxPathLength());
        });
    }
    m_settings.logFileName.swap(name);
    if (m_settings.logFileName.empty())
        m_settings.loggingWord &= ~logging_word::kToFile;
    else
        m_settings.loggingWord |= logging_word::kToFile;
}

bool CLog::GetLogToFile() const {
    return (m_settings.loggingWord & logging_word::kToFile) != 0;
}

TWinString<char> CLog::GetLogFilename() const {
    // Out of memory for the copy: an empty name.
    return boundary::guarded(ConsoleDrops, TWinString<char>(),
                             [this] { return TWinString<char>(m_settings.logFileName); });
}

void CLog::SetLogCallback(CLogCallback* callback) {
    m_callback = callback;
}

CLogCallback::CLogCallback() = default;

CLogCallback::CLogCallback(const CLogCallback&) {}

CLogCallback& CLogCallback::operator=(const CLogCallback&) {
    return *this;
}

CLogCallback::~CLogCallback() = default;

// ---- The one instance ------------------------------------------------------------------------------------

namespace {

std::once_flag created;
// The log lives in storage of the module's own: creating it allocates nothing that could fail, and at a
// process exit it can stay where it is.
alignas(CLog) unsigned char storage[sizeof(CLog)];
CLog* instance = nullptr;
std::atomic<bool> ended{false};
std::atomic<bool> ending{false};
// Messages being built, by every thread and by this one.
std::atomic<int> messagesInProgress{0};
thread_local int messagesOfThisThread = 0;

// How long the end waits for other threads' messages before it gives up the footer.
constexpr auto kOtherMessagesWait = std::chrono::seconds(5);

// True when no other thread is building a message, or once they all ended theirs; false when they did not
// within the wait.
bool otherMessagesEnded() noexcept {
    const auto deadline = std::chrono::steady_clock::now() + kOtherMessagesWait;
    while (messagesInProgress.load() > messagesOfThisThread) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace

CLog& CLogLifetime::Get() {
    std::call_once(created, [] {
        instance = new (storage) CLog();
        std::atexit(End);
    });
    if (ended.load())
        throw std::logic_error("Dead Reference Detected");
    return *instance;
}

bool CLogLifetime::BeginMessage() noexcept {
    // Counted before the end is checked, and the end is marked before the count is read: either the end
    // sees this message, or this message sees the end.
    messagesInProgress.fetch_add(1);
    if (ending.load()) {
        messagesInProgress.fetch_sub(1);
        return false;
    }
    ++messagesOfThisThread;
    return true;
}

void CLogLifetime::EndMessage() noexcept {
    --messagesOfThisThread;
    messagesInProgress.fetch_sub(1);
}

void CLogLifetime::End() noexcept {
    ending.store(true);
    const bool othersRun = platform::exitingWhileOtherThreadsRun();
    CLog* log = instance;
    // Another thread's message that does not end in the wait (it never ends its message), or that can no
    // longer end (the system stopped its thread in the middle of it, at a Windows process exit, perhaps
    // inside a lock or a system call): no footer is written rather than one that races it or trusts what
    // it left half done.
    const bool othersDone =
        othersRun ? otherMessagesEnded() : messagesInProgress.load() == messagesOfThisThread;
    if (log->m_settings.headerAndFooter && othersDone) {
        messagesInProgress.fetch_add(1);
        ++messagesOfThisThread;
        log->WriteFooter();
    }
    ended.store(true);
    if (!othersRun) {
        log->~CLog();
        instance = nullptr;
    }
}

// Written through the file's own append, as every message is; the log is not asked to build anything.
void CLogLifetime::AppendCrashLine(const char* line, std::size_t length) noexcept {
    CLog* log = instance;
    if (!log || ended.load() || !(log->m_settings.loggingWord & logging_word::kToFile))
        return;
    platform::appendWriteThrough(log->m_settings.logFileName.c_str(), "", 0, line, length);
}

CLog& CS_GetLog() {
    return CLogLifetime::Get();
}
