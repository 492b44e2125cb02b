// prelivo-join on the operating system's files, pipes and temporary files,
// natively and as a Windows program under Wine.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>

#include "join_filter.hpp"
#include "os_files.hpp"

#ifdef _WIN32
#include <io.h>
#else
#include <csignal>
#include <unistd.h>
#endif

namespace prelivo::cli {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
int openForReading(const fs::path& p) { return _wopen(p.c_str(), _O_RDONLY | _O_BINARY); }
int openForWriting(const fs::path& p) {
    return _wopen(p.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
void closeFd(int fd) { _close(fd); }
void seekFd(int fd, long offset) { _lseek(fd, offset, SEEK_SET); }
bool makePipe(int fds[2]) { return _pipe(fds, 1 << 16, _O_BINARY) == 0; }
void writeFd(int fd, std::string_view bytes) {
    ASSERT_EQ(_write(fd, bytes.data(), static_cast<unsigned>(bytes.size())), static_cast<int>(bytes.size()));
}
#else
int openForReading(const fs::path& p) { return ::open(p.c_str(), O_RDONLY); }
int openForWriting(const fs::path& p) { return ::open(p.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600); }
void closeFd(int fd) { ::close(fd); }
void seekFd(int fd, long offset) { ::lseek(fd, offset, SEEK_SET); }
bool makePipe(int fds[2]) { return ::pipe(fds) == 0; }
void writeFd(int fd, std::string_view bytes) {
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}
#endif

std::string utf8Name(const fs::path& p) {
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

std::string str(std::u8string_view text) { return std::string(text.begin(), text.end()); }

class OsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("prelivo-cli-" + std::to_string(std::random_device{}()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path put(const fs::path& name, std::string_view bytes) {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return dir_ / name;
    }
    std::string contents(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    struct Result {
        int status;
        std::string out;
        std::string err;
    };

    // Runs the filter with the descriptors given for standard input and
    // output, standard error going to a file.
    Result run(const std::vector<std::string>& args, int in, int out) {
        const int err = openForWriting(dir_ / "stderr");
        OsSystem system(in, out, err);
        const int status = runJoinFilter(args, system);
        closeFd(err);
        return {status, {}, contents(dir_ / "stderr")};
    }
    Result run(const std::vector<std::string>& args, int in) {
        const int out = openForWriting(dir_ / "stdout");
        Result r = run(args, in, out);
        closeFd(out);
        r.out = contents(dir_ / "stdout");
        return r;
    }

    fs::path dir_;
};

TEST_F(OsFiles, ReadsNamedFilesAnyNameAndStandardInputFromAFile) {
    const fs::path a = put("a.txt", str(u8"第一行\n"));
    const fs::path chinese = put(fs::path(u8"样本 第二.txt"), str(u8"第二行。\n\n"));
    const int in = openForReading(put("in.txt", str(u8"跳过第三行")));
    seekFd(in, 6);  // standard input is read from where it stands
    const Result r = run({utf8Name(a), utf8Name(chinese), "-"}, in);
    closeFd(in);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, str(u8"第一行第二行。\n第三行"));
    EXPECT_EQ(r.err, "");
}

TEST_F(OsFiles, MissingFileOrFolderIsNamedWithTheReason) {
    put("a.txt", "text.\n");
    const std::pair<fs::path, std::string> cases[] = {
        {dir_ / fs::path(u8"不存在.txt"), "No such file or directory"},
        {dir_, "Is a directory"},
    };
    for (const auto& [path, reason] : cases) {
        const Result r = run({utf8Name(dir_ / "a.txt"), utf8Name(path)}, -1);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "prelivo-join: cannot open " + utf8Name(path) + ": " + reason + "\n");
    }
}

TEST_F(OsFiles, PipeOnStandardInputIsCheckedThenJoined) {
    const std::pair<std::string, std::string> cases[] = {
        {str(u8"甲\r\n乙。\r\n丙"), str(u8"甲乙。\r\n丙")},
        {str(u8"甲\r\n乙。\r\n") + "\xFF", ""},
    };
    for (const auto& [input, expected] : cases) {
        int fds[2];
        ASSERT_TRUE(makePipe(fds));
        writeFd(fds[1], input);
        closeFd(fds[1]);
        const Result r = run({}, fds[0]);
        closeFd(fds[0]);
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.status, expected.empty() ? 1 : 0) << r.err;
    }
}

TEST_F(OsFiles, ClosedPipeOnStandardOutputIsAWriteError) {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);  // as the program does
#endif
    std::string text;
    while (text.size() < (std::size_t{1} << 20)) text += "a line.\n";
    const int in = openForReading(put("in.txt", text));
    int fds[2];
    ASSERT_TRUE(makePipe(fds));
    closeFd(fds[0]);
    const Result r = run({}, in, fds[1]);
    closeFd(fds[1]);
    closeFd(in);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("prelivo-join: write error: ", 0), 0u) << r.err;
}

// The operating system's files as the filter sees them, with an eye on the
// mapping: counts the windows mapped, and can cut the file short as soon
// as the filter has made sure it can be mapped. Output and messages are
// kept in memory.
class WatchedSystem final : public System {
public:
    std::atomic<int> maps{0};
    bool cutShort = false;
    std::string out;
    std::string err;

