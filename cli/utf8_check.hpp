// Strict UTF-8 checking for prelivo-join's first pass: no overlong forms,
// no surrogates, nothing above U+10FFFF. The bulk runs in vector code where
// the processor has it; the exact place of a fault comes from plain code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace prelivo::cli {

enum class Utf8Kernel { plain, ssse3, avx2 };

// The kernels this processor can run, plain first, fastest last.
std::vector<Utf8Kernel> availableUtf8Kernels();
Utf8Kernel fastestUtf8Kernel();

// Where a fault lies: which file (counted from 0) and its byte offset there.
struct Utf8Fault {
    std::size_t file = 0;
    std::uint64_t offset = 0;
};

// Checks a text fed in pieces of any size. A character may straddle two
// pieces, and two files, since the files make one text.
class Utf8Check {
public:
    explicit Utf8Check(Utf8Kernel kernel = fastestUtf8Kernel()) noexcept : kernel_(kernel) {}

    void newFile();
    // The next piece starts at this byte offset of the current file: its
    // earlier bytes were checked elsewhere, from a character's start.
    void startAt(std::uint64_t offset) noexcept { offset_ = offset; }
    // Where the first sequence that is not UTF-8 starts, or nothing.
    std::optional<Utf8Fault> feed(const unsigned char* p, std::size_t n);
    // Where a character cut off by the end of the text starts, or nothing.
    std::optional<Utf8Fault> finish() const;

private:
    std::optional<Utf8Fault> plainFeed(const unsigned char* p, std::size_t i, std::size_t n, std::uint64_t base);
    bool continueOpen(const unsigned char* p, std::size_t n, std::size_t& i);

    Utf8Kernel kernel_;
    std::size_t file_ = 0;
    std::uint64_t offset_ = 0;  // bytes of the file before the current piece
    unsigned need_ = 0;         // continuation bytes still owed
    unsigned char lo_ = 0x80;   // the range of the next one
    unsigned char hi_ = 0xBF;
    Utf8Fault start_;           // where the open character starts
};

}  // namespace prelivo::cli
