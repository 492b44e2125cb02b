// Lookups over LINE_END_MARKS for the joiner's inner loops, built at
// compile time from that one table. Internal to the core.
#pragma once

#include <array>
#include <cstdint>

#include "text.hpp"

namespace prelivo::detail {

// One bit for each of the 65536 values of a 16-bit key.
struct MarkBits {
    std::array<std::uint64_t, 1024> bits{};
    constexpr void set(unsigned key) { bits[key >> 6] |= std::uint64_t{1} << (key & 63); }
    constexpr bool test(unsigned key) const { return (bits[key >> 6] >> (key & 63)) & 1; }
};

// Keys of code page 936 characters: a byte below 0x80 is its own key, a
// double-byte character is (lead << 8) | trail. The two ranges cannot meet,
// since a lead byte is 0x80 or above.
inline constexpr MarkBits GBK_MARK_BITS = [] {
    MarkBits m;
    for (const auto& mark : LINE_END_MARKS) {
        const unsigned first = static_cast<unsigned char>(mark.gbk[0]);
        m.set(mark.gbk.size() == 1 ? first : first << 8 | static_cast<unsigned char>(mark.gbk[1]));
    }
    return m;
}();

// Keys of UTF-16 code units (and of code points below 0x10000).
inline constexpr MarkBits WIDE_MARK_BITS = [] {
    MarkBits m;
    for (const auto& mark : LINE_END_MARKS) m.set(mark.unicode);
    return m;
}();

inline bool isGbkMarkKey(unsigned key) noexcept { return GBK_MARK_BITS.test(key & 0xFFFF); }
inline bool isWideMark(char16_t unit) noexcept { return WIDE_MARK_BITS.test(unit); }

// lastBytes holds the last three bytes before a line's end, the last one
// lowest; bytes before the line's start are zero or belong to a line break.
// A final byte below 0x80 is a whole character; otherwise only a
// three-byte sequence can be a mark, since every mark lies below U+10000
// and above U+07FF or is ASCII.
inline bool isUtf8MarkWindow(std::uint32_t lastBytes) noexcept {
    if ((lastBytes & 0x80) == 0) return WIDE_MARK_BITS.test(lastBytes & 0x7F);
    if ((lastBytes >> 16 & 0xF0) != 0xE0 || (lastBytes >> 8 & 0xC0) != 0x80 || (lastBytes & 0xC0) != 0x80) {
        return false;
    }
    return WIDE_MARK_BITS.test((lastBytes >> 16 & 0x0F) << 12 | (lastBytes >> 8 & 0x3F) << 6 | (lastBytes & 0x3F));
}

}  // namespace prelivo::detail
