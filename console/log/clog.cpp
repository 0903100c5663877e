// CLog: configuration, the enabled test, the log file switch, header and footer, and the one instance.
#include "Console.h"

#include "line_pipeline.h"
#include "logging_word.h"
#include "platform.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <stdexcept>

namespace {

constexpr const char* kStars = "***************************************************************************";

} // namespace

// ---- Configuration ---------------------------------------------------------------------------------------

CLog::Settings::Settings()
    : debuggerPresent("kernel32.dll", "IsDebuggerPresent"), loggingWord(logging_word::kDefault),
      commandLine(platform::processCommandLine()), headerAndFooter(true) {
    const bool underDebugger = debuggerPresent.IsAvailable() && debuggerPresent() != 0;
    if (underDebugger)
        loggingWord |= logging_word::kToPipeline;

    // The option is removed from the process's command line in place; the copy above keeps it for the
    // header.
    if (char* option = logging_word::FindOption(platform::processCommandLine())) {
        loggingWord =
            logging_word::ParseHex(option + 1 + std::char_traits<char>::length(logging_word::kOptionName));
        if (underDebugger)
            loggingWord = logging_word::UnderDebugger(loggingWord);
        platform::setEnvironmentVariable(logging_word::kEnvironmentVariable,
                                         logging_word::FormatWord(loggingWord).c_str());
        logging_word::RemoveOption(option);
        return;
    }
    // An inherited word is taken as it is, and the process that set it writes the header and footer.
    std::optional<std::string> inherited = platform::environmentVariable(logging_word::kEnvironmentVariable);
    if (inherited && !inherited->empty()) {
        loggingWord = logging_word::ParseHex(inherited->c_str());
        headerAndFooter = false;
        return;
    }
    platform::setEnvironmentVariable(logging_word::kEnvironmentVariable,
                                     logging_word::FormatWord(loggingWord).c_str());
}

CLog::CLog()
    : m_userMark(0), m_messageEnabled(true), m_messageSeverity(ERROR), m_startTime(0), m_callback(nullptr) {
    SetLogToFile((m_settings.loggingWord & logging_word::kToFile) != 0);
    if (m_settings.headerAndFooter)
        WriteHeader();
}

CLog::~CLog() {
    if (m_settings.headerAndFooter)
        WriteFooter();
}

void CLog::WriteHeader() {
    m_startTime = platform::systemTimeTicks();
    m_messageEnabled = true;
    m_messageSeverity = ERROR;
    CLogReffed builder(this);
    builder << kStars << "\nLog started on " << Date << " at " << Time
            << " local time\nProcess ID:           0x" << Hex
            << static_cast<int>(platform::currentProcessId()) << Dec << Endl << "CommandLine is:       '"
            << m_settings.commandLine.c_str() << "'" << Endl << "Current directory is: '"
            << platform::currentDirectory().c_str() << "'" << Endl << Endl;
}

void CLog::WriteFooter() {
    std::int64_t endTime = platform::systemTimeTicks();
    m_messageEnabled = true;
    m_messageSeverity = TRACE;
    std::string runningTime = logging_word::RunningTime(endTime - m_startTime);
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
    // A name that would not fit the path buffers turns file output off rather than being cut.
    m_settings.logFileName =
        on ? logging_word::LogFileName(platform::executablePath(), platform::maxPathLength()) : std::string();
    if (m_settings.logFileName.empty())
        m_settings.loggingWord &= ~logging_word::kToFile;
    else
        m_settings.loggingWord |= logging_word::kToFile;
}

bool CLog::GetLogToFile() const {
    return (m_settings.loggingWord & logging_word::kToFile) != 0;
}

TWinString<char> CLog::GetLogFilename() const {
    return TWinString<char>(m_settings.logFileName);
}

void CLog::SetLogCallback(CLogCallback* callback) {
    m_callback = callback;
}

CLogCallback::~CLogCallback() = default;

// ---- The one instance ------------------------------------------------------------------------------------

// Creates the log on first use and destroys it from the module's exit list, which runs when Console
// unloads (at the latest at process exit), before the pipeline it writes its footer to goes.
class CLogLifetime {
public:
    static CLog& Get() {
        std::call_once(s_created, [] {
            s_instance = new CLog();
            std::atexit(Destroy);
        });
        if (s_destroyed)
            throw std::logic_error("Dead Reference Detected");
        return *s_instance;
    }

private:
    // While the footer is written the log is still there for a callback that asks for it.
    static void Destroy() {
        delete s_instance;
        s_instance = nullptr;
        s_destroyed = true;
    }

    static std::once_flag s_created;
    static CLog* s_instance;
    static bool s_destroyed;
};

std::once_flag CLogLifetime::s_created;
CLog* CLogLifetime::s_instance = nullptr;
bool CLogLifetime::s_destroyed = false;

CLog& CS_GetLog() {
    return CLogLifetime::Get();
}
