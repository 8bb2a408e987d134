// The machine-readable account of a run (--report): every frame with its paths, what became of
// it and why, and the totals, as JSON for the scripts that drive render farms.
#pragma once

#include "coverage_pass.h"
#include "frame_plan.h"

#include <cstddef>
#include <string>
#include <vector>

enum class FrameStatus { NotStarted, Smoothed, Skipped, Failed };

// "not-started", "smoothed", "skipped", "failed": the names the report uses.
const char* statusName(FrameStatus status);

struct FrameRecord {
    FrameStatus status = FrameStatus::NotStarted;
    std::string error; // why the frame failed
    std::string note;  // what the user should know about a frame that was written
    size_t pixels = 0;
    size_t changedPixels = 0;
    double seconds = 0;
};

struct RunSummary {
    int exitStatus = 0;
    bool interrupted = false;
    double seconds = 0;
    SmoothingQuality quality = SmoothingQuality::Standard; // the method every frame was given
};

// The bytes as a JSON string, quotes included. UTF-8 passes through; each byte that is not part
// of valid UTF-8 becomes \udc80..\udcff, the escape that Python's surrogateescape error handler
// (and so os.fsencode) turns back into the same byte; control characters are escaped.
std::string jsonString(const std::string& bytes);

// The whole report, one frame per line, frames in the order of the run's plan.
std::string reportJson(const std::vector<FrameTask>& tasks, const std::vector<FrameRecord>& records,
                       const RunSummary& summary);

// Refuses a report path that does not end in .json (it could be a frame of the shot that another
// chunk writes), that is a folder or one of the run's inputs or results, or whose folder does not
// exist. False with a usage error.
bool checkReportPath(const std::string& path, const std::vector<FrameTask>& tasks,
                     std::string& error);

// Writes the report atomically at path, or to standard output for "-". False with a reason.
bool writeReport(const std::string& path, const std::string& json, std::string& error);
