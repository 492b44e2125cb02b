#include "line_joiner.hpp"

#include <type_traits>

#include "marks.hpp"
#include "text.hpp"

namespace prelivo {
namespace {

template <class Encoding>
bool lastIsMark(std::uint32_t last) noexcept {
    if constexpr (std::is_same_v<Encoding, Gbk>) {
        return isLineEndMark(unsigned{last});
    } else if constexpr (std::is_same_v<Encoding, Utf8>) {
        return detail::isUtf8LineEndMark(last);
    } else {
        return isLineEndMark(static_cast<char16_t>(last));
    }
}

template <class Unit>
std::uint32_t unitValue(Unit u) noexcept {
    return static_cast<std::make_unsigned_t<Unit>>(u);
}

}  // namespace

template <class Encoding>
void LineJoiner<Encoding>::endLine(String& out) {
    if (lastIsMark<Encoding>(last_)) {
        if (lineBreak_ == LineBreak::crlf) out.push_back(Unit{'\r'});
        out.push_back(Unit{'\n'});
    }
    last_ = 0;
}

template <class Encoding>
void LineJoiner<Encoding>::feed(View chunk, String& out) {
    constexpr Unit cr{'\r'};
    constexpr Unit lf{'\n'};
    const std::size_t n = chunk.size();
    std::size_t i = 0;
    if (n == 0) return;

    // Settle what the previous chunk left open. Only one of the two can be
    // pending: a lead byte takes a CR as its trail.
    if (pendingLead_) {
        pendingLead_ = false;
        out.push_back(static_cast<Unit>(lead_));
        out.push_back(chunk[0]);
        last_ = std::uint32_t{lead_} << 8 | unitValue(chunk[0]);
        i = 1;
    } else if (pendingCr_) {
        pendingCr_ = false;
        if (chunk[0] == lf) {
            endLine(out);
            i = 1;
        } else {
            out.push_back(cr);
            if constexpr (std::is_same_v<Encoding, Utf8>) {
                last_ = (last_ << 8 | 0x0D) & 0xFFFFFF;
            } else {
                last_ = 0x0D;
            }
        }
    }

    std::size_t run = i;  // start of the units not yet copied to out
    while (i < n) {
        const Unit u = chunk[i];
        if (u == cr) {
            if (i + 1 == n) {
                out.append(chunk.data() + run, i - run);
                pendingCr_ = true;
                return;
            }
            if (chunk[i + 1] == lf) {
                out.append(chunk.data() + run, i - run);
                endLine(out);
                i += 2;
                run = i;
                continue;
            }
        } else if (u == lf && lineBreak_ == LineBreak::lf) {
            out.append(chunk.data() + run, i - run);
            endLine(out);
            run = ++i;
            continue;
        }
        if constexpr (std::is_same_v<Encoding, Gbk>) {
            const auto byte = static_cast<unsigned char>(u);
            if (byte >= 0x80) {
                if (i + 1 == n) {
                    out.append(chunk.data() + run, i - run);
                    pendingLead_ = true;
                    lead_ = byte;
                    return;
                }
                last_ = std::uint32_t{byte} << 8 | static_cast<unsigned char>(chunk[i + 1]);
                i += 2;
                continue;
            }
            last_ = byte;
        } else if constexpr (std::is_same_v<Encoding, Utf8>) {
            last_ = (last_ << 8 | unitValue(u)) & 0xFFFFFF;
        } else {
            last_ = unitValue(u);
        }
        ++i;
    }
    out.append(chunk.data() + run, n - run);
}

template <class Encoding>
void LineJoiner<Encoding>::finish(String& out) {
    // A lead byte at the very end has no trail: it stays, alone, at the end
    // of the last line, and is no mark.
    if (pendingLead_) {
        out.push_back(static_cast<Unit>(lead_));
        last_ = 0;
    } else if (pendingCr_) {
        out.push_back(Unit{'\r'});
        last_ = 0x0D;
    }
    pendingLead_ = false;
    pendingCr_ = false;
    endLine(out);
}

template class LineJoiner<Gbk>;
template class LineJoiner<Utf8>;
template class LineJoiner<Utf16>;

}  // namespace prelivo
