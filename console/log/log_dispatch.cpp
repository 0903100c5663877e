// Dispatch: what happens to a finished CLog message.
#include "Console.h"

#include "api/line_pipeline.h"
#include "log/com_error_info.h"
#include "log/logging_word.h"
#include "log/user_alert.h"
#include "platform.h"
#include "state/console_state.h"

#include <algorithm>

namespace {

struct AcceptsCall {
    CLogCallback* callback;
    CLog::LogSeverity severity;
    bool answer;
};

struct OnMessageCall {
    CLogCallback* callback;
    CLog::LogSeverity severity;
    const CLog* log;
};

} // namespace

void CLog::Dispatch() {
    const std::uint32_t word = m_settings.loggingWord;
    const bool loggingOn = (word & 0xFFu) != 0;
    if ((loggingOn || m_messageSeverity >= USERALERT) && m_messageEnabled && !m_text.empty()) {
        // Out of memory: the sinks not yet served miss this message. Nothing is thrown at the host.
        boundary::guarded(ConsoleDrops, [this, word] { DispatchToSinks(word); });
    }
    m_text.clear();
}

void CLog::DispatchToSinks(std::uint32_t word) {
    if (m_text.back() != '\n')
        m_text += '\n';
    if (word & logging_word::kToPipeline)
        ConsoleWriteText(m_text.c_str(), false);
    if (m_messageSeverity >= ERROR && (word & logging_word::kToComErrorInfo))
        PublishComErrorInfo(m_text);
    if (word & logging_word::kToFile) {
        std::string fileName = m_settings.logFileName;
        platform::appendWriteThrough(fileName.c_str(), "", 0, m_text.c_str(), m_text.size());
    }
    if (AcceptedByCallback(m_messageSeverity))
        CallOnMessage(m_messageSeverity);
    if (m_messageSeverity >= USERALERT && !AcceptedByCallback(m_messageSeverity)) {
        // A copy: the box may stay open while this thread logs more into the shared text.
        const std::string boxText = m_text.substr(std::min<std::size_t>(m_userMark, m_text.size()));
        ShowUserAlert(m_messageSeverity, boxText.c_str());
    }
}

// The callback's calls are guarded: one that throws (or faults, on Windows) is dropped for good, and
// counts as not accepting.
bool CLog::AcceptedByCallback(LogSeverity severity) {
    if (!m_callback)
        return false;
    AcceptsCall call{m_callback, severity, false};
    bool returned = platform::callGuarded(
        [](void* context) {
            auto* c = static_cast<AcceptsCall*>(context);
            c->answer = c->callback->AcceptsSeverity(c->severity);
        },
        &call);
    if (!returned)
        m_callback = nullptr;
    return returned && call.answer;
}

void CLog::CallOnMessage(LogSeverity severity) {
    OnMessageCall call{m_callback, severity, this};
    bool returned = platform::callGuarded(
        [](void* context) {
            auto* c = static_cast<OnMessageCall*>(context);
            c->callback->OnMessage(c->severity, *c->log);
        },
        &call);
    if (!returned)
        m_callback = nullptr;
}
