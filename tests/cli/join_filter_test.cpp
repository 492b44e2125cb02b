// prelivo-join on files held in memory: reads as small as one byte, inputs
// that are regular files or pipes, writes that fail.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>

#include "encoding.hpp"
#include "join_filter.hpp"
#include "random_text.hpp"
#include "reference_join.hpp"

namespace prelivo::cli {
namespace {

struct MemFile {
    MemFile(std::string b = {}, bool r = true, std::size_t s = 0, std::optional<std::size_t> f = {})
        : bytes(std::move(b)), regular(r), start(s), failAt(f) {}
    std::string bytes;
    bool regular;                       // else a pipe: no extent, no seek
    std::size_t start;                  // where standard input stands at first
    std::optional<std::size_t> failAt;  // a read at this offset fails
    std::string rewritten;              // if set, what every other mapping shows: the file changing
};

class MemorySystem final : public System {
public:
    std::map<std::string, MemFile> files;  // "-" is standard input
    std::size_t readSize = 1 << 20;        // the most that one read returns
    std::optional<std::size_t> outCapacity;
    std::string out;
    std::string err;
    std::atomic<int> maps{0};  // windows mapped

    std::unique_ptr<Input> open(const std::string& name) override {
        const auto it = files.find(name);
        if (it == files.end()) throw IoError("No such file or directory");
        if (name != "-") return std::make_unique<MemInput>(it->second, ownPosition(), readSize, maps);
        if (!stdinPosition_) stdinPosition_ = std::make_shared<std::size_t>(it->second.start);
        return std::make_unique<MemInput>(it->second, stdinPosition_, readSize, maps);
    }

    std::unique_ptr<Spool> makeSpool() override { return std::make_unique<MemSpool>(readSize); }

    void writeOut(std::string_view bytes) override {
        if (outCapacity && out.size() + bytes.size() > *outCapacity) throw IoError("No space left on device");
        out += bytes;
    }

    void writeErr(std::string_view text) override { err += text; }

private:
    static std::shared_ptr<std::size_t> ownPosition() { return std::make_shared<std::size_t>(0); }

    class MemInput final : public Input {
    public:
        MemInput(const MemFile& file, std::shared_ptr<std::size_t> position, std::size_t readSize,
                 std::atomic<int>& maps)
            : file_(file), position_(std::move(position)), readSize_(readSize), maps_(maps) {}

        std::size_t read(char* buffer, std::size_t size) override {
            std::size_t& pos = *position_;
            if (file_.failAt && pos >= *file_.failAt) throw IoError("Input/output error");
            std::size_t n = std::min({size, readSize_, file_.bytes.size() - std::min(pos, file_.bytes.size())});
            if (file_.failAt) n = std::min(n, *file_.failAt - pos);
            file_.bytes.copy(buffer, n, pos);
            pos += n;
            return n;
        }
        std::optional<Extent> extent() override {
            if (!file_.regular) return std::nullopt;
            return Extent{*position_, file_.bytes.size()};
        }
        void seek(std::uint64_t offset) override {
            if (!file_.regular) throw IoError("Illegal seek");
            *position_ = static_cast<std::size_t>(offset);
        }
        std::unique_ptr<MappedBytes> map(std::uint64_t offset, std::size_t length) override {
            if (!file_.regular || file_.failAt) return nullptr;
            EXPECT_LE(offset + length, file_.bytes.size());
            const bool changed = ++maps_ % 2 == 0 && !file_.rewritten.empty();  // back and forth
            return std::make_unique<View>((changed ? file_.rewritten : file_.bytes).data() + offset);
        }

    private:
        struct View final : MappedBytes {
            explicit View(const char* bytes) : at(bytes) {}
            const char* data() const noexcept override { return at; }
            const char* at;
        };

        const MemFile& file_;
        std::shared_ptr<std::size_t> position_;
        std::size_t readSize_;
        std::atomic<int>& maps_;
    };

    class MemSpool final : public Spool {
    public:
        explicit MemSpool(std::size_t readSize) : readSize_(readSize) {}
        void write(std::string_view bytes) override { data_ += bytes; }
        std::size_t read(char* buffer, std::size_t size) override {
            const std::size_t n = std::min({size, readSize_, data_.size() - position_});
            data_.copy(buffer, n, position_);
            position_ += n;
            return n;
        }
        std::optional<Extent> extent() override { return std::nullopt; }
        void seek(std::uint64_t offset) override { position_ = static_cast<std::size_t>(offset); }

