#include "line_joiner.hpp"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "block_scan.hpp"
#include "marks.hpp"

namespace prelivo {
namespace {

template <class Encoding>
constexpr bool IS_GBK = std::is_same_v<Encoding, Gbk>;
template <class Encoding>
constexpr bool IS_UTF8 = std::is_same_v<Encoding, Utf8>;

template <class Encoding>
bool lastIsMark(std::uint32_t last) noexcept {
    if constexpr (IS_GBK<Encoding>) {
        return detail::isGbkMarkKey(last);
    } else if constexpr (IS_UTF8<Encoding>) {
        return detail::isUtf8MarkWindow(last);
    } else {
        return detail::isWideMark(static_cast<char16_t>(last));
    }
}

template <class Unit>
std::uint32_t value(Unit u) noexcept {
    return static_cast<std::make_unsigned_t<Unit>>(u);
}

// The last character after one more unit of a line: for UTF-8 a window of
// the last three bytes, otherwise the unit itself (a code page 936 pair is
// set where it is found).
template <class Encoding>
std::uint32_t pushUnit(std::uint32_t last, std::uint32_t unit) noexcept {
    if constexpr (IS_UTF8<Encoding>) {
        return (last << 8 | unit) & 0xFFFFFF;
    } else {
        return unit;
    }
}

template <class Unit>
void emit(Unit*& out, const Unit* from, std::size_t n) noexcept {
    if (n != 0) std::memcpy(out, from, n * sizeof(Unit));
    out += n;
}

// Writes a block of 64 units less those whose bits are set in drop. Each
// piece is written with a whole block's copy, so up to a block is read
// past src's block and written past the end.
template <class Unit>
Unit* compressBlock(const Unit* src, std::uint64_t drop, Unit* out) noexcept {
    std::size_t from = 0;
    while (drop != 0) {
        // One run of dropped units at a time: a dropped CR LF is one run.
        const unsigned to = detail::lowestBit(drop);
        const unsigned length = detail::lowestBit(~(drop >> to));
        detail::copyBlock(src + from, out);
        out += to - from;
        from = to + length;
        drop &= drop + (std::uint64_t{1} << to);  // clears the run
    }
    detail::copyBlock(src + from, out);
    return out + (detail::BLOCK - from);
}

constexpr std::uint64_t bit(unsigned i) noexcept { return std::uint64_t{1} << i; }

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

// The fast loop: 64 units at a time, from bit masks of CR, LF and lead
// bytes. Each line break found is kept or dropped by the line's last
// character, and the block is written less the dropped units. Starts at a
// character boundary at least four units into the chunk, so that the last
// character of a line can be read back from the chunk.
template <class Encoding>
std::size_t LineJoiner<Encoding>::blockRun(const Unit* in, std::size_t i, std::size_t n, Unit*& out) noexcept {
    using detail::BLOCK;
    // compressBlock reads up to a block past the block, and the LF after a
    // block's last unit is looked at.
    constexpr std::size_t OVER = BLOCK;
    if (n < BLOCK + OVER || i > n - BLOCK - OVER) return i;

    const bool lfMode = lineBreak_ == LineBreak::lf;
    const std::uint64_t lfModeMask = lfMode ? ~std::uint64_t{0} : 0;
    const std::size_t start = i;
    std::size_t lineStart = i;       // where the current line starts, once past start
    std::uint64_t trailCarry = 0;    // the next block's first byte is a trail byte
    std::uint64_t trail = 0;         // trail bytes of the current block
    std::uint64_t prevTrail = 0;     // and of the one before
    std::uint64_t dropCarry = 0;     // the next block's first unit is the LF of a dropped break
    std::uint64_t crBreakCarry = 0;  // the next block's first unit is the LF of a CR LF break
    std::uint64_t crBreaks = 0;
    Unit* o = out;

    // The last character before pos of the line that reaches pos.
    auto lastBefore = [&](std::size_t pos, std::size_t blockBase) -> std::uint32_t {
        if (pos == lineStart) return lineStart == start ? last_ : 0;
        if constexpr (IS_GBK<Encoding>) {
            // Whether pos - 1 is a trail byte; pos - 1 may be the last byte
            // of the block before, and pos the end of this block.
            const std::size_t k = pos - blockBase;
            const std::uint64_t isTrail = k == 0 ? prevTrail >> 63 : trail >> (k - 1) & 1;
            const std::uint32_t single = value(in[pos - 1]);
            return isTrail != 0 ? value(in[pos - 2]) << 8 | single : single;
        } else if constexpr (IS_UTF8<Encoding>) {
            if (lineStart == start && pos - start < 3) {
                std::uint32_t window = last_;
                for (std::size_t k = start; k < pos; ++k) window = pushUnit<Encoding>(window, value(in[k]));
                return window;
            }
            // Bytes before the line's start belong to its line break, which
            // no mark's encoding contains.
            return value(in[pos - 3]) << 16 | value(in[pos - 2]) << 8 | value(in[pos - 1]);
        } else {
            return value(in[pos - 1]);
        }
    };

    for (; i <= n - BLOCK - OVER; i += BLOCK) {
        const detail::BlockMasks m = detail::scanBlock(in + i);
        if constexpr (IS_GBK<Encoding>) {
            prevTrail = trail;
            trail = detail::trailBits(m.high, trailCarry);
        }
        const std::uint64_t lfAfter = m.lf >> 1 | std::uint64_t{in[i + BLOCK] == Unit{'\n'}} << 63;
        crBreaks = m.cr & ~trail & lfAfter;
        std::uint64_t starts = crBreaks;
        if (lfMode) {
            starts |= m.lf & ~trail & ~(crBreaks << 1 | crBreakCarry);
            crBreakCarry = crBreaks >> 63;
        }
        // Each line break found is kept or dropped by the line's last
        // character. A dropped break loses its CR and its LF (which may be
        // the next block's first unit); a kept CR LF loses its CR when
        // breaks are written as LF.
        std::uint64_t drop = dropCarry;
        dropCarry = 0;
        while (starts != 0) {
            const unsigned c = detail::lowestBit(starts);
            starts &= starts - 1;
            const std::size_t pos = i + c;
            const std::uint64_t isCrLf = crBreaks >> c & 1;
            const bool keep = lastIsMark<Encoding>(lastBefore(pos, i));
            lineStart = pos + 1 + static_cast<std::size_t>(isCrLf);
            // Without branches, since whether a line keeps its break is as
            // good as random.
            const std::uint64_t dropped = keep ? 0 : ~std::uint64_t{0};
            const std::uint64_t crLf = 0 - isCrLf;
            drop |= bit(c) & (dropped | (crLf & lfModeMask));
            drop |= bit(c) << 1 & dropped & crLf;
            dropCarry |= bit(c) >> 63 & dropped & crLf;
        }
        o = compressBlock(in + i, drop, o);
    }

    // Hand over to the plain loop at a character boundary, with the last
    // character of the line so far.
    const std::size_t lastBase = i - BLOCK;
    if ((crBreaks >> 63) != 0) {
        // The block run ended between the CR and the LF of a break.
        if (dropCarry == 0) *o++ = Unit{'\n'};
        ++i;
        last_ = 0;
    } else {
        if constexpr (IS_GBK<Encoding>) {
            if (trailCarry != 0) {
                // It ended between a lead byte and its trail: the lead byte,
                // never dropped, was the last unit written.
                --o;
                --i;
            }
        }
        last_ = lastBefore(i, lastBase);
    }
    out = o;
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
    if (i < n) i = blockRun(in, i, n, out);
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
