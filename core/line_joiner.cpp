#include "line_joiner.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>

#include "join_kernel.hpp"

namespace prelivo {
namespace detail {

#ifdef PRELIVO_AVX512_KERNEL
// The fast loop built for AVX-512 (line_joiner_avx512.cpp).
bool hasAvx512Kernel() noexcept;
template <class Encoding>
std::size_t blockRunAvx512(const typename Encoding::Unit* in, std::size_t i, std::size_t n,
                           typename Encoding::Unit*& out, std::uint32_t& last, LineBreak lineBreak) noexcept;
#endif

template <class Encoding>
std::size_t fastBlockRun(const typename Encoding::Unit* in, std::size_t i, std::size_t n,
                         typename Encoding::Unit*& out, std::uint32_t& last, LineBreak lineBreak) noexcept {
#ifdef PRELIVO_AVX512_KERNEL
    if (hasAvx512Kernel()) return blockRunAvx512<Encoding>(in, i, n, out, last, lineBreak);
#endif
    return blockRun<Encoding, BaselineIsa>(in, i, n, out, last, lineBreak);
}

}  // namespace detail

namespace {

using detail::lastIsMark;
using detail::pushUnit;
using detail::value;
using detail::IS_GBK;

template <class Unit>
void emit(Unit*& out, const Unit* from, std::size_t n) noexcept {
    if (n != 0) std::memcpy(out, from, n * sizeof(Unit));
    out += n;
}

}  // namespace

template <class Encoding>
void LineJoiner<Encoding>::endLine(Unit*& out) noexcept {
    if (lastIsMark<Encoding>(last_)) {
        if (lineBreak_ == LineBreak::crlf) *out++ = Unit{'\r'};
        *out++ = Unit{'\n'};
    }
    last_ = 0;
}

// The plain loop, one character at a time, for the edges of a chunk and
// for short chunks. Starts at a character boundary and stops at the first
// boundary at or after limit; at the chunk's end it holds back a CR or a
// lead byte whose meaning the next chunk decides.
template <class Encoding>
std::size_t LineJoiner<Encoding>::scalarRun(const Unit* in, std::size_t i, std::size_t limit, std::size_t n,
                                            Unit*& out) noexcept {
    constexpr Unit cr{'\r'};
    constexpr Unit lf{'\n'};
    std::size_t run = i;  // start of the units not yet copied to out
    while (i < limit) {
        const Unit u = in[i];
        if (u == cr) {
            if (i + 1 == n) {
                emit(out, in + run, i - run);
                pendingCr_ = true;
                return n;
            }
            if (in[i + 1] == lf) {
                emit(out, in + run, i - run);
                endLine(out);
                i += 2;
                run = i;
                continue;
            }
        } else if (u == lf && lineBreak_ == LineBreak::lf) {
            emit(out, in + run, i - run);
            endLine(out);
            run = ++i;
            continue;
        }
        if constexpr (IS_GBK<Encoding>) {
            if (value(u) >= 0x80) {
                if (i + 1 == n) {
                    emit(out, in + run, i - run);
                    pendingLead_ = true;
                    lead_ = static_cast<unsigned char>(u);
                    return n;
                }
                last_ = value(u) << 8 | value(in[i + 1]);
                i += 2;
                continue;
            }
        }
        last_ = pushUnit<Encoding>(last_, value(u));
        ++i;
    }
    emit(out, in + run, i - run);
    return i;
}

template <class Encoding>
typename LineJoiner<Encoding>::Unit* LineJoiner<Encoding>::feed(View chunk, Unit* out) noexcept {
    const Unit* in = chunk.data();
    const std::size_t n = chunk.size();
    std::size_t i = 0;
    if (n == 0) return out;

    // Settle what the previous chunk left open. Only one of the two can be
    // pending: a lead byte takes a CR as its trail.
    if (pendingLead_) {
        pendingLead_ = false;
        *out++ = static_cast<Unit>(lead_);
        *out++ = in[0];
        last_ = std::uint32_t{lead_} << 8 | value(in[0]);
        i = 1;
    } else if (pendingCr_) {
        pendingCr_ = false;
        if (in[0] == Unit{'\n'}) {
            endLine(out);
        } else {
            *out++ = Unit{'\r'};
            last_ = pushUnit<Encoding>(last_, '\r');
        }
        i = static_cast<std::size_t>(in[0] == Unit{'\n'});
    }

    i = scalarRun(in, i, std::min(n, i + 4), n, out);
    if (i < n) i = detail::fastBlockRun<Encoding>(in, i, n, out, last_, lineBreak_);
    if (i < n) scalarRun(in, i, n, n, out);
    return out;
}

template <class Encoding>
typename LineJoiner<Encoding>::Unit* LineJoiner<Encoding>::finish(Unit* out) noexcept {
    // A lead byte at the very end has no trail: it stays, alone, at the end
    // of the last line, and is no mark.
    if (pendingLead_) {
        *out++ = static_cast<Unit>(lead_);
        last_ = 0;
    } else if (pendingCr_) {
        *out++ = Unit{'\r'};
        last_ = pushUnit<Encoding>(last_, '\r');
    }
    pendingLead_ = false;
    pendingCr_ = false;
    endLine(out);
    return out;
}

template <class Encoding>
void LineJoiner<Encoding>::feed(View chunk, String& out) {
    const std::size_t old = out.size();
    out.resize(old + maxOutput(chunk.size()));
    Unit* end = feed(chunk, out.data() + old);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

template <class Encoding>
void LineJoiner<Encoding>::finish(String& out) {
    const std::size_t old = out.size();
    out.resize(old + FINISH_OUTPUT);
    Unit* end = finish(out.data() + old);
    out.resize(static_cast<std::size_t>(end - out.data()));
}

template class LineJoiner<Gbk>;
template class LineJoiner<Utf8>;
template class LineJoiner<Utf16>;

}  // namespace prelivo
