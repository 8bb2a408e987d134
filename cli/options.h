// The command line of tovrin-smooth: options, their bounds, and the help text.
#pragma once

#include "coverage_pass.h"
#include "filter_pass.h"
#include "image_codec.h"

#include <cstdint>
#include <string>
#include <vector>

struct FrameRange {
    int64_t first = 0;
    int64_t last = 0;
};

// The default pixel limit of an input: a 16K frame (15360 x 8640) passes, with room to spare.
constexpr uint64_t defaultMaxPixels = uint64_t(16384) * 16384;
constexpr uint64_t maxMaxPixels = uint64_t(1) << 40;

struct Options {
    FilterParameters filter;         // the dialog's options, same bounds and defaults
    std::vector<std::string> inputs; // files and sequence patterns; none: the sample cel
    std::vector<FrameRange> frames;  // --frames; empty: every frame found on disk
    std::string output;              // -o FILE
    std::string outDir;              // --out-dir DIR
    bool inPlace = false;
    std::string compare;                   // --compare FILE
    uint64_t maxPixels = defaultMaxPixels; // --max-pixels: larger inputs fail their frame
    unsigned jobs = 0;                     // 0: one per core
    unsigned threads = 0;                  // threads per large frame; 0: the cores left to each job
    bool progress = false;                 // draw progress also when stderr is not a terminal
    bool quiet = false;

    // --quality: the plug-in's filter (the default) or learned edge coverage.
    SmoothingQuality quality = SmoothingQuality::Standard;

    // Farm tasks: resuming a chunk, a report for the task's wrapper, storage.
    bool skipExisting = false; // --skip-existing: leave frames whose outputs all exist
    std::string report;        // --report FILE.json, "-" for standard output; empty: none
    EncodeSettings encode;     // --png-compression
};

enum class ParseResult { Run, Help, Version, UsageError };

// Parses argv. On UsageError, error names the option and what it accepts.
ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// "1-240", "12", "1-10,20,31-40": frame numbers from 0 up. False with a reason in error.
bool parseFrameRanges(const std::string& text, std::vector<FrameRange>& ranges, std::string& error);

// "R,G,B" with each 0..255, or "#RRGGBB". False with a reason in error.
bool parseKeyColour(const std::string& text, FilterParameters& filter, std::string& error);

// "standard" or "high", the names --quality takes and the report gives.
const char* qualityName(SmoothingQuality quality);

extern const char* const programName;
extern const char* const programVersion;
const char* helpText();
