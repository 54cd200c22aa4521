#include "engine/platform/Strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace tessor::platform {
namespace {

TEST(Utf, RoundTripsBmpAndSurrogatePairs) {
    std::string utf8 = "h\xC3\xA9llo \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF";
    std::u16string wide = FromSystem(utf8);
    EXPECT_EQ(wide, u"h\u00E9llo \u20AC \U0001F600 \U0010FFFF");
    ASSERT_EQ(wide.size(), 13u);  // two surrogate pairs
    EXPECT_EQ(wide[8], 0xD83D);
    EXPECT_EQ(wide[9], 0xDE00);
    EXPECT_EQ(ToSystem(wide), utf8);
}

TEST(Utf, InvalidBytesBecomeReplacementCharacters) {
    // Each maximal ill-formed subsequence yields one U+FFFD, and the
    // decoder resynchronises on the next byte.
    EXPECT_EQ(FromSystem("a\xFF"
                         "b"),
              u"a\uFFFDb");
    EXPECT_EQ(FromSystem("\xE2\x82"
                         "A"),
              u"\uFFFDA");                                                   // truncated sequence
    EXPECT_EQ(FromSystem("\xC0\xAF"), u"\uFFFD\uFFFD");                      // overlong '/'
    EXPECT_EQ(FromSystem("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");            // encoded surrogate
    EXPECT_EQ(FromSystem("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
    EXPECT_EQ(FromSystem("x\xF0\x9F\x98"), u"x\uFFFD");                      // cut at the end
    EXPECT_EQ(FromSystem(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Utf, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(ToSystem(std::u16string(1, char16_t(0xD800))), fffd);
    EXPECT_EQ(ToSystem(u"a" + std::u16string(1, char16_t(0xDC00)) + u"b"), "a" + fffd + "b");
    std::u16string reversed{char16_t(0xDE00), char16_t(0xD83D)};
    EXPECT_EQ(ToSystem(reversed), fffd + fffd);
}

TEST(CodePage, RomanianIn1250RoundTrips) {
    // a-breve, a-circumflex, i-circumflex, s- and t-cedilla in both cases.
    const std::string bytes = "\xE3\xE2\xEE\xBA\xFE\xC3\xC2\xCE\xAA\xDE";
    std::u16string wide;
    ASSERT_TRUE(FromCodePage(bytes, 1250, wide));
    EXPECT_EQ(wide, u"\u0103\u00E2\u00EE\u015F\u0163\u0102\u00C2\u00CE\u015E\u0162");
    std::string back;
    ASSERT_TRUE(ToCodePage(wide, 1250, back));
    EXPECT_EQ(back, bytes);
}

TEST(CodePage, GermanIn1252RoundTrips) {
    std::u16string text = u"Gr\u00FC\u00DFe \u00C4\u00D6\u00DC\u00E4\u00F6 \u20AC";
    std::string bytes;
    ASSERT_TRUE(ToCodePage(text, 1252, bytes));
    EXPECT_EQ(bytes,
              "Gr\xFC\xDF"
              "e \xC4\xD6\xDC\xE4\xF6 \x80");
    std::u16string back;
    ASSERT_TRUE(FromCodePage(bytes, 1252, back));
    EXPECT_EQ(back, text);
}

TEST(CodePage, UnmappableAndUndefinedCharacters) {
    std::string bytes;
    // s-comma (not in 1252), an emoji (one '?' for the pair), a lone surrogate.
    std::u16string text = u"a\u0219b\U0001F600c";
    text.push_back(char16_t(0xD800));
    ASSERT_TRUE(ToCodePage(text, 1252, bytes));
    EXPECT_EQ(bytes, "a?b?c?");
    // 0x81 is undefined in 1252; the text around it survives.
    std::u16string wide;
    ASSERT_TRUE(FromCodePage("x\x81y", 1252, wide));
    EXPECT_EQ(wide, u"x\uFFFDy");
    EXPECT_FALSE(ToCodePage(u"x", 99999, bytes));
    EXPECT_FALSE(FromCodePage("x", 99999, wide));
}

TEST(CaseFold, CompareTextCIIgnoresCaseBeyondAscii) {
    EXPECT_EQ(CompareTextCI(u"Readme.TXT", u"README.txt"), 0);
    EXPECT_EQ(CompareTextCI(u"\u00E9t\u00E9", u"\u00C9T\u00C9"), 0);
    EXPECT_EQ(CompareTextCI(u"\u0219", u"\u0218"), 0);
    EXPECT_LT(CompareTextCI(u"abc", u"ABCD"), 0);
    EXPECT_GT(CompareTextCI(u"b", u"A"), 0);
    // Ordinal order of the upper-cased units: 'a' folds to 0x41, below '_'.
    EXPECT_GT(CompareTextCI(u"_", u"a"), 0);
    EXPECT_LT(CompareTextCI(u"a", u"\u00E0"), 0);
    EXPECT_NE(CompareTextCI(u"a", u"\u00E0"), 0);
}

TEST(CaseFold, FoldCaseIsTheKeyOfCompareTextCI) {
    std::vector<std::u16string> names = {u"abc",    u"ABC",    u"Stra\u00DFe", u"STRASSE",
                                         u"\u00FF", u"\u0178", u"x\U0001F600", u"X\U0001F600",
                                         u"_",      u""};
    for (const auto& a : names)
        for (const auto& b : names)
            EXPECT_EQ(FoldCase(a) == FoldCase(b), CompareTextCI(a, b) == 0)
                << std::string(a.begin(), a.end()) << " / " << std::string(b.begin(), b.end());
    EXPECT_EQ(FoldCase(u"Stra\u00DFe"), u"STRA\u00DFE");  // one unit stays one unit
    std::u16string pair = u"\U0001F600";
    EXPECT_EQ(FoldCase(pair), pair);
}

TEST(Collation, CompareLocaleIsATotalOrder) {
    std::vector<std::u16string> names = {u"b",      u"a",  u"B", u"A",
                                         u"\u00E4", u"ab", u"",  u"a\U0001F600"};
    for (const auto& a : names) {
        EXPECT_EQ(CompareLocale(a, a), 0);
        for (const auto& b : names) {
            int ab = CompareLocale(a, b), ba = CompareLocale(b, a);
            EXPECT_EQ(ab, -ba);
            if (a != b) {
                EXPECT_NE(ab, 0);
            }
        }
    }
    EXPECT_LT(CompareLocale(u"a", u"b"), 0);
    EXPECT_LT(CompareLocale(u"a", u"ab"), 0);
}

TEST(Mask, WindowsWildcardRules) {
    struct Case {
        const char16_t* name;
        const char16_t* mask;
        bool match;
    } cases[] = {
        {u"readme", u"*.*", true},       {u"readme", u"*", true},
        {u".hidden", u"*.*", true},      {u"a.txt", u"*.txt", true},
        {u"A.TXT", u"*.txt", true},      {u"a.txt.bak", u"*.txt", false},
        {u"abc", u"a?c", true},          {u"ac", u"a?c", false},
        {u"abc", u"abc.*", true},        {u"abc.d", u"abc.*", true},
        {u"abd", u"abc.*", false},       {u"x", u"", false},
        {u"aXbXc", u"a*b*c", true},      {u"abcd", u"a*b*c", false},
        {u"a\U0001F600b", u"a?b", true}, {u"\u00C4RGER.txt", u"\u00E4rger.*", true},
        {u"data.tar.gz", u"*.gz", true}, {u"abc", u"*c*", true},
        {u"file", u"f???", true},        {u"file", u"f??", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.match)
            << ToSystem(c.name) << " vs " << ToSystem(c.mask);
}

}  // namespace
}  // namespace tessor::platform
