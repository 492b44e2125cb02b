// The joiner's fast loop built for AVX-512 (with VBMI2), chosen at run time
// where the processor has it: one compare gives each mask of a 64-byte
// block, and one compress instruction writes the block less its dropped
// line breaks, without a loop. Built with GCC on x86_64 only.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include <immintrin.h>

#include "block_scan.hpp"
#include "line_joiner.hpp"
#include "marks.hpp"

// Everything from here on may use AVX-512, and all of it has internal
// linkage (the kernel's functions) or is reached only after the processor
// check, so none of it runs elsewhere.
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw,avx512vbmi2,bmi,bmi2,popcnt")

namespace prelivo::detail {
namespace {

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
    static const bool has = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi2");
    return has;
}

}  // namespace prelivo::detail
