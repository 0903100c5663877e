// What both Trace test programs read back from the files Trace wrote: the time prefix of a line, and
// the numbered lines of a kind.
#pragma once

#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace traced_lines {

inline const std::string kTimePrefix = R"(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d - )";

// The numbers I of the lines "<kind> T I" of a text (after their time prefix, before an optional CR), with
// how often each came.
inline std::map<int, int> countedLines(const std::string& text, const std::string& kind) {
    std::map<int, int> counts;
    std::istringstream lines(text);
    std::string line;
    const std::regex pattern(kTimePrefix + kind + R"( \d+ (\d+)\r?)");
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_match(line, match, pattern))
            ++counts[std::stoi(match[1])];
    }
    return counts;
}

} // namespace traced_lines
