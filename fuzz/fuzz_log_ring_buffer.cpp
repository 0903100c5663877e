// The ring buffer against a model: after any texts, it holds exactly the last "size" bytes written, and
// its CR LF and HTML readings are that text with the line feeds marked.
#include "fuzz_check.h"
#include "state/log_ring_buffer.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

std::string marked(const std::string& text, const std::string& mark) {
    std::string result;
    for (char c : text) {
        if (c == '\n')
            result += mark;
        result += c;
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::int32_t bufferSize = input.ConsumeIntegralInRange<std::int32_t>(-1, 300);
    LogRingBuffer ring;
    ring.Allocate(bufferSize);
    FUZZ_REQUIRE(ring.PrepareForWrite());
    const std::size_t holds =
        static_cast<std::size_t>(bufferSize < 0 ? LogRingBuffer::kDefaultSize : bufferSize);

    std::string written;
    while (input.remaining_bytes() > 0) {
        std::string piece = input.ConsumeRandomLengthString(400);
        piece = piece.substr(0, piece.find('\0'));
        ring.Store(piece.c_str());
        written += piece;
    }
    const std::string expected = written.substr(written.size() - std::min(written.size(), holds));
    FUZZ_REQUIRE(ring.Read(false, false) == expected);
    FUZZ_REQUIRE(static_cast<std::size_t>(ring.Count()) == expected.size());
    FUZZ_REQUIRE(ring.Read(false, true) == marked(expected, "\r"));
    FUZZ_REQUIRE(ring.Read(true, false) == marked(expected, "<p>"));
    return 0;
}
