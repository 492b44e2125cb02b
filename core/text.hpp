// The text engine: joins the lines that OCR software, PDF viewers and web
// pages break in the middle of a sentence.
//
// Two text forms share one set of rules:
//  - Text: bytes in code page 936 (GBK). A byte of 0x80 or above is a lead
//    byte and takes the byte after it, whatever that byte is.
//  - WideText: UTF-16 code units, as the Windows clipboard and edit control
//    hold them. A surrogate pair is one character; a lone surrogate is a
//    character of its own and passes through unchanged.
// In both, a line break is CR LF. A line that ends in one of LINE_END_MARKS
// keeps its break; every other line is joined to the next, and empty lines
// vanish.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace prelivo {

using Text = std::string;
using WideText = std::u16string;

struct LineEndMark {
    std::string_view gbk;  // its bytes in code page 936: one or two
    char16_t unicode;      // every mark lies in the Basic Multilingual Plane
};

// The closing punctuation marks after which a line break is kept.
// Nothing else is a mark: not the colons (：:), the semicolon ;, the comma
// ，, the right square bracket ], the quote marks ' " or the ellipsis ….
inline constexpr std::array<LineEndMark, 25> LINE_END_MARKS{{
    {"\xA1\xB1", u'\u201D'},  // ”
    {"\xA3\xBF", u'\uFF1F'},  // ？
    {"\x3F", u'?'},
    {"\xA1\xA3", u'\u3002'},  // 。
    {"\x2E", u'.'},
    {"\xA3\xA1", u'\uFF01'},  // ！
    {"\x21", u'!'},
    {"\xA1\xAF", u'\u2019'},  // ’
    {"\xA8\x95", u'\u301E'},  // 〞
    {"\xA9\x73", u'\uFE55'},  // ﹕
    {"\xA9\x55", u'\uFE30'},  // ︰
    {"\xA9\x72", u'\uFE54'},  // ﹔
    {"\xA3\xBB", u'\uFF1B'},  // ；
    {"\xA3\xA9", u'\uFF09'},  // ）
    {"\x29", u')'},
    {"\xA1\xB5", u'\u3009'},  // 〉
    {"\x3E", u'>'},
    {"\xA9\x79", u'\uFE5C'},  // ﹜
    {"\x7D", u'}'},
    {"\xA1\xBB", u'\u300F'},  // 』
    {"\xA1\xBD", u'\u3017'},  // 〗
    {"\xA3\xDD", u'\uFF3D'},  // ］
    {"\xA1\xB7", u'\u300B'},  // 》
    {"\xA1\xB9", u'\u300D'},  // 」
    {"\xA1\xBF", u'\u3011'},  // 】
}};

// Whether one whole character is a mark. A GBK character is one byte below
// 0x80 or a lead byte with its trail byte, packed as (lead << 8) | trail.
bool isLineEndMark(unsigned gbkCharacter) noexcept;
bool isLineEndMark(char16_t unit) noexcept;

// The lines between the CR LF breaks. The views point into the input.
// A break inside a double-byte character (a lead byte followed by CR) does
// not count, and no empty line follows a final CR LF.
std::vector<std::string_view> splitLines(std::string_view text);
std::vector<std::u16string_view> splitLines(std::u16string_view text);

// Whether the line's last whole character is a mark. For Text the
// characters are paired from the start of the line, so the trail byte of
// one character and the byte after it never count as a mark, and a lone
// lead byte at the end is no mark.
bool endsWithLineEndMark(std::string_view line) noexcept;
bool endsWithLineEndMark(std::u16string_view line) noexcept;

// The whole transformation. Never fails; any byte or code unit sequence is
// accepted and passed through.
Text joinBrokenLines(std::string_view text);
WideText joinBrokenLines(std::u16string_view text);

}  // namespace prelivo
