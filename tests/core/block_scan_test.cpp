#include "block_scan.hpp"

#include <gtest/gtest.h>

#include <random>

namespace prelivo {
namespace {

// Trail bytes the slow way: walk the block, pairing each high byte that
// starts a character with the byte after it.
std::uint64_t trailBitsOneByOne(std::uint64_t high, std::uint64_t& carry) {
    std::uint64_t trail = 0;
    bool nextIsTrail = carry != 0;
    for (unsigned i = 0; i < 64; ++i) {
        const bool isTrail = nextIsTrail;
        if (isTrail) trail |= std::uint64_t{1} << i;
        nextIsTrail = !isTrail && (high >> i & 1) != 0;
    }
    carry = nextIsTrail ? 1 : 0;
    return trail;
}

TEST(TrailBits, MatchesPairingOneByteAtATime) {
    std::mt19937_64 rng(3);
    for (int i = 0; i < 200000; ++i) {
        // Dense, sparse and long runs of high bytes.
        std::uint64_t high = rng();
        if (i % 3 == 1) high &= rng();
        if (i % 3 == 2) high |= rng() | rng();
        std::uint64_t carry = rng() & 1;
        std::uint64_t expectedCarry = carry;
        const std::uint64_t expected = trailBitsOneByOne(high, expectedCarry);
        ASSERT_EQ(detail::trailBits(high, carry), expected) << std::hex << high;
        ASSERT_EQ(carry, expectedCarry) << std::hex << high;
    }
    for (const std::uint64_t high : {0ull, ~0ull, 1ull << 63, ~0ull >> 1}) {
        for (std::uint64_t c0 : {0ull, 1ull}) {
            std::uint64_t carry = c0, expectedCarry = c0;
            EXPECT_EQ(detail::trailBits(high, carry), trailBitsOneByOne(high, expectedCarry));
            EXPECT_EQ(carry, expectedCarry);
        }
    }
}

TEST(ScanBlock, FindsCrLfAndHighBytesInBothForms) {
    char bytes[64];
    char16_t units[64];
    std::uint64_t cr = 0, lf = 0, high = 0;
    for (unsigned i = 0; i < 64; ++i) {
        const unsigned char b = static_cast<unsigned char>(i * 37 % 7 == 0 ? '\r' : i % 5 == 0 ? '\n' : i * 11);
        bytes[i] = static_cast<char>(b);
        units[i] = static_cast<char16_t>(b == '\r' || b == '\n' ? b : 0x0D00 + b);  // only real CR and LF count
        if (b == '\r') cr |= std::uint64_t{1} << i;
        if (b == '\n') lf |= std::uint64_t{1} << i;
        if (b >= 0x80) high |= std::uint64_t{1} << i;
    }
    const auto m = detail::scanBlock(bytes);
    EXPECT_EQ(m.cr, cr);
    EXPECT_EQ(m.lf, lf);
    EXPECT_EQ(m.high, high);
    const auto w = detail::scanBlock(units);
    EXPECT_EQ(w.cr, cr);
    EXPECT_EQ(w.lf, lf);
}

}  // namespace
}  // namespace prelivo