    private:
        std::string data_;
        std::size_t position_ = 0;
        std::size_t readSize_;
    };

    std::shared_ptr<std::size_t> stdinPosition_;
};

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result run(MemorySystem& system, const std::vector<std::string>& args, const Tuning& tuning = {}) {
    const int status = runJoinFilter(args, system, tuning);
    return {status, system.out, system.err};
}

// The ways one input can arrive: a regular file or a pipe, read in one go
// or a byte at a time (so every pair and character is cut somewhere).
struct Delivery {
    bool regular;
    std::size_t readSize;
};
constexpr Delivery kDeliveries[] = {{true, 1 << 20}, {false, 1 << 20}, {true, 1}, {false, 1}, {false, 3}};

Result runOnStdin(const std::vector<std::string>& args, const std::string& input, Delivery d) {
    MemorySystem system;
    system.files["-"] = {input, d.regular};
    system.readSize = d.readSize;
    return run(system, args);
}

std::string le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t u : text) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return bytes;
}

std::string str(std::u8string_view text) { return std::string(text.begin(), text.end()); }

TEST(JoinFilter, JoinsInEachEncodingAndNewlineMode) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string expected;
    };
    const std::string gbkJing = "\xBE\xA9s";  // 京s: its last two bytes look like ﹕
    const std::string gbkZhi = "\xD0\x7D";    // 衹: its trail byte looks like }
    const Case cases[] = {
        // UTF-8; auto picks lf when there is no CR LF pair.
        {{}, str(u8"第一行\n第二行。\n\n第三行"), str(u8"第一行第二行。\n第三行")},
        // A CR LF pair makes it crlf, and a lone LF is then a character.
        {{}, str(u8"甲\r\n乙。\r\n丙\n丁"), str(u8"甲乙。\r\n丙\n丁")},
        {{"--newline=lf"}, str(u8"甲\r\n乙。\r\n丙\n丁。"), str(u8"甲乙。\n丙丁。\n")},
        {{"--newline", "crlf"}, str(u8"甲\n乙。\n"), str(u8"甲\n乙。\n")},
        {{}, "Hello world.\nnext \nline! \nend)\n", "Hello world.\nnext line! end)\n"},
        {{}, str(u8"冒号：\n逗号，\n省略号……\n句号。"), str(u8"冒号：逗号，省略号……句号。\n")},
        {{}, str(u8"𠮷\n野家」\n"), str(u8"𠮷野家」\n")},
        {{}, "", ""},
        {{}, "\r\n\r\n", ""},
        {{"--encoding=utf-8", "--newline=auto"}, "\n\n", ""},
        // GBK on its bytes: a mark counts only as a whole character.
        {{"--encoding", "gbk"}, gbkJing + "\r\n" + gbkZhi + "\r\n\xA9\x73\r\n}\r\nx",
         gbkJing + gbkZhi + "\xA9\x73\r\n}\r\nx"},
        // The lead byte takes the CR: no CR LF pair, so auto picks lf.
        {{"--encoding=gbk"}, "\x81\r\nab.", "\x81\rab.\n"},
        {{"--encoding=GBK", "--newline=crlf"}, "\x81\r\nab.", "\x81\r\nab.\r\n"},
        {{"--encoding=gbk", "--newline=lf"}, "\xBC\xD7\n\xD2\xD2\xA1\xA3\n", "\xBC\xD7\xD2\xD2\xA1\xA3\n"},
        // UTF-16LE; lone surrogates pass, and only whole units count.
        {{"--encoding=utf-16le"}, le(u"甲\r\n乙。\r\n丙"), le(u"甲乙。\r\n丙")},
        {{"--encoding=utf-16le"}, le(u"\xD800\r\n\xD83D\xDE00。\r\n"), le(u"\xD800\xD83D\xDE00。\r\n")},
        {{"--encoding=utf-16le"}, le(u"a\nb.\n\nc"), le(u"ab.\nc")},
        {{"--encoding=utf-16le"}, le(u"\u0D00\u000A"), le(u"\u0D00")},  // bytes 00 0D 0A 00
        {{"--encoding=utf-16le", "--newline=crlf"}, le(u"a\nb.\r\n"), le(u"a\nb.\r\n")},
    };
    for (const Case& c : cases) {
        for (const Delivery d : kDeliveries) {
            SCOPED_TRACE(::testing::PrintToString(c.args) + " " + ::testing::PrintToString(c.input) +
                         (d.regular ? " regular" : " pipe") + " reads of " + std::to_string(d.readSize));
            const Result r = runOnStdin(c.args, c.input, d);
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out, c.expected);
            EXPECT_EQ(r.err, "");
        }
    }
}

