#include "corpus.hpp"

#include <random>

#include "text.hpp"

namespace prelivo::bench {
namespace {

// Level-1 GB 2312 characters (leads B0 to D7) have simple, known UTF-16
// values only through a converter; the corpus instead draws characters from
// a fixed list given in both forms.
struct Han {
    const char* gbk;
    char16_t wide;
};
constexpr Han kHan[] = {
    {"\xB5\xC4", u'\u7684'}, {"\xD2\xBB", u'\u4E00'}, {"\xCA\xC7", u'\u662F'}, {"\xD4\xDA", u'\u5728'},
    {"\xB2\xBB", u'\u4E0D'}, {"\xC1\xCB", u'\u4E86'}, {"\xD3\xD0", u'\u6709'}, {"\xBA\xCD", u'\u548C'},
    {"\xC8\xCB", u'\u4EBA'}, {"\xD5\xE2", u'\u8FD9'}, {"\xD6\xD0", u'\u4E2D'}, {"\xB4\xF3", u'\u5927'},
    {"\xCE\xAA", u'\u4E3A'}, {"\xC9\xCF", u'\u4E0A'}, {"\xB8\xF6", u'\u4E2A'}, {"\xB9\xFA", u'\u56FD'},
    {"\xCE\xD2", u'\u6211'}, {"\xD2\xD4", u'\u4EE5'}, {"\xD2\xAA", u'\u8981'}, {"\xCB\xFB", u'\u4ED6'},
    {"\xCA\xB1", u'\u65F6'}, {"\xC0\xB4", u'\u6765'}, {"\xD3\xC3", u'\u7528'}, {"\xC3\xC7", u'\u4EEC'},
    {"\xC9\xFA", u'\u751F'}, {"\xB5\xBD", u'\u5230'}, {"\xD7\xF7", u'\u4F5C'}, {"\xB5\xD8", u'\u5730'},
    {"\xD3\xDA", u'\u4E8E'}, {"\xB3\xF6", u'\u51FA'}, {"\xBE\xCD", u'\u5C31'}, {"\xB7\xD6", u'\u5206'},
    {"\xB6\xD4", u'\u5BF9'}, {"\xB3\xC9", u'\u6210'}, {"\xBB\xE1", u'\u4F1A'}, {"\xBF\xC9", u'\u53EF'},
    {"\xD6\xF7", u'\u4E3B'}, {"\xB7\xA2", u'\u53D1'}, {"\xC4\xEA", u'\u5E74'}, {"\xB6\xAF", u'\u52A8'},
    {"\xCD\xAC", u'\u540C'}, {"\xB9\xA4", u'\u5DE5'}, {"\xD2\xB2", u'\u4E5F'}, {"\xC4\xDC", u'\u80FD'},
    {"\xCF\xC2", u'\u4E0B'}, {"\xB9\xFD", u'\u8FC7'}, {"\xD7\xD3", u'\u5B50'}, {"\xCB\xB5", u'\u8BF4'},
    {"\xA3\xAC", u'\uFF0C'},  // ，
    {"\xA1\xA2", u'\u3001'},  // 、
};

void appendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

Corpus makeCorpus(std::size_t minBytes) {
    Corpus c;
    c.gbk.reserve(minBytes + 256);
    c.wide.reserve(minBytes / 2 + 128);
    c.utf8.reserve(minBytes * 3 / 2 + 256);
    std::mt19937 rng(20261211);
    std::uniform_int_distribution<int> lineLen(18, 40), pct(0, 99), asciiLen(3, 12);
    std::uniform_int_distribution<std::size_t> han(0, std::size(kHan) - 1), mark(0, LINE_END_MARKS.size() - 1),
        letter(0, 25);
    auto put = [&c](std::string_view gbk, char16_t wide) {
        c.gbk += gbk;
        c.wide += wide;
        appendUtf8(c.utf8, wide);
    };
    while (c.gbk.size() < minBytes) {
        if (pct(rng) < 4) {
            put("\r", u'\r');  // a blank line
            put("\n", u'\n');
        }
        const int n = lineLen(rng);
        for (int i = 0; i < n; ++i) {
            if (pct(rng) < 2) {  // an ASCII run: a name, a number, a unit
                for (int k = asciiLen(rng); k > 0; --k) {
                    const char a = static_cast<char>('a' + letter(rng));
                    put(std::string_view(&a, 1), static_cast<char16_t>(a));
                }
            } else {
                const Han& h = kHan[han(rng)];
                put(h.gbk, h.wide);
            }
        }
        if (pct(rng) < 33) {
            const auto& m = LINE_END_MARKS[mark(rng)];
            put(m.gbk, m.unicode);
        }
        put("\r", u'\r');
        put("\n", u'\n');
    }
    return c;
}

}  // namespace prelivo::bench
