#include "text.hpp"

#include "line_joiner.hpp"
#include "marks.hpp"

namespace prelivo {
namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';

constexpr bool isLead(char byte) noexcept {
    return static_cast<unsigned char>(byte) >= 0x80;
}

}  // namespace

bool isLineEndMark(unsigned gbkCharacter) noexcept {
    return gbkCharacter <= 0xFFFF && detail::isGbkMarkKey(gbkCharacter);
}

bool isLineEndMark(char16_t unit) noexcept { return detail::isWideMark(unit); }

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t cut = 0;
    std::size_t scan = 0;
    while (text.size() - scan >= 2) {
        if (text[scan] == kCr && text[scan + 1] == kLf) {
            lines.push_back(text.substr(cut, scan - cut));
            scan += 2;
            cut = scan;
        } else {
            scan += isLead(text[scan]) ? 2 : 1;
        }
    }
    // A lead byte that is the last byte ends the scan above and stays in
    // the final line.
    if (cut < text.size()) lines.push_back(text.substr(cut));
    return lines;
}

std::vector<std::u16string_view> splitLines(std::u16string_view text) {
    std::vector<std::u16string_view> lines;
    std::size_t cut = 0;
    for (std::size_t scan = 0; scan + 1 < text.size();) {
        if (text[scan] == u'\r' && text[scan + 1] == u'\n') {
            lines.push_back(text.substr(cut, scan - cut));
            scan += 2;
            cut = scan;
        } else {
            ++scan;
        }
    }
    if (cut < text.size()) lines.push_back(text.substr(cut));
    return lines;
}

bool endsWithLineEndMark(std::string_view line) noexcept {
    if (line.empty()) return false;
    // A byte below 0x80 always ends a character, so the run of lead-range
    // bytes before the last byte starts on a character boundary and pairs
    // up from there: an odd run makes the last byte a trail byte.
    const std::size_t last = line.size() - 1;
    std::size_t run = 0;
    while (run < last && isLead(line[last - 1 - run])) ++run;
    const auto lastByte = static_cast<unsigned char>(line[last]);
    if (run % 2 == 1) {
        return isLineEndMark(static_cast<unsigned>(static_cast<unsigned char>(line[last - 1])) << 8 |
                             lastByte);
    }
    return lastByte < 0x80 && isLineEndMark(unsigned{lastByte});  // else a lone lead byte
}

bool endsWithLineEndMark(std::u16string_view line) noexcept {
    // Marks are single code units outside the surrogate range, so the last
    // unit decides, whether it ends a surrogate pair or not.
    return !line.empty() && isLineEndMark(line.back());
}

namespace {

template <class Encoding>
std::basic_string<typename Encoding::Unit> joinWhole(std::basic_string_view<typename Encoding::Unit> text) {
    std::basic_string<typename Encoding::Unit> out;
    LineJoiner<Encoding> joiner;
    joiner.feed(text, out);
    joiner.finish(out);
    return out;
}

}  // namespace

Text joinBrokenLines(std::string_view text) { return joinWhole<Gbk>(text); }

WideText joinBrokenLines(std::u16string_view text) { return joinWhole<Utf16>(text); }

}  // namespace prelivo
