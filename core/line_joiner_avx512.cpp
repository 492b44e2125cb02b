// The joiner's fast loop built for AVX-512 (with VBMI2), chosen at run time
// where the processor has it: one compare gives each mask of a 64-byte
// block, and one compress instruction writes the block less its dropped
// line breaks, without a loop. Built with GCC on x86_64 only.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <immintrin.h>

#include "block_scan.hpp"
#include "line_joiner.hpp"
#include "marks.hpp"
#include "text.hpp"

// Everything from here on may use AVX-512, and all of it has internal
// linkage (the kernel's functions) or is reached only after the processor
// check, so none of it runs elsewhere.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi,bmi2,popcnt")

namespace prelivo::detail {
namespace {

// Tables for finding the ends of marks in a block, built from
// LINE_END_MARKS. A mark's last byte is looked up in TAIL: bit 7 says that
// the byte alone is a mark (an ASCII mark), bit k that it ends a mark after
// the k-th of the prefixes that marks start with (a lead byte in code page
// 936, two bytes in UTF-8). PREFIX_GBK gives each lead byte its bit.
struct MarkTables {
    alignas(64) std::array<std::uint8_t, 256> gbkTail{};
    alignas(64) std::array<std::uint8_t, 256> gbkPrefix{};
    alignas(64) std::array<std::uint8_t, 256> utf8Tail{};
    alignas(64) std::array<std::uint8_t, 256> utf8First{};   // bit k: the first byte of prefix k
    alignas(64) std::array<std::uint8_t, 256> utf8Second{};  // bit k: its second byte
    std::array<std::uint16_t, 7> utf8Prefixes{};  // first byte << 8 | second byte
    unsigned utf8PrefixCount = 0;

    constexpr MarkTables() {
        std::array<std::uint8_t, 7> leads{};
        unsigned leadCount = 0;
        for (const auto& mark : LINE_END_MARKS) {
            const auto first = static_cast<std::uint8_t>(mark.gbk[0]);
            if (mark.gbk.size() == 1) {
                gbkTail[first] |= 0x80;
                utf8Tail[first] |= 0x80;
                continue;
            }
            unsigned k = 0;
            while (k < leadCount && leads[k] != first) ++k;
            if (k == leadCount) leads[leadCount++] = first;  // more than 7 would overflow: see the check below
            gbkPrefix[first] = static_cast<std::uint8_t>(1u << k);
            gbkTail[static_cast<std::uint8_t>(mark.gbk[1])] |= static_cast<std::uint8_t>(1u << k);

            const unsigned cp = mark.unicode;  // three bytes in UTF-8: every non-ASCII mark is U+0800 or above
            const auto prefix = static_cast<std::uint16_t>((0xE0 | cp >> 12) << 8 | (0x80 | (cp >> 6 & 0x3F)));
            unsigned j = 0;
            while (j < utf8PrefixCount && utf8Prefixes[j] != prefix) ++j;
            if (j == utf8PrefixCount) utf8Prefixes[utf8PrefixCount++] = prefix;
            utf8Tail[0x80 | (cp & 0x3F)] |= static_cast<std::uint8_t>(1u << j);
            utf8First[prefix >> 8] |= static_cast<std::uint8_t>(1u << j);
            utf8Second[prefix & 0xFF] |= static_cast<std::uint8_t>(1u << j);
        }
    }
};

constexpr MarkTables MARK_TABLES{};
static_assert(MARK_TABLES.utf8PrefixCount <= 7);

// table[v] for each byte v of the vector: two 128-byte lookups, one for
// each half of the byte values.
inline __m512i lookup256(const std::array<std::uint8_t, 256>& table, __m512i v) noexcept {
    const __m512i low = _mm512_permutex2var_epi8(_mm512_load_si512(table.data()), v,
                                                 _mm512_load_si512(table.data() + 64));
    const __m512i high = _mm512_permutex2var_epi8(_mm512_load_si512(table.data() + 128), v,
                                                  _mm512_load_si512(table.data() + 192));
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(v), low, high);
}

struct Avx512Isa {
    static BlockMasks scan(const char* p) noexcept {
        const __m512i v = _mm512_loadu_si512(p);
        BlockMasks m;
        m.high = _mm512_movepi8_mask(v);
        m.cr = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\r'));
        m.lf = _mm512_cmpeq_epi8_mask(v, _mm512_set1_epi8('\n'));
        return m;
    }

