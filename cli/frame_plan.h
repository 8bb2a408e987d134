// What one run does: every input expanded into frames (files and sequences in the pipeline's
// naming), each with the paths it is written to.
#pragma once

#include "options.h"

#include <cstdint>
#include <string>
#include <vector>

// A frame number field in a file name: a run of '#' (shot.####.png) or a printf field
// (shot.%04d.png, shot.%d.png), padded with zeros to its width.
struct FrameField {
    size_t position = 0; // in the whole path
    size_t length = 0;
    int width = 0;
};

// The last frame field of the path's file name, if there is one.
bool findFrameField(const std::string& path, FrameField& field);

// The path with the field replaced by the frame number.
std::string frameName(const std::string& path, const FrameField& field, int64_t frame);

struct FrameTask {
    std::string input;
    std::string output;
    std::string compare; // empty: no comparison picture
    std::string error;   // set when the frame cannot even be attempted
};

// Expands the inputs into frames. False with a usage error (which names the option) when the
// options do not fit together; a pattern that matches no frame on disk becomes a failing task.
bool planFrames(const Options& options, std::vector<FrameTask>& tasks, std::string& error);

// Refuses (false, with both names in error) any output or comparison picture that is one of the
// tasks' inputs, whatever its spelling (links, '..'), except a frame's own input under
// --in-place; any two outputs that are one file; an existing output that is not a regular file
// or folder; and an output in a format that cannot hold a result without loss. Tasks with an
// empty input have none.
bool checkOutputs(const std::vector<FrameTask>& tasks, bool inPlace, std::string& error);

// Whether every file the task writes already exists whole, so that a resumed run may leave the
// frame alone. This tool's outputs appear only whole, but a file put there by anything else may
// be empty or cut short: a PNG counts when it has its signature, a header of the input's size
// and its final chunk; any other format when its header reads. When a file exists but is not
// whole, why says so and the frame is to be done again.
bool frameAlreadyDone(const FrameTask& task, std::string& why);