TEST(JoinFilter, ReadsFilesInOrderAsOneText) {
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, MemFile> files;
        std::string expected;
    };
    const Case cases[] = {
        // A CR LF pair across two files is a pair.
        {{"a", "b"}, {{"a", {"甲\r"}}, {"b", {"\n乙。"}}}, "甲乙。\r\n"},
        // So is a GBK character: the lead byte ends a, its trail starts b.
        {{"--encoding=gbk", "a", "b"}, {{"a", {"\xBC"}}, {"b", {"\xD7\r\nx\ny"}}}, "\xBC\xD7x\ny"},
        {{"a", "-", "b"}, {{"a", {"一\n"}}, {"-", {"二。\n", false}}, {"b", {"三"}}}, "一二。\n三"},
        // A character may straddle two files, as with cat.
        {{"a", "b"}, {{"a", {"\xE7\x94"}}, {"b", {"\xB2\xE3\x80\x82\n"}}}, str(u8"甲。\n")},
        {{"--encoding=utf-16le", "a", "b"}, {{"a", {le(u"甲\n乙。").substr(0, 3)}}, {"b", {le(u"甲\n乙。").substr(3)}}},
         le(u"甲乙。\n")},
        {{"--", "-", "--help"}, {{"-", {"a\n", false}}, {"--help", {"b."}}}, "ab.\n"},
        // Standard input is read once; a second - finds it at its end.
        {{"-", "a", "-"}, {{"-", {"x\n", false}}, {"a", {"y."}}}, "xy.\n"},
        {{"-", "a", "-"}, {{"-", {"x\n", true}}, {"a", {"y."}}}, "xy.\n"},
        // Standard input redirected from a file is read from where it stands.
        {{}, {{"-", {"skip\nx.\ny", true, 5}}}, "x.\ny"},
    };
    for (const Case& c : cases) {
        for (const std::size_t readSize : {std::size_t{1}, std::size_t{1} << 20}) {
            SCOPED_TRACE(::testing::PrintToString(c.args) + " reads of " + std::to_string(readSize));
            MemorySystem system;
            system.files = c.files;
            system.readSize = readSize;
            const Result r = run(system, c.args);
            EXPECT_EQ(r.status, 0) << r.err;
            EXPECT_EQ(r.out, c.expected);
        }
    }
}

// What auto picks for any bytes: crlf when a CR LF pair stands at a
// character start, pairing each byte of 0x80 or above with the next.
LineBreak gbkAutoBreak(std::string_view t) {
    for (std::size_t i = 0; i + 1 < t.size();) {
        if (t[i] == '\r' && t[i + 1] == '\n') return LineBreak::crlf;
        i += static_cast<unsigned char>(t[i]) >= 0x80 ? 2 : 1;
    }
    return LineBreak::lf;
}

// The whole pipeline, two passes, blocks and the spool included, against
// the plain joining rules on random texts.
TEST(JoinFilter, AgreesWithTheJoiningRulesOnRandomTexts) {
    std::mt19937 rng(2024);
    std::uniform_int_distribution<std::size_t> readSize(1, 9);
    for (int i = 0; i < 300; ++i) {
        const std::string gbk = testing::randomGbkText(rng, 60);
        const std::u16string wide = *testing::gbkToUtf16(gbk);
        std::u16string withLoneSurrogates = wide;
        withLoneSurrogates.insert(withLoneSurrogates.size() / 2, 1, static_cast<char16_t>(0xDC00 + i));
        const std::string anyBytes = testing::randomBytes(rng, 60);
        // For auto: in these texts every CR LF pair stands at a character
        // start, so a plain search tells which break auto must pick.
        const auto autoBreak = [](const auto& text) {
            using Char = typename std::decay_t<decltype(text)>::value_type;
            const Char crlf[] = {Char{'\r'}, Char{'\n'}, Char{}};
            return text.find(crlf) != text.npos ? LineBreak::crlf : LineBreak::lf;
        };
        for (const auto& [mode, lb, lb16] :
             {std::tuple{"crlf", LineBreak::crlf, LineBreak::crlf}, std::tuple{"lf", LineBreak::lf, LineBreak::lf},
              std::tuple{"auto", autoBreak(gbk), autoBreak(withLoneSurrogates)}}) {
            const std::string newline = std::string("--newline=") + mode;
            const Delivery d{i % 2 == 0, readSize(rng)};
            SCOPED_TRACE(::testing::PrintToString(gbk) + " " + newline);
            EXPECT_EQ(runOnStdin({"--encoding=gbk", newline}, gbk, d).out, reference::joinGbk(gbk, lb));
            EXPECT_EQ(runOnStdin({newline}, testing::utf16ToUtf8(wide), d).out,
                      testing::utf16ToUtf8(reference::joinUtf16(wide, lb)));
            EXPECT_EQ(runOnStdin({"--encoding=utf-16le", newline}, le(withLoneSurrogates), d).out,
                      le(reference::joinUtf16(withLoneSurrogates, lb16)));
            EXPECT_EQ(runOnStdin({"--encoding=gbk", newline}, anyBytes, d).out,
                      reference::joinGbk(anyBytes, mode == std::string("auto") ? gbkAutoBreak(anyBytes) : lb));
        }
    }
}

