// prelivo-join's work, apart from the process around it: the command line,
// checking the input, joining and writing. The program runs it on the
// operating system's files (os_files.hpp); the tests run it on files held
// in memory, with reads as small as they like.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace prelivo::cli {

// An input or output operation failed; what() is the system's reason,
// e.g. "No such file or directory". The caller adds which file.
class IoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where a regular file stands: its current position and its size.
struct Extent {
    std::uint64_t position = 0;
    std::uint64_t size = 0;
};

// Part of a regular file mapped into memory, read-only, for as long as
// the object lives.
class MappedBytes {
public:
    virtual ~MappedBytes() = default;
    virtual const char* data() const noexcept = 0;
};

// One input: a named file, standard input, or the spool.
class Input {
public:
    virtual ~Input() = default;
    // Reads up to size bytes; 0 at the end. Throws IoError.
    virtual std::size_t read(char* buffer, std::size_t size) = 0;
    // Set for a regular file, which can be read a second time; empty for a
    // pipe, a terminal or a device, which can be read only once.
    virtual std::optional<Extent> extent() = 0;
    // Moves to a byte offset. Only for inputs with an extent and the spool.
    virtual void seek(std::uint64_t offset) = 0;
    // Maps length bytes from offset, a multiple of the page size, of an
    // input with an extent. Empty where this input is never mapped; throws
    // IoError when the mapping fails.
    virtual std::unique_ptr<MappedBytes> map(std::uint64_t offset, std::size_t length) {
        static_cast<void>(offset);
        static_cast<void>(length);
        return nullptr;
    }
};

// Temporary storage for the inputs that can be read only once: they are
// checked on their way in and read back for joining.
class Spool : public Input {
public:
    virtual void write(std::string_view bytes) = 0;  // throws IoError
};

class System {
public:
    virtual ~System() = default;
    // Opens a file by its UTF-8 name, or standard input for "-".
    // Throws IoError.
    virtual std::unique_ptr<Input> open(const std::string& name) = 0;
    virtual std::unique_ptr<Spool> makeSpool() = 0;  // throws IoError
    // Writes every byte or throws IoError.
    virtual void writeOut(std::string_view bytes) = 0;
    virtual void writeErr(std::string_view text) = 0;
    // Runs read, which reads mapped bytes. Returns false, read left
    // unfinished, when those bytes turned out to lie past the end of a file
    // that shrank after it was mapped.
    virtual bool readMapped(const std::function<void()>& read) {
        read();
        return true;
    }
};

// How prelivo-join divides a large regular file among threads: each takes
// a chunk at a time, mapped rather than read, and chunks start just past a
// LF found near every multiple of chunk bytes.
struct Tuning {
    std::size_t chunk = std::size_t{2} << 20;   // a multiple of the page size
    std::size_t span = std::size_t{64} << 10;   // how far past it a LF is looked for
    unsigned threads = 0;                       // 0: one per processor, at most four
    std::uint64_t smallest = std::uint64_t{1} << 20;  // smaller inputs are read plainly
};

// Runs prelivo-join on its arguments (UTF-8, the program name left out)
// and returns the exit status: 0 done, 1 bad input or a failed read or
// write, 2 a bad command line.
int runJoinFilter(const std::vector<std::string>& args, System& system, const Tuning& tuning = {});

// The text that --help prints.
std::string_view usageText() noexcept;

}  // namespace prelivo::cli
