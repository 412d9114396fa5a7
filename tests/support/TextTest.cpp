#include "support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loftwing {
namespace {

TEST(Text, CountsUserPerceivedCharacters) {
    struct Row {
        const char* name;
        std::string text;
        std::size_t count;
    };
    const std::vector<Row> rows{
        {"empty", "", 0},
        {"crlf is one", "a\r\nb", 3},
        {"combining acute", "e\xCC\x81", 1},
        {"family ZWJ sequence",
         "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7", 1},
        {"two flags", "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", 2},
        {"truncated sequence", "a\xE2\x82", 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(characterCount(row.text), row.count);
    }
}

TEST(Text, PrefixKeepsWholeCharacters) {
    const std::string family =
        "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    const std::string flag = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";
    struct Row {
        const char* name;
        std::string text;
        std::size_t limit;
        std::string expected;
    };
    const std::vector<Row> rows{
        {"zero", "abc", 0, ""},
        {"shorter than the limit", "abc", 5, "abc"},
        {"exact", "abc", 3, "abc"},
        {"cut", "abcdef", 2, "ab"},
        {"family stays whole", family + family, 1, family},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(prefixCharacters(row.text, row.limit), row.expected);
    }
}

TEST(Text, TrimsUnicodeSpacesAndNewlines) {
    struct Row {
        const char* name;
        std::string text;
        std::string expected;
    };
    const std::vector<Row> rows{
        {"ascii", " \t\r\n a b \n\t", "a b"},
        {"no-break space", "\xC2\xA0x\xC2\xA0", "x"},
        {"line and paragraph separators", "\xE2\x80\xA8x\xE2\x80\xA9", "x"},
        {"only space", " \n\xC2\xA0", ""},
        {"zero width space is not white space", "\xE2\x80\x8Bx", "\xE2\x80\x8Bx"},
        {"inner spaces stay", "\xC2\xA0x\xC2\xA0\xC2\xA0y\xC2\xA0", "x\xC2\xA0\xC2\xA0y"},
        {"invalid bytes stop the trim", " \xFF ", "\xFF"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(trimmingWhitespaceAndNewlines(row.text), row.expected);
    }
    EXPECT_FALSE(containsWhitespaceOrNewline("abc"));
    EXPECT_TRUE(containsWhitespaceOrNewline("x\xC2\xA0y"));
    EXPECT_FALSE(containsWhitespaceOrNewline("x\xE2\x80\x8By"));  // zero width space
    EXPECT_FALSE(containsWhitespaceOrNewline("\xFF"));
}

TEST(Text, CaseMappingIsFullAndLocaleIndependent) {
    struct Row {
        std::string text;
        std::string lower;
        std::string upper;
    };
    const std::vector<Row> rows{
        {"gro\xC3\x9F", "gro\xC3\x9F", "GROSS"},
        {"\xC4\xB0", "i\xCC\x87", "\xC4\xB0"},
        {"\xCE\xA3\xCE\x91", "\xCF\x83\xCE\xB1", "\xCE\xA3\xCE\x91"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(lowercased(row.text), row.lower);
        EXPECT_EQ(uppercased(row.text), row.upper);
    }
}

TEST(Text, ValidatesUTF8) {
    const std::vector<std::pair<std::string, bool>> rows{
        {"\xF0\x9F\x87\xA9", true},  {"\xC3", false},
        {"\xC0\xAF", false},         {"\xED\xA0\x80", false},
        {"\xF4\x90\x80\x80", false}, {std::string("a\0b", 3), true},
    };
    for (const auto& [bytes, valid] : rows) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(isValidUTF8(bytes), valid);
    }
}

TEST(Text, ReplacesIllFormedUTF8) {
    const std::string replacement = "\xEF\xBF\xBD";
    const std::vector<std::pair<std::string, std::string>> rows{
        {"\xF0\x9F\x87\xA9", "\xF0\x9F\x87\xA9"},
        {"x\xFFy", "x" + replacement + "y"},
        {"x\xE2\x82", "x" + replacement},
        {"\xC0\xAF", replacement + replacement},
        {"\xED\xA0\x80", replacement + replacement + replacement},
    };
    for (const auto& [bytes, expected] : rows) {
        SCOPED_TRACE(testing::PrintToString(bytes));
        EXPECT_EQ(replacingInvalidUTF8(bytes), expected);
        EXPECT_TRUE(isValidUTF8(replacingInvalidUTF8(bytes)));
    }
}

}  // namespace
}  // namespace loftwing
