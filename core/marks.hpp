// Lookups over LINE_END_MARKS for the joiner's inner loops. Internal to the
// core.
#pragma once

#include <cstdint>

namespace prelivo::detail {

// lastBytes holds the last three bytes of a line of valid UTF-8, the last
// one lowest; bytes before the line's start are zero.
bool isUtf8LineEndMark(std::uint32_t lastBytes) noexcept;

}  // namespace prelivo::detail
