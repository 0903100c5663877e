#include "level_record.h"

namespace {

constexpr int kIdBytes = 4;

} // namespace

char* EncodeLevelRecord(char* record, std::uint8_t level, std::int32_t id) {
    record[0] = static_cast<char>(level);
    const auto bits = static_cast<std::uint32_t>(id);
    for (int i = 0; i < kIdBytes; ++i)
        record[1 + i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return record + kLevelRecordHeader;
}

std::optional<LevelRecord> DecodeLevelRecord(char* record, std::size_t length) {
    if (!record || length <= static_cast<std::size_t>(kLevelRecordHeader))
        return std::nullopt;
    std::uint32_t bits = 0;
    for (int i = 0; i < kIdBytes; ++i)
        bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(record[1 + i])) << (8 * i);
    return LevelRecord{static_cast<std::uint8_t>(record[0]), static_cast<std::int32_t>(bits),
                       record + kLevelRecordHeader};
}
