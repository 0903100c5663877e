#include "ini_document.h"

namespace kitbag {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return std::string_view();
    std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool isQuoted(std::string_view text) {
    return text.size() >= 2 && text.front() == '"' && text.back() == '"';
}

bool needsQuotes(std::string_view value) {
    if (value.empty())
        return false;
    return kBlanks.find(value.front()) != std::string_view::npos ||
           kBlanks.find(value.back()) != std::string_view::npos || isQuoted(value);
}

std::string_view detectNewline(std::string_view text) {
    std::size_t lineFeed = text.find('\n');
    if (lineFeed == std::string_view::npos)
        return std::string_view();
    return lineFeed > 0 && text[lineFeed - 1] == '\r' ? "\r\n" : "\n";
}

} // namespace

bool isStorableSectionName(std::string_view name) {
    return !name.empty() && trim(name) == name && !hasLineBreak(name) &&
           name.find(']') == std::string_view::npos;
}

bool isStorableKey(std::string_view key) {
    return !key.empty() && trim(key) == key && !hasLineBreak(key) &&
           key.find('=') == std::string_view::npos &&
           std::string_view("[;#").find(key.front()) == std::string_view::npos;
}

bool isStorableValue(std::string_view value) {
    return !hasLineBreak(value);
}

IniDocument::IniDocument(std::string_view text, std::string newline) {
    std::string_view detected = detectNewline(text);
    m_newline = detected.empty() ? std::move(newline) : std::string(detected);
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view raw = text.substr(0, end);
        // Every carriage return before the line feed belongs to the line end: a line read back from what
        // this document writes is then the same line, whichever line end the file mixes in.
        while (!raw.empty() && raw.back() == '\r')
            raw.remove_suffix(1);
        m_lines.push_back(parseLine(std::string(raw), m_lines.empty()));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
}

IniDocument::Line IniDocument::parseLine(std::string raw, bool firstLine) {
    Line line;
    line.raw = std::move(raw);
    std::string_view content = line.raw;
    // A byte-order mark means something only at the start of the file; elsewhere it is part of a name.
    if (firstLine && content.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        content.remove_prefix(kByteOrderMark.size());
    content = trim(content);
    if (content.empty() || content.front() == ';' || content.front() == '#')
        return line;
    if (content.front() == '[') {
        std::size_t close = content.find(']');
        if (close != std::string_view::npos) {
            line.kind = Kind::Section;
            line.name = std::string(trim(content.substr(1, close - 1)));
        }
        return line;
    }
    std::size_t equals = content.find('=');
    if (equals == std::string_view::npos || trim(content.substr(0, equals)).empty())
        return line;
    line.kind = Kind::Entry;
    line.name = std::string(trim(content.substr(0, equals)));
    std::string_view value = trim(content.substr(equals + 1));
    if (isQuoted(value))
        value = value.substr(1, value.size() - 2);
    line.value = std::string(value);
    return line;
}

std::string IniDocument::entryText(std::string_view key, std::string_view value) {
    std::string text(key);
    text += '=';
    if (needsQuotes(value)) {
        text += '"';
        text += value;
        text += '"';
    } else {
        text += value;
    }
    return text;
}

std::optional<std::size_t> IniDocument::findEntry(std::string_view section, std::string_view key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.kind == Kind::Section)
            inSection = sameName(line.name, section);
        else if (inSection && line.kind == Kind::Entry && sameName(line.name, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> IniDocument::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].kind == Kind::Section && sameName(m_lines[i].name, section))
            return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniDocument::value(std::string_view section, std::string_view key) const {
    std::optional<std::size_t> entry = findEntry(section, key);
    if (!entry)
        return std::nullopt;
    return m_lines[*entry].value;
}

void IniDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    if (std::optional<std::size_t> entry = findEntry(section, key)) {
        // Keep the key as the file spells it.
        m_lines[*entry] = parseLine(entryText(m_lines[*entry].name, value));
        return;
    }
    if (std::optional<std::size_t> header = findSection(section)) {
        // After the section's last entry, so comments and blank lines before the next section stay there.
        std::size_t insertAt = *header + 1;
        for (std::size_t i = *header + 1; i < m_lines.size() && m_lines[i].kind != Kind::Section; ++i) {
            if (m_lines[i].kind == Kind::Entry)
                insertAt = i + 1;
        }
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt),
                       parseLine(entryText(key, value)));
        return;
    }
    if (!m_lines.empty() && !trim(m_lines.back().raw).empty())
        m_lines.push_back(parseLine(std::string()));
    m_lines.push_back(parseLine("[" + std::string(section) + "]"));
    m_lines.push_back(parseLine(entryText(key, value)));
}

std::string IniDocument::text() const {
    std::string text;
    for (const Line& line : m_lines) {
        text += line.raw;
        text += m_newline;
    }
    return text;
}

} // namespace kitbag
