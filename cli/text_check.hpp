// The first pass of prelivo-join, before any output: the text is checked
// against its encoding and, for --newline auto, searched for a CR LF pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "utf8_check.hpp"

namespace prelivo::cli {

enum class Encoding { utf8, gbk, utf16le };

// What went wrong, as the message to print after the program's name.
struct Failure {
    std::string message;
};

// Checks the text as the joiner will see it: the files one after another,
// a lead byte taking the byte after it in GBK.
class Checker {
public:
    Checker(Encoding encoding, bool searchCrLf) : encoding_(encoding), searching_(searchCrLf) {}

    // Whether the bytes still matter; a file whose bytes no longer matter
    // need not be read.
    bool wantsBytes() const { return encoding_ == Encoding::utf8 || (searching_ && !found_); }
    // Whether an input that can be read only once must be kept until the
    // check is over (else it can be read straight into the joiner).
    bool needsWholeInput() const { return encoding_ != Encoding::gbk || (searching_ && !found_); }
    bool foundCrLf() const { return found_; }

    // offset: where the bytes fed next stand in the file, when the ones
    // before were checked elsewhere.
    void beginFile(std::string name, std::uint64_t offset = 0) {
        if (!names_.empty()) utf8_.newFile();
        utf8_.startAt(offset);
        names_.push_back(std::move(name));
    }

    void feed(const char* data, std::size_t n) {
        const auto* p = reinterpret_cast<const unsigned char*>(data);
        if (encoding_ == Encoding::utf8) {
            if (const auto bad = utf8_.feed(p, n)) {
                throw Failure{names_[bad->file] + ": invalid UTF-8 at byte offset " + std::to_string(bad->offset)};
            }
        }
        if (searching_ && !found_ && n > 0) search(p, n);
    }

    void endFile(std::uint64_t length) {
        total_ += length;
        if (length > 0) {
            lastFile_ = names_.size() - 1;
            lastLength_ = length;
        }
    }

    // After the last file.
    void finish() const {
        if (encoding_ == Encoding::utf8) {
            if (const auto cut = utf8_.finish()) {
                throw Failure{names_[cut->file] + ": invalid UTF-8 at byte offset " + std::to_string(cut->offset) +
                              ": the input ends inside a character"};
            }
        } else if (encoding_ == Encoding::utf16le && total_ % 2 != 0) {
            throw Failure{names_[lastFile_] + ": the UTF-16LE input has an odd number of bytes (" +
                          std::to_string(total_) + "): the byte at byte offset " + std::to_string(lastLength_ - 1) +
                          " is half a code unit"};
        }
    }

private:
    void search(const unsigned char* p, std::size_t n);

    bool unit(unsigned u) {
        if (pendingCr_ && u == 0x0A) found_ = true;
        pendingCr_ = u == 0x0D;
        return found_;
    }

    Encoding encoding_;
    bool searching_;
    bool found_ = false;
    bool pendingCr_ = false;    // the text so far ends in a CR at a character start
    bool pendingLead_ = false;  // GBK: the text so far ends in a lead byte
    bool haveOdd_ = false;      // UTF-16LE: the text so far ends in half a unit
    unsigned char oddByte_ = 0;
    std::vector<std::string> names_;  // as the messages call them
    Utf8Check utf8_;
    std::uint64_t total_ = 0;
    std::size_t lastFile_ = 0;  // the last file with any bytes, and their count
    std::uint64_t lastLength_ = 0;
};

}  // namespace prelivo::cli
