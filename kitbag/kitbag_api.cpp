// The exported settings functions. Nothing throws out of them: a failure is a false result, and an
// exception stopped at the boundary is counted in the library's drops (export_drops.h).
#include "Kitbag.h"

#include "export_drops.h"
#include "settings_store.h"
#include "value_text.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

namespace {

// Runs the body, turning any exception (allocation failure) into a false result.
template <typename Body> bool guarded(Body&& body) noexcept {
    return boundary::guarded(kitbag::exportDrops, false, std::forward<Body>(body));
}

template <typename T, typename Parse>
bool readTyped(const char* section, const char* key, T* target, Parse parse) {
    if (!section || !key || !target)
        return false;
    return guarded([&] {
        std::optional<std::string> text = kitbag::readSetting(section, key);
        if (!text)
            return false;
        std::optional<T> parsed = parse(*text);
        if (!parsed)
            return false;
        *target = *parsed;
        return true;
    });
}

} // namespace

bool KB_GetBoolA(const char* section, const char* key, bool* value) {
    return readTyped(section, key, value, kitbag::parseBool);
}

bool KB_GetIntA(const char* section, const char* key, int* value) {
    return readTyped(section, key, value, kitbag::parseInt32);
}

bool KB_GetStringA(const char* section, const char* key, char* buffer, std::size_t capacity) {
    if (!section || !key || !buffer || capacity == 0)
        return false;
    return guarded([&] {
        std::optional<std::string> text = kitbag::readSetting(section, key);
        if (!text)
            return false;
        std::size_t length = std::min(text->size(), capacity - 1);
        std::memcpy(buffer, text->data(), length);
        buffer[length] = '\0';
        return true;
    });
}

bool KB_SetBoolA(const char* section, const char* key, bool value) {
    if (!section || !key)
        return false;
    return guarded([&] { return kitbag::writeSetting(section, key, kitbag::formatBool(value)); });
}

bool KB_SetIntA(const char* section, const char* key, int value) {
    if (!section || !key)
        return false;
    return guarded([&] { return kitbag::writeSetting(section, key, kitbag::formatInt32(value)); });
}

bool KB_SetStringA(const char* section, const char* key, const char* value) {
    if (!section || !key || !value)
        return false;
    return guarded([&] { return kitbag::writeSetting(section, key, value); });
}
