// The operating system's side of prelivo-join: files and standard streams
// by descriptor, and a temporary file for inputs that can be read only
// once.
#pragma once

#include <string>
#include <string_view>

#include "join_filter.hpp"

namespace prelivo::cli {

class OsSystem final : public System {
public:
    // The descriptors used as standard input, output and error.
    explicit OsSystem(int in = 0, int out = 1, int err = 2) noexcept : in_(in), out_(out), err_(err) {}

    std::unique_ptr<Input> open(const std::string& name) override;
    std::unique_ptr<Spool> makeSpool() override;
    void writeOut(std::string_view bytes) override;
    // Never fails: with no way left to report, a lost message is let go.
    void writeErr(std::string_view text) override;
#ifndef _WIN32
    bool readMapped(const std::function<void()>& read) override;
#endif

private:
    int in_;
    int out_;
    int err_;
};

#ifdef _WIN32
// Arguments and file names between UTF-16 and the UTF-8 the filter works
// in. A lone surrogate, which Windows allows in file names, is carried as
// its own three-byte form, so that such a name still opens.
std::string wideToUtf8(std::wstring_view text);
std::wstring utf8ToWide(std::string_view text);
#endif

}  // namespace prelivo::cli
