// Sequence expansion and output naming.
#include "frame_plan.h"

#include "platform.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

struct Frame {
    std::string path;
    int64_t number = -1; // -1: a plain file, not part of a sequence
};

std::string paddedNumber(int64_t frame, int width) {
    std::string digits = std::to_string(frame);
    if (int(digits.size()) < width)
        digits.insert(0, size_t(width) - digits.size(), '0');
    return digits;
}

// The files of the pattern's folder that the pattern names, by frame number. A name counts
// only if it is exactly what frameName would give for its number, so shot.01.png is not frame 1
// of shot.####.png.
std::vector<Frame> scanSequence(const std::string& pattern, const FrameField& field) {
    const fs::path patternPath = pathFromUtf8(pattern);
    const std::string name = utf8Name(patternPath.filename());
    const size_t nameStart = pattern.size() - name.size();
    const std::string prefix = name.substr(0, field.position - nameStart);
    const std::string suffix = name.substr(field.position - nameStart + field.length);
    const fs::path folder = patternPath.parent_path();

    std::vector<Frame> frames;
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::string candidate = utf8Name(it->path().filename());
        if (candidate.size() <= prefix.size() + suffix.size() ||
            candidate.compare(0, prefix.size(), prefix) != 0 ||
            candidate.compare(candidate.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string digits =
            candidate.substr(prefix.size(), candidate.size() - prefix.size() - suffix.size());
        if (digits.size() > 18 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const int64_t number = std::stoll(digits);
        if (paddedNumber(number, field.width) == digits)
            frames.push_back({frameName(pattern, field, number), number});
    }
    std::sort(frames.begin(), frames.end(),
              [](const Frame& a, const Frame& b) { return a.number < b.number; });
    return frames;
}

std::string canonicalKey(const std::string& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(pathFromUtf8(path), ec);
    if (ec)
        return path;
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    return utf8Name(ec ? absolute.lexically_normal() : canonical);
}

bool samePlace(const std::string& a, const std::string& b) {
    std::error_code ec;
    if (fs::equivalent(pathFromUtf8(a), pathFromUtf8(b), ec))
        return true;
    return canonicalKey(a) == canonicalKey(b);
}

// -o or --compare: one name for a single frame, or a frame field filled per frame.
bool nameForFrame(const char* option, const std::string& given, const Frame& frame,
                  size_t frameCount, std::string& name, std::string& error) {
    FrameField field;
    if (findFrameField(given, field)) {
        if (frame.number < 0) {
            error = std::string(option) + " '" + given + "' has a frame field, but '" + frame.path +
                    "' is not a frame of a sequence";
            return false;
        }
        name = frameName(given, field, frame.number);
        return true;
    }
    if (frameCount > 1) {
        error = std::string(option) + " names one file but there are " +
                std::to_string(frameCount) +
                " frames: give a name with a frame field (e.g. out.####.png)" +
                (std::string(option) == "-o" ? " or use --out-dir" : "");
        return false;
    }
    name = given;
    return true;
}

bool checkOutputChoice(const Options& options, std::string& error) {
    const int choices =
        int(!options.output.empty()) + int(!options.outDir.empty()) + int(options.inPlace);
    if (choices == 0) {
        error = "no output given: use -o FILE, --out-dir DIR or --in-place";
        return false;
    }
    if (choices > 1) {
        error = "-o, --out-dir and --in-place exclude each other: give one of them";
        return false;
    }
    return true;
}

} // namespace

bool findFrameField(const std::string& path, FrameField& field) {
    // Only the file name counts: a folder may hold '#' or '%'; Windows also separates with
    // backslashes.
    const size_t nameStart = path.size() - utf8Name(pathFromUtf8(path).filename()).size();
    bool found = false;
    for (size_t i = nameStart; i < path.size(); ++i) {
        if (path[i] == '#') {
            size_t end = i;
            while (end < path.size() && path[end] == '#')
                ++end;
            field = {i, end - i, int(end - i)};
            found = true;
            i = end - 1;
        } else if (path[i] == '%') {
            size_t end = i + 1;
            while (end < path.size() && path[end] >= '0' && path[end] <= '9')
                ++end;
            if (end < path.size() && path[end] == 'd' && end - i <= 4) {
                const std::string width = path.substr(i + 1, end - i - 1);
                field = {i, end + 1 - i, width.empty() ? 0 : std::stoi(width)};
                found = true;
                i = end;
            }
        }
    }
    return found;
}

std::string frameName(const std::string& path, const FrameField& field, int64_t frame) {
    std::string name = path;
    name.replace(field.position, field.length, paddedNumber(frame, field.width));
    return name;
}

bool planFrames(const Options& options, std::vector<FrameTask>& tasks, std::string& error) {
    if (!checkOutputChoice(options, error))
        return false;

    std::vector<Frame> frames;
    std::vector<FrameTask> failures;
    bool anySequence = false;
    for (const std::string& input : options.inputs) {
        FrameField field;
        if (!findFrameField(input, field)) {
            frames.push_back({input, -1});
            continue;
        }
        anySequence = true;
        if (!options.frames.empty()) {
            for (const FrameRange& range : options.frames)
                for (int64_t n = range.first; n <= range.last; ++n)
                    frames.push_back({frameName(input, field, n), n});
            continue;
        }
        std::vector<Frame> found = scanSequence(input, field);
        if (found.empty())
            failures.push_back({input, "", "", "no frame of this sequence was found"});
        frames.insert(frames.end(), found.begin(), found.end());
    }
    if (!options.frames.empty() && !anySequence) {
        error = "--frames needs an input with a frame field (e.g. shot.####.png)";
        return false;
    }

    std::set<std::string> written;
    tasks.clear();
    for (const Frame& frame : frames) {
        FrameTask task{frame.path, frame.path, "", ""};
        if (!options.output.empty()) {
            if (!nameForFrame("-o", options.output, frame, frames.size(), task.output, error))
                return false;
        } else if (!options.outDir.empty()) {
            task.output =
                utf8Name(pathFromUtf8(options.outDir) / pathFromUtf8(frame.path).filename());
        }
        if (!options.compare.empty() &&
            !nameForFrame("--compare", options.compare, frame, frames.size(), task.compare, error))
            return false;
        if (!options.inPlace && samePlace(task.output, frame.path)) {
            error = "the output for '" + frame.path +
                    "' is the input itself: use --in-place to replace inputs";
            return false;
        }
        for (const std::string* path : {&task.output, &task.compare}) {
            if (!path->empty() && !written.insert(canonicalKey(*path)).second) {
                error = "two results would be written to '" + *path + "'";
                return false;
            }
        }
        tasks.push_back(std::move(task));
    }
    tasks.insert(tasks.end(), failures.begin(), failures.end());
    return true;
}

bool frameAlreadyDone(const FrameTask& task) {
    std::error_code ec;
    if (!task.error.empty() || task.output.empty() ||
        !fs::is_regular_file(pathFromUtf8(task.output), ec))
        return false;
    return task.compare.empty() || fs::is_regular_file(pathFromUtf8(task.compare), ec);
}
