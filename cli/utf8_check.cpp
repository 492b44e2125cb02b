#include "utf8_check.hpp"

#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define PRELIVO_X86 1
#include <immintrin.h>
#endif

// GCC on Windows keeps the stack only 16-byte aligned and may spill 32-byte
// vectors with aligned moves, so the AVX2 kernel is left out there.
#if defined(PRELIVO_X86) && !defined(_WIN32)
#define PRELIVO_AVX2 1
#endif

namespace prelivo::cli {
namespace {

#ifdef PRELIVO_X86

// The vector kernels look up, for each byte, the faults that the high and
// low half of the byte before it and the high half of the byte itself could
// take part in; a fault is real when all three lookups agree. Whether a
// continuation byte is owed two or three places after a lead byte is
// checked apart, with saturating subtraction. A character cut off at the
// end of one block is carried to the next.
constexpr unsigned char kTooShort = 1 << 0;     // a lead not followed by a continuation
constexpr unsigned char kTooLong = 1 << 1;      // a continuation after ASCII
constexpr unsigned char kOverlong3 = 1 << 2;    // E0 80..9F
constexpr unsigned char kTooLarge = 1 << 3;     // F4 90..BF, F5..FF
constexpr unsigned char kSurrogate = 1 << 4;    // ED A0..BF
constexpr unsigned char kOverlong2 = 1 << 5;    // C0, C1
constexpr unsigned char kTooLarge1000 = 1 << 6; // F5..FF 80..8F
constexpr unsigned char kOverlong4 = 1 << 6;    // F0 80..8F
constexpr unsigned char kTwoConts = 1 << 7;     // a continuation after a continuation
constexpr unsigned char kCarry = kTooShort | kTooLong | kTwoConts;

// By the high half of the byte before.
alignas(16) constexpr unsigned char kByte1High[16] = {
    kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
    kTwoConts, kTwoConts, kTwoConts, kTwoConts,
    kTooShort | kOverlong2,
    kTooShort,
    kTooShort | kOverlong3 | kSurrogate,
    kTooShort | kTooLarge | kTooLarge1000 | kOverlong4,
};

// By the low half of the byte before.
alignas(16) constexpr unsigned char kByte1Low[16] = {
    kCarry | kOverlong3 | kOverlong2 | kOverlong4,
    kCarry | kOverlong2,
    kCarry,
    kCarry,
    kCarry | kTooLarge,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000 | kSurrogate,
    kCarry | kTooLarge | kTooLarge1000,
    kCarry | kTooLarge | kTooLarge1000,
};

// By the high half of the byte itself.
alignas(16) constexpr unsigned char kByte2High[16] = {
    kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4,
    kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge,
    kTooShort, kTooShort, kTooShort, kTooShort,
};

// A block's end is a cut-off character when its last byte is any lead, the
// one before a lead of three or four bytes, or the third last a lead of four.
alignas(32) constexpr unsigned char kMaxComplete[32] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xEF, 0xDF, 0xBF,
};

__attribute__((target("ssse3"))) bool wholeUtf8Ssse3(const unsigned char* p, std::size_t n) noexcept {
    const __m128i byte1High = _mm_load_si128(reinterpret_cast<const __m128i*>(kByte1High));
    const __m128i byte1Low = _mm_load_si128(reinterpret_cast<const __m128i*>(kByte1Low));
    const __m128i byte2High = _mm_load_si128(reinterpret_cast<const __m128i*>(kByte2High));
    const __m128i maxComplete = _mm_load_si128(reinterpret_cast<const __m128i*>(kMaxComplete + 16));
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    __m128i prev = zero;
    __m128i error = zero;
    __m128i cutOff = zero;
    alignas(16) unsigned char tail[16];
    for (std::size_t i = 0; i < n;) {
        __m128i in;
        if (n - i >= 16) {
            in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            i += 16;
        } else {
            // Zeros after the end read as ASCII, so a cut-off character
            // shows as a lead without its continuation.
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, p + i, n - i);
            in = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
            i = n;
        }
        if (_mm_movemask_epi8(in) == 0) {
            error = _mm_or_si128(error, cutOff);
            cutOff = zero;
        } else {
            const __m128i prev1 = _mm_alignr_epi8(in, prev, 15);
            const __m128i special = _mm_and_si128(
                _mm_and_si128(_mm_shuffle_epi8(byte1High, _mm_and_si128(_mm_srli_epi16(prev1, 4), low4)),
                              _mm_shuffle_epi8(byte1Low, _mm_and_si128(prev1, low4))),
                _mm_shuffle_epi8(byte2High, _mm_and_si128(_mm_srli_epi16(in, 4), low4)));
            const __m128i third = _mm_subs_epu8(_mm_alignr_epi8(in, prev, 14), _mm_set1_epi8(0xE0 - 0x80));
            const __m128i fourth = _mm_subs_epu8(_mm_alignr_epi8(in, prev, 13), _mm_set1_epi8(0xF0 - 0x80));
            const __m128i owed =
                _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(static_cast<char>(0x80)));
            error = _mm_or_si128(error, _mm_xor_si128(owed, special));
            cutOff = _mm_subs_epu8(in, maxComplete);
        }
        prev = in;
    }
    error = _mm_or_si128(error, cutOff);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(error, zero)) == 0xFFFF;
}

