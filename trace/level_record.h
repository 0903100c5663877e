// The leveled record: how a leveled message travels from the thread that traces it, through the queue, to
// the print thread. Byte 0 is the level, bytes 1 to 4 the id (signed 32-bit, little-endian, not aligned),
// and from byte 5 on the text with its terminator.
//
// Pure functions on bytes the caller owns: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

constexpr int kLevelRecordHeader = 5;

struct LevelRecord {
    std::uint8_t level;
    std::int32_t id;
    char* text; // inside the record, behind its header
};

// Writes the level and the id at the start of record (at least kLevelRecordHeader bytes); returns where the
// text goes.
char* EncodeLevelRecord(char* record, std::uint8_t level, std::int32_t id);
// Reads the record of length bytes; nothing when it is null or holds no byte of text.
std::optional<LevelRecord> DecodeLevelRecord(char* record, std::size_t length);
