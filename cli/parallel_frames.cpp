// The job pool.
#include "parallel_frames.h"

#include <algorithm>
#include <thread>
#include <vector>

size_t forEachInParallel(size_t count, unsigned jobs, const std::function<void(size_t)>& work,
                         const std::atomic<bool>& stop) {
    std::atomic<size_t> next{0};
    std::atomic<size_t> started{0};
    auto worker = [&] {
        while (!stop.load()) {
            const size_t index = next.fetch_add(1);
            if (index >= count)
                return;
            started.fetch_add(1);
            work(index);
        }
    };
    const size_t threads = std::min<size_t>(std::max(1u, jobs), count);
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(worker);
    worker();
    for (std::thread& helper : helpers)
        helper.join();
    return started.load();
}