#endif

#ifdef PRELIVO_AVX2

__attribute__((target("avx2"))) bool wholeUtf8Avx2(const unsigned char* p, std::size_t n) noexcept {
    const __m256i byte1High = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kByte1High)));
    const __m256i byte1Low = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kByte1Low)));
    const __m256i byte2High = _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kByte2High)));
    const __m256i maxComplete = _mm256_load_si256(reinterpret_cast<const __m256i*>(kMaxComplete));
    const __m256i low4 = _mm256_set1_epi8(0x0F);
    const __m256i zero = _mm256_setzero_si256();
    __m256i prev = zero;
    __m256i error = zero;
    __m256i cutOff = zero;
    alignas(32) unsigned char tail[32];
    for (std::size_t i = 0; i < n;) {
        __m256i in;
        if (n - i >= 32) {
            in = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i));
            i += 32;
        } else {
            std::memset(tail, 0, sizeof tail);
            std::memcpy(tail, p + i, n - i);
            in = _mm256_load_si256(reinterpret_cast<const __m256i*>(tail));
            i = n;
        }
        if (_mm256_movemask_epi8(in) == 0) {
            error = _mm256_or_si256(error, cutOff);
            cutOff = zero;
        } else {
            // The bytes before each byte, across the two 16-byte lanes.
            const __m256i before = _mm256_permute2x128_si256(prev, in, 0x21);
            const __m256i prev1 = _mm256_alignr_epi8(in, before, 15);
            const __m256i special = _mm256_and_si256(
                _mm256_and_si256(
                    _mm256_shuffle_epi8(byte1High, _mm256_and_si256(_mm256_srli_epi16(prev1, 4), low4)),
                    _mm256_shuffle_epi8(byte1Low, _mm256_and_si256(prev1, low4))),
                _mm256_shuffle_epi8(byte2High, _mm256_and_si256(_mm256_srli_epi16(in, 4), low4)));
            const __m256i third =
                _mm256_subs_epu8(_mm256_alignr_epi8(in, before, 14), _mm256_set1_epi8(0xE0 - 0x80));
            const __m256i fourth =
                _mm256_subs_epu8(_mm256_alignr_epi8(in, before, 13), _mm256_set1_epi8(0xF0 - 0x80));
            const __m256i owed =
                _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(static_cast<char>(0x80)));
            error = _mm256_or_si256(error, _mm256_xor_si256(owed, special));
            cutOff = _mm256_subs_epu8(in, maxComplete);
        }
        prev = in;
    }
    error = _mm256_or_si256(error, cutOff);
    return _mm256_testz_si256(error, error) != 0;
}

#endif

bool wholeUtf8(const unsigned char* p, std::size_t n, Utf8Kernel kernel) noexcept {
    switch (kernel) {
#ifdef PRELIVO_X86
    case Utf8Kernel::ssse3: return wholeUtf8Ssse3(p, n);
#endif
#ifdef PRELIVO_AVX2
    case Utf8Kernel::avx2: return wholeUtf8Avx2(p, n);
#endif
    default: break;
    }
    Utf8Check check(Utf8Kernel::plain);
    return !check.feed(p, n) && !check.finish();
}

