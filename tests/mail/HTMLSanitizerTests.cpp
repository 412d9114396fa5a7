#include "mail/HTMLSanitizer.h"

#include "helpers/ReferenceHTMLSanitizer.h"

#include <gtest/gtest.h>
#include <unicode/unistr.h>

#include <array>
#include <random>
#include <string>
#include <string_view>

namespace loftwing {
namespace {

TEST(HTMLSanitizer, RemovesElementsAndCommentsExactlyAsICUDoes) {
    struct Row {
        const char* name;
        std::string html;
        std::string expected;
    };
    const Row rows[] = {
        {"paragraph, upper-case script with attribute, comment",
         "<p>Code 123456</p><SCRIPT type=\"text/javascript\">alert(1)</SCRIPT><!-- note -->",
         "<p>Code 123456</p>  "},
        {"closing tag of the other element does not close", "<style>x</script>y</style>z", " z"},
        {"self-closing opening waits for a closing tag", "<script/>a</script>b", " b"},
        {"unclosed element stays", "<script>a", "<script>a"},
        {"comment ends at the first end marker", "<!--a-->b-->", " b-->"},
        {"long s folds to s",
         "<\xC5\xBF"
         "cript>a</script>",
         " "},
        {"letter after the name is no boundary", "<style\xC3\xA9>a</style>",
         "<style\xC3\xA9>a</style>"},
        {"element removal can join a comment", "<!<style></style>-- x -->", "<! -- x -->"},
        {"empty", "", ""},
    };
    const test::ReferenceHTMLSanitizer reference;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(sanitizedHTML(row.html), row.expected);
        EXPECT_EQ(reference(row.html), row.expected);
    }
}

// Pieces chosen to hit every branch of both patterns: names in several cases and foldings,
// characters on both sides of the word boundary, tag and comment delimiters, and UTF-8.
// clang-format off
constexpr std::array<std::string_view, 48> fragments{
    "<", ">", "/", "</", "<!--", "-->", "--", "-", "!",
    "style", "script", "STYLE", "ScRiPt", "scriptx", "styl", "scrip",
    "</style>", "</script>", "</SCRIPT>", "</script >", "<script/>", "<style ", "<script", "</scr",
    "ipt>", " ", "\n", "\r\n", "a", "1", "_", "=", "\"",
    // long s, st and long-s-t ligatures, Kelvin sign, e acute, combining acute, ZWJ, ZWNJ, soft hyphen,
    // dotted I, sharp s, an emoji, combining ypogegrammeni, ideographic space, Arabic-Indic three
    "\xC5\xBF", "\xEF\xAC\x86", "\xEF\xAC\x85", "\xE2\x84\xAA", "\xC3\xA9", "\xCC\x81",
    "\xE2\x80\x8D", "\xE2\x80\x8C", "\xC2\xAD", "\xC4\xB0", "\xC3\x9F", "\xF0\x9F\x98\x80",
    "\xCD\x85", "\xE3\x80\x80", "\xD9\xA3"};
// clang-format on

std::string randomHTML(std::mt19937& random, std::size_t pieces) {
    std::uniform_int_distribution<std::size_t> pick(0, fragments.size() - 1);
    std::string html;
    for (std::size_t i = 0; i < pieces; ++i) {
        html += fragments[pick(random)];
    }
    return html;
}

TEST(HTMLSanitizer, AgreesWithICUOnRandomAndAdversarialHTML) {
    const test::ReferenceHTMLSanitizer reference;
    std::mt19937 random(20261206);
    std::uniform_int_distribution<std::size_t> length(0, 60);
    for (int i = 0; i < 20000; ++i) {
        const auto html = randomHTML(random, length(random));
        const auto expected = reference(html);
        const auto actual = sanitizedHTML(html);
        if (actual != expected) {
            ADD_FAILURE() << "input: " << html << "\nICU: " << expected << "\nscanner: " << actual;
            return;
        }
    }
}

std::string utf8(char32_t c) {
    std::string text;
    icu::UnicodeString(static_cast<UChar32>(c)).toUTF8String(text);
    return text;
}

TEST(HTMLSanitizer, AgreesWithICUForEveryCharacterWhereNamesAndBoundariesAreDecided) {
    // Every code point of the first three planes right after the name (the word boundary) and
    // in place of name letters (case folding), 256 code points to one ICU run.
    const test::ReferenceHTMLSanitizer reference;
    const std::array<std::string (*)(const std::string&), 5> shapes{
        [](const std::string& c) { return "<style" + c + ">x</style>\n"; },
        [](const std::string& c) { return "<" + c + "cript>x</script>\n"; },
        [](const std::string& c) { return "<scrip" + c + ">x</script>\n"; },
        [](const std::string& c) { return "<script>x</scrip" + c + ">y</script>\n"; },
        [](const std::string& c) { return "<" + c + "yle>x</" + c + "yle>\n"; },
    };
    for (char32_t block = 0x80; block < 0x30000; block += 256) {
        for (const auto& shape : shapes) {
            std::string html;
            for (char32_t c = block; c < block + 256; ++c) {
                if (c < 0xD800 || c >= 0xE000) {
                    html += shape(utf8(c));
                }
            }
            if (sanitizedHTML(html) != reference(html)) {
                ADD_FAILURE() << "block U+" << std::hex << static_cast<unsigned>(block) << ": "
                              << html;
                return;
            }
        }
    }
}

TEST(HTMLSanitizer, HostileMegabyteInputsLeaveTheTextUnchanged) {
    // Each of these makes a backtracking engine rescan the rest of the text once per opening.
    const std::string openings[] = {"<script", "<!--", "<style>", "<script a=1>"};
    for (const auto& opening : openings) {
        SCOPED_TRACE(opening);
        std::string html;
        while (html.size() < (1u << 20)) {
            html += opening;
        }
        EXPECT_EQ(sanitizedHTML(html), html);
    }
}

}  // namespace
}  // namespace loftwing
