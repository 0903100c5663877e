// The settings document: any text reads, writes back stably, and a stored value reads back exactly without
// disturbing the other entries.
#include "fuzz_check.h"
#include "ini_document.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

namespace {

bool sameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(24);
    const std::string key = input.ConsumeRandomLengthString(24);
    const std::string value = input.ConsumeRandomLengthString(48);
    const std::string otherSection = input.ConsumeRandomLengthString(24);
    const std::string otherKey = input.ConsumeRandomLengthString(24);
    const std::string text = input.ConsumeRemainingBytesAsString();

    kitbag::IniDocument document(text);
    const std::string written = document.text();
    kitbag::IniDocument reread(written);
    FUZZ_REQUIRE(reread.text() == written);
    FUZZ_REQUIRE(reread.value(section, key) == document.value(section, key));
    FUZZ_REQUIRE(reread.value(otherSection, otherKey) == document.value(otherSection, otherKey));

    if (!kitbag::isStorableSectionName(section) || !kitbag::isStorableKey(key) ||
        !kitbag::isStorableValue(value))
        return 0;
    const auto otherBefore = document.value(otherSection, otherKey);
    document.setValue(section, key, value);
    FUZZ_REQUIRE(document.value(section, key) == value);
    kitbag::IniDocument stored(document.text());
    FUZZ_REQUIRE(stored.value(section, key) == value);
    if (!(sameName(section, otherSection) && sameName(key, otherKey)))
        FUZZ_REQUIRE(stored.value(otherSection, otherKey) == otherBefore);
    return 0;
}
