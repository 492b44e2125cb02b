#include "mapped_join.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace prelivo::cli {
namespace {

constexpr std::size_t kNone = SIZE_MAX;
constexpr std::uint64_t kNowhere = UINT64_MAX;
constexpr std::uint64_t kUnknown = UINT64_MAX - 1;

// The offset just past the first LF in the n bytes at p, or kNone; p is on
// a unit boundary for UTF-16. Whatever that LF is (a line break, a lone LF
// that crlf takes as a character, a GBK trail byte, or part of a fault the
// check will find), it ends a character, and one that is no mark. So a
// checker or joiner that starts afresh just past it goes on exactly as one
// that has read all the text before: the line before either ends there or
// goes on without a mark at its end so far.
std::size_t findCut(const unsigned char* p, std::size_t n, Encoding encoding) {
    if (encoding == Encoding::utf16le) {
        for (std::size_t i = 0; i + 1 < n; i += 2) {
            if (p[i] == '\n' && p[i + 1] == 0) return i + 2;
        }
        return kNone;
    }
    const void* lf = std::memchr(p, '\n', n);
    return lf ? static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - p) + 1 : kNone;
}

class MappedRun {
public:
    MappedRun(const MappedJob& job, System& system, const Tuning& tuning)
        : input_(job.input), system_(system), name_(job.name), encoding_(job.encoding),
          chunk_(tuning.chunk), span_(tuning.span), start_(job.extent.position), end_(job.extent.size),
          base_(start_ - start_ % chunk_), chunks_(static_cast<std::size_t>((end_ - base_ + chunk_ - 1) / chunk_)) {
        unsigned threads = tuning.threads;
        if (threads == 0) threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        threads_ = static_cast<unsigned>(std::min<std::size_t>(threads, chunks_));
        for (std::size_t k = 0; k < chunks_; ++k) starts_[k] = kUnknown;
    }

    bool mappable() {
        try {
            return input_.map(target(0), windowLength(0)) != nullptr;
        } catch (const IoError&) {
            return false;
        }
    }

    // The first pass: the encoding checked, and a CR LF pair looked for.
    // Returns whether one was found.
    bool check(bool search) {
        inParallel(false, [this, search](std::size_t k) { checkChunk(k, search); });
        return foundCrLf_;
    }

    void join(LineBreak lineBreak) {
        switch (encoding_) {
        case Encoding::utf8: joinAll<Utf8>(lineBreak); break;
        case Encoding::gbk: joinAll<Gbk>(lineBreak); break;
        case Encoding::utf16le: joinAll<Utf16>(lineBreak); break;
        }
    }

private:
    // One chunk's mapped window: from its planned start to a span past the
    // next chunk's, so that the next chunk's start can be found in it.
    struct Window {
        std::unique_ptr<MappedBytes> bytes;
        std::uint64_t offset = 0;
        const unsigned char* at(std::uint64_t position) const {
            return reinterpret_cast<const unsigned char*>(bytes->data()) + (position - offset);
        }
    };

    std::uint64_t target(std::size_t k) const { return base_ + std::uint64_t{k} * chunk_; }
    std::size_t windowLength(std::size_t k) const {
        return static_cast<std::size_t>(std::min(end_, target(k + 1) + span_) - target(k));
    }

    Window window(std::size_t k) {
        Window w;
        w.offset = target(k);
        try {
            w.bytes = input_.map(w.offset, windowLength(k));
        } catch (const IoError& e) {
            throw Failure{name_ + ": read error: " + e.what()};
        }
        if (!w.bytes) throw Failure{name_ + ": read error: the file can no longer be mapped"};
        return w;
    }

    // Runs read over mapped bytes, turning a fault there into a message.
    template <class Read>
    void guard(Read&& read) {
        if (!system_.readMapped(read)) throw Failure{name_ + ": the file became shorter while being read"};
    }

