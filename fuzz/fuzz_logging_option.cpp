// The "logging:" option in a command line: found where a plain search finds it, removed with exactly the
// argument and the white space after it, the rest of the line kept; its word parses and formats back.
#include "fuzz_check.h"
#include "log/logging_word.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

bool whiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Where the first "-logging:" or "/logging:" (any case) starts, by a plain search.
std::size_t firstOption(const std::string& line) {
    for (std::size_t at = 0; at < line.size(); ++at) {
        if (line[at] != '-' && line[at] != '/')
            continue;
        std::string name = line.substr(at + 1, 8);
        for (char& c : name)
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (name == "logging:")
            return at;
    }
    return std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::uint32_t word = input.ConsumeIntegral<std::uint32_t>();
    std::string line = input.ConsumeRemainingBytesAsString();
    line = line.substr(0, line.find('\0')); // a command line is a C string

    FUZZ_REQUIRE(logging_word::ParseHex(logging_word::FormatWord(word).c_str()) == word);
    const std::uint32_t debugged = logging_word::UnderDebugger(word);
    FUZZ_REQUIRE((debugged & logging_word::kToPipeline) != 0);
    FUZZ_REQUIRE((debugged & ~0xFFu) <= 0x100u);

    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    char* separator = logging_word::FindOption(buffer.data());
    const std::size_t expected = firstOption(line);
    FUZZ_REQUIRE(separator ? static_cast<std::size_t>(separator - buffer.data()) == expected
                           : expected == std::string::npos);
    if (!separator)
        return 0;
    logging_word::ParseHex(separator + 9);
    std::size_t end = expected;
    while (end < line.size() && !whiteSpace(line[end]))
        ++end;
    while (end < line.size() && whiteSpace(line[end]))
        ++end;
    logging_word::RemoveOption(separator);
    FUZZ_REQUIRE(std::string(buffer.data()) == line.substr(0, expected) + line.substr(end));
    return 0;
}
