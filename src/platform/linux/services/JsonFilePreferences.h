#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/Preferences.h"
#include "platform/Translations.h"

namespace sayvo {

// Far above what this program writes, far below what would strain memory when parsed.
inline constexpr std::size_t kMaxPreferencesFileSize = 1 << 20;

// Preferences kept in one JSON object file, members typed as JSON booleans,
// integers and strings. Read once at construction; every store rewrites the
// file atomically (temporary file, fsync, rename) with mode 0600.
// A missing file reads as empty. An unreadable or corrupt one reads as empty
// too, and is moved aside to "<path>.corrupt" at once, so nothing the user had
// is silently destroyed and the user can be told where it went. Anything
// but a regular file (after symlinks) of at most kMaxPreferencesFileSize bytes
// counts as corrupt and is never read; a symlink is moved aside as the link.
// Thread: main thread only.
class JsonFilePreferences final : public Preferences {
public:
    JsonFilePreferences(std::string path, const Translations& translations);

    // $XDG_CONFIG_HOME/sayvo/preferences.json, or ~/.config/... when unset.
    static std::string defaultPath();

    std::optional<bool> boolForKey(const std::string& key) const override;
    std::optional<std::int64_t> integerForKey(const std::string& key) const override;
    std::optional<std::string> stringForKey(const std::string& key) const override;

    void setBool(const std::string& key, bool value) override;
    void setInteger(const std::string& key, std::int64_t value) override;
    void setString(const std::string& key, const std::string& value) override;
    void removeValue(const std::string& key) override;

    std::optional<std::string> readProblem() const override { return readProblem_; }

    // Whether the last store reached the disk.
    bool lastWriteSucceeded() const { return lastWriteSucceeded_; }

private:
    void store(const std::string& key, nlohmann::json value);
    bool writeFile();

    std::string path_;
    nlohmann::json values_ = nlohmann::json::object();
    std::optional<std::string> readProblem_;
    bool lastWriteSucceeded_ = true;
};

// Parses preference file contents; nothing when they are not a JSON object.
std::optional<nlohmann::json> parsePreferences(const std::string& contents);

}  // namespace sayvo
