// Any bytes as code page 936 text: the fast join, whole, must give the
// reference's result in both line-break modes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "line_joiner.hpp"
#include "reference_join.hpp"
#include "text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (prelivo::joinBrokenLines(text) != prelivo::reference::joinGbk(text)) std::abort();
    prelivo::LineJoiner<prelivo::Gbk> joiner(prelivo::LineBreak::lf);
    std::string out;
    joiner.feed(text, out);
    joiner.finish(out);
    if (out != prelivo::reference::joinGbk(text, prelivo::LineBreak::lf)) std::abort();
    return 0;
}
