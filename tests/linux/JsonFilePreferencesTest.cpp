#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/linux/JsonFilePreferences.h"

namespace sayvo {
namespace {

namespace fs = std::filesystem;

class JsonFilePreferencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sayvo-prefs-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        path = (dir / "sayvo" / "preferences.json").string();
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir);
    }
    void writeRaw(const std::string& contents) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << contents;
    }
    std::string readRaw() const {
        std::ifstream in(path);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    fs::path dir;
    std::string path;
};

TEST_F(JsonFilePreferencesTest, ValuesSurviveARestartWithTheirTypes) {
    {
        JsonFilePreferences prefs(path);
        prefs.setInteger("hotkeyKeyCode", 49);
        prefs.setInteger("hotkeyModifiers", 0x80000);
        prefs.setBool("hotkeyIsFnKey", false);
        prefs.setString("AliyunASRAPIKey", " sk-密钥 ");
        EXPECT_TRUE(prefs.lastWriteSucceeded());
    }
    JsonFilePreferences again(path);
    EXPECT_EQ(again.integerForKey("hotkeyKeyCode"), 49);
    EXPECT_EQ(again.integerForKey("hotkeyModifiers"), 0x80000);
    EXPECT_EQ(again.boolForKey("hotkeyIsFnKey"), false);
    EXPECT_EQ(again.stringForKey("AliyunASRAPIKey"), " sk-密钥 ");
    // A value read as another type is absent, not converted.
    EXPECT_EQ(again.stringForKey("hotkeyKeyCode"), std::nullopt);
    EXPECT_EQ(again.boolForKey("hotkeyKeyCode"), std::nullopt);
    EXPECT_EQ(again.integerForKey("hotkeyIsFnKey"), std::nullopt);
    EXPECT_EQ(again.integerForKey("missing"), std::nullopt);

    const auto nlohmann = nlohmann::json::parse(readRaw());
    EXPECT_TRUE(nlohmann.at("hotkeyKeyCode").is_number_integer());
    EXPECT_TRUE(nlohmann.at("hotkeyIsFnKey").is_boolean());
}

