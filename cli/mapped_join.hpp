// prelivo-join's way with one large regular file. Reading it into a buffer
// costs as much as cat's whole run, twice over for the two passes, so the
// file is mapped into memory instead, a window at a time, and cut into
// chunks that several threads check and join at once. A chunk starts just
// past a LF, where a checker or a joiner can start afresh, so the chunks'
// results simply follow one another.
#pragma once

#include <optional>
#include <string>

#include "join_filter.hpp"
#include "line_joiner.hpp"
#include "text_check.hpp"

namespace prelivo::cli {

struct MappedJob {
    Input& input;
    std::string name;  // as messages call it
    Extent extent;     // the text runs from its position to its size
    Encoding encoding;
    std::optional<LineBreak> lineBreak;  // empty: crlf if the text holds a CR LF pair, else lf
};

// Checks the text, then joins it and writes the result. Returns false,
// having written nothing, when the input cannot be mapped or its text
// cannot be taken in place (UTF-16 off a unit boundary). Throws Failure.
bool joinMapped(const MappedJob& job, System& system, const Tuning& tuning);

}  // namespace prelivo::cli
