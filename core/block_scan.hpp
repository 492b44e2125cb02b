// Bit masks over blocks of 64 code units, the raw material of the fast
// join: which units are CR, which are LF, and (for code page 936) which
// bytes are 0x80 or above. Internal to the core.
//
// SSE2 is the baseline of every x86_64 processor and of the 32-bit build,
// which targets SSE2 processors; elsewhere, or with PRELIVO_SCALAR_ONLY
// defined, a plain loop gives the same masks.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#if (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)) && \
    !defined(PRELIVO_SCALAR_ONLY)
#include <emmintrin.h>
#define PRELIVO_HAVE_SSE2 1
#endif

namespace prelivo::detail {

inline constexpr std::size_t BLOCK = 64;

struct BlockMasks {
    std::uint64_t high = 0;  // bytes of 0x80 or above (code page 936 only)
    std::uint64_t cr = 0;
    std::uint64_t lf = 0;
};

inline unsigned lowestBit(std::uint64_t x) noexcept { return static_cast<unsigned>(std::countr_zero(x)); }

#ifdef PRELIVO_HAVE_SSE2
inline std::uint64_t movemask16(__m128i v) noexcept {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm_movemask_epi8(v)) & 0xFFFF);
}

inline BlockMasks scanBlock(const char* p) noexcept {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    BlockMasks m;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const int shift = 16 * k;
        m.high |= movemask16(v) << shift;
        m.cr |= movemask16(_mm_cmpeq_epi8(v, cr)) << shift;
        m.lf |= movemask16(_mm_cmpeq_epi8(v, lf)) << shift;
    }
    return m;
}

inline BlockMasks scanBlock(const char16_t* p) noexcept {
    const __m128i cr = _mm_set1_epi16('\r');
    const __m128i lf = _mm_set1_epi16('\n');
    BlockMasks m;
    for (int k = 0; k < 4; ++k) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k + 8));
        const int shift = 16 * k;
        // Each 16-bit comparison gives 0 or -1, which packs to one byte.
        m.cr |= movemask16(_mm_packs_epi16(_mm_cmpeq_epi16(a, cr), _mm_cmpeq_epi16(b, cr))) << shift;
        m.lf |= movemask16(_mm_packs_epi16(_mm_cmpeq_epi16(a, lf), _mm_cmpeq_epi16(b, lf))) << shift;
    }
    return m;
}

// Copies a whole block's worth of units, whatever part of them is wanted:
// fixed-size copies beat exact ones, and the caller leaves room on both
// sides.
template <class Unit>
inline void copyBlock(const Unit* src, Unit* dst) noexcept {
    const auto* s = reinterpret_cast<const char*>(src);
    auto* d = reinterpret_cast<char*>(dst);
    for (std::size_t k = 0; k < BLOCK * sizeof(Unit); k += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k)));
    }
}
#else
template <class Unit>
inline BlockMasks scanBlock(const Unit* p) noexcept {
    BlockMasks m;
    for (std::size_t k = 0; k < BLOCK; ++k) {
        const auto u = static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<Unit>>(p[k]));
        if (sizeof(Unit) == 1 && u >= 0x80) m.high |= std::uint64_t{1} << k;
        if (u == '\r') m.cr |= std::uint64_t{1} << k;
        if (u == '\n') m.lf |= std::uint64_t{1} << k;
    }
    return m;
}

template <class Unit>
inline void copyBlock(const Unit* src, Unit* dst) noexcept {
    std::memcpy(dst, src, BLOCK * sizeof(Unit));
}
#endif

// Writes a block of 64 units less those whose bits are set in drop. Each
// piece is written with a whole block's copy, so up to a block is read
// past src's block and written past the end.
template <class Unit>
Unit* compressBlock(const Unit* src, std::uint64_t drop, Unit* out) noexcept {
    std::size_t from = 0;
    while (drop != 0) {
        // One run of dropped units at a time: a dropped CR LF is one run.
        const unsigned to = lowestBit(drop);
        const unsigned length = lowestBit(~(drop >> to));
        copyBlock(src + from, out);
        out += to - from;
        from = to + length;
        drop &= drop + (std::uint64_t{1} << to);  // clears the run
    }
    copyBlock(src + from, out);
    return out + (BLOCK - from);
}

// The baseline instruction set: SSE2 where there is one, else plain code.
struct BaselineIsa {
    template <class Unit>
    static BlockMasks scan(const Unit* p) noexcept {
        return scanBlock(p);
    }
    template <class Unit>
    static Unit* writeKept(const Unit* src, std::uint64_t drop, Unit* out) noexcept {
        return compressBlock(src, drop, out);
    }
};

// The trail bytes of a block of code page 936 text: a byte of 0x80 or above
// that starts a character takes the next byte, so a byte is a trail when an
// odd run of such bytes, counted from a character start, stands before it.
// carry is 1 when the block's first byte is a trail and is set for the next
// block. This is the odd-backslash-run computation of SIMD JSON parsers:
// the subtraction runs a borrow through each run of high bytes and so
// marks every second position from the run's start.
inline std::uint64_t trailBits(std::uint64_t high, std::uint64_t& carry) noexcept {
    constexpr std::uint64_t ODD_BITS = 0xAAAAAAAAAAAAAAAAull;
    const std::uint64_t potentialLead = high & ~carry;
    const std::uint64_t maybeTrail = potentialLead << 1;
    const std::uint64_t leadAndTerminal = ((maybeTrail | ODD_BITS) - potentialLead) ^ ODD_BITS;
    const std::uint64_t trail = leadAndTerminal ^ (high | carry);
    const std::uint64_t lead = leadAndTerminal & high;
    carry = lead >> 63;
    return trail;
}

}  // namespace prelivo::detail
