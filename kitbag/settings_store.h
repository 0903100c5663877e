// The settings file on disk: where it is, reading one value, and writing one value safely.
//
// Reads take no lock: a write replaces the file in one rename, so a reader sees the old file or the new
// one. Writes take an inter-process lock on "<file>.lock" around read-modify-replace, so that processes
// writing different keys at once all keep their values. Any thread may call; a write blocks while
// another writes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kitbag {

// The environment variable that points the store at another file.
constexpr const char* kSettingsPathVariable = "KITBAG_SETTINGS";
// The largest settings file read or written, in bytes. Only a regular file is the store: a larger file, or
// anything else the path names (a device, a FIFO, a folder), is neither read nor replaced.
constexpr std::size_t kMaxSettingsFileSize = 1024 * 1024;

// KITBAG_SETTINGS when set and not empty, else the per-user default; "" when neither can be found.
std::string settingsFilePath();

// The raw text of a value, or nothing (missing file, unreadable file, missing section or key).
std::optional<std::string> readSetting(std::string_view section, std::string_view key);

// Stores the text of a value. False when the names or value cannot be stored, or the file cannot be
// read, locked or replaced; the file is then as it was. Through a symbolic link the link's target is
// written (the link stays); the file keeps its permissions; a read-only file is not written, and beside a
// path that names no regular file no lock file is made. The new text goes to "<file>.new", created
// afresh, then replaces the file in one rename.
bool writeSetting(std::string_view section, std::string_view key, std::string_view value);

} // namespace kitbag
