// CLogReffed: one message being written into the log's text, and the manipulators.
//
// Nothing an insertion does throws at the host except std::length_error, when the text would outgrow the
// string: running out of memory drops that insertion's piece of text.
#include "Console.h"

#include "api/format_string.h"
#include "log/clog_lifetime.h"
#include "log/log_time_text.h"
#include "log/logging_word.h"
#include "platform.h"

#include <cstdio>
#include <new>

namespace {

constexpr const char* kPrefixes[] = {" INFO: ",  " TRACE: ",  " WARNING: ",   " ERROR: ",
                                     " FATAL: ", " ALWAYS: ", " USERALERT: ", " USERINTERVENTION: "};
constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
constexpr int kDefaultRadix = 10;

void appendPiece(std::string& text, const char* piece, std::size_t length) {
    try {
        text.append(piece, length);
    } catch (const std::bad_alloc&) {
        // Dropped: a log text never aborts the host.
    }
}

void appendPiece(std::string& text, const char* piece) {
    appendPiece(text, piece, std::char_traits<char>::length(piece));
}

// Appends the digits of an unsigned value in a radix from 2 to 36, lower-case letters above 9. Radix 10,
// the usual one, divides by a constant: the compiler turns that into a multiplication.
void appendDigits(std::string& text, unsigned long long value, int radix) {
    char buffer[72];
    char* end = buffer + sizeof buffer;
    char* p = end;
    if (radix == 10) {
        do {
            *--p = static_cast<char>('0' + value % 10u);
            value /= 10u;
        } while (value != 0);
    } else {
        do {
            int digit = static_cast<int>(value % static_cast<unsigned>(radix));
            *--p = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
            value /= static_cast<unsigned>(radix);
        } while (value != 0);
    }
    appendPiece(text, p, static_cast<std::size_t>(end - p));
}

std::string digitsOf(unsigned long long value, int radix) {
    std::string text;
    appendDigits(text, value, radix);
    return text;
}

} // namespace

LogDateText FormatLogDate(const platform::LocalTime& time) {
    LogDateText date{};
    std::snprintf(date.text, sizeof date.text, "%s %d %s %d", kWeekdays[time.dayOfWeek % 7], time.day,
                  kMonths[(time.month + 11) % 12], time.year);
    return date;
}

LogTimeText FormatLogTime(const platform::LocalTime& time) {
    // "%02d:%02d:%02d:%03d", written by hand: every message starts with it.
    LogTimeText clock{"00:00:00:000"};
    PutTwoDigits(clock.text, time.hour);
    PutTwoDigits(clock.text + 3, time.minute);
    PutTwoDigits(clock.text + 6, time.second);
    clock.text[9] = static_cast<char>('0' + time.milliseconds / 100 % 10);
    PutTwoDigits(clock.text + 10, time.milliseconds % 100);
    return clock;
}

CLogReffed::CLogReffed(CLog* log) : m_radix(kDefaultRadix), m_log(log) {}

CLogReffed::CLogReffed(const CLogReffed& other) : m_radix(other.m_radix), m_log(other.m_log) {
    other.m_log = nullptr;
}

CLogReffed::~CLogReffed() {
    if (m_log) {
        m_log->Dispatch();
        CLogLifetime::EndMessage();
    }
}

bool CLogReffed::Converts() const {
    return m_log && m_log->m_messageEnabled;
}

CLogReffed& CLogReffed::operator<<(const char* text) {
    if (m_log)
        appendPiece(m_log->m_text, text ? text : "<null>");
    return *this;
}

CLogReffed& CLogReffed::operator<<(unsigned short* const& text) {
    if (!m_log)
        return *this;
    if (!text) {
        appendPiece(m_log->m_text, "<null>");
        return *this;
    }
    try {
        std::string narrow = platform::narrowFromUtf16(text);
        m_log->m_text += narrow;
    } catch (const std::bad_alloc&) {
    }
    return *this;
}

CLogReffed& CLogReffed::operator<<(const TWinString<char>& text) {
    // The text ends at its first NUL, as every text of the system does: the bytes after one would reach
    // some sinks and not others.
    if (m_log)
        appendPiece(m_log->m_text, text.c_str());
    return *this;
}

CLogReffed& CLogReffed::operator<<(bool value) {
    return *this << (value ? "true" : "false");
}

CLogReffed& CLogReffed::operator<<(int value) {
    if (!Converts())
        return *this;
    // Like _itoa: a sign in radix 10 only; other radices show the 32 bits as an unsigned number.
    if (m_radix == 10 && value < 0) {
        appendPiece(m_log->m_text, "-", 1);
        appendDigits(m_log->m_text, 0u - static_cast<unsigned long long>(static_cast<long long>(value)), 10);
    } else {
        appendDigits(m_log->m_text, static_cast<std::uint32_t>(value), m_radix);
    }
    return *this;
}

CLogReffed& CLogReffed::operator<<(unsigned long value) {
    if (Converts())
        appendDigits(m_log->m_text, value, m_radix);
    return *this;
}

CLogReffed& CLogReffed::operator<<(long errorCode) {
    if (!Converts())
        return *this;
    m_radix = kDefaultRadix;
    try {
        // The code in hexadecimal as its bits: 0x80004005 on Windows, the whole 64 bits where long has them.
        std::string code = digitsOf(static_cast<unsigned long>(errorCode), 16);
        std::string text;
        if (platform::systemErrorText(errorCode, text))
            m_log->m_text += text + " (0x" + code + ")";
        else
            m_log->m_text += "(0x" + code + ")";
    } catch (const std::bad_alloc&) {
    }
    return *this;
}

CLogReffed& CLogReffed::operator<<(CLogReffed& (*manipulator)(CLogReffed&)) {
    return manipulator(*this);
}

void CLogReffed::SetRadix(int radix) {
    if (radix >= 2 && radix <= 36)
        m_radix = radix;
}

void CLogReffed::SetUserMark() {
    if (m_log)
        m_log->m_userMark = static_cast<std::uint32_t>(m_log->m_text.size());
}

CLogReffed& Endl(CLogReffed& builder) {
    return builder << "\n";
}

CLogReffed& Hex(CLogReffed& builder) {
    builder.SetRadix(16);
    return builder;
}

CLogReffed& Dec(CLogReffed& builder) {
    builder.SetRadix(10);
    return builder;
}

CLogReffed& Bin(CLogReffed& builder) {
    builder.SetRadix(2);
    return builder;
}

CLogReffed& User(CLogReffed& builder) {
    builder.SetUserMark();
    return builder;
}

CLogReffed& Date(CLogReffed& builder) {
    return builder << FormatLogDate(platform::localTime()).text;
}

CLogReffed& Time(CLogReffed& builder) {
    return builder << FormatLogTime(platform::localTime()).text;
}

// ---- Starting a message ----------------------------------------------------------------------------------

CLogReffed CLog::operator<<(LogSeverity severity) {
    // Once the log is ending, a message is dropped before it touches the log.
    if (!CLogLifetime::BeginMessage())
        return CLogReffed(nullptr);
    bool enabled = IsEnabledFor(severity);
    m_messageEnabled = enabled;
    if (enabled)
        m_messageSeverity = severity;
    CLogReffed builder(this);
    if (enabled)
        builder << Time << kPrefixes[severity] << User;
    return builder;
}
