// The joining rules written out plainly, without any speed-up: a list of
// lines, then appending. The fast joiners are checked against these.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "line_joiner.hpp"
#include "text.hpp"

namespace prelivo::reference {

// Splits at the breaks, pairing each byte of 0x80 or above with the next.
// With LineBreak::lf a lone LF is a break as well.
inline std::vector<std::string> gbkLines(std::string_view t, LineBreak lb = LineBreak::crlf) {
    std::vector<std::string> lines;
    std::string line;
    std::size_t i = 0;
    bool ended = true;  // no unfinished line
    while (i < t.size()) {
        const auto b = static_cast<unsigned char>(t[i]);
        if (b == '\r' && i + 1 < t.size() && t[i + 1] == '\n') {
            lines.push_back(line);
            line.clear();
            ended = true;
            i += 2;
        } else if (b == '\n' && lb == LineBreak::lf) {
            lines.push_back(line);
            line.clear();
            ended = true;
            i += 1;
        } else {
            const std::size_t len = (b >= 0x80 && i + 1 < t.size()) ? 2 : 1;
            line.append(t.substr(i, len));
            ended = false;
            i += len;
        }
    }
    if (!ended) lines.push_back(line);
    return lines;
}

// The last whole character, found by pairing from the line's start.
inline bool gbkEndsWithMark(std::string_view line) {
    std::string_view lastChar;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t len = static_cast<unsigned char>(line[i]) >= 0x80 && i + 1 < line.size() ? 2 : 1;
        lastChar = line.substr(i, len);
        i += len;
    }
    if (lastChar.size() == 1 && static_cast<unsigned char>(lastChar[0]) >= 0x80) return false;
    for (const auto& mark : LINE_END_MARKS) {
        if (mark.gbk == lastChar) return true;
    }
    return false;
}

inline std::string joinGbk(std::string_view t, LineBreak lb = LineBreak::crlf) {
    std::string out;
    for (const auto& line : gbkLines(t, lb)) {
        out += line;
        if (gbkEndsWithMark(line)) out += lb == LineBreak::crlf ? "\r\n" : "\n";
    }
    return out;
}

inline std::u16string joinUtf16(std::u16string_view t, LineBreak lb = LineBreak::crlf) {
    std::vector<std::u16string> lines;
    std::u16string line;
    bool ended = true;
    for (std::size_t i = 0; i < t.size();) {
        if (t[i] == u'\r' && i + 1 < t.size() && t[i + 1] == u'\n') {
            lines.push_back(line);
            line.clear();
            ended = true;
            i += 2;
        } else if (t[i] == u'\n' && lb == LineBreak::lf) {
            lines.push_back(line);
            line.clear();
            ended = true;
            i += 1;
        } else {
            line += t[i++];
            ended = false;
        }
    }
    if (!ended) lines.push_back(line);
    std::u16string out;
    for (const auto& l : lines) {
        out += l;
        bool mark = false;
        for (const auto& m : LINE_END_MARKS) mark = mark || (!l.empty() && l.back() == m.unicode);
        if (mark) out += lb == LineBreak::crlf ? u"\r\n" : u"\n";
    }
    return out;
}

}  // namespace prelivo::reference
