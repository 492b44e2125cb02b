// Streaming line joiner: text fed in chunks of any size gives exactly the
// result of joining the whole text at once. A chunk may end anywhere: inside
// a CR LF pair, between a lead byte and its trail byte, or inside a
// surrogate pair or a UTF-8 sequence. Joined text is written out as soon as
// it is known, so the joiner holds a few units of state, never a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace prelivo {

// The three encodings the joiner reads. Each names its code unit.
struct Gbk {  // code page 936 bytes, paired by the lead-byte rule
    using Unit = char;
};
struct Utf8 {  // valid UTF-8; a mark is matched on its encoded bytes
    using Unit = char;
};
struct Utf16 {  // UTF-16 code units in the machine's byte order
    using Unit = char16_t;
};

// What ends a line. crlf: only CR LF, and a lone CR or LF is an ordinary
// character (as in the Windows edit box). lf: LF or CR LF, and joined text
// keeps its breaks as LF.
enum class LineBreak { crlf, lf };

template <class Encoding>
class LineJoiner {
public:
    using Unit = typename Encoding::Unit;
    using View = std::basic_string_view<Unit>;
    using String = std::basic_string<Unit>;

    // The room, in units, that feed needs at out for a chunk of n units:
    // the joined text is never longer than the chunk and one held-back
    // unit, and the fast path may write a few units past its end.
    static constexpr std::size_t maxOutput(std::size_t n) noexcept { return n + 1 + 16; }
    // The room that finish needs.
    static constexpr std::size_t FINISH_OUTPUT = 3;

    explicit LineJoiner(LineBreak lineBreak = LineBreak::crlf) noexcept
        : lineBreak_(lineBreak) {}

    // Writes the joined text of chunk, as far as it is decided, to out,
    // which has room for maxOutput(chunk.size()) units; returns the end of
    // what was written.
    Unit* feed(View chunk, Unit* out) noexcept;
    // Writes what is still held back (at most FINISH_OUTPUT units) and ends
    // the text. The joiner can then start a new text.
    Unit* finish(Unit* out) noexcept;

    // The same, appending to a string.
    void feed(View chunk, String& out);
    void finish(String& out);

private:
    std::size_t scalarRun(const Unit* in, std::size_t i, std::size_t limit, std::size_t n, Unit*& out) noexcept;
    void endLine(Unit*& out) noexcept;

    LineBreak lineBreak_;
    // The last character of the current line: a code page 936 character
    // packed as (lead << 8) | trail, the last three bytes for UTF-8, a code
    // unit for UTF-16. Zero at the start of a line; zero is no mark.
    std::uint32_t last_ = 0;
    bool pendingCr_ = false;    // the last chunk ended in a CR at a character start
    bool pendingLead_ = false;  // the last chunk ended in a lead byte
    unsigned char lead_ = 0;
};

extern template class LineJoiner<Gbk>;
extern template class LineJoiner<Utf8>;
extern template class LineJoiner<Utf16>;

}  // namespace prelivo