// A large regular file is cut into chunks that threads check and join at
// once. With chunks of a few bytes every way a chunk can begin and end comes
// up: at a break found near its planned start, running on past the next
// planned start when no break lies near (long lines, long runs of GBK lead
// bytes), at the end of the text, and with standard input part read. The
// output, message and status must be the plain way's, which the tests above
// hold to the rules.
TEST(JoinFilter, ChunksJoinedInParallelGiveThePlainResult) {
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> percent(0, 99);
    Tuning plain;
    plain.smallest = UINT64_MAX;
    for (int i = 0; i < 150; ++i) {
        std::string gbk;
        while (gbk.size() < 400) {
            gbk += testing::randomGbkText(rng, 30);
            if (percent(rng) < 15) {
                for (int k = 0; k < 40; ++k) gbk += "\xB0\xA1";  // a long run of bytes of 0x80 or above
            }
        }
        const std::u16string wide = *testing::gbkToUtf16(gbk);
        std::string utf8 = testing::utf16ToUtf8(wide);
        if (percent(rng) < 20) utf8[rng() % utf8.size()] = '\xFF';
        if (percent(rng) < 10) utf8 += "\xE4\xB8";  // cut off by the end
        std::string utf16 = le(wide);
        if (percent(rng) < 10) utf16 += 'x';  // odd: left to the plain way, which names it
        const std::pair<const char*, std::string> inputs[] = {
            {"--encoding=gbk", gbk},
            {"--encoding=gbk", testing::randomBytes(rng, 800)},
            {"--encoding=utf-8", utf8},
            {"--encoding=utf-16le", utf16},
        };
        Tuning tuning;
        tuning.chunk = std::size_t{8} << (i % 4);
        tuning.span = std::size_t{4} << (i % 5);
        tuning.threads = 1 + i % 3;
        tuning.smallest = 0;
        const std::size_t start = percent(rng) < 20 ? static_cast<std::size_t>(percent(rng) % 7) : 0;
        for (const auto& [encoding, input] : inputs) {
            for (const char* newline : {"--newline=auto", "--newline=crlf", "--newline=lf"}) {
                SCOPED_TRACE(std::string(encoding) + " " + newline + " chunk " + std::to_string(tuning.chunk) +
                             " span " + std::to_string(tuning.span) + " threads " + std::to_string(tuning.threads) +
                             " from " + std::to_string(start) + " " + ::testing::PrintToString(input));
                MemorySystem chunked, whole;
                chunked.files["-"] = whole.files["-"] = {input, true, start};
                const Result a = run(chunked, {encoding, newline}, tuning);
                const Result b = run(whole, {encoding, newline}, plain);
                EXPECT_EQ(a.status, b.status);
                EXPECT_EQ(a.out, b.out);
                EXPECT_EQ(a.err, b.err);
                if (std::string_view(encoding) != "--encoding=utf-16le") {
                    EXPECT_GT(chunked.maps, 0);
                }
                EXPECT_EQ(whole.maps, 0);
            }
        }
    }
}

