#include <gtest/gtest.h>

#include "ui/Color.h"

using namespace sayvo;

TEST(ColorTest, HexTextGivesTheChannelsItsLengthCallsFor) {
    // The last rows: letters and digits at the ends of their ranges are kept as digits.
    const struct {
        const char* hex;
        const char* argb;
    } cases[] = {{" #6366f1;", "#FF6366F1"}, {"F80", "#FFFF8800"},     {"806366F1", "#806366F1"},
                 {"12345", "#FF000000"},     {"##", "#FF000000"},      {"ZZZZZZZZ", "#00000000"},
                 {"12G", "#FF001122"},       {"6366F1é", "#FF000000"}, {"6366fa", "#FF6366FA"},
                 {"F800", "#FF000000"},      {"F809", "#FF000000"},    {"F80a", "#FF000000"},
                 {"F80z", "#FF000000"},      {"F80A", "#FF000000"},    {"F80Z", "#FF000000"}};
    for (const auto& c : cases) EXPECT_EQ(Color(c.hex).argbHex(), c.argb) << c.hex;
    for (const Color& opaque : {Color("6366F1"), Color(0.4, 0.4, 0.9)})
        EXPECT_EQ(opaque.opacity, 1.0) << "argbHex would hide an alpha above one";
}
