#include "platform/linux/services/JsonFilePreferences.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/UniqueFd.h"

namespace sayvo {

namespace {

std::string parentDirectory(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p, private to the user for the directories it creates.
bool makeDirectories(const std::string& dir) {
    if (dir.empty() || dir == "/" || dir == ".") return true;
    struct stat info {};
    if (::stat(dir.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
    if (!makeDirectories(parentDirectory(dir))) return false;
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const std::string& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

enum class FileRead { absent, unusable, read };

// Only a regular file of modest size is read: a FIFO would block the start, a device could
// stream without end, and a huge file costs memory far beyond its size once parsed.
FileRead readPreferencesFile(const std::string& path, std::string& contents) {
    struct stat info {};
    // Checked before opening, so that device nodes are never opened at all.
    if (::stat(path.c_str(), &info) != 0) return FileRead::absent;
    if (!S_ISREG(info.st_mode) ||
        static_cast<std::size_t>(info.st_size) > kMaxPreferencesFileSize) {
        return FileRead::unusable;
    }
    // The path may have been replaced since: never wait on what was opened, and check again.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) return FileRead::absent;
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return FileRead::unusable;
    // One byte beyond the limit tells a file that grew past it.
    contents.resize(kMaxPreferencesFileSize + 1);
    std::size_t filled = 0;
    while (filled < contents.size()) {
        const ssize_t n = ::read(fd.get(), contents.data() + filled, contents.size() - filled);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return FileRead::unusable;
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    if (filled > kMaxPreferencesFileSize) return FileRead::unusable;
    contents.resize(filled);
    return FileRead::read;
}

}  // namespace

std::optional<nlohmann::json> parsePreferences(const std::string& contents) {
    auto parsed = nlohmann::json::parse(contents, nullptr, /*allow_exceptions=*/false);
    if (parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

JsonFilePreferences::JsonFilePreferences(std::string path, const Translations& translations)
    : path_(std::move(path)) {
    std::string contents;
    const FileRead result = readPreferencesFile(path_, contents);
    if (result == FileRead::absent) return;
    if (auto parsed = result == FileRead::read ? parsePreferences(contents) : std::nullopt) {
        values_ = std::move(*parsed);
        return;
    }
    const std::string aside = path_ + ".corrupt";
    readProblem_ =
        ::rename(path_.c_str(), aside.c_str()) == 0
            ? withArguments(translations.text(
                                SAYVO_TEXT("JsonFilePreferences",
                                           "设置文件无法读取，原文件已另存为 %1，现使用默认设置")),
                            {aside})
            : withArguments(translations.text(SAYVO_TEXT("JsonFilePreferences",
                                                         "设置文件 %1 无法读取，现使用默认设置")),
                            {path_});
}

std::string JsonFilePreferences::defaultPath() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (configHome && configHome[0] == '/') {
        base = configHome;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/sayvo/preferences.json";
}

std::optional<bool> JsonFilePreferences::boolForKey(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_boolean()) return std::nullopt;
    return it->get<bool>();
}

std::optional<std::int64_t> JsonFilePreferences::integerForKey(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_number_integer()) return std::nullopt;
    // Unsigned values beyond the signed range are not integers we ever wrote.
    if (it->is_number_unsigned() && it->get<std::uint64_t>() > INT64_MAX) return std::nullopt;
    return it->get<std::int64_t>();
}

std::optional<std::string> JsonFilePreferences::stringForKey(const std::string& key) const {
    const auto it = values_.find(key);
    if (it == values_.end() || !it->is_string()) return std::nullopt;
    return it->get<std::string>();
}

void JsonFilePreferences::setBool(const std::string& key, bool value) {
    store(key, value);
}
void JsonFilePreferences::setInteger(const std::string& key, std::int64_t value) {
    store(key, value);
}
void JsonFilePreferences::setString(const std::string& key, const std::string& value) {
    store(key, value);
}

void JsonFilePreferences::removeValue(const std::string& key) {
    if (values_.erase(key) == 0) return;
    lastWriteSucceeded_ = writeFile();
    if (!lastWriteSucceeded_ && onWriteFailed) onWriteFailed();
}

void JsonFilePreferences::store(const std::string& key, nlohmann::json value) {
    values_[key] = std::move(value);
    lastWriteSucceeded_ = writeFile();
    if (!lastWriteSucceeded_ && onWriteFailed) onWriteFailed();
}

bool JsonFilePreferences::writeFile() {
    if (!makeDirectories(parentDirectory(path_))) return false;
    // Invalid UTF-8 in a value is replaced rather than failing the whole write.
    const std::string data =
        values_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    std::string tempPath = path_ + ".XXXXXX";
    const int fd = ::mkstemp(tempPath.data());
    if (fd < 0) return false;
    bool ok = ::fchmod(fd, 0600) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tempPath.c_str(), path_.c_str()) == 0;
    if (!ok) ::unlink(tempPath.c_str());
    return ok;
}

}  // namespace sayvo
