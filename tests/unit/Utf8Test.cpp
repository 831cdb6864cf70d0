#include <gtest/gtest.h>

#include "core/Utf8.h"

using namespace sayvo;

TEST(Utf8Test, JoinRecognizedTextPutsASpaceOnlyBetweenScriptsThatSpaceTheirWords) {
    const struct {
        const char *before, *after, *joined;
    } cases[] = {{"ten meters.", "Then", "ten meters. Then"},
                 {"end ", "start", "end start"},
                 {"今天天气很好。", "我们", "今天天气很好。我们"},
                 {"", "first", "first"},
                 {"bad \xE4\xBD", "next", "bad \xE4\xBD next"}};
    for (const auto& c : cases)
        EXPECT_EQ(joinRecognizedText(c.before, c.after), c.joined) << c.before << "|" << c.after;
    // Each script range at its edges, on either side of the join.
    const std::string spaced[] = {"é",      "😀",      "\u0DFF",     "\u0E80",    "\u2E7F",
                                  "\u3200", "\u33FF", "\uA000",     "\uF8FF",    "\uFB00",
                                  "\uFEFF", "\uFFF0", "\U0001FFFF", "\U00040000"};
    const std::string unspaced[] = {
        "\t",     "\n",     "\r",     "\u3000", "\u0E00", "\u0E7F", "\u2E80",     "\u31FF",
        "\u3400", "\u9FFF", "\uF900", "\uFAFF", "\uFF00", "\uFFEF", "\U00020000", "\U0003FFFF"};
    for (const auto& c : spaced)
        EXPECT_EQ(joinRecognizedText("a", c) + joinRecognizedText(c, "a"), "a " + c + c + " a");
    for (const auto& c : unspaced)
        EXPECT_EQ(joinRecognizedText("a", c) + joinRecognizedText(c, "a"), "a" + c + c + "a");
}
