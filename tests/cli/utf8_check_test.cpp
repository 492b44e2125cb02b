// The UTF-8 check, each kernel this processor runs, against a plain decoder
// written from the definition.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "utf8_check.hpp"

namespace prelivo::cli {
namespace {

constexpr std::uint64_t kNone = UINT64_MAX;

// Where the first ill-formed sequence starts, or kNone.
std::uint64_t referenceFault(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t len = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            len = 1, cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2, cp = b & 0x1Fu;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, cp = b & 0x0Fu;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, cp = b & 0x07u;
        } else {
            return i;
        }
        if (i + len > s.size()) return i;
        for (std::size_t k = 1; k < len; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return i;
            cp = cp << 6 | (c & 0x3Fu);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return i;
        i += len;
    }
    return kNone;
}

std::uint64_t checkFault(const std::string& s, Utf8Kernel kernel, std::size_t piece = std::string::npos) {
    Utf8Check check(kernel);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size(); i += piece) {
        if (const auto fault = check.feed(p + i, std::min(piece, s.size() - i))) return fault->offset;
    }
    if (const auto fault = check.finish()) return fault->offset;
    return kNone;
}

std::string kernelName(Utf8Kernel k) {
    return k == Utf8Kernel::plain ? "plain" : k == Utf8Kernel::ssse3 ? "ssse3" : "avx2";
}

TEST(Utf8Check, EverySequenceShapeAtAnyBlockPosition) {
    // Each lead byte with continuations drawn from the edges of every range
    // that matters, in ASCII long enough for the vector kernels, at every
    // position against their 16- and 32-byte blocks.
    const unsigned char edges[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xE0, 0xF0, 0xFF};
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::size_t> position(0, 40);
    for (const Utf8Kernel kernel : availableUtf8Kernels()) {
        SCOPED_TRACE(kernelName(kernel));
        std::size_t mismatches = 0;
        for (unsigned lead = 0xC0; lead <= 0xFF; ++lead) {
            for (const unsigned char b2 : edges) {
                for (const unsigned char b3 : edges) {
                    for (const unsigned char b4 : edges) {
                        std::string s(position(rng), 'a');
                        s += {static_cast<char>(lead), static_cast<char>(b2), static_cast<char>(b3),
                              static_cast<char>(b4)};
                        s.append(80, 'z');
                        for (const std::size_t cut : {s.size(), s.size() - 80 - (lead & 3)}) {
                            const std::string t = s.substr(0, cut);
                            if (checkFault(t, kernel) != referenceFault(t) && ++mismatches < 10) {
                                ADD_FAILURE() << ::testing::PrintToString(t);
                            }
                        }
                    }
                }
            }
        }
        EXPECT_EQ(mismatches, 0u);
    }
}

TEST(Utf8Check, RandomTextsInRandomPieces) {
    // Mostly valid Chinese and ASCII, with now and then a byte that breaks it.
    std::mt19937 rng(11);
    const std::string good[] = {"a", "\r\n", "\xE4\xB8\xAD", "\xE3\x80\x82", "\xC3\xA9", "\xF0\x9F\x98\x80",
                                "\xEF\xBC\x9F"};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(good) - 1);
    std::uniform_int_distribution<int> percent(0, 999);
    std::uniform_int_distribution<int> anyByte(0x80, 0xFF);
    for (const Utf8Kernel kernel : availableUtf8Kernels()) {
        SCOPED_TRACE(kernelName(kernel));
        for (int round = 0; round < 2000; ++round) {
            std::string s;
            const int length = percent(rng);
            for (int k = 0; k < length; ++k) {
                s += percent(rng) == 0 ? std::string(1, static_cast<char>(anyByte(rng))) : good[pick(rng)];
            }
            const std::size_t piece = std::size_t{1} << (round % 11);
            ASSERT_EQ(checkFault(s, kernel, piece), referenceFault(s)) << ::testing::PrintToString(s);
        }
    }
}

TEST(Utf8Check, FaultsArePlacedInTheirFile) {
    for (const Utf8Kernel kernel : availableUtf8Kernels()) {
        Utf8Check check(kernel);
        const std::string first(100, 'a');
        const std::string second = std::string(70, 'b') + "\xE4\xB8";  // cut off by the file's end
        const std::string third = "\xAD" + std::string(90, 'c') + "\xC0\xAF";
        const auto feed = [&check](const std::string& s) {
            return check.feed(reinterpret_cast<const unsigned char*>(s.data()), s.size());
        };
        EXPECT_FALSE(feed(first));
        check.newFile();
        EXPECT_FALSE(feed(second));
        check.newFile();
        const auto fault = feed(third);
        ASSERT_TRUE(fault) << kernelName(kernel);
        EXPECT_EQ(fault->file, 2u);
        EXPECT_EQ(fault->offset, 91u);
    }
}

}  // namespace
}  // namespace prelivo::cli