TEST_F(JsonFilePreferencesTest, FileIsPrivateAndReplacedAtomically) {
    JsonFilePreferences prefs(path);
    prefs.setString("AliyunASRAPIKey", "secret");
    prefs.setString("AliyunASRAPIKey", "secret2");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(fs::path(path).parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the directory it creates is private too";
    int entries = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(fs::path(path).parent_path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1) << "no temporary files left behind";
}

TEST_F(JsonFilePreferencesTest, WronglyTypedOrCorruptFilesReadAsDefaultsAndAreKept) {
    const std::string cases[] = {
        "{\"hotkeyKeyCode\": \"49\", \"hotkeyIsFnKey\": 1, \"AliyunASRAPIKey\": null}",
        "{\"hotkeyKeyCode\": 1.5, \"hotkeyModifiers\": 18446744073709551615}",
        "{not json",
        "[1, 2, 3]",
        "",
        std::string("{\"AliyunASRAPIKey\": \"\xff\xfe\"}"),
    };
    for (const auto& contents : cases) {
        SCOPED_TRACE(contents);
        writeRaw(contents);
        JsonFilePreferences prefs(path);
        EXPECT_EQ(prefs.integerForKey("hotkeyKeyCode"), std::nullopt);
        EXPECT_EQ(prefs.integerForKey("hotkeyModifiers"), std::nullopt);
        EXPECT_EQ(prefs.boolForKey("hotkeyIsFnKey"), std::nullopt);
        EXPECT_EQ(prefs.stringForKey("AliyunASRAPIKey"), std::nullopt);
        EXPECT_EQ(readRaw(), contents) << "reading never rewrites the file";
    }
}

TEST_F(JsonFilePreferencesTest, ACorruptFileIsMovedAsideAtTheNextStore) {
    writeRaw("{\"AliyunASRAPIKey\": \"half-writ");
    JsonFilePreferences prefs(path);
    prefs.setBool("hotkeyIsFnKey", true);
    EXPECT_EQ(JsonFilePreferences(path).boolForKey("hotkeyIsFnKey"), true);
    std::ifstream backup(path + ".corrupt");
    std::stringstream s;
    s << backup.rdbuf();
    EXPECT_EQ(s.str(), "{\"AliyunASRAPIKey\": \"half-writ");
}

TEST_F(JsonFilePreferencesTest, AnUnwritableDirectoryKeepsTheValueForThisSession) {
    if (::geteuid() == 0) {
        // Root ignores directory permissions; a file in the way of the directory fails for anyone.
        fs::create_directories(dir);
        std::ofstream(dir / "sayvo") << "not a directory";
    } else {
        fs::create_directories(fs::path(path).parent_path());
        fs::permissions(fs::path(path).parent_path(),
                        fs::perms::owner_read | fs::perms::owner_exec);
    }
    JsonFilePreferences prefs(path);
    prefs.setString("AliyunASRAPIKey", "kept");
    EXPECT_FALSE(prefs.lastWriteSucceeded());
    EXPECT_EQ(prefs.stringForKey("AliyunASRAPIKey"), "kept");
}

// Reads in a child held to two seconds and 256 MiB more memory, so a read that blocks or never
// ends fails its case instead of hanging the run or exhausting the machine.
bool readsPromptlyAndFrugally(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::alarm(2);
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t limit = static_cast<rlim_t>(pages) * ::getpagesize() + (256 << 20);
        const rlimit memory{limit, limit};
        ::setrlimit(RLIMIT_AS, &memory);
        try {
            JsonFilePreferences prefs(path);
        } catch (...) {
            ::_exit(1);  // never back into the test run
        }
        ::_exit(0);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST_F(JsonFilePreferencesTest, OnlyARegularFileWithinTheLimitIsReadAndAStoreReplacesTheRest) {
    const auto padded = [](std::size_t size) {
        std::string json = "{\"hotkeyKeyCode\": 49}";
        return json + std::string(size - json.size(), ' ');
    };
    const auto write = [](const std::string& where, const std::string& contents) {
        std::ofstream(where) << contents;
    };
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        std::optional<std::int64_t> keyCode;  // as read from it
        fs::file_type aside;                  // left at "<path>.corrupt" by a store
    };
    const Case cases[] = {
        {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         std::nullopt, fs::file_type::fifo},
        {"symlink to /dev/zero", [](const std::string& p) { fs::create_symlink("/dev/zero", p); },
         std::nullopt, fs::file_type::symlink},
        {"directory", [](const std::string& p) { fs::create_directory(p); }, std::nullopt,
         fs::file_type::directory},
        {"one byte over the limit",
         [&](const std::string& p) { write(p, padded(kMaxPreferencesFileSize + 1)); }, std::nullopt,
         fs::file_type::regular},
        {"at the limit", [&](const std::string& p) { write(p, padded(kMaxPreferencesFileSize)); },
         49, fs::file_type::not_found},
        {"symlink to a regular file",
         [&](const std::string& p) {
             write(p + ".target", padded(100));
             fs::create_symlink(p + ".target", p);
         },
         49, fs::file_type::not_found},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(fs::path(path).parent_path());
        c.make(path);
        if (!readsPromptlyAndFrugally(path)) {
            ADD_FAILURE() << "reading blocked, did not end or took too much memory";
            continue;
        }

        JsonFilePreferences prefs(path);
        EXPECT_EQ(prefs.integerForKey("hotkeyKeyCode"), c.keyCode);
        prefs.setBool("hotkeyIsFnKey", true);
        EXPECT_TRUE(prefs.lastWriteSucceeded());
        EXPECT_EQ(fs::symlink_status(path).type(), fs::file_type::regular);
        EXPECT_EQ(fs::symlink_status(path + ".corrupt").type(), c.aside);
        JsonFilePreferences again(path);
        EXPECT_EQ(again.boolForKey("hotkeyIsFnKey"), true);
        EXPECT_EQ(again.integerForKey("hotkeyKeyCode"), c.keyCode);
    }
}

TEST(JsonFilePreferencesPath, FollowsXdgConfigHome) {
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string restore = saved ? saved : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(JsonFilePreferences::defaultPath(), "/tmp/cfg/sayvo/preferences.json");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(JsonFilePreferences::defaultPath(), "/home/u/.config/sayvo/preferences.json");
    ::setenv("HOME", home.c_str(), 1);
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

}  // namespace
}  // namespace sayvo
