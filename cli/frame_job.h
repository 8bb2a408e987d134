// One frame from file to file: read, smooth through the frame host, write the result and, when
// asked, the comparison picture.
#pragma once

#include "coverage_pass.h"
#include "frame_plan.h"
#include "image_file.h"

#include <cstddef>
#include <string>

struct FrameOutcome {
    bool ok = false;
    std::string error; // why the frame failed
    std::string note;  // what the user should know about a frame that was written
    size_t pixels = 0;
    size_t changedPixels = 0;
};

// Both fail the frame, never the run: whatever a frame's reading, smoothing or writing throws
// (out of memory, a codec's exception) becomes the outcome's error.

// Smooths an image already in memory and writes what the task asks for.
// passThreads: threads for the pass over a large frame.
FrameOutcome smoothImage(DecodedImage& image, const FrameTask& task,
                         const FilterParameters& parameters, unsigned passThreads = 1,
                         const EncodeSettings& encode = {},
                         SmoothingQuality quality = SmoothingQuality::Standard);

// Reads the task's input (refusing images of more than maxPixels pixels), then as smoothImage.
FrameOutcome smoothFile(const FrameTask& task, const FilterParameters& parameters,
                        unsigned passThreads = 1, const EncodeSettings& encode = {},
                        uint64_t maxPixels = defaultMaxPixels,
                        SmoothingQuality quality = SmoothingQuality::Standard);
