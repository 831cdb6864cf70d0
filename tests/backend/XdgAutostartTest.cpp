#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/linux/desktop/XdgAutostart.h"

using namespace sayvo;
namespace fs = std::filesystem;

// The desktop's own startup reads the entry: the program must survive its
// quoting, and an entry the user turned off elsewhere is off.
TEST(XdgAutostartTest, TheEntryStartsThisProgramAndOnlyAnEntryLeftOnCountsAsOn) {
    const fs::path dir =
        fs::temp_directory_path() / ("sayvo-autostart-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    const QString program = "/opt/my apps/say\"vo$1 100%/sayvo";
    XdgAutostart autostart("app.sayvo.Sayvo", program, QString::fromStdString(dir / "autostart"));
    const fs::path entry = dir / "autostart" / "app.sayvo.Sayvo.desktop";
    const auto contents = [&] {
        std::stringstream text;
        text << std::ifstream(entry).rdbuf();
        return text.str();
    };
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_EQ(autostart.setEnabled(true), std::nullopt);
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_NE(contents().find("\nExec=\"/opt/my apps/say\\\"vo\\$1 100%%/sayvo\"\n"
                              "TryExec=/opt/my apps/say\"vo$1 100%/sayvo\n"),
              std::string::npos)
        << contents();
    for (const char* off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        std::ofstream(entry, std::ios::app) << off << "\n";
        EXPECT_FALSE(autostart.isEnabled()) << off;
        EXPECT_EQ(autostart.setEnabled(true), std::nullopt);
        EXPECT_TRUE(autostart.isEnabled()) << "turned back on";
    }
    EXPECT_EQ(autostart.setEnabled(false), std::nullopt);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(autostart.setEnabled(false), std::nullopt) << "already off";
    // Things in the way fail for anyone, root included, and change nothing.
    fs::create_directories(entry / "in-the-way");
    EXPECT_TRUE(autostart.isEnabled() == false && autostart.setEnabled(false).has_value());
    fs::remove_all(dir), std::ofstream(dir) << "not a directory";
    EXPECT_TRUE(autostart.setEnabled(true).has_value());
    EXPECT_FALSE(autostart.isEnabled());
    fs::remove_all(dir);
}
