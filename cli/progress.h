// What a run tells the user while it works: failures and notes per frame, a progress bar on a
// terminal, and a summary at the end. All output goes to standard error.
#pragma once

#include "frame_job.h"

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <mutex>
#include <string>

struct RunReport {
    size_t total = 0;   // frames to smooth
    size_t skipped = 0; // frames left alone as already done, beside total
    size_t done = 0;
    size_t failed = 0;
    size_t pixels = 0;
    size_t changedPixels = 0;
    bool drawBar = false;
    bool quiet = false;
    std::FILE* stream = stderr;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDraw{};
    bool barShown = false;
    std::mutex mutex; // frames finish on several job threads
};

// Records one finished frame; thread-safe.
void reportFrame(RunReport& report, const FrameTask& task, const FrameOutcome& outcome);

// Clears the bar and prints the summary unless quiet.
void finishReport(RunReport& report, bool interrupted);

// One line of at most columns characters: bar, frames done, frames per second, time left.
std::string progressLine(size_t done, size_t total, double seconds, int columns);

// "1h02m", "3m05s", "12s".
std::string formatDuration(double seconds);

// "1,234,567".
std::string groupThousands(size_t value);
