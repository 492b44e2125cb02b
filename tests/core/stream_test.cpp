#include <gtest/gtest.h>

#include <random>

#include "encoding.hpp"
#include "line_joiner.hpp"
#include "random_text.hpp"
#include "reference_join.hpp"
#include "text.hpp"

namespace prelivo {
namespace {

// Feeds text to a joiner in random chunk sizes up to maxChunk, empty
// chunks included.
template <class Encoding>
std::basic_string<typename Encoding::Unit> joinInChunks(std::basic_string_view<typename Encoding::Unit> text,
                                                       std::mt19937& rng, LineBreak lb = LineBreak::crlf,
                                                       std::size_t maxChunk = 7) {
    LineJoiner<Encoding> joiner(lb);
    std::basic_string<typename Encoding::Unit> out;
    std::uniform_int_distribution<std::size_t> size(0, maxChunk);
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t n = std::min(size(rng), text.size() - pos);
        joiner.feed(text.substr(pos, n), out);
        pos += n;
    }
    joiner.finish(out);
    return out;
}

TEST(LineJoiner, ChunkBoundariesInsidePairsChangeNothing) {
    // Each text has a pair that the chunking below cuts in two.
    const std::string texts[] = {"a\r\nb.\r\nc", "\xD6\xD0\r\n\xA1\xA3\r\nx", "a\x81\r\nb", "a\r", "a\x81"};
    for (const std::string& t : texts) {
        for (std::size_t cut = 0; cut <= t.size(); ++cut) {
            LineJoiner<Gbk> joiner;
            std::string out;
            joiner.feed(std::string_view(t).substr(0, cut), out);
            joiner.feed(std::string_view(t).substr(cut), out);
            joiner.finish(out);
            EXPECT_EQ(out, joinBrokenLines(t)) << ::testing::PrintToString(t) << " cut at " << cut;
        }
    }
}

TEST(LineJoiner, ChunkedEqualsWholeOnAnyBytes) {
    std::mt19937 rng(99);
    for (int i = 0; i < 20000; ++i) {
        const auto t = testing::randomBytes(rng, 40);
        ASSERT_EQ(joinInChunks<Gbk>(t, rng), reference::joinGbk(t)) << ::testing::PrintToString(t);
        ASSERT_EQ(joinInChunks<Gbk>(t, rng, LineBreak::lf), reference::joinGbk(t, LineBreak::lf))
            << ::testing::PrintToString(t);
        std::u16string wide;
        for (const char c : t) wide += static_cast<char16_t>(static_cast<unsigned char>(c) * 0x101u);
        ASSERT_EQ(joinInChunks<Utf16>(wide, rng), reference::joinUtf16(wide));
        ASSERT_EQ(joinInChunks<Utf16>(wide, rng, LineBreak::lf), reference::joinUtf16(wide, LineBreak::lf));
    }
}

TEST(LineJoiner, Utf8FormAgreesWithUtf16Form) {
    std::mt19937 rng(5);
    for (int i = 0; i < 5000; ++i) {
        auto wide = *testing::gbkToUtf16(testing::randomGbkText(rng, 50));
        wide += u"\U0001F600";  // a four-byte sequence, cut by some chunkings
        for (const auto lb : {LineBreak::crlf, LineBreak::lf}) {
            const auto expected = testing::utf16ToUtf8(reference::joinUtf16(wide, lb));
            ASSERT_EQ(joinInChunks<Utf8>(testing::utf16ToUtf8(wide), rng, lb), expected);
        }
    }
}

TEST(LineJoiner, LfModeBreaksAtLoneLfAndCrLfAndWritesLf) {
    LineJoiner<Gbk> joiner(LineBreak::lf);
    std::string out;
    joiner.feed("a\nb.\nc\r\nd!\r\n\r\ne\rf", out);
    joiner.finish(out);
    EXPECT_EQ(out, "ab.\ncd!\ne\rf");
}

TEST(LineJoiner, CanStartAnotherTextAfterFinish) {
    LineJoiner<Gbk> joiner;
    std::string out;
    joiner.feed("a\x81", out);
    joiner.finish(out);
    joiner.feed("b.\r\n", out);
    joiner.finish(out);
    EXPECT_EQ(out, "a\x81" "b.\r\n");
}

// Long texts in chunks up to 400 units, so that the block loop runs, with
// its hand-overs to the plain loop falling anywhere: inside pairs, between a
// CR and its LF, on a lead byte at a block's end.
template <class Encoding>
std::basic_string<typename Encoding::Unit> joinInBigChunks(std::basic_string_view<typename Encoding::Unit> text,
                                                          std::mt19937& rng, LineBreak lb) {
    return joinInChunks<Encoding>(text, rng, lb, 400);
}

TEST(LineJoiner, LongTextsMatchReferenceWholeAndChunked) {
    std::mt19937 rng(2026);
    for (int i = 0; i < 3000; ++i) {
        const auto t = testing::randomBytes(rng, 1500);
        for (const auto lb : {LineBreak::crlf, LineBreak::lf}) {
            const auto expected = reference::joinGbk(t, lb);
            LineJoiner<Gbk> whole(lb);
            std::string out;
            whole.feed(t, out);
            whole.finish(out);
            ASSERT_EQ(out, expected) << ::testing::PrintToString(t);
            ASSERT_EQ(joinInBigChunks<Gbk>(t, rng, lb), expected) << ::testing::PrintToString(t);

            std::u16string wide;
            for (const char c : t) wide += static_cast<char16_t>(static_cast<unsigned char>(c) * 0x101u);
            ASSERT_EQ(joinInBigChunks<Utf16>(wide, rng, lb), reference::joinUtf16(wide, lb));
        }
    }
}

TEST(LineJoiner, LongValidTextsAgreeAcrossAllThreeForms) {
    std::mt19937 rng(11);
    for (int i = 0; i < 1000; ++i) {
        const auto gbk = testing::randomGbkText(rng, 1200);
        const auto wide = *testing::gbkToUtf16(gbk);
        for (const auto lb : {LineBreak::crlf, LineBreak::lf}) {
            const auto expected = reference::joinUtf16(wide, lb);
            ASSERT_EQ(testing::gbkToUtf16(joinInBigChunks<Gbk>(gbk, rng, lb)), expected);
            ASSERT_EQ(joinInBigChunks<Utf16>(wide, rng, lb), expected);
            ASSERT_EQ(joinInBigChunks<Utf8>(testing::utf16ToUtf8(wide), rng, lb), testing::utf16ToUtf8(expected));
        }
    }
}

}  // namespace
}  // namespace prelivo
