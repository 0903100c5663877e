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
#include "state/console_state.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr const char* kPrefixes[] = {" INFO: ",  " TRACE: ",  " WARNING: ",   " ERROR: ",
                                     " FATAL: ", " ALWAYS: ", " USERALERT: ", " USERINTERVENTION: "};
constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                     "Thursday", "Friday", "Saturday"};
constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
constexpr int kDefaultRadix = 10;
constexpr std::size_t kLongestPrefix = 19; // " USERINTERVENTION: "

// Runs an insertion. Running out of memory drops its piece, counted with Console's drops; the length
// exception of a text outgrowing its string is the host's to see, so only std::bad_alloc stops here.
template <typename Insertion> void dropIfOutOfMemory(Insertion&& insertion) {
    try {
        insertion();
    } catch (const std::bad_alloc&) {
        ConsoleDrops().Add();
    }
}

void appendPiece(std::string& text, const char* piece, std::size_t length) {
    // Out of memory, the piece is dropped: a log text never aborts the host.
    dropIfOutOfMemory([&] { text.append(piece, length); });
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

namespace {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the clock's bytes are composed little-endian");

// The last decimal digit of a value, and the two digits of 0 to 99, the first in the lower byte. The
// fields of a time are never negative: unsigned arithmetic spares the sign's corrections.
constexpr std::uint64_t digit(unsigned value) {
    return '0' + value % 10u;
}
constexpr std::uint64_t digitPair(int value) {
    return digit(static_cast<unsigned>(value) / 10u) | digit(static_cast<unsigned>(value)) << 8;
}

// Writes "hh:mm:ss:mmm" (12 bytes, no terminator). Each half is composed in a register and stored at
// once: bytes stored one by one and then copied with wider loads stall the processor.
void putLogTime(char* out, const platform::LocalTime& time) {
    const std::uint64_t clock = digitPair(time.hour) | std::uint64_t{':'} << 16 |
                                digitPair(time.minute) << 24 | std::uint64_t{':'} << 40 |
                                digitPair(time.second) << 48;
    const unsigned milliseconds = static_cast<unsigned>(time.milliseconds);
    const std::uint32_t rest =
        static_cast<std::uint32_t>(std::uint64_t{':'} | digit(milliseconds / 100u) << 8 |
                                   digitPair(static_cast<int>(milliseconds % 100u)) << 16);
    std::memcpy(out, &clock, sizeof clock);
    std::memcpy(out + sizeof clock, &rest, sizeof rest);
}

constexpr std::size_t kLogTimeLength = 12;

} // namespace

LogTimeText FormatLogTime(const platform::LocalTime& time) {
    // "%02d:%02d:%02d:%03d", written by hand: every message starts with it.
    LogTimeText clock;
    putLogTime(clock.text, time);
    clock.text[kLogTimeLength] = '\0';
    return clock;
}

CLogReffed::CLogReffed(CLog* log) : m_radix(kDefaultRadix), m_log(log) {}

CLogReffed::CLogReffed(const CLogReffed& other) : m_radix(other.m_radix), m_log(other.m_log) {
    other.m_log = nullptr;
}

CLogReffed::~CLogReffed() {
    if (m_log) {
        // A disabled message goes nowhere: its text is only dropped (as Dispatch would), without the call.
        if (m_log->m_messageEnabled)
            m_log->Dispatch();
        else
            m_log->m_text.clear();
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
    dropIfOutOfMemory([&] { m_log->m_text += platform::narrowFromUtf16(text); });
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
    dropIfOutOfMemory([&] {
        // The code in hexadecimal as its bits: 0x80004005 on Windows, the whole 64 bits where long has them.
        std::string code = digitsOf(static_cast<unsigned long>(errorCode), 16);
        std::string text;
        if (platform::systemErrorText(errorCode, text))
            m_log->m_text += text + " (0x" + code + ")";
        else
            m_log->m_text += "(0x" + code + ")";
    });
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
    const bool enabled = logging_word::IsEnabled(m_settings.loggingWord, severity);
    m_messageEnabled = enabled;
    if (enabled) {
        m_messageSeverity = severity;
        StartMessageText(kPrefixes[severity]);
    }
    return CLogReffed(this);
}

// The time, the prefix and the user mark after them, as Time, the prefix and User would insert them: in
// one append when the text has the room, else as two pieces that running out of memory drops one by one.
void CLog::StartMessageText(const char* prefix) {
    const platform::LocalTime now = platform::localTime();
    const std::size_t prefixLength = std::char_traits<char>::length(prefix);
    if (m_text.capacity() - m_text.size() >= kLogTimeLength + prefixLength &&
        prefixLength <= kLongestPrefix) {
        char start[kLogTimeLength + kLongestPrefix];
        putLogTime(start, now);
        std::memcpy(start + kLogTimeLength, prefix, prefixLength);
        m_text.append(start, kLogTimeLength + prefixLength); // no allocation: it fits
    } else {
        const LogTimeText clock = FormatLogTime(now);
        appendPiece(m_text, clock.text, kLogTimeLength);
        appendPiece(m_text, prefix, prefixLength);
    }
    m_userMark = static_cast<std::uint32_t>(m_text.size());
}
