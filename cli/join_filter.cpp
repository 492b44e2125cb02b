#include "join_filter.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "line_joiner.hpp"
#include "mapped_join.hpp"
#include "text_check.hpp"

#ifndef PRELIVO_VERSION
#error "PRELIVO_VERSION is set by the build from the project's version"
#endif

namespace prelivo::cli {
namespace {

constexpr std::string_view kProgram = "prelivo-join";

// Reads and writes go in blocks of this size: the size of a pipe's buffer,
// few system calls per gigabyte, and small enough that a block just read
// is still in the processor's cache for the check and the join (1 MiB
// blocks measured a fifth slower). Memory stays a few blocks whatever the
// input's size or the length of its lines.
constexpr std::size_t kBlock = std::size_t{64} << 10;

constexpr std::string_view kUsage =
    "Usage: prelivo-join [OPTION]... [FILE]...\n"
    "Join the broken lines of text copied from OCR software, PDF viewers or web\n"
    "pages: every line that does not end in a closing punctuation mark is joined\n"
    "to the next one, and empty lines are dropped. The FILEs are read in order as\n"
    "one text; with no FILE, or where FILE is -, standard input is read. The\n"
    "result goes to standard output.\n"
    "\n"
    "  --encoding=ENC  the input's encoding, also used for the output:\n"
    "                    utf-8 (the default), gbk (code page 936) or utf-16le\n"
    "  --newline=MODE  what ends a line:\n"
    "                    auto  crlf if the input holds a CR LF pair, else lf\n"
    "                          (the default)\n"
    "                    crlf  only CR LF; a lone CR or LF is an ordinary\n"
    "                          character\n"
    "                    lf    LF or CR LF; the kept breaks are written as LF\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "  --              end of options: what follows are file names\n"
    "\n"
    "Nothing is written when the input is not valid text of its encoding (the\n"
    "message gives the byte offset) or a file cannot be opened.\n"
    "Exit status: 0 done, 1 bad input or a failed read or write, 2 bad usage.\n";

enum class Newline { automatic, crlf, lf };

struct Options {
    Encoding encoding = Encoding::utf8;
    Newline newline = Newline::automatic;
    std::vector<std::string> files;
};

struct CommandLine {
    enum class Action { join, help, version, bad } action = Action::join;
    Options options;
    std::string error;  // for Action::bad
};

std::string lowerAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

// Options may stand before, between or after the files, as with most Unix
// filters; they take effect in order, so --help or --version ends the
// parsing where it stands.
CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    auto bad = [&cl](std::string message) {
        cl.action = CommandLine::Action::bad;
        cl.error = std::move(message);
        return cl;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            cl.options.files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg[1] != '-') return bad("unknown option '" + arg + "'");
        const std::size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        const bool hasValue = eq != std::string::npos;
        if (name == "--help" || name == "--version") {
            if (hasValue) return bad("option '" + name + "' takes no value");
            cl.action = name == "--help" ? CommandLine::Action::help : CommandLine::Action::version;
            return cl;
        }
        if (name != "--encoding" && name != "--newline") return bad("unknown option '" + arg + "'");
        std::string value;
        if (hasValue) {
            value = arg.substr(eq + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return bad("option '" + name + "' needs a value");
        }
        const std::string v = lowerAscii(value);
        if (name == "--encoding") {
            if (v == "utf-8") {
                cl.options.encoding = Encoding::utf8;
            } else if (v == "gbk") {
                cl.options.encoding = Encoding::gbk;
            } else if (v == "utf-16le") {
                cl.options.encoding = Encoding::utf16le;
            } else {
                return bad("unknown encoding '" + value + "' (use utf-8, gbk or utf-16le)");
            }
        } else {
            if (v == "auto") {
                cl.options.newline = Newline::automatic;
            } else if (v == "crlf") {
                cl.options.newline = Newline::crlf;
            } else if (v == "lf") {
                cl.options.newline = Newline::lf;
            } else {
                return bad("unknown newline mode '" + value + "' (use auto, crlf or lf)");
            }
        }
    }
    return cl;
}

std::string displayName(const std::string& name) {
    return name == "-" ? std::string("standard input") : name;
}

// The second pass: the core's streaming joiner over bytes in, bytes out.
class Joiner {
public:
    virtual ~Joiner() = default;
    virtual void feed(const char* p, std::size_t n, std::string& out) = 0;
    virtual void finish(std::string& out) = 0;
};

// GBK, and UTF-8: the core joins valid UTF-8 on its bytes directly, with
// the same result as decoding, joining the UTF-16 and encoding back.
template <class Enc>
class ByteJoiner final : public Joiner {
public:
    explicit ByteJoiner(LineBreak lineBreak) : joiner_(lineBreak) {}
    void feed(const char* p, std::size_t n, std::string& out) override {
        joiner_.feed(std::string_view(p, n), out);
    }
    void finish(std::string& out) override { joiner_.finish(out); }

private:
    LineJoiner<Enc> joiner_;
};

class Utf16LeJoiner final : public Joiner {
public:
    explicit Utf16LeJoiner(LineBreak lineBreak) : joiner_(lineBreak) {
        units_.reserve(kBlock / 2 + 1);
        joined_.reserve(kBlock / 2 + 4);
    }

