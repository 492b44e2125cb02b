// The streaming joiner cut into arbitrary chunks. The input's first bytes
// choose the encoding, the line-break mode and the chunk sizes; the rest is
// the text. Code page 936 and UTF-16 are checked against the reference;
// UTF-8 (defined for valid text only) against the same bytes joined whole.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "line_joiner.hpp"
#include "reference_join.hpp"

namespace {

template <class Encoding>
std::basic_string<typename Encoding::Unit> joinInChunks(std::basic_string_view<typename Encoding::Unit> text,
                                                       prelivo::LineBreak lb, const std::vector<std::size_t>& cuts) {
    prelivo::LineJoiner<Encoding> joiner(lb);
    std::basic_string<typename Encoding::Unit> out;
    std::size_t pos = 0;
    for (std::size_t k = 0; pos < text.size(); ++k) {
        const std::size_t n = std::min(cuts[k % cuts.size()], text.size() - pos);
        joiner.feed(text.substr(pos, n), out);
        pos += n;
    }
    joiner.finish(out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return 0;
    const unsigned form = data[0] % 3;
    const auto lb = data[0] & 0x80 ? prelivo::LineBreak::lf : prelivo::LineBreak::crlf;
    // Chunk sizes from 0 to 255 units, or up to 64 Ki units when the high
    // bit is set, so that the block loop meets every hand-over.
    std::vector<std::size_t> cuts;
    for (int k = 1; k < 4; ++k) cuts.push_back(data[k] & 0x80 ? std::size_t(data[k] & 0x7F) << 9 : data[k]);
    if (cuts[0] + cuts[1] + cuts[2] == 0) cuts[0] = 1;
    data += 4;
    size -= 4;

    if (form == 0) {
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        if (joinInChunks<prelivo::Gbk>(text, lb, cuts) != prelivo::reference::joinGbk(text, lb)) std::abort();
    } else if (form == 1) {
        std::u16string text(size / 2, u'\0');
        if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
        if (joinInChunks<prelivo::Utf16>(text, lb, cuts) != prelivo::reference::joinUtf16(text, lb)) std::abort();
    } else {
        const std::string_view text(reinterpret_cast<const char*>(data), size);
        prelivo::LineJoiner<prelivo::Utf8> whole(lb);
        std::string expected;
        whole.feed(text, expected);
        whole.finish(expected);
        if (joinInChunks<prelivo::Utf8>(text, lb, cuts) != expected) std::abort();
    }
    return 0;
}
