// The joiner's fast loop, shared by the builds of it for each instruction
// set. Included by the core's own sources only, after the headers it needs;
// everything here has internal linkage, so that code compiled for one
// instruction set is never merged into another's.
#pragma once

#include "block_scan.hpp"
#include "line_joiner.hpp"
#include "marks.hpp"

namespace prelivo::detail {
namespace {

template <class Encoding>
constexpr bool IS_GBK = std::is_same_v<Encoding, Gbk>;
template <class Encoding>
constexpr bool IS_UTF8 = std::is_same_v<Encoding, Utf8>;

template <class Encoding>
bool lastIsMark(std::uint32_t last) noexcept {
    if constexpr (IS_GBK<Encoding>) {
        return isGbkMarkKey(last);
    } else if constexpr (IS_UTF8<Encoding>) {
        return isUtf8MarkWindow(last);
    } else {
        return isWideMark(static_cast<char16_t>(last));
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

constexpr std::uint64_t bit(unsigned i) noexcept { return std::uint64_t{1} << i; }

// Whether an instruction set finds the ends of marks in a whole block at
// once (Isa::markEnds), so that no break needs a look of its own.
template <class Isa, class Encoding, class = void>
constexpr bool HAS_MARK_ENDS = false;
template <class Isa, class Encoding>
constexpr bool HAS_MARK_ENDS<Isa, Encoding,
                             std::void_t<decltype(Isa::markEnds(Encoding{}, static_cast<const typename Encoding::Unit*>(nullptr),
                                                                std::uint64_t{}))>> = true;

// The fast loop: 64 units at a time, from bit masks of CR, LF and lead
// bytes. Each line break found is kept or dropped by the line's last
// character, and the block is written less the dropped units. Starts at a
// character boundary at least four units into the chunk, so that the last
// character of a line can be read back from the chunk. last is the last
// character of the line so far, as the plain loop keeps it, and is left so
// for the plain loop to go on from the position returned.
template <class Encoding, class Isa, class Unit = typename Encoding::Unit>
std::size_t blockRun(const Unit* in, std::size_t i, std::size_t n, Unit*& out, std::uint32_t& last,
                     LineBreak lineBreak) noexcept {
    // Writing a block may read up to a block past it, and the LF after a
    // block's last unit is looked at. (Finding marks reads two units before
    // a block, which start, four units into the chunk, allows.)
    constexpr std::size_t OVER = BLOCK;
    if (n < BLOCK + OVER || i > n - BLOCK - OVER) return i;

    const bool lfMode = lineBreak == LineBreak::lf;
    const std::uint64_t lfModeMask = lfMode ? ~std::uint64_t{0} : 0;
    const std::size_t start = i;
    std::size_t lineStart = i;       // where the current line starts, once past start
    std::uint64_t trailCarry = 0;    // the next block's first byte is a trail byte
    std::uint64_t trail = 0;         // trail bytes of the current block
    std::uint64_t prevTrail = 0;     // and of the one before
    std::uint64_t dropCarry = 0;     // the next block's first unit is the LF of a dropped break
    std::uint64_t crBreakCarry = 0;  // the next block's first unit is the LF of a CR LF break
    std::uint64_t crBreaks = 0;
    // A mark ends just before the block: at first, the line so far ends in one.
    std::uint64_t markEndCarry = lastIsMark<Encoding>(last) ? 1 : 0;
    Unit* o = out;

    // The last character before pos of the line that reaches pos.
    auto lastBefore = [&](std::size_t pos, std::size_t blockBase) -> std::uint32_t {
        if (pos == lineStart) return lineStart == start ? last : 0;
        if constexpr (IS_GBK<Encoding>) {
            // Whether pos - 1 is a trail byte; pos - 1 may be the last byte
            // of the block before, and pos the end of this block.
            const std::size_t k = pos - blockBase;
            const std::uint64_t isTrail = k == 0 ? prevTrail >> 63 : trail >> (k - 1) & 1;
            const std::uint32_t single = value(in[pos - 1]);
            return isTrail != 0 ? value(in[pos - 2]) << 8 | single : single;
        } else if constexpr (IS_UTF8<Encoding>) {
            if (lineStart == start && pos - start < 3) {
                std::uint32_t window = last;
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
        const BlockMasks m = Isa::scan(in + i);
        if constexpr (IS_GBK<Encoding>) {
            prevTrail = trail;
            trail = trailBits(m.high, trailCarry);
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
        if constexpr (HAS_MARK_ENDS<Isa, Encoding>) {
            // All breaks of the block at once: where a character that is
            // a mark ends, the next unit may start a kept break.
            const std::uint64_t ends = Isa::markEnds(Encoding{}, in + i, trail);
            const std::uint64_t keep = starts & (ends << 1 | markEndCarry);
            markEndCarry = ends >> 63;
            const std::uint64_t droppedCrLf = crBreaks & ~keep;
            drop |= droppedCrLf << 1 | (lfMode ? crBreaks | (starts & ~keep) : droppedCrLf);
            dropCarry = droppedCrLf >> 63;
            if (starts != 0) {
                const unsigned c = 63 - static_cast<unsigned>(std::countl_zero(starts));
                lineStart = i + c + 1 + static_cast<std::size_t>(crBreaks >> c & 1);
            }
        } else {
            while (starts != 0) {
                const unsigned c = lowestBit(starts);
                starts &= starts - 1;
                const std::size_t pos = i + c;
                const std::uint64_t isCrLf = crBreaks >> c & 1;
                const bool keep = lastIsMark<Encoding>(lastBefore(pos, i));
                lineStart = pos + 1 + static_cast<std::size_t>(isCrLf);
                // Without branches, since whether a line keeps its break is
                // as good as random.
                const std::uint64_t dropped = keep ? 0 : ~std::uint64_t{0};
                const std::uint64_t crLf = 0 - isCrLf;
                drop |= bit(c) & (dropped | (crLf & lfModeMask));
                drop |= bit(c) << 1 & dropped & crLf;
                dropCarry |= bit(c) >> 63 & dropped & crLf;
            }
        }
        o = Isa::writeKept(in + i, drop, o);
    }

    // Hand over to the plain loop at a character boundary, with the last
    // character of the line so far.
    const std::size_t lastBase = i - BLOCK;
    if ((crBreaks >> 63) != 0) {
        // The block run ended between the CR and the LF of a break.
        if (dropCarry == 0) *o++ = Unit{'\n'};
        ++i;
        last = 0;
    } else {
        if constexpr (IS_GBK<Encoding>) {
            if (trailCarry != 0) {
                // It ended between a lead byte and its trail: the lead byte,
                // never dropped, was the last unit written.
                --o;
                --i;
            }
        }
        last = lastBefore(i, lastBase);
    }
    out = o;
    return i;
}

}  // namespace
}  // namespace prelivo::detail
