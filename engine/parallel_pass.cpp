// The banded parallel pass.
//
// Classification and run measurement read only the input, so bands of rows can be scanned at the
// same time. Each band applies the writes that land in its own rows at once and logs every write
// it makes. The sequential result is then restored row region by row region: a region whose pixels
// a band above also wrote has those pixels reset to their input and rebuilt from the logs in band
// order (the band above's writes first, then the region's own); writes from bands below are
// applied last, again in band order. Each output pixel thus sees its writes in scan order, and a
// merge gives the same value as in the sequential pass because a written value never depends on
// the output buffer.
#include "parallel_pass.h"

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

constexpr OSErr outOfMemory = -108; // the host's memFullErr

// Calls work(worker) on `threads` threads, the calling thread included, and waits for all.
// Fewer threads run when the system refuses to start more.
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

template <typename Sample> struct Region {
    std::vector<RecordedWrite<Sample>> fromAbove; // in band order, then scan order
    std::vector<RecordedWrite<Sample>> fromBelow;
};

template <typename Sample> class BandedScan {
  public:
    BandedScan(SmoothingEngine<Sample>& engine, int32_t bandRows)
        : engine_(engine), window_(engine.window()), bandRows_(std::max(1, bandRows)) {
        const VRect& bounds = window_.bounds();
        const int32_t rows = std::max(0, bounds.bottom - bounds.top);
        const int32_t bands = (rows + bandRows_ - 1) / bandRows_;
        logs_.resize(size_t(bands));
        regions_.resize(size_t(bands));
        for (int32_t b = 0; b < bands; ++b) {
            logs_[size_t(b)].top = bounds.top + b * bandRows_;
            logs_[size_t(b)].bottom = std::min(bounds.bottom, bounds.top + (b + 1) * bandRows_);
        }
    }

    void run(int threads) {
        WorkCounter bands(bandCount());
        onThreads(threads, [&] { guarded([&] { scanBands(bands); }); });
        sortForeignWrites();
        WorkCounter regions(bandCount());
        onThreads(threads, [&] { guarded([&] { settleRegions(regions); }); });
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

    // Files every write into another band's rows under that band's region, keeping band order.
    void sortForeignWrites() {
        for (int32_t b = 0; b < bandCount(); ++b) {
            for (const RecordedWrite<Sample>& write : logs_[size_t(b)].foreign) {
                Region<Sample>& region = regions_[size_t(bandOf(write.y))];
                (bandOf(write.y) > b ? region.fromAbove : region.fromBelow).push_back(write);
            }
        }
    }

    void settleRegions(WorkCounter& regions) {
        std::vector<int64_t> rebuilt;
        for (int32_t r; regions.take(r);) {
            const Region<Sample>& region = regions_[size_t(r)];
            if (!region.fromAbove.empty())
                rebuild(region.fromAbove, logs_[size_t(r)].own, rebuilt);
            for (const RecordedWrite<Sample>& write : region.fromBelow)
                apply(write);
        }
    }

    // Resets the pixels that bands above wrote and replays their writes, then the region's own
    // writes to those pixels.
    void rebuild(const std::vector<RecordedWrite<Sample>>& fromAbove,
                 const std::vector<RecordedWrite<Sample>>& own, std::vector<int64_t>& rebuilt) {
        rebuilt.clear();
        for (const RecordedWrite<Sample>& write : fromAbove)
            rebuilt.push_back(key(write));
        std::sort(rebuilt.begin(), rebuilt.end());
        rebuilt.erase(std::unique(rebuilt.begin(), rebuilt.end()), rebuilt.end());
        for (const RecordedWrite<Sample>& write : fromAbove) {
            const Sample* input = window_.inputPixelInside(write.x, write.y);
            std::copy(input, input + 4, window_.outputPixelInside(write.x, write.y));
        }
        for (const RecordedWrite<Sample>& write : fromAbove)
            apply(write);
        for (const RecordedWrite<Sample>& write : own) {
            if (std::binary_search(rebuilt.begin(), rebuilt.end(), key(write)))
                apply(write);
        }
    }

    int64_t key(const RecordedWrite<Sample>& write) const {
        return (int64_t{write.y} << 32) + (int64_t{write.x} - window_.bounds().left);
    }

    void apply(const RecordedWrite<Sample>& write) const {
        applyWrite(window_.outputPixelInside(write.x, write.y), window_.inputPixelInside(write.x, write.y),
                   write.kind, write.value.data());
    }

    SmoothingEngine<Sample>& engine_;
    const ImageWindow<Sample>& window_;
    int32_t bandRows_;
    std::vector<BandWriteLog<Sample>> logs_;
    std::vector<Region<Sample>> regions_;
    std::mutex failureMutex_;
    std::exception_ptr failure_;
};

template <typename Sample>
OSErr runBanded(FilterRecord& record, const FilterParameters& parameters, int threads, int32_t bandRows) {
    try {
        return runFilterPassWithScan<Sample>(record, parameters, [&](SmoothingEngine<Sample>& engine) {
            BandedScan<Sample>(engine, bandRows).run(std::max(1, threads));
        });
    } catch (const std::bad_alloc&) {
        return outOfMemory;
    }
}

// Bands small enough that every thread gets several (uneven line art balances out), large enough
// that few writes cross a band border.
int32_t defaultBandRows(const FilterRecord& record, int threads) {
    const VRect bounds = filterBounds(record);
    const int32_t rows = std::max(1, bounds.bottom - bounds.top);
    return std::max(16, rows / (8 * std::max(1, threads)));
}

} // namespace

OSErr runFilterPassBanded(FilterRecord& record, const FilterParameters& parameters, int threads,
                          int32_t bandRows) {
    switch (record.depth) {
    case 8:
        return runBanded<uint8_t>(record, parameters, threads, bandRows);
    case 16:
        return runBanded<uint16_t>(record, parameters, threads, bandRows);
    default:
        return filterBadMode;
    }
}

OSErr runFilterPassParallel(FilterRecord& record, const FilterParameters& parameters, int threads) {
    if (threads <= 1)
        return runFilterPassForDepth(record, parameters);
    return runFilterPassBanded(record, parameters, threads, defaultBandRows(record, threads));
}