    void feed(const char* data, std::size_t n, std::string& out) override {
        const auto* p = reinterpret_cast<const unsigned char*>(data);
        units_.clear();
        std::size_t i = 0;
        if (haveOdd_ && n > 0) {
            units_.push_back(static_cast<char16_t>(oddByte_ | p[0] << 8));
            haveOdd_ = false;
            i = 1;
        }
        const std::size_t count = (n - i) / 2;
        const std::size_t old = units_.size();
        units_.resize(old + count);
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(units_.data() + old, p + i, count * 2);
        } else {
            for (std::size_t k = 0; k < count; ++k) {
                units_[old + k] = static_cast<char16_t>(p[i + 2 * k] | p[i + 2 * k + 1] << 8);
            }
        }
        i += count * 2;
        if (i < n) {
            oddByte_ = p[i];
            haveOdd_ = true;
        }
        joined_.clear();
        joiner_.feed(units_, joined_);
        append(out);
    }

    void finish(std::string& out) override {
        // The check has made sure that every input has an even length, so
        // no half unit is left here.
        joined_.clear();
        joiner_.finish(joined_);
        append(out);
    }

private:
    void append(std::string& out) const {
        if constexpr (std::endian::native == std::endian::little) {
            out.append(reinterpret_cast<const char*>(joined_.data()), joined_.size() * 2);
        } else {
            for (const char16_t u : joined_) {
                out.push_back(static_cast<char>(u & 0xFF));
                out.push_back(static_cast<char>(u >> 8));
            }
        }
    }

    LineJoiner<Utf16> joiner_;
    std::u16string units_;
    std::u16string joined_;
    bool haveOdd_ = false;
    unsigned char oddByte_ = 0;
};

std::unique_ptr<Joiner> makeJoiner(Encoding encoding, LineBreak lineBreak) {
    switch (encoding) {
    case Encoding::gbk: return std::make_unique<ByteJoiner<Gbk>>(lineBreak);
    case Encoding::utf8: return std::make_unique<ByteJoiner<Utf8>>(lineBreak);
    case Encoding::utf16le: break;
    }
    return std::make_unique<Utf16LeJoiner>(lineBreak);
}

// One input as the first pass left it for the second.
struct Source {
    std::string name;
    std::unique_ptr<Input> keptOpen;  // read once, straight into the joiner
    bool regular = false;             // read again from start
    bool spooled = false;             // read back from the spool at start
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

class Run {
public:
    Run(const Options& options, System& system, const Tuning& tuning)
        : options_(options), system_(system), tuning_(tuning), buffer_(kBlock) {}

    void join() {
        std::vector<std::string> files = options_.files;
        if (files.empty()) files.push_back("-");
        // A single input, opened once: mapped if it can be, else read.
        std::unique_ptr<Input> single;
        if (files.size() == 1) {
            single = open(files.front());
            if (tryMapped(*single, files.front())) return;
        }
        Checker checker(options_.encoding, options_.newline == Newline::automatic);
        std::vector<Source> sources;
        for (const std::string& name : files) sources.push_back(firstPass(name, checker, std::move(single)));
        checker.finish();

        const bool crlf = options_.newline == Newline::crlf ||
                          (options_.newline == Newline::automatic && checker.foundCrLf());
        const auto joiner = makeJoiner(options_.encoding, crlf ? LineBreak::crlf : LineBreak::lf);
        std::string out;
        out.reserve(2 * kBlock + 16);
        for (Source& s : sources) {
            if (s.spooled) {
                spool_->seek(s.start);
                pump(*spool_, "the temporary file", s.length, *joiner, out);
            } else if (s.regular) {
                const auto input = open(s.name);
                seek(*input, s.name, s.start);
                pump(*input, s.name, s.length, *joiner, out);
            } else {
                pump(*s.keptOpen, s.name, std::nullopt, *joiner, out);
                s.keptOpen.reset();
            }
        }
        joiner->finish(out);
        write(out);
    }

private:
    // One large regular file goes through memory mappings, in parallel.
    // Returns false, having written nothing, to leave it to the plain way.
    bool tryMapped(Input& input, const std::string& name) {
        std::optional<Extent> extent;
        try {
            extent = input.extent();
        } catch (const IoError&) {
            return false;  // the plain way reports it
        }
        if (!extent || extent->size < extent->position || extent->size - extent->position < tuning_.smallest) {
            return false;
        }
        std::optional<LineBreak> lineBreak;
        if (options_.newline == Newline::crlf) lineBreak = LineBreak::crlf;
        if (options_.newline == Newline::lf) lineBreak = LineBreak::lf;
        if (!joinMapped({input, displayName(name), *extent, options_.encoding, lineBreak}, system_, tuning_)) {
            return false;
        }
        if (name == "-") seek(input, name, extent->size);  // as cat leaves it
        return true;
    }

