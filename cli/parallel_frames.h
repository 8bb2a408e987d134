// Frames smoothed side by side on std::thread workers. Each frame is independent of the
// others, so the outputs do not depend on how many run at once.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>

// Calls work(i) once for each i below count, on up to jobs threads (the calling thread among
// them), taking indices in order. Once stop is set no further index is started. Returns how many
// were started.
size_t forEachInParallel(size_t count, unsigned jobs, const std::function<void(size_t)>& work,
                         const std::atomic<bool>& stop);
