// Random texts for the property tests, weighted toward what breaks joiners:
// CR and LF next to lead bytes, marks and the bytes that look like them.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "text.hpp"

namespace prelivo::testing {

// Any bytes at all, drawn mostly from an alphabet of troublemakers.
inline std::string randomBytes(std::mt19937& rng, std::size_t maxLen) {
    static constexpr unsigned char kAlphabet[] = {
        '\r', '\n', '\r', '\n', 'a', ' ', '.', '?', '}', ')', 's', 'U', 0x73, 0x7D,
        0xA1, 0xA3, 0xA9, 0xBE, 0xD0, 0x81, 0xFE, 0xFF, 0x80, 0xB1, 0xBF};
    std::uniform_int_distribution<std::size_t> len(0, maxLen);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_int_distribution<std::size_t> alpha(0, sizeof kAlphabet - 1);
    std::uniform_int_distribution<int> anyByte(1, 255);
    std::string s(len(rng), '\0');
    for (auto& c : s) {
        c = static_cast<char>(pick(rng) < 80 ? kAlphabet[alpha(rng)] : anyByte(rng));
    }
    return s;
}

// Valid GBK text: Chinese characters, ASCII, marks, CR LF pairs, and lone
// CR and LF.
inline std::string randomGbkText(std::mt19937& rng, std::size_t maxChars) {
    std::uniform_int_distribution<std::size_t> len(0, maxChars);
    std::uniform_int_distribution<int> kind(0, 99);
    std::uniform_int_distribution<std::size_t> markPick(0, LINE_END_MARKS.size() - 1);
    std::uniform_int_distribution<int> lead(0xB0, 0xD6), trail(0xA1, 0xFE), ascii(0x20, 0x7E);
    std::string s;
    for (std::size_t n = len(rng); n > 0; --n) {
        const int k = kind(rng);
        if (k < 40) {
            s += static_cast<char>(lead(rng));
            s += static_cast<char>(trail(rng));
        } else if (k < 60) {
            s += static_cast<char>(ascii(rng));
        } else if (k < 75) {
            s += LINE_END_MARKS[markPick(rng)].gbk;
        } else if (k < 92) {
            s += "\r\n";
        } else if (k < 94) {
            s += "\xA3\xBA";  // full-width colon: looks like a mark, is none
        } else if (k < 97) {
            s += '\r';
        } else {
            s += '\n';
        }
    }
    return s;
}

}  // namespace prelivo::testing
