#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/JsonFilePreferences.h"

namespace sayvo {
namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& path) {
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

class JsonFilePreferencesTest : public ::testing::Test {
protected:
    void SetUp() override { fs::remove_all(dir); }
    void TearDown() override { fs::remove_all(dir); }

    const fs::path dir = fs::temp_directory_path() / ("sayvo-prefs-" + std::to_string(::getpid()));
    const std::string path = (dir / "sayvo" / "preferences.json").string();
};

TEST_F(JsonFilePreferencesTest, ValuesSurviveARestartTypedInAPrivateFileReplacedAtomically) {
    {
        JsonFilePreferences prefs(path);
        prefs.setInteger("hotkeyKeyCode", 49);
        prefs.setBool("hotkeyIsFnKey", false);
        prefs.setString("AliyunASRAPIKey", "secret");
        prefs.setString("AliyunASRAPIKey", " sk-密钥 ");
        EXPECT_TRUE(prefs.lastWriteSucceeded());
    }
    JsonFilePreferences again(path);
    EXPECT_EQ(again.integerForKey("hotkeyKeyCode"), 49);
    EXPECT_EQ(again.boolForKey("hotkeyIsFnKey"), false);
    EXPECT_EQ(again.stringForKey("AliyunASRAPIKey"), " sk-密钥 ");
    // A value read as another type is absent, not converted.
    EXPECT_EQ(again.stringForKey("hotkeyKeyCode"), std::nullopt);
    EXPECT_EQ(again.boolForKey("hotkeyKeyCode"), std::nullopt);
    EXPECT_EQ(again.integerForKey("hotkeyIsFnKey"), std::nullopt);
    EXPECT_EQ(again.integerForKey("missing"), std::nullopt);

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((dir / "sayvo").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "the directory it creates is private too";
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sayvo"), fs::directory_iterator()), 1)
        << "no temporary files left behind";
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

TEST_F(JsonFilePreferencesTest, OnlyAWellFormedRegularFileIsReadAndAStoreMovesAnythingElseAside) {
    const auto padded = [](std::size_t size) {
        std::string json = R"({"hotkeyKeyCode": 49})";
        return json + std::string(size - json.size(), ' ');
    };
    using enum fs::file_type;
    const struct {
        std::string contents;  // or "fifo", "directory", "-> " a symlink to a path or to contents
        std::optional<std::int64_t> keyCode;  // as read from it
        fs::file_type aside;                  // left at "<path>.corrupt" by a store
    } cases[] = {
        {R"({"hotkeyKeyCode": "49"})", {}, not_found},
        {R"({"hotkeyKeyCode": 1.5})", {}, not_found},
        {R"({"hotkeyKeyCode": 18446744073709551615})", {}, not_found},
        {R"({"hotkeyKeyCode": 49, "AliyunASRAPIKey": "half-wri)", {}, regular},
        {"[49]", {}, regular},
        {"", {}, regular},
        {"{\"hotkeyKeyCode\": 49, \"AliyunASRAPIKey\": \"\xff\xfe\"}", {}, regular},  // not UTF-8
        {padded(kMaxPreferencesFileSize + 1), {}, regular},
        {padded(kMaxPreferencesFileSize), 49, not_found},
        {"-> " + padded(100), 49, not_found},
        {"-> /dev/zero", {}, symlink},
        {"fifo", {}, fifo},
        {"directory", {}, directory},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents.substr(0, 60));
        fs::remove_all(dir);
        fs::create_directories(dir / "sayvo");
        if (c.contents == "fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        } else if (c.contents == "directory") {
            fs::create_directory(path);
        } else if (c.contents.starts_with("-> /")) {
            fs::create_symlink(c.contents.substr(3), path);
        } else if (c.contents.starts_with("-> ")) {
            std::ofstream(path + ".target") << c.contents.substr(3);
            fs::create_symlink(path + ".target", path);
        } else {
            std::ofstream(path) << c.contents;
        }
        const auto type = fs::symlink_status(path).type();
        const std::string before = type == regular ? contentsOf(path) : "";
        if (!readsPromptlyAndFrugally(path)) {
            ADD_FAILURE() << "reading blocked, did not end or took too much memory";
            continue;
        }
        JsonFilePreferences prefs(path);
        EXPECT_EQ(prefs.integerForKey("hotkeyKeyCode"), c.keyCode);
        EXPECT_EQ(fs::symlink_status(path).type(), type) << "reading never touches the file";
        EXPECT_EQ(type == regular ? contentsOf(path) : "", before);

        prefs.setBool("hotkeyIsFnKey", true);
        EXPECT_TRUE(prefs.lastWriteSucceeded());
        EXPECT_EQ(fs::symlink_status(path).type(), regular);
        EXPECT_EQ(fs::symlink_status(path + ".corrupt").type(), c.aside);
        EXPECT_EQ(c.aside == regular ? contentsOf(path + ".corrupt") : before, before);
        JsonFilePreferences again(path);
        EXPECT_EQ(again.boolForKey("hotkeyIsFnKey"), true);
        EXPECT_EQ(again.integerForKey("hotkeyKeyCode"), c.keyCode);
    }
}

TEST_F(JsonFilePreferencesTest, AnUnwritableDirectoryKeepsTheValueForThisSession) {
    // A file in the way of the directory fails for anyone, root included.
    fs::create_directories(dir);
    std::ofstream(dir / "sayvo") << "not a directory";
    JsonFilePreferences prefs(path);
    prefs.setString("AliyunASRAPIKey", "kept");
    EXPECT_FALSE(prefs.lastWriteSucceeded());
    EXPECT_EQ(prefs.stringForKey("AliyunASRAPIKey"), "kept");
}

}  // namespace
}  // namespace sayvo
