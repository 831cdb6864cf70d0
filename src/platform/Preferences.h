#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sayvo {

// The user's persisted preferences: typed values under string keys.
// A getter returns nothing when the key is absent or holds another type, so
// callers can tell "never set" from "set to a different kind of value".
// Thread: main thread only.
// Failure: a store that cannot be written keeps the new value in memory for
// this session and calls onWriteFailed (each time; the listener says it once).
class Preferences {
public:
    virtual ~Preferences() = default;

    std::function<void()> onWriteFailed;

    // What the user should hear when the stored preferences could not be
    // read and defaults stand in; nothing when they were read or absent.
    virtual std::optional<std::string> readProblem() const { return std::nullopt; }

    virtual std::optional<bool> boolForKey(const std::string& key) const = 0;
    virtual std::optional<std::int64_t> integerForKey(const std::string& key) const = 0;
    virtual std::optional<std::string> stringForKey(const std::string& key) const = 0;

    virtual void setBool(const std::string& key, bool value) = 0;
    virtual void setInteger(const std::string& key, std::int64_t value) = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;
    // Afterwards the key is absent, also from what was written.
    virtual void removeValue(const std::string& key) = 0;
};

}  // namespace sayvo
