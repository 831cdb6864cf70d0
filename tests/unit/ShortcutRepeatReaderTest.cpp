#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "SimScheduler.h"
#include "hotkey/ShortcutRepeatReader.h"

namespace sayvo {
namespace {

// Runs of the shortcut's command at the given milliseconds; "-" marks the
// end of the script, one second later. What was read, each with its moment.
std::string read(std::initializer_list<int> runs) {
    sim::SimScheduler clock;
    const double start = clock.now();
    std::string events;
    const auto note = [&](char what) {
        events += what + std::to_string(std::lround((clock.now() - start) * 1000)) + " ";
    };
    ShortcutRepeatReader reader(clock, {},  // GNOME's own repeat: 500 ms, then every 30 ms
                                {[&] { note('P'); }, [&] { note('R'); }, [&] { note('T'); }});
    for (const int at : runs) {
        clock.advance(at / 1000.0 - (clock.now() - start));
        reader.run();
    }
    clock.advance(1);
    return events;
}

TEST(ShortcutRepeatReaderTest, RepeatsAreAHoldTheirEndARelease) {
    const struct {
        const char* name;
        std::initializer_list<int> runs;
        const char* events;
    } cases[] = {
        {"tap", {0}, "P0 T650 "},
        {"hold", {0, 500, 530, 700}, "P0 R880 "},
        {"late first repeat", {0, 640, 670}, "P0 R850 "},
        {"repeats that stop and start again", {0, 500, 530, 800, 1300}, "P0 R710 P800 R1480 "},
        {"a repeat after a long gap", {0, 500, 2000}, "P0 R680 P2000 T2650 "}};
    for (const auto& c : cases) EXPECT_EQ(read(c.runs), c.events) << c.name;
}

}  // namespace
}  // namespace sayvo
