#include "settings_store.h"

#include "ini_document.h"
#include "platform.h"

namespace kitbag {

namespace {

// The application's name, which names its per-user settings folder as the platform's custom has it.
constexpr const char* kApplicationName = "Kitbag";
constexpr const char* kDefaultFileName = "settings.ini";

// A new settings file's lines end as the platform's text files do.
std::string platformNewline() {
    return platform::textFilesEndLinesWithCrLf() ? "\r\n" : "\n";
}

} // namespace

std::string settingsFilePath() {
    std::optional<std::string> configured = platform::environmentVariable(kSettingsPathVariable);
    if (configured && !configured->empty())
        return *configured;
    std::string folder = platform::userSettingsFolder(kApplicationName);
    if (folder.empty())
        return std::string();
    return platform::joinPath(folder, kDefaultFileName);
}

std::optional<std::string> readSetting(std::string_view section, std::string_view key) {
    std::string path = settingsFilePath();
    std::string text;
    if (path.empty() || platform::readWholeFile(path, text, kMaxSettingsFileSize) != platform::ReadResult::Ok)
        return std::nullopt;
    return IniDocument(text).value(section, key);
}

bool writeSetting(std::string_view section, std::string_view key, std::string_view value) {
    if (!isStorableSectionName(section) || !isStorableKey(key) || !isStorableValue(value))
        return false;
    std::string named = settingsFilePath();
    if (named.empty())
        return false;
    // The file itself, when the name is a link to it: the new text replaces the target, the link stays.
    // The lock and the temporary file go beside it, so that every name of the file shares one lock.
    std::string path = platform::resolveFileLinks(named);
    // Only a regular file is the store: beside anything else (a device such as /dev/null, a FIFO, a folder)
    // not even a lock file is made, and a read-only file is not written.
    const platform::PathKind kind = platform::pathKind(path);
    if (kind == platform::PathKind::Other || kind == platform::PathKind::ReadOnlyFile)
        return false;
    std::string folder = platform::parentDirectory(path);
    if (!folder.empty() && !platform::createDirectories(folder))
        return false;

    platform::InterProcessLock lock(path + ".lock");
    if (!lock.held())
        return false;
    std::string text;
    // A file that exists but cannot be read (or is no regular file, or too large) is left alone rather
    // than replaced by one holding a single key.
    if (platform::readWholeFile(path, text, kMaxSettingsFileSize) == platform::ReadResult::Failed)
        return false;
    IniDocument document(text, platformNewline());
    document.setValue(section, key, value);
    std::string newText = document.text();
    if (newText.size() > kMaxSettingsFileSize)
        return false;

    // Made afresh: whatever an earlier write left there, or someone put there (a link, a FIFO), is removed,
    // never written through or waited for.
    std::string temporary = path + ".new";
    if (!platform::createFileDurably(temporary, newText))
        return false;
    if (!platform::replaceFile(temporary, path)) {
        platform::deleteFile(temporary);
        return false;
    }
    return true;
}

} // namespace kitbag