TEST(JoinFilter, AFailedWriteStopsEveryChunk) {
    std::string text;
    while (text.size() < 20000) text += str(u8"第一行\n第二行。\n");
    Tuning tuning;
    tuning.chunk = 64;
    tuning.span = 16;
    tuning.threads = 3;
    tuning.smallest = 0;
    MemorySystem unlimited;
    unlimited.files["-"] = {text};
    const std::string full = run(unlimited, {}, tuning).out;
    for (const std::size_t capacity : {std::size_t{0}, std::size_t{5000}}) {
        MemorySystem system;
        system.files["-"] = {text};
        system.outCapacity = capacity;
        const Result r = run(system, {}, tuning);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "prelivo-join: write error: No space left on device\n");
        EXPECT_EQ(r.out, full.substr(0, r.out.size()));  // what got out came in order
    }
}

// Where the chunks start is decided once for each, so a file that changes
// while it is read (lines moved about) gives some text, not threads that
// wait for each other forever.
TEST(JoinFilter, AFileChangedWhileReadDoesNotHang) {
    std::mt19937 rng(3);
    for (int i = 0; i < 300; ++i) {
        std::string before, after;
        for (int k = 0; k < 300; ++k) {
            const bool breakBefore = rng() % 3 == 0, breakAfter = rng() % 3 == 0;
            before += breakBefore ? '\n' : 'x';
            after += breakAfter ? '\n' : 'x';
        }
        MemorySystem system;
        system.files["-"] = {before};
        system.files["-"].rewritten = after;
        Tuning tuning;
        tuning.chunk = 8;
        tuning.span = 4 << (i % 3);
        tuning.threads = 1 + i % 3;
        tuning.smallest = 0;
        const Result r = run(system, {"--newline=lf"}, tuning);
        EXPECT_EQ(r.status, 0) << r.err;
    }
}

TEST(JoinFilter, LargeInputGoesThroughInBlocks) {
    // Several megabytes, so reading, checking and writing each take many
    // blocks, and one line longer than a block.
    std::string text;
    for (int i = 0; text.size() < (std::size_t{5} << 20); ++i) {
        text += i % 3 == 0 ? str(u8"这是一行被截断的文字，还没有结束\r\n") : str(u8"这一行到此为止。\r\n");
        if (i == 1000) text += std::string(std::size_t{3} << 20, 'x') + "\r\n";
    }
    for (const bool regular : {true, false}) {
        MemorySystem system;
        system.files["-"] = {text, regular};
        system.readSize = 100000;
        const Result r = run(system, {});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string expected;
        for (std::size_t pos = 0; pos < text.size();) {
            const std::size_t end = text.find("\r\n", pos);
            const std::string_view line(text.data() + pos, end - pos);
            expected += line;
            if (line.ends_with(str(u8"。"))) expected += "\r\n";
            pos = end + 2;
        }
        EXPECT_TRUE(r.out == expected) << "output of " << r.out.size() << " bytes, expected " << expected.size();
    }
}

TEST(JoinFilter, BadInputWritesNothingAndNamesTheOffset) {
    struct Case {
        std::vector<std::string> args;
        std::string input;
        std::string message;  // after "prelivo-join: standard input: "
    };
    const std::string utf8At = "invalid UTF-8 at byte offset ";
    const Case cases[] = {
        {{}, "ab\xFF" "cd", utf8At + "2\n"},
        {{}, "\x80", utf8At + "0\n"},                       // a stray continuation byte
        {{}, "x\xC0\xAF", utf8At + "1\n"},                  // overlong /
        {{}, "\xE0\x80\x80", utf8At + "0\n"},               // overlong NUL
        {{}, "a\xED\xA0\x80", utf8At + "1\n"},              // a surrogate
        {{}, "\xF4\x90\x80\x80", utf8At + "0\n"},           // above U+10FFFF
        {{}, "\xF5\x80\x80\x80", utf8At + "0\n"},
        {{}, str(u8"甲乙") + "\xE4\x41", utf8At + "6\n"},    // continuation missing
        {{"--newline=lf"}, str(u8"甲。\n") + "\xE4\xB8", utf8At + "7: the input ends inside a character\n"},
        {{"--encoding=utf-16le"}, std::string("A\0B", 3),
         "the UTF-16LE input has an odd number of bytes (3): the byte at byte offset 2 is half a code unit\n"},
        {{"--encoding=utf-16le", "--newline=crlf"}, le(u"a.\r\n") + "x",
         "the UTF-16LE input has an odd number of bytes (9): the byte at byte offset 8 is half a code unit\n"},
    };
    for (const Case& c : cases) {
        for (const Delivery d : kDeliveries) {
            SCOPED_TRACE(::testing::PrintToString(c.input) + (d.regular ? " regular" : " pipe") + " reads of " +
                         std::to_string(d.readSize));
            const Result r = runOnStdin(c.args, c.input, d);
            EXPECT_EQ(r.status, 1);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "prelivo-join: standard input: " + c.message);
        }
    }
}

