// Number parsing in the game files' notation and the ordering the tree and
// the property table sort with.

#include "core/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrune {
namespace {

TEST(TextStrToInt32, AcceptsDecimalAndHexNotations)
{
    struct Case {
        const char* text;
        int32_t value;
    } cases[] = {
        {"0", 0},          {"123", 123},       {"  42", 42},         {"-5", -5},
        {"+7", 7},         {"$FF", 255},       {"$ff", 255},         {"0x1f", 31},
        {"0X1F", 31},      {"x10", 16},        {"X10", 16},          {"-$10", -16},
        {"2147483647", 2147483647},            {"-2147483648", INT32_MIN},
        {"$7FFFFFFF", INT32_MAX},              {"$FFFFFFFF", -1},    {"$80000000", INT32_MIN},
    };
    for (const auto& c : cases) {
        const auto v = StrToInt32(c.text);
        ASSERT_TRUE(v.has_value()) << c.text;
        EXPECT_EQ(*v, c.value) << c.text;
    }
}

TEST(TextStrToInt32, RejectsEverythingElse)
{
    for (const char* text : {"", " ", "-", "+", "$", "0x", "x", "12a", "12 ", "1 2", "abc", "1.5",
                             "2147483648", "-2147483649", "99999999999", "$100000000", "0x1G",
                             "--1"}) {
        EXPECT_FALSE(StrToInt32(text).has_value()) << '"' << text << '"';
    }
}

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(TextLocaleCompare, LettersFirstThenCase)
{
    // Alphabetical without regard to case before anything else.
    EXPECT_LT(LocaleCompare("apple", "Banana"), 0);
    EXPECT_LT(LocaleCompare("Apple", "banana"), 0);
    EXPECT_GT(LocaleCompare("Zebra", "apple"), 0);
    EXPECT_LT(LocaleCompare("Ab", "aC"), 0);
    EXPECT_LT(LocaleCompare("ab", "abc"), 0);
    EXPECT_LT(LocaleCompare("alpha", "Alpha2"), 0);

    // Case decides only between otherwise equal names, small letters first.
    EXPECT_LT(LocaleCompare("alpha", "Alpha"), 0);
    EXPECT_GT(LocaleCompare("Alpha", "alpha"), 0);
    EXPECT_EQ(LocaleCompare("Alpha", "Alpha"), 0);
    EXPECT_EQ(LocaleCompare("Alpha", "alpha", false), 0);
    EXPECT_LT(LocaleCompare("alpha", "BETA", false), 0);

    // Symmetry.
    for (auto [a, b] : {std::pair{"x", "Y"}, std::pair{"imageDir", "imagedir"}, std::pair{"+H", "a"}})
        EXPECT_EQ(Sign(LocaleCompare(a, b)), -Sign(LocaleCompare(b, a))) << a << " " << b;
}

TEST(TextLocaleCompare, HeadingsBeforeDigitsBeforeLetters)
{
    std::vector<std::string> names = {"zone", "Beta", "10", "+Look", "alpha", "2", "+Action", "Alpha"};
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return LocaleCompare(a, b) < 0; });
    const std::vector<std::string> expected = {"+Action", "+Look", "10", "2", "alpha", "Alpha", "Beta", "zone"};
    EXPECT_EQ(names, expected);
}

} // namespace
} // namespace kestrune
