// IniDocument: one settings file held as its lines, so that a rewrite keeps everything a person wrote.
//
//     [Section]        section header; names compare without regard to ASCII case
//     key=value        an entry; key and value are trimmed of blanks
//     ; or # ...       comments, kept as they are
//
// Lines that are none of these (malformed lines, binary junk) are kept and otherwise ignored. Where a
// section or key appears twice, the first entry wins for reading and is the one a write changes.
// Values with blanks at either end, or wrapped in double quotes, are written inside double quotes so
// that they read back unchanged. Pure text handling: no I/O, not synchronised.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kitbag {

class IniDocument {
public:
    // newline: the line end to write when the text has none of its own to follow.
    explicit IniDocument(std::string_view text, std::string newline = "\n");

    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    void setValue(std::string_view section, std::string_view key, std::string_view value);
    std::string text() const;

private:
    enum class Kind { Other, Section, Entry };
    struct Line {
        std::string raw;
        Kind kind = Kind::Other;
        std::string name; // section name or key
        std::string value;
    };

    static Line parseLine(std::string raw, bool firstLine = false);
    static std::string entryText(std::string_view key, std::string_view value);
    // Index of the first entry for key in a section of that name, or of nothing.
    std::optional<std::size_t> findEntry(std::string_view section, std::string_view key) const;
    std::optional<std::size_t> findSection(std::string_view section) const;

    std::vector<Line> m_lines;
    std::string m_newline;
};

// Names a document can store and read back unchanged: not empty, no line break, no blanks at either
// end, and for keys no '=' and no leading '[', ';' or '#'; for sections no ']'.
bool isStorableSectionName(std::string_view name);
bool isStorableKey(std::string_view key);
// Values are a single line.
bool isStorableValue(std::string_view value);

} // namespace kitbag
