// An OCR-like corpus for the benchmarks: mostly Chinese lines of 18 to 40
// characters, a third of them ending in a closing mark, a few blank lines
// and ASCII runs, with CR LF breaks. Deterministic for a given size.
#pragma once

#include <cstddef>
#include <string>

namespace prelivo::bench {

struct Corpus {
    std::string gbk;     // code page 936 bytes
    std::u16string wide; // the same text in UTF-16
    std::string utf8;    // the same text in UTF-8
};

Corpus makeCorpus(std::size_t minBytes);

}  // namespace prelivo::bench
