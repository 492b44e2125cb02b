// Join throughput beside memcpy of the same buffer, measured in one run,
// with the ratios printed at the end. Every joiner writes into an output
// buffer that is reused between iterations, as memcpy's destination is, so
// the ratios compare the work and not the page faults of a fresh buffer;
// the allocating joinBrokenLines is shown as well.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "corpus.hpp"
#include "line_joiner.hpp"
#include "text.hpp"

namespace prelivo::bench {
namespace {

constexpr std::size_t kCorpusBytes = 64u << 20;
constexpr std::size_t kChunk = 64u << 10;

const Corpus& corpus() {
    static const Corpus c = makeCorpus(kCorpusBytes);
    return c;
}

template <class S>
void memcpyOf(benchmark::State& state, const S& src) {
    S dst(src.size(), typename S::value_type{});
    const std::size_t bytes = src.size() * sizeof(typename S::value_type);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

template <class Encoding, class S>
void joinWhole(benchmark::State& state, const S& src) {
    using Joiner = LineJoiner<Encoding>;
    S out(Joiner::maxOutput(src.size()) + Joiner::FINISH_OUTPUT, typename S::value_type{});
    for (auto _ : state) {
        Joiner joiner;
        joiner.finish(joiner.feed(src, out.data()));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * src.size() * sizeof(typename S::value_type)));
}

template <class Encoding, class S>
void joinChunked(benchmark::State& state, const S& src) {
    using View = std::basic_string_view<typename S::value_type>;
    using Joiner = LineJoiner<Encoding>;
    const std::size_t units = kChunk / sizeof(typename S::value_type);
    S out(Joiner::maxOutput(src.size()) + Joiner::FINISH_OUTPUT, typename S::value_type{});
    for (auto _ : state) {
        Joiner joiner;
        auto* o = out.data();
        for (std::size_t pos = 0; pos < src.size(); pos += units) o = joiner.feed(View(src).substr(pos, units), o);
        joiner.finish(o);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * src.size() * sizeof(typename S::value_type)));
}

void joinAllocating(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(joinBrokenLines(std::string_view(corpus().gbk)));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * corpus().gbk.size()));
}

// The plain way: a vector of lines, then appending.
void joinLineByLine(benchmark::State& state) {
    const std::string& src = corpus().gbk;
    for (auto _ : state) {
        std::string out;
        for (const auto line : splitLines(src)) {
            out += line;
            if (endsWithLineEndMark(line)) out += "\r\n";
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * src.size()));
}

// Keeps each run's throughput for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> bytesPerSecond;
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const auto& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end()) bytesPerSecond[run.benchmark_name()] = it->second;
        }
    }
};

}  // namespace
}  // namespace prelivo::bench

int main(int argc, char** argv) {
    using namespace prelivo;
    using namespace prelivo::bench;
    const Corpus& c = corpus();
    std::printf("corpus: %zu bytes code page 936, %zu bytes UTF-16, %zu bytes UTF-8\n", c.gbk.size(),
                c.wide.size() * 2, c.utf8.size());

    benchmark::RegisterBenchmark("memcpy/gbk", [&](benchmark::State& s) { memcpyOf(s, c.gbk); });
    benchmark::RegisterBenchmark("memcpy/utf16", [&](benchmark::State& s) { memcpyOf(s, c.wide); });
    benchmark::RegisterBenchmark("memcpy/utf8", [&](benchmark::State& s) { memcpyOf(s, c.utf8); });
    benchmark::RegisterBenchmark("join/gbk", [&](benchmark::State& s) { joinWhole<Gbk>(s, c.gbk); });
    benchmark::RegisterBenchmark("join/utf16", [&](benchmark::State& s) { joinWhole<Utf16>(s, c.wide); });
    benchmark::RegisterBenchmark("join/utf8", [&](benchmark::State& s) { joinWhole<Utf8>(s, c.utf8); });
    benchmark::RegisterBenchmark("stream64k/gbk", [&](benchmark::State& s) { joinChunked<Gbk>(s, c.gbk); });
    benchmark::RegisterBenchmark("stream64k/utf16", [&](benchmark::State& s) { joinChunked<Utf16>(s, c.wide); });
    benchmark::RegisterBenchmark("stream64k/utf8", [&](benchmark::State& s) { joinChunked<Utf8>(s, c.utf8); });
    benchmark::RegisterBenchmark("joinBrokenLines/gbk/allocating", joinAllocating);
    benchmark::RegisterBenchmark("lineByLine/gbk", joinLineByLine);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto& r = reporter.bytesPerSecond;
    auto ratio = [&r](const char* what, const char* base, double target) {
        if (!r.count(what) || !r.count(base)) return;
        const double x = r[what] / r[base];
        std::printf("%-32s %8.0f MiB/s  / %-14s %8.0f MiB/s  = %6.2f", what, r[what] / (1 << 20), base,
                    r[base] / (1 << 20), x);
        if (target > 0) std::printf("  (target %.2f: %s)", target, x >= target ? "met" : "MISSED");
        std::printf("\n");
    };
    std::printf("\nratios\n");
    ratio("join/gbk", "memcpy/gbk", 0.5);
    ratio("join/utf16", "memcpy/utf16", 0.5);
    ratio("join/utf8", "memcpy/utf8", 0);
    ratio("stream64k/gbk", "memcpy/gbk", 0.4);
    ratio("stream64k/utf16", "memcpy/utf16", 0.4);
    ratio("stream64k/utf8", "memcpy/utf8", 0.4);
    ratio("joinBrokenLines/gbk/allocating", "memcpy/gbk", 0);
    if (r.count("join/gbk") && r.count("lineByLine/gbk")) {
        const double x = r["join/gbk"] / r["lineByLine/gbk"];
        std::printf("%-32s is %.1f times the line-by-line join (target 10: %s)\n", "join/gbk", x,
                    x >= 10 ? "met" : "MISSED");
    }
    return 0;
}
