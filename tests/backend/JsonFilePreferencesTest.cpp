#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "FakeServices.h"
#include "platform/linux/services/JsonFilePreferences.h"

using namespace sayvo;
namespace fs = std::filesystem;

TEST(JsonFilePreferencesTest, OnlyAWellFormedFileIsReadAndACorruptOneIsMovedAsideAndTold) {
    const fs::path dir = fs::temp_directory_path() / ("sayvo-prefs-" + std::to_string(::getpid()));
    const std::string path = (dir / "sayvo" / "preferences.json").string();
    const auto padded = [](std::size_t size) {
        std::string json = R"({"hotkeyKeyCode": 49, "hotkeyIsFnKey": "no"})";
        return json + std::string(size - json.size(), ' ');
    };
    const struct {
        std::string contents;
        std::optional<std::int64_t> keyCode;  // as read from it
        bool corrupt;                         // moved to "<path>.corrupt" at once
    } cases[] = {
        {R"({"hotkeyKeyCode": 1.5})", {}, false},
        {R"({"hotkeyKeyCode": 18446744073709551615})", {}, false},
        {padded(kMaxPreferencesFileSize), 49, false},
        {padded(kMaxPreferencesFileSize + 1), {}, true},
        {R"({"hotkeyKeyCode": 49, "AliyunASRAPIKey": "half-wri)", {}, true},
        {"{\"hotkeyKeyCode\": 49, \"AliyunASRAPIKey\": \"\xff\xfe\"}", {}, true},  // not UTF-8
        {"[49]", {}, true},
        {"", {}, true},
        {"directory", {}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.contents.substr(0, 60));
        fs::remove_all(dir), fs::create_directories(dir / "sayvo");
        c.contents == "directory" ? void(fs::create_directory(path))
                                  : void(std::ofstream(path) << c.contents);
        JsonFilePreferences prefs(path, sim::SourceTranslations{});
        EXPECT_EQ(prefs.integerForKey("hotkeyKeyCode"), c.keyCode);
        EXPECT_EQ(prefs.boolForKey("hotkeyIsFnKey"), std::nullopt) << "a string is no Boolean";
        std::stringstream aside;
        aside << std::ifstream(path + ".corrupt").rdbuf();
        EXPECT_EQ(aside.str(), c.corrupt && c.contents != "directory" ? c.contents : "");
        EXPECT_EQ(prefs.readProblem().value_or("").find(path + ".corrupt") != std::string::npos,
                  c.corrupt);
        prefs.setBool("hotkeyIsFnKey", true);
        EXPECT_TRUE(prefs.lastWriteSucceeded());
        JsonFilePreferences again(path, sim::SourceTranslations{});
        EXPECT_EQ(again.boolForKey("hotkeyIsFnKey"), true);
        EXPECT_EQ(again.integerForKey("hotkeyKeyCode"), c.keyCode);
        EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sayvo"), fs::directory_iterator()),
                  1 + c.corrupt)
            << "no temporary files left behind";
    }
    // A file in the way of the directory fails for anyone, root included.
    fs::remove_all(dir), std::ofstream(dir) << "not a directory";
    JsonFilePreferences blocked(path, sim::SourceTranslations{});
    int failures = 0;
    blocked.onWriteFailed = [&] { ++failures; };
    blocked.setString("AliyunASRAPIKey", "kept");
    EXPECT_FALSE(blocked.lastWriteSucceeded());
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(blocked.stringForKey("AliyunASRAPIKey"), "kept") << "for this session";
    fs::remove_all(dir);
}

// Two processes storing at once, both killed mid-way: a reader only ever
// finds a whole file, from one writer or the other.
TEST(JsonFilePreferencesTest, WritersRacingOrKilledNeverLeaveAHalfWrittenFile) {
    const fs::path dir = fs::temp_directory_path() / ("sayvo-race-" + std::to_string(::getpid()));
    const std::string path = (dir / "preferences.json").string();
    fs::remove_all(dir);
    pid_t writers[2];
    for (int w = 0; w < 2; ++w) {
        writers[w] = ::fork();
        ASSERT_GE(writers[w], 0);
        if (writers[w] == 0) {
            JsonFilePreferences prefs(path, sim::SourceTranslations{});
            const std::string value(256 * 1024, char('a' + w));
            for (;;) prefs.setString("AliyunASRAPIKey", value);
        }
    }
    int whole = 0, torn = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    while (std::chrono::steady_clock::now() < until) {
        std::stringstream contents;
        contents << std::ifstream(path).rdbuf();
        if (contents.str().empty()) continue;  // none written yet
        parsePreferences(contents.str()) ? ++whole : ++torn;
    }
    for (const pid_t writer : writers) ::kill(writer, SIGKILL), ::waitpid(writer, nullptr, 0);
    EXPECT_EQ(torn, 0);
    EXPECT_GT(whole, 10);
    EXPECT_EQ(JsonFilePreferences(path, sim::SourceTranslations{})
                  .stringForKey("AliyunASRAPIKey")
                  .value_or("")
                  .size(),
              256u * 1024);
    fs::remove_all(dir);
}
