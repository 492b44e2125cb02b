#include <gtest/gtest.h>

#include <random>

#include "encoding.hpp"
#include "random_text.hpp"
#include "reference_join.hpp"
#include "text.hpp"

namespace prelivo {
namespace {

// Chinese in code page 936, spelled out so that the source's own encoding
// does not matter.
const std::string kZhong = "\xD6\xD0";     // 中
const std::string kWen = "\xCE\xC4";       // 文
const std::string kJu = "\xA1\xA3";        // 。
const std::string kJing = "\xBE\xA9";      // 京: its trail byte A9 is a mark's lead
const std::string kZhi = "\xD0\x7D";       // 衹: its trail byte is }
const std::string kColon = "\xA3\xBA";     // ：, not a mark
const std::string kComma = "\xA3\xAC";     // ，, not a mark

struct JoinCase {
    const char* name;
    std::string in;
    std::string out;
};

void PrintTo(const JoinCase& c, std::ostream* os) { *os << c.name; }

class JoinGbk : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinGbk, JoinsAsTheRulesSay) {
    const auto& c = GetParam();
    EXPECT_EQ(joinBrokenLines(c.in), c.out);
    EXPECT_EQ(reference::joinGbk(c.in), c.out) << "the reference disagrees with the case";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JoinGbk,
    ::testing::Values(
        JoinCase{"Empty", "", ""},
        JoinCase{"OnlyBreaks", "\r\n\r\n\r\n", ""},
        JoinCase{"OneLineNoMark", kZhong + kWen, kZhong + kWen},
        JoinCase{"OneLineWithMark", kZhong + kJu, kZhong + kJu + "\r\n"},
        JoinCase{"TwoLinesJoined", kZhong + "\r\n" + kWen + kJu, kZhong + kWen + kJu + "\r\n"},
        JoinCase{"BlankLineBetweenParagraphsVanishes", kZhong + kJu + "\r\n\r\n" + kWen,
                 kZhong + kJu + "\r\n" + kWen},
        JoinCase{"FinalBreakAfterJoinedLineDropped", kZhong + "\r\n", kZhong},
        JoinCase{"LoneLfAndCrAreOrdinary", "a\nb\rc\r\nd.", "a\nb\rcd.\r\n"},
        JoinCase{"MarkThenSpaceIsJoined", "a. \r\nb", "a. b"},
        JoinCase{"AsciiMarksKeepBreak", "a.\r\nb?\r\nc!\r\nd)\r\ne>\r\nf}\r\ng",
                 "a.\r\nb?\r\nc!\r\nd)\r\ne>\r\nf}\r\ng"},
        JoinCase{"NotMarks", "a:\r\nb;\r\nc,\r\nd]\r\ne'\r\nf\"\r\n" + kColon + "\r\n" + kComma + "\r\n" +
                                 "\xA1\xAD\r\nz",  // … is no mark
                 "a:b;c,d]e'f\"" + kColon + kComma + "\xA1\xADz"},
        JoinCase{"LineThatIsOnlyAMark", kJu + "\r\n" + kZhong, kJu + "\r\n" + kZhong},
        // A lead byte takes the CR as its trail: no break there.
        JoinCase{"LeadByteBeforeCrLf", "a\x81\r\nb", "a\x81\r\nb"},
        JoinCase{"LoneLeadByteAtEnd", "a\r\n\x81", "a\x81"},
        // Whole characters only: a trail byte and the next byte never make a
        // mark, nor does a trail byte alone.
        JoinCase{"TrailBytePlusLetterIsNoMark", kJing + "s\r\n" + kWen, kJing + "s" + kWen},
        JoinCase{"TrailByteBraceIsNoMark", kZhi + "\r\n" + kWen, kZhi + kWen},
        JoinCase{"RealDoubleByteMarkKept", "a\xA9\x73\r\nb", "a\xA9\x73\r\nb"},
        JoinCase{"RealBraceAfterChineseKept", kZhong + "}\r\nb", kZhong + "}\r\nb"},
        JoinCase{"NoSpacesAdded", "hello\r\nworld.", "helloworld.\r\n"}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST(SplitLines, BreaksAtCrLfOnCharacterBoundaries) {
    using V = std::vector<std::string_view>;
    EXPECT_EQ(splitLines(""), V{});
    EXPECT_EQ(splitLines("a\r\n"), V{"a"});
    EXPECT_EQ(splitLines("a\r\n\r\nb"), (V{"a", "", "b"}));
    EXPECT_EQ(splitLines("\r\n"), V{""});
    EXPECT_EQ(splitLines("a\x81\r\nb"), V{"a\x81\r\nb"});
    EXPECT_EQ(splitLines("a\x81"), V{"a\x81"});
    EXPECT_EQ(splitLines(u"a\r\n\r\nb\r\n"), (std::vector<std::u16string_view>{u"a", u"", u"b"}));
}

TEST(EndsWithLineEndMark, LooksAtTheLastWholeCharacter) {
    EXPECT_FALSE(endsWithLineEndMark(""));
    EXPECT_TRUE(endsWithLineEndMark("."));
    EXPECT_TRUE(endsWithLineEndMark(kJu));
    EXPECT_TRUE(endsWithLineEndMark(kZhong + kZhong + kJu));
    EXPECT_FALSE(endsWithLineEndMark(kJing + "s"));
    EXPECT_FALSE(endsWithLineEndMark(kZhi));
    EXPECT_TRUE(endsWithLineEndMark(kZhi + "}"));
    EXPECT_FALSE(endsWithLineEndMark("\xA1"));       // lone lead byte
    EXPECT_FALSE(endsWithLineEndMark("a\xA1\xA1\xA3"));  // 。 misaligned: ends in a lone lead
    EXPECT_TRUE(endsWithLineEndMark("a\xA1\xA1\xA1\xA3"));
    for (const auto& mark : LINE_END_MARKS) {
        EXPECT_TRUE(endsWithLineEndMark(mark.gbk)) << mark.gbk;
        EXPECT_TRUE(endsWithLineEndMark(std::u16string(1, mark.unicode)));
        EXPECT_FALSE(endsWithLineEndMark(std::string(mark.gbk) + " "));
    }
}

TEST(JoinUtf16, SameRulesOnCodeUnits) {
    EXPECT_EQ(joinBrokenLines(u""), u"");
    EXPECT_EQ(joinBrokenLines(u"\u4E2D\r\n\u6587\u3002\r\n\r\n\u6587"), u"\u4E2D\u6587\u3002\r\n\u6587");
    // An emoji is a surrogate pair, a character of its own; lone surrogates
    // pass through.
    EXPECT_EQ(joinBrokenLines(u"\U0001F600\r\n!\r\n\xD800\r\n\xDC00."), u"\U0001F600!\r\n\xD800\xDC00.\r\n");
    EXPECT_EQ(joinBrokenLines(u"a\nb\r\nc\u300B\r\nd"), u"a\nbc\u300B\r\nd");
}

TEST(JoinProperties, FastJoinMatchesReferenceOnAnyBytes) {
    std::mt19937 rng(1234);
    for (int i = 0; i < 20000; ++i) {
        const auto t = testing::randomBytes(rng, 40);
        ASSERT_EQ(joinBrokenLines(t), reference::joinGbk(t)) << ::testing::PrintToString(t);
    }
}

TEST(JoinProperties, GbkAndUtf16FormsAgree) {
    std::mt19937 rng(42);
    int compared = 0;
    for (int i = 0; i < 5000; ++i) {
        const auto t = testing::randomGbkText(rng, 60);
        const auto wide = testing::gbkToUtf16(t);
        ASSERT_TRUE(wide) << "generator made invalid GBK: " << ::testing::PrintToString(t);
        const auto joinedThenConverted = testing::gbkToUtf16(joinBrokenLines(t));
        ASSERT_TRUE(joinedThenConverted);
        ASSERT_EQ(*joinedThenConverted, joinBrokenLines(*wide)) << ::testing::PrintToString(t);
        ++compared;
    }
    EXPECT_EQ(compared, 5000);
}

TEST(JoinProperties, JoiningTwiceEqualsJoiningOnce) {
    std::mt19937 rng(7);
    for (int i = 0; i < 5000; ++i) {
        auto t = testing::randomGbkText(rng, 60);
        // Lone CR or LF bytes can meet across a removed break and form a new
        // one, so they are left out here.
        std::string clean;
        for (std::size_t j = 0; j < t.size(); ++j) {
            if (t[j] == '\r' && j + 1 < t.size() && t[j + 1] == '\n') {
                clean += "\r\n";
                ++j;
            } else if (t[j] != '\r' && t[j] != '\n') {
                clean += t[j];
            }
        }
        const auto once = joinBrokenLines(clean);
        ASSERT_EQ(joinBrokenLines(once), once) << ::testing::PrintToString(clean);
    }
}

}  // namespace
}  // namespace prelivo