// Below this a piece goes to the plain code alone.
constexpr std::size_t kVectorMinimum = 64;

}  // namespace

std::vector<Utf8Kernel> availableUtf8Kernels() {
    std::vector<Utf8Kernel> kernels{Utf8Kernel::plain};
#ifdef PRELIVO_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("ssse3")) kernels.push_back(Utf8Kernel::ssse3);
#endif
#ifdef PRELIVO_AVX2
    if (__builtin_cpu_supports("avx2")) kernels.push_back(Utf8Kernel::avx2);
#endif
    return kernels;
}

Utf8Kernel fastestUtf8Kernel() {
    static const Utf8Kernel fastest = availableUtf8Kernels().back();
    return fastest;
}

void Utf8Check::newFile() {
    ++file_;
    offset_ = 0;
}

std::optional<Utf8Fault> Utf8Check::feed(const unsigned char* p, std::size_t n) {
    const std::uint64_t base = offset_;
    offset_ += n;
    std::size_t i = 0;
    if (need_ > 0 && !continueOpen(p, n, i)) return start_;
    if (kernel_ != Utf8Kernel::plain && n - i >= kVectorMinimum) {
        // The vector kernel takes whole characters; a character cut off by
        // the piece's end is left to the plain code, which carries it on.
        std::size_t end = n;
        for (std::size_t back = 1; back <= 3; ++back) {
            const unsigned char b = p[n - back];
            if ((b & 0xC0) == 0x80) continue;
            const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
            if (length > back) end = n - back;
            break;
        }
        // On a fault the plain code goes over the piece again to place it.
        if (wholeUtf8(p + i, end - i, kernel_)) i = end;
    }
    return plainFeed(p, i, n, base);
}

std::optional<Utf8Fault> Utf8Check::plainFeed(const unsigned char* p, std::size_t i, std::size_t n,
                                              std::uint64_t base) {
    while (i < n) {
        if (p[i] < 0x80) {
            // Runs of ASCII go eight bytes at a time.
            ++i;
            std::uint64_t word;
            while (i + 8 <= n) {
                std::memcpy(&word, p + i, 8);
                if (word & 0x8080808080808080u) break;
                i += 8;
            }
            continue;
        }
        const unsigned lead = p[i];
        unsigned need = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        if (lead < 0xC2) {
            return Utf8Fault{file_, base + i};  // a stray continuation byte, or an overlong form
        } else if (lead < 0xE0) {
            need = 1;
        } else if (lead < 0xF0) {
            need = 2;
            if (lead == 0xE0) lo = 0xA0;  // overlong
            if (lead == 0xED) hi = 0x9F;  // surrogates
        } else if (lead < 0xF5) {
            need = 3;
            if (lead == 0xF0) lo = 0x90;  // overlong
            if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
        } else {
            return Utf8Fault{file_, base + i};
        }
        if (i + need < n) {
            // The whole character lies in this piece: the common case.
            if (p[i + 1] < lo || p[i + 1] > hi) return Utf8Fault{file_, base + i};
            for (unsigned k = 2; k <= need; ++k) {
                if ((p[i + k] & 0xC0) != 0x80) return Utf8Fault{file_, base + i};
            }
            i += need + 1;
            continue;
        }
        start_ = Utf8Fault{file_, base + i};
        need_ = need;
        lo_ = lo;
        hi_ = hi;
        ++i;
        if (!continueOpen(p, n, i)) return start_;
    }
    return std::nullopt;
}

std::optional<Utf8Fault> Utf8Check::finish() const {
    if (need_ > 0) return start_;
    return std::nullopt;
}

bool Utf8Check::continueOpen(const unsigned char* p, std::size_t n, std::size_t& i) {
    while (need_ > 0 && i < n) {
        if (p[i] < lo_ || p[i] > hi_) return false;
        lo_ = 0x80;
        hi_ = 0xBF;
        --need_;
        ++i;
    }
    return true;
}

}  // namespace prelivo::cli