    // input: the file already open, or empty to open it here.
    Source firstPass(const std::string& name, Checker& checker, std::unique_ptr<Input> input) {
        Source s;
        s.name = name;
        if (!input) input = open(name);
        std::optional<Extent> extent;
        try {
            extent = input->extent();
        } catch (const IoError& e) {
            throw Failure{displayName(name) + ": " + e.what()};
        }
        checker.beginFile(displayName(name));
        if (extent) {
            s.regular = true;
            s.start = extent->position;
            s.length = extent->size > extent->position ? extent->size - extent->position : 0;
            std::uint64_t done = 0;
            while (checker.wantsBytes() && done < s.length) {
                const std::size_t n = read(*input, name, static_cast<std::size_t>(
                                                             std::min<std::uint64_t>(kBlock, s.length - done)));
                if (n == 0) {
                    s.length = done;  // it shrank since its size was taken
                    break;
                }
                checker.feed(buffer_.data(), n);
                done += n;
            }
            checker.endFile(s.length);
            // A later "-" goes on from the end, as cat's would.
            if (name == "-") seek(*input, name, s.start + s.length);
        } else if (checker.needsWholeInput()) {
            if (!spool_) {
                try {
                    spool_ = system_.makeSpool();
                } catch (const IoError& e) {
                    throw Failure{std::string("cannot create a temporary file: ") + e.what()};
                }
            }
            s.spooled = true;
            s.start = spooled_;
            while (const std::size_t n = read(*input, name, kBlock)) {
                try {
                    spool_->write(std::string_view(buffer_.data(), n));
                } catch (const IoError& e) {
                    throw Failure{std::string("cannot write the temporary file: ") + e.what()};
                }
                if (checker.wantsBytes()) checker.feed(buffer_.data(), n);
                s.length += n;
            }
            spooled_ += s.length;
            checker.endFile(s.length);
        } else {
            s.keptOpen = std::move(input);
        }
        return s;
    }

    // Reads the input to its end, or length bytes of it, into the joiner.
    void pump(Input& input, const std::string& name, std::optional<std::uint64_t> length, Joiner& joiner,
              std::string& out) {
        std::uint64_t left = length.value_or(UINT64_MAX);
        while (left > 0) {
            const std::size_t n = read(input, name, static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, left)));
            if (n == 0) {
                if (length) throw Failure{displayName(name) + ": the file became shorter while being read"};
                break;
            }
            left -= n;
            joiner.feed(buffer_.data(), n, out);
            if (out.size() >= kBlock) {
                write(out);
                out.clear();
            }
        }
    }

    std::unique_ptr<Input> open(const std::string& name) {
        try {
            return system_.open(name);
        } catch (const IoError& e) {
            throw Failure{"cannot open " + displayName(name) + ": " + e.what()};
        }
    }

    std::size_t read(Input& input, const std::string& name, std::size_t size) {
        try {
            return input.read(buffer_.data(), size);
        } catch (const IoError& e) {
            throw Failure{displayName(name) + ": read error: " + e.what()};
        }
    }

    void seek(Input& input, const std::string& name, std::uint64_t offset) {
        try {
            input.seek(offset);
        } catch (const IoError& e) {
            throw Failure{displayName(name) + ": cannot seek: " + e.what()};
        }
    }

    void write(std::string_view bytes) {
        try {
            system_.writeOut(bytes);
        } catch (const IoError& e) {
            throw Failure{std::string("write error: ") + e.what()};
        }
    }

    const Options& options_;
    System& system_;
    const Tuning& tuning_;
    std::vector<char> buffer_;
    std::unique_ptr<Spool> spool_;
    std::uint64_t spooled_ = 0;
};

}  // namespace

std::string_view usageText() noexcept { return kUsage; }

int runJoinFilter(const std::vector<std::string>& args, System& system, const Tuning& tuning) {
    const CommandLine cl = parseCommandLine(args);
    const std::string prefix = std::string(kProgram) + ": ";
    try {
        switch (cl.action) {
        case CommandLine::Action::bad:
            system.writeErr(prefix + cl.error + "\n" + std::string(kUsage));
            return 2;
        case CommandLine::Action::help:
            system.writeOut(kUsage);
            return 0;
        case CommandLine::Action::version:
            system.writeOut(std::string(kProgram) + " " PRELIVO_VERSION "\n");
            return 0;
        case CommandLine::Action::join:
            Run(cl.options, system, tuning).join();
            return 0;
        }
    } catch (const Failure& f) {
        system.writeErr(prefix + f.message + "\n");
    } catch (const IoError& e) {
        system.writeErr(prefix + "write error: " + e.what() + "\n");
    } catch (const std::bad_alloc&) {
        system.writeErr(prefix + "out of memory\n");
    }
    return 1;
}

}  // namespace prelivo::cli
