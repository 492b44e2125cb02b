// prelivo-join: joins the broken lines of its input files, or of standard
// input, and writes the text to standard output.
#include <string>
#include <vector>

#include "join_filter.hpp"
#include "os_files.hpp"

#ifdef _WIN32

#include <fcntl.h>
#include <io.h>

// Built with -municode: the arguments arrive in UTF-16, so file names in any
// script open, whatever the system's ANSI code page.
int wmain(int argc, wchar_t** argv) {
    // Text mode would turn LF into CR LF on the way out and stop reading at
    // the first Ctrl+Z.
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(prelivo::cli::wideToUtf8(argv[i]));
    prelivo::cli::OsSystem system;
    return prelivo::cli::runJoinFilter(args, system);
}

#else

#include <csignal>

int main(int argc, char** argv) {
    // A closed pipe on standard output then fails the write with a message
    // and status 1, instead of ending the process without a word.
    std::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    prelivo::cli::OsSystem system;
    return prelivo::cli::runJoinFilter(args, system);
}

#endif