    // Where chunk k starts, found in w, or kNowhere when no LF lies near
    // enough and the chunk before runs on through it. Both the thread that
    // takes chunk k and the one whose chunk runs up to it ask; whichever
    // finds it first decides for both, so that a file changing under the
    // run cannot leave them disagreeing and waiting for each other.
    std::uint64_t chunkStart(const Window& w, std::size_t k) {
        if (k == 0) return start_;
        std::uint64_t decided = starts_[k].load();
        if (decided != kUnknown) return decided;
        const std::uint64_t from = target(k);
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(span_, end_ - from));
        std::size_t cut = kNone;
        guard([&] { cut = findCut(w.at(from), n, encoding_); });
        const std::uint64_t found = cut == kNone || from + cut >= end_ ? kNowhere : from + cut;
        return starts_[k].compare_exchange_strong(decided, found) ? found : decided;
    }

    // Hands the chunk from s, in w, to piece(bytes, count), a window at
    // most at a time, up to where the next chunk starts. Returns that
    // chunk's index, chunks_ at the end of the text, or kNone when piece
    // returned false or the run was stopped.
    template <class Piece>
    std::size_t walk(std::size_t k, std::uint64_t s, Window w, Piece&& piece) {
        std::uint64_t position = s;
        for (std::size_t j = k;; ++j) {
            if (j + 1 == chunks_) return piece(w.at(position), static_cast<std::size_t>(end_ - position)) ? chunks_ : kNone;
            // A chunk may start past the next one's planned start (with a
            // span longer than a chunk, in the tests); the next one then
            // starts just past the same LF, or, in a file changing under
            // the run, even before it.
            const std::uint64_t next = chunkStart(w, j + 1);
            const std::uint64_t stop = std::max(position, next != kNowhere ? next : target(j + 1));
            if (!piece(w.at(position), static_cast<std::size_t>(stop - position))) return kNone;
            if (next != kNowhere) return j + 1;
            if (abandoned(k)) return kNone;
            position = stop;
            w = window(j + 1);
        }
    }

    void checkChunk(std::size_t k, bool search) {
        Window w = window(k);
        const std::uint64_t s = chunkStart(w, k);
        if (s == kNowhere) return;
        Checker checker(encoding_, search);
        checker.beginFile(name_, s - start_);
        const std::size_t next = walk(k, s, std::move(w), [&](const unsigned char* p, std::size_t n) {
            guard([&] { checker.feed(reinterpret_cast<const char*>(p), n); });
            if (checker.foundCrLf()) foundCrLf_ = true;
            if (foundCrLf_ && encoding_ != Encoding::utf8) {
                stop();  // nothing else is looked for
                return false;
            }
            return true;
        });
        if (next == chunks_) checker.finish();
    }

    template <class Enc>
    void joinAll(LineBreak lineBreak) {
        inParallel(true, [this, lineBreak, out = std::vector<typename Enc::Unit>()](std::size_t k) mutable {
            joinChunk<Enc>(k, lineBreak, out);
        });
    }

    // Joins the chunk into out and writes it when the chunks before it are
    // written. A chunk too long for out (no LF near the next chunk's
    // planned start) waits for its turn and writes as it goes.
    template <class Enc>
    void joinChunk(std::size_t k, LineBreak lineBreak, std::vector<typename Enc::Unit>& out) {
        using Joiner = LineJoiner<Enc>;
        using Unit = typename Enc::Unit;
        Window w = window(k);
        const std::uint64_t s = chunkStart(w, k);
        if (s == kNowhere) return;
        if (out.empty()) out.resize(Joiner::maxOutput((chunk_ + span_) / sizeof(Unit)) + Joiner::FINISH_OUTPUT);
        Joiner joiner(lineBreak);
        std::size_t used = 0;
        bool myTurn = false;
        const auto flush = [&] {
            if (!myTurn && !awaitTurn(k)) return false;
            myTurn = true;
            write(out.data(), used);
            used = 0;
            return true;
        };
        const std::size_t next = walk(k, s, std::move(w), [&](const unsigned char* p, std::size_t n) {
            const std::size_t units = n / sizeof(Unit);
            if (used + Joiner::maxOutput(units) > out.size() && !flush()) return false;
            guard([&] {
                const Unit* in = reinterpret_cast<const Unit*>(p);
                used = static_cast<std::size_t>(joiner.feed({in, units}, out.data() + used) - out.data());
            });
            return true;
        });
        if (next == kNone) return;
        if (used + Joiner::FINISH_OUTPUT > out.size() && !flush()) return;
        used = static_cast<std::size_t>(joiner.finish(out.data() + used) - out.data());
        if (!myTurn && !awaitTurn(k)) return;
        write(out.data(), used);
        passTurn(next);
    }

    template <class Unit>
    void write(const Unit* units, std::size_t count) {
        try {
            system_.writeOut(std::string_view(reinterpret_cast<const char*>(units), count * sizeof(Unit)));
        } catch (const IoError& e) {
            throw Failure{std::string("write error: ") + e.what()};
        }
    }

    // Runs work on every chunk, on threads_ threads, the calling one among
    // them; rethrows the failure of the earliest chunk that failed. A
    // failed check lets the chunks before it go on, since one of them may
    // hold an earlier fault; a failed join stops everything.
    template <class Work>
    void inParallel(bool joining, Work work) {
        next_ = 0;
        last_ = kNone;
        stopped_ = false;
        turn_ = 0;
        failedChunk_ = kNone;
        failure_ = nullptr;
        auto loop = [this, joining, work]() mutable {
            for (std::size_t k; (k = claim()) != kNone;) {
                try {
                    work(k);
                } catch (...) {
                    fail(k, joining);
                }
            }
        };
        std::vector<std::thread> helpers;
        for (unsigned i = 1; i < threads_; ++i) {
            try {
                helpers.emplace_back(loop);
            } catch (const std::system_error&) {
                break;  // the threads there are will do
            }
        }
        loop();
        for (std::thread& t : helpers) t.join();
        if (failure_) std::rethrow_exception(failure_);
    }

    std::size_t claim() {
        const std::size_t k = next_.fetch_add(1);
        return k < chunks_ && !abandoned(k) ? k : kNone;
    }
    bool abandoned(std::size_t k) const { return stopped_ || k > last_; }

    void fail(std::size_t k, bool everything) {
        {
            std::lock_guard lock(mutex_);
            if (k < failedChunk_) {
                failedChunk_ = k;
                failure_ = std::current_exception();
            }
            if (everything) stopped_ = true;
            if (k < last_) last_ = k;
        }
        turnMoved_.notify_all();
    }

    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopped_ = true;
        }
        turnMoved_.notify_all();
    }

    bool awaitTurn(std::size_t k) {
        std::unique_lock lock(mutex_);
        turnMoved_.wait(lock, [&] { return turn_ == k || stopped_; });
        return !stopped_;
    }

    void passTurn(std::size_t next) {
        {
            std::lock_guard lock(mutex_);
            turn_ = next;
        }
        turnMoved_.notify_all();
    }

    Input& input_;
    System& system_;
    const std::string name_;
    const Encoding encoding_;
    const std::size_t chunk_;
    const std::size_t span_;
    const std::uint64_t start_;
    const std::uint64_t end_;
    const std::uint64_t base_;  // chunk k's planned start is base_ + k * chunk_
    const std::size_t chunks_;
    unsigned threads_ = 1;
    const std::unique_ptr<std::atomic<std::uint64_t>[]> starts_{new std::atomic<std::uint64_t>[chunks_]};

    std::atomic<std::size_t> next_{0};    // the next chunk to claim
    std::atomic<std::size_t> last_{kNone};  // chunks after it are not needed
    std::atomic<bool> stopped_{false};    // no chunk is needed
    std::atomic<bool> foundCrLf_{false};
    std::mutex mutex_;
    std::condition_variable turnMoved_;
    std::size_t turn_ = 0;  // the chunk whose output goes next
    std::size_t failedChunk_ = kNone;
    std::exception_ptr failure_;
};

}  // namespace

bool joinMapped(const MappedJob& job, System& system, const Tuning& tuning) {
    if (job.extent.size <= job.extent.position || tuning.chunk == 0) return false;
    if (job.encoding == Encoding::utf16le &&
        (std::endian::native != std::endian::little || job.extent.position % 2 != 0 ||
         (job.extent.size - job.extent.position) % 2 != 0)) {
        return false;  // units taken in place must be whole and aligned; the plain way reports an odd length
    }
    MappedRun run(job, system, tuning);
    if (!run.mappable()) return false;
    bool crlf = job.lineBreak == LineBreak::crlf;
    if (job.encoding == Encoding::utf8 || !job.lineBreak) {
        const bool found = run.check(!job.lineBreak);
        if (!job.lineBreak) crlf = found;
    }
    run.join(crlf ? LineBreak::crlf : LineBreak::lf);
    return true;
}

}  // namespace prelivo::cli