    std::unique_ptr<Input> open(const std::string& name) override {
        return std::make_unique<Watched>(os_.open(name), fs::path(name), *this);
    }
    std::unique_ptr<Spool> makeSpool() override { return os_.makeSpool(); }
    void writeOut(std::string_view bytes) override { out += bytes; }
    void writeErr(std::string_view text) override { err += text; }
    bool readMapped(const std::function<void()>& read) override { return os_.readMapped(read); }

private:
    class Watched final : public Input {
    public:
        Watched(std::unique_ptr<Input> inner, fs::path path, WatchedSystem& system)
            : inner_(std::move(inner)), path_(std::move(path)), system_(system) {}
        std::size_t read(char* buffer, std::size_t size) override { return inner_->read(buffer, size); }
        std::optional<Extent> extent() override { return inner_->extent(); }
        void seek(std::uint64_t offset) override { inner_->seek(offset); }
        std::unique_ptr<MappedBytes> map(std::uint64_t offset, std::size_t length) override {
            auto bytes = inner_->map(offset, length);
            if (++system_.maps == 2 && system_.cutShort) fs::resize_file(path_, 0);
            return bytes;
        }

    private:
        std::unique_ptr<Input> inner_;
        fs::path path_;
        WatchedSystem& system_;
    };

    OsSystem os_{-1, -1, -1};
};

// A large file is mapped in windows and joined in chunks on several
// threads; the result is the one read in plainly.
TEST_F(OsFiles, LargeFileJoinedInMappedChunksAsWhenReadPlainly) {
    std::mt19937 rng(5);
    std::string text;
    while (text.size() < (std::size_t{1} << 20)) {
        text += rng() % 3 == 0 ? str(u8"这一行到此为止。\r\n") : str(u8"被截断的文字\r\n");
        if (rng() % 2000 == 0) text += std::string(200000, 'x');  // lines longer than a chunk
    }
    Tuning chunked;
    chunked.chunk = 64 << 10;  // a multiple of the page size, and of Windows' 64 KiB granularity
    chunked.span = 4 << 10;
    chunked.threads = 3;
    Tuning plain;
    plain.smallest = UINT64_MAX;
    for (const std::string& input : {text, text + "\xFF"}) {
        const std::string name = utf8Name(put("in.txt", input));
        WatchedSystem a, b;
        const int status = runJoinFilter({name}, a, chunked);
        EXPECT_EQ(status, runJoinFilter({name}, b, plain));
        EXPECT_GT(a.maps, 1);
        EXPECT_EQ(b.maps, 0);
        EXPECT_EQ(a.err, b.err);
        EXPECT_TRUE(a.out == b.out) << a.out.size() << " bytes, expected " << b.out.size();
    }
}

#ifndef _WIN32
// A file cut short while it is mapped: the pages past its new end are
// gone, and reading them is a fault in the process, not a read error.
// (Windows does not let a mapped file be cut short.)
TEST_F(OsFiles, FileCutShortWhileMappedIsReportedNotACrash) {
    std::string text;
    while (text.size() < (std::size_t{1} << 20)) text += "a line.\n";
    for (const char* encoding : {"--encoding=utf-8", "--encoding=gbk"}) {  // first the check, then the join
        const std::string name = utf8Name(put("in.txt", text));
        WatchedSystem system;
        system.cutShort = true;
        Tuning tuning;
        tuning.threads = 2;
        tuning.chunk = 64 << 10;
        EXPECT_EQ(runJoinFilter({encoding, "--newline=lf", name}, system, tuning), 1);
        EXPECT_EQ(system.err, "prelivo-join: " + name + ": the file became shorter while being read\n");
    }
}
#endif

#ifdef _WIN32
TEST(WideNames, SurviveTheRoundTripThroughUtf8) {
    const std::wstring names[] = {L"plain.txt", L"\u6837\u672C.txt", L"\U0001F600", L"a\xD800" L"b", L"\xDC00"};
    for (const std::wstring& name : names) EXPECT_EQ(utf8ToWide(wideToUtf8(name)), name);
    EXPECT_EQ(wideToUtf8(L"\u6837"), "\xE6\xA0\xB7");
}
#endif

}  // namespace
}  // namespace prelivo::cli