    static BlockMasks scan(const char16_t* p) noexcept {
        const __m512i a = _mm512_loadu_si512(p);
        const __m512i b = _mm512_loadu_si512(p + 32);
        const __m512i cr = _mm512_set1_epi16('\r');
        const __m512i lf = _mm512_set1_epi16('\n');
        BlockMasks m;
        m.cr = std::uint64_t{_mm512_cmpeq_epi16_mask(a, cr)} | std::uint64_t{_mm512_cmpeq_epi16_mask(b, cr)} << 32;
        m.lf = std::uint64_t{_mm512_cmpeq_epi16_mask(a, lf)} | std::uint64_t{_mm512_cmpeq_epi16_mask(b, lf)} << 32;
        return m;
    }

    // Bit p is set where a mark ends at p: a character ending at p that is
    // a mark. Reads the two bytes before the block.
    static std::uint64_t markEnds(Gbk, const char* p, std::uint64_t trail) noexcept {
        const __m512i v = _mm512_loadu_si512(p);
        const __m512i tail = lookup256(MARK_TABLES.gbkTail, v);
        const __m512i prefix = lookup256(MARK_TABLES.gbkPrefix, _mm512_loadu_si512(p - 1));
        const std::uint64_t pairs = _mm512_test_epi8_mask(tail, prefix) & trail;
        const std::uint64_t singles = _mm512_test_epi8_mask(tail, _mm512_set1_epi8(static_cast<char>(0x80))) & ~trail;
        return pairs | singles;
    }

    static std::uint64_t markEnds(Utf8, const char* p, std::uint64_t) noexcept {
        const __m512i tail = lookup256(MARK_TABLES.utf8Tail, _mm512_loadu_si512(p));
        const __m512i first = lookup256(MARK_TABLES.utf8First, _mm512_loadu_si512(p - 2));
        const __m512i second = lookup256(MARK_TABLES.utf8Second, _mm512_loadu_si512(p - 1));
        // A three-byte mark: its prefix's bit in all three lookups. In
        // valid UTF-8 the three bytes are then one character.
        const std::uint64_t triples =
            _mm512_test_epi8_mask(_mm512_and_si512(_mm512_and_si512(first, second), tail), _mm512_set1_epi8(0x7F));
        return triples | _mm512_test_epi8_mask(tail, _mm512_set1_epi8(static_cast<char>(0x80)));
    }

    // Writes a whole 64-byte vector, so up to a block past the end.
    static char* writeKept(const char* src, std::uint64_t drop, char* out) noexcept {
        const std::uint64_t keep = ~drop;
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, _mm512_loadu_si512(src)));
        return out + std::popcount(keep);
    }

    static char16_t* writeKept(const char16_t* src, std::uint64_t drop, char16_t* out) noexcept {
        const std::uint64_t keep = ~drop;
        const auto low = static_cast<__mmask32>(keep);
        const auto high = static_cast<__mmask32>(keep >> 32);
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi16(low, _mm512_loadu_si512(src)));
        out += std::popcount(low);
        _mm512_storeu_si512(out, _mm512_maskz_compress_epi16(high, _mm512_loadu_si512(src + 32)));
        return out + std::popcount(high);
    }
};

}  // namespace
}  // namespace prelivo::detail

#include "join_kernel.hpp"

namespace prelivo::detail {

template <class Encoding>
std::size_t blockRunAvx512(const typename Encoding::Unit* in, std::size_t i, std::size_t n,
                           typename Encoding::Unit*& out, std::uint32_t& last, LineBreak lineBreak) noexcept {
    return blockRun<Encoding, Avx512Isa>(in, i, n, out, last, lineBreak);
}

template std::size_t blockRunAvx512<Gbk>(const char*, std::size_t, std::size_t, char*&, std::uint32_t&, LineBreak) noexcept;
template std::size_t blockRunAvx512<Utf8>(const char*, std::size_t, std::size_t, char*&, std::uint32_t&, LineBreak) noexcept;
template std::size_t blockRunAvx512<Utf16>(const char16_t*, std::size_t, std::size_t, char16_t*&, std::uint32_t&,
                                           LineBreak) noexcept;

}  // namespace prelivo::detail

#pragma GCC pop_options

namespace prelivo::detail {

bool hasAvx512Kernel() noexcept {
    // Asked once: the answer does not change while the program runs.
    static const bool has = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi") &&
                           __builtin_cpu_supports("avx512vbmi2");
    return has;
}

}  // namespace prelivo::detail