TEST(JoinFilter, NothingIsWrittenWhenALaterFileFails) {
    // The first file alone would fill several output blocks.
    std::string big;
    while (big.size() < (std::size_t{3} << 20)) big += str(u8"完整的一行。\n");
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, MemFile> files;
        std::string err;
    };
    const Case cases[] = {
        {{"a", "b"}, {{"a", {big}}, {"b", {"ok\n\xFF"}}}, "prelivo-join: b: invalid UTF-8 at byte offset 3\n"},
        {{"a", "-"}, {{"a", {big}}, {"-", {"\xC3", false}}},
         "prelivo-join: standard input: invalid UTF-8 at byte offset 0: the input ends inside a character\n"},
        {{"a", "missing", "b"}, {{"a", {big}}, {"b", {"x"}}},
         "prelivo-join: cannot open missing: No such file or directory\n"},
        {{"a", "b"}, {{"a", {big}}, {"b", {"abc", true, 0, 1}}}, "prelivo-join: b: read error: Input/output error\n"},
        {{"--encoding=utf-16le", "a", "b", "c"}, {{"a", {le(u"甲。\n")}}, {"b", {"odd"}}, {"c", {""}}},
         "prelivo-join: b: the UTF-16LE input has an odd number of bytes (9): the byte at byte offset 2 is half a "
         "code unit\n"},
        // A character begun in one file and broken or cut off in the next
        // is placed where it begins.
        {{"a", "b"}, {{"a", {"ok\xE4"}}, {"b", {"\x41"}}}, "prelivo-join: a: invalid UTF-8 at byte offset 2\n"},
        {{"a", "b"}, {{"a", {"x\xE4\xB8"}}, {"b", {""}}},
         "prelivo-join: a: invalid UTF-8 at byte offset 1: the input ends inside a character\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        MemorySystem system;
        system.files = c.files;
        const Result r = run(system, c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out.size(), 0u);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(JoinFilter, AFailedWriteEndsWithAMessage) {
    for (const std::size_t capacity : {std::size_t{0}, std::size_t{1} << 20}) {
        std::string big;
        while (big.size() < (std::size_t{3} << 20)) big += "a line.\n";
        MemorySystem system;
        system.files["-"] = {big, false};
        system.outCapacity = capacity;
        const Result r = run(system, {});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "prelivo-join: write error: No space left on device\n");
    }
    MemorySystem system;
    system.outCapacity = 0;
    EXPECT_EQ(run(system, {"--help"}).status, 1);
}

TEST(JoinFilter, BadCommandLinesGetTheUsageAndStatusTwo) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"a", "-x"}, "unknown option '-x'"},
        {{"--encoding=latin1"}, "unknown encoding 'latin1' (use utf-8, gbk or utf-16le)"},
        {{"--newline", "cr"}, "unknown newline mode 'cr' (use auto, crlf or lf)"},
        {{"--encoding"}, "option '--encoding' needs a value"},
        {{"--help=yes"}, "option '--help' takes no value"},
        {{"--bogus", "--help"}, "unknown option '--bogus'"},  // options act in order
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        MemorySystem system;
        system.files["-"] = {"text.\n"};
        const Result r = run(system, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "prelivo-join: " + c.message + "\n" + std::string(usageText()));
    }
}

TEST(JoinFilter, HelpAndVersionGoToStandardOutput) {
    const std::string version = "prelivo-join " PRELIVO_VERSION "\n";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--help"}, std::string(usageText())},
        {{"missing", "--help", "--bogus"}, std::string(usageText())},
        {{"--version"}, version},
        {{"--newline=lf", "--version"}, version},
    };
    for (const auto& [args, expected] : cases) {
        MemorySystem system;
        const Result r = run(system, args);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
    }
    EXPECT_NE(usageText().find("Usage: prelivo-join [OPTION]... [FILE]..."), std::string_view::npos);
}

}  // namespace
}  // namespace prelivo::cli
