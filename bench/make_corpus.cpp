// Writes the benchmark's OCR-like corpus to standard output:
//   make_corpus MIB [utf-8|gbk|utf-16le]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "corpus.hpp"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_corpus MIB [utf-8|gbk|utf-16le]\n");
        return 2;
    }
    const std::size_t mib = std::strtoul(argv[1], nullptr, 10);
    const std::string encoding = argc > 2 ? argv[2] : "utf-8";
    // Made in pieces of 64 MiB, repeated, so that a large file needs no
    // more memory than the benchmark itself.
    const std::size_t piece = std::min<std::size_t>(mib, 64) << 20;
    const auto corpus = prelivo::bench::makeCorpus(piece);
    const char* data = corpus.utf8.data();
    std::size_t size = corpus.utf8.size();
    if (encoding == "gbk") {
        data = corpus.gbk.data();
        size = corpus.gbk.size();
    } else if (encoding == "utf-16le") {
        data = reinterpret_cast<const char*>(corpus.wide.data());
        size = corpus.wide.size() * 2;
    } else if (encoding != "utf-8") {
        std::fprintf(stderr, "make_corpus: unknown encoding %s\n", encoding.c_str());
        return 2;
    }
    for (std::size_t written = 0; written < (mib << 20); written += size) {
        if (std::fwrite(data, 1, size, stdout) != size) return 1;
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
