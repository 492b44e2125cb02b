// prelivo-join's work, apart from the process around it: the command line,
// checking the input, joining and writing. The program runs it on the
// operating system's files (os_files.hpp); the tests run it on files held
// in memory, with reads as small as they like.
#pragma once

#include <cstddef>
#include <cstdint>
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
};

// Runs prelivo-join on its arguments (UTF-8, the program name left out)
// and returns the exit status: 0 done, 1 bad input or a failed read or
// write, 2 a bad command line.
int runJoinFilter(const std::vector<std::string>& args, System& system);

// The text that --help prints.
std::string_view usageText() noexcept;

}  // namespace prelivo::cli
