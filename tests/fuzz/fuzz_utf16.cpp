// Any bytes as UTF-16 code units (lone surrogates and all): the fast join
// must give the reference's result in both line-break modes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "line_joiner.hpp"
#include "reference_join.hpp"
#include "text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty()) std::memcpy(text.data(), data, text.size() * 2);
    if (prelivo::joinBrokenLines(std::u16string_view(text)) != prelivo::reference::joinUtf16(text)) std::abort();
    prelivo::LineJoiner<prelivo::Utf16> joiner(prelivo::LineBreak::lf);
    std::u16string out;
    joiner.feed(text, out);
    joiner.finish(out);
    if (out != prelivo::reference::joinUtf16(text, prelivo::LineBreak::lf)) std::abort();
    return 0;
}
