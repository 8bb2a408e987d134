// The banded parallel pass.
//
// Classification and run measurement read only the input, so bands of rows can be scanned at the
// same time. A band applies its writes into its own rows at once, except in its first few rows,
// where writes from the band above usually land and must come first: those it keeps for later,
// like its writes into other bands' rows. Then each band's region is settled: the writes from
// bands above, the region's kept writes, and the writes from bands below, each in band order and
// scan order. A write from above that lands deeper than the kept rows meets a pixel the region has
// already written; such pixels are reset to their input, and the band is scanned once more to
// recover its own writes to them. Each output pixel thus sees its writes in scan order, and every
// merge gives the sequential value because a written value never depends on the output buffer.
#include "parallel_pass.h"

#include "sample_depth.h"
#include "smoothing_engine.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Calls work() on `threads` threads, the calling thread included, and waits for all. Fewer
// threads run when the system refuses to start more.
template <typename Work> void onThreads(int threads, Work work) {
    std::vector<std::thread> pool;
    for (int i = 1; i < threads; ++i) {
        try {
            pool.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& thread : pool)
        thread.join();
}

// Hands out 0, 1, 2, ... below a limit to whichever thread asks next.
class WorkCounter {
  public:
    explicit WorkCounter(int32_t limit) : limit_(limit) {}
    bool take(int32_t& item) {
        item = next_.fetch_add(1, std::memory_order_relaxed);
        return item < limit_;
    }

  private:
    std::atomic<int32_t> next_{0};
    int32_t limit_;
};

template <typename Sample> using WriteList = std::vector<RecordedWrite<Sample>>;

// Writes that other bands made into one band's rows, in band order and scan order.
template <typename Sample> struct ForeignWrites {
    WriteList<Sample> fromAbove;
    WriteList<Sample> fromBelow;
};

template <typename Sample> class BandedScan {
  public:
    BandedScan(SmoothingEngine<Sample>& engine, const BandLayout& layout)
        : engine_(engine), window_(engine.window()), bandRows_(std::max(1, layout.bandRows)) {
        const VRect& bounds = window_.bounds();
        const int32_t rows = std::max(0, bounds.bottom - bounds.top);
        const int32_t bands = (rows + bandRows_ - 1) / bandRows_;
        logs_.resize(size_t(bands));
        foreign_.resize(size_t(bands));
        for (int32_t b = 0; b < bands; ++b) {
            BandWriteLog<Sample>& log = logs_[size_t(b)];
            log.top = bounds.top + b * bandRows_;
            log.bottom = std::min(bounds.bottom, log.top + bandRows_);
            // Nothing lies above the first band: it applies everything at once.
            const int32_t deferred = b == 0 ? 0 : std::clamp(layout.deferredRows, 0, bandRows_);
            log.deferredBottom = std::min(log.bottom, log.top + deferred);
        }
    }

    void run(int threads) {
        // A thread beyond one per band would find no work.
        threads = std::clamp(threads, 1, std::max(1, bandCount()));
        WorkCounter bands(bandCount());
        onThreads(threads, [&] { guarded([&] { scanBands(bands); }); });
        if (!failure_) {
            sortForeignWrites();
            WorkCounter regions(bandCount());
            onThreads(threads, [&] { guarded([&] { settleRegions(regions); }); });
        }
        if (failure_)
            std::rethrow_exception(failure_);
    }

  private:
    int32_t bandCount() const { return static_cast<int32_t>(logs_.size()); }
    int32_t bandOf(int32_t y) const { return (y - window_.bounds().top) / bandRows_; }

    template <typename Work> void guarded(Work work) {
        try {
            work();
        } catch (...) {
            std::lock_guard<std::mutex> lock(failureMutex_);
            if (!failure_)
                failure_ = std::current_exception();
        }
    }

    void scanBands(WorkCounter& bands) {
        SmoothingEngine<Sample> engine(engine_.filterRecord, engine_.smoothRange);
        for (int32_t b; bands.take(b);) {
            BandWriteLog<Sample>& log = logs_[size_t(b)];
            engine.recordWritesInto(&log);
            engine.scanRows(log.top, log.bottom);
        }
    }

    void sortForeignWrites() {
        for (int32_t b = 0; b < bandCount(); ++b) {
            for (const RecordedWrite<Sample>& write : logs_[size_t(b)].foreign) {
                const int32_t target = bandOf(write.y);
                ForeignWrites<Sample>& into = foreign_[size_t(target)];
                (target > b ? into.fromAbove : into.fromBelow).push_back(write);
            }
        }
    }

    void settleRegions(WorkCounter& regions) {
        SmoothingEngine<Sample> engine(engine_.filterRecord, engine_.smoothRange);
        std::vector<int64_t> deepPixels;
        for (int32_t r; regions.take(r);) {
            const BandWriteLog<Sample>& log = logs_[size_t(r)];
            const ForeignWrites<Sample>& foreign = foreign_[size_t(r)];
            const WriteList<Sample> ownDeep =
                recoverDeepWrites(engine, log, foreign.fromAbove, deepPixels);
            applyAll(foreign.fromAbove);
            applyAll(log.kept);
            applyAll(ownDeep);
            applyAll(foreign.fromBelow);
        }
    }

    // For the pixels below the kept rows that bands above wrote: resets them to their input and
    // returns the band's own writes to them, found by scanning the band again.
    WriteList<Sample> recoverDeepWrites(SmoothingEngine<Sample>& engine,
                                        const BandWriteLog<Sample>& log,
                                        const WriteList<Sample>& fromAbove,
                                        std::vector<int64_t>& deepPixels) {
        deepPixels.clear();
        for (const RecordedWrite<Sample>& write : fromAbove) {
            if (write.y >= log.deferredBottom)
                deepPixels.push_back(pixelKey(write.x, write.y));
        }
        if (deepPixels.empty())
            return {};
        std::sort(deepPixels.begin(), deepPixels.end());
        deepPixels.erase(std::unique(deepPixels.begin(), deepPixels.end()), deepPixels.end());
        for (const RecordedWrite<Sample>& write : fromAbove) {
            if (write.y >= log.deferredBottom) {
                const Sample* input = window_.inputPixelInside(write.x, write.y);
                std::copy(input, input + 4, window_.outputPixelInside(write.x, write.y));
            }
        }
        BandWriteLog<Sample> again;
        again.top = log.top;
        again.bottom = log.bottom;
        again.onlyPixels = &deepPixels;
        engine.recordWritesInto(&again);
        engine.scanRows(log.top, log.bottom);
        return std::move(again.kept);
    }

    void applyAll(const WriteList<Sample>& writes) const {
        for (const RecordedWrite<Sample>& write : writes) {
            applyWrite(window_.outputPixelInside(write.x, write.y),
                       window_.inputPixelInside(write.x, write.y), write.kind, write.value.data());
        }
    }

    SmoothingEngine<Sample>& engine_;
    const ImageWindow<Sample>& window_;
    int32_t bandRows_;
    std::vector<BandWriteLog<Sample>> logs_;
    std::vector<ForeignWrites<Sample>> foreign_;
    std::mutex failureMutex_;
    std::exception_ptr failure_;
};

template <typename Sample>
OSErr runBanded(FilterRecord& record, const FilterParameters& parameters, int threads,
                const BandLayout& layout) {
    try {
        return runFilterPassWithScan<Sample>(
            record, parameters, [&](SmoothingEngine<Sample>& engine) {
                BandedScan<Sample>(engine, layout).run(std::max(1, threads));
            });
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

// Several bands per thread, so that uneven line art balances out; tall enough that the kept
// leading rows are a small share of each band. Writes from above rarely reach deeper than a few
// dozen rows (half the longest staircase run of a steep line).
BandLayout defaultLayout(const FilterRecord& record, int threads) {
    const VRect bounds = filterBounds(record);
    const int32_t rows = std::max(1, bounds.bottom - bounds.top);
    BandLayout layout;
    layout.bandRows = std::max(64, rows / (4 * threads));
    layout.deferredRows = 48;
    return layout;
}

} // namespace

OSErr runFilterPassBanded(FilterRecord& record, const FilterParameters& parameters, int threads,
                          const BandLayout& layout) {
    return withSampleType(record.depth, [&]<typename Sample>(SampleTag<Sample>) {
        return runBanded<Sample>(record, parameters, threads, layout);
    });
}

OSErr runFilterPassParallel(FilterRecord& record, const FilterParameters& parameters, int threads) {
    const VRect bounds = filterBounds(record);
    const int64_t pixels =
        int64_t{std::max(0, bounds.right - bounds.left)} * std::max(0, bounds.bottom - bounds.top);
    if (threads <= 1 || pixels < largeFramePixels)
        return runFilterPassForDepth(record, parameters);
    return runFilterPassBanded(record, parameters, threads, defaultLayout(record, threads));
}
