// Sequence expansion and output naming.
#include "frame_plan.h"

#include "image_codec.h"
#include "output_file.h"
#include "platform.h"
#include "png_codec.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// The kind of file path names when it is one that cannot hold a result without loss (lossy
// compression, no alpha, 8 bits at most: JPEG, WebP, GIF, HEIF, Radiance HDR), else null. The
// same in every build, so that all refuse the same outputs before any work.
const char* lossyOutputFormat(const std::string& path) {
    struct Lossy {
        const char* extension;
        const char* format;
    };
    static const Lossy lossy[] = {
        {".jpg", "JPEG"},  {".jpeg", "JPEG"}, {".jpe", "JPEG"},         {".jfif", "JPEG"},
        {".jif", "JPEG"},  {".webp", "WebP"}, {".gif", "GIF"},          {".heic", "HEIF"},
        {".heif", "HEIF"}, {".avif", "AVIF"}, {".hdr", "Radiance HDR"}, {".rgbe", "Radiance HDR"},
    };
    std::string extension = utf8Name(pathFromUtf8(path).extension());
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const Lossy& l : lossy)
        if (extension == l.extension)
            return l.format;
    return nullptr;
}

struct Frame {
    std::string path;
    int64_t number = -1;  // -1: a plain file, not part of a sequence
    bool missing = false; // asked for by --frames but not on disk
};

std::string paddedNumber(int64_t frame, int width) {
    std::string digits = std::to_string(frame);
    if (int(digits.size()) < width)
        digits.insert(0, size_t(width) - digits.size(), '0');
    return digits;
}

bool inRanges(int64_t number, const std::vector<FrameRange>& ranges) {
    return std::any_of(ranges.begin(), ranges.end(), [number](const FrameRange& r) {
        return number >= r.first && number <= r.last;
    });
}

// The files of the pattern's folder that the pattern names, by frame number, and within the
// ranges when there are any. A name counts only if it is exactly what frameName would give for
// its number, so shot.01.png is not frame 1 of shot.####.png. The cost follows the folder's
// entries, never the width of the ranges.
std::vector<Frame> scanSequence(const std::string& pattern, const FrameField& field,
                                const std::vector<FrameRange>& ranges) {
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
        if (paddedNumber(number, field.width) == digits &&
            (ranges.empty() || inRanges(number, ranges)))
            frames.push_back({frameName(pattern, field, number), number});
    }
    std::sort(frames.begin(), frames.end(),
              [](const Frame& a, const Frame& b) { return a.number < b.number; });
    return frames;
}

// Adds to found the frames of the ranges that the scan did not find, marked missing, so that
// each fails by name in its place; beyond a few thousand, one failing task tells how many.
void addMissingFrames(const std::string& pattern, const FrameField& field,
                      const std::vector<FrameRange>& ranges, std::vector<Frame>& found,
                      std::vector<FrameTask>& failures) {
    constexpr int64_t listedLimit = 4096;
    int64_t asked = 0;
    for (const FrameRange& r : ranges)
        asked += r.last - r.first + 1; // bounded by parseFrameRanges
    const int64_t missing = asked - int64_t(found.size());
    if (missing <= 0)
        return;
    if (missing > listedLimit) {
        failures.push_back({pattern, "", "",
                            std::to_string(missing) + " of the " + std::to_string(asked) +
                                " frames asked for were not found"});
        return;
    }
    std::set<int64_t> present;
    for (const Frame& f : found)
        present.insert(f.number);
    for (const FrameRange& r : ranges)
        for (int64_t n = r.first; n <= r.last; ++n)
            if (present.insert(n).second)
                found.push_back({frameName(pattern, field, n), n, true});
    std::sort(found.begin(), found.end(),
              [](const Frame& a, const Frame& b) { return a.number < b.number; });
}

// What makes two names the same file: the file's identity when it exists, so that links, '..'
// and other spellings meet; the resolved absolute path for one that does not exist yet.
struct FileKey {
    std::string key;
    bool exists = false;
    bool regular = false;
    bool folder = false;
};

FileKey fileKey(const std::string& path) {
    const FileIdentity identity = identifyFile(path);
    if (identity.exists)
        return {"file " + identity.id, true, identity.regular, identity.folder};
    return {"path " + newFileKey(path)};
}

struct Written {
    const std::string* path;
    const FrameTask* task;
    const char* what;
};

std::string describe(const Written& w) {
    return std::string(w.what) + " '" + *w.path + "'" +
           (w.task->input.empty() ? std::string() : " (of '" + w.task->input + "')");
}

// -o or --compare: one name for a single frame, or a frame field filled per frame.
bool nameForFrame(const char* option, const std::string& given, const Frame& frame,
                  size_t frameCount, std::string& name, std::string& error) {
    FrameField field;
    // A single file given by name gets the output name as given, '#' and all.
    if (findFrameField(given, field) && !(frame.number < 0 && frameCount == 1)) {
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
        // Without --frames, a file that exists under the name given is that file, even when its
        // name holds a '#' or '%'.
        std::error_code ec;
        if (!findFrameField(input, field) ||
            (options.frames.empty() && fs::exists(fs::symlink_status(input, ec)))) {
            frames.push_back({input, -1});
            continue;
        }
        anySequence = true;
        std::vector<Frame> found = scanSequence(input, field, options.frames);
        if (options.frames.empty() && found.empty())
            failures.push_back({input, "", "", "no frame of this sequence was found"});
        addMissingFrames(input, field, options.frames, found, failures);
        frames.insert(frames.end(), found.begin(), found.end());
    }
    if (!options.frames.empty() && !anySequence) {
        error = "--frames needs an input with a frame field (e.g. shot.####.png)";
        return false;
    }

    tasks.clear();
    const size_t frameCount = frames.size() + failures.size();
    for (const Frame& frame : frames) {
        FrameTask task{frame.path, frame.path, "", frame.missing ? "no such file" : ""};
        if (!options.output.empty()) {
            if (!nameForFrame("-o", options.output, frame, frameCount, task.output, error))
                return false;
        } else if (!options.outDir.empty()) {
            task.output =
                utf8Name(pathFromUtf8(options.outDir) / pathFromUtf8(frame.path).filename());
        }
        if (!options.compare.empty() &&
            !nameForFrame("--compare", options.compare, frame, frameCount, task.compare, error))
            return false;
        tasks.push_back(std::move(task));
    }
    if (!checkOutputs(tasks, options.inPlace, error))
        return false;
    tasks.insert(tasks.end(), failures.begin(), failures.end());
    return true;
}

bool checkOutputs(const std::vector<FrameTask>& tasks, bool inPlace, std::string& error) {
    std::map<std::string, const FrameTask*> inputs;
    for (const FrameTask& task : tasks)
        if (!task.input.empty())
            inputs.emplace(fileKey(task.input).key, &task);

    std::map<std::string, Written> outputs;
    for (const FrameTask& task : tasks) {
        for (const Written w : {Written{&task.output, &task, "the result"},
                                Written{&task.compare, &task, "the comparison picture"}}) {
            if (w.path->empty())
                continue;
            if (const std::string device = reservedDeviceName(*w.path); !device.empty()) {
                error = describe(w) + " names the Windows device '" + device +
                        "', not a file: give it another name";
                return false;
            }
            if (const char* format = lossyOutputFormat(*w.path)) {
                error = describe(w) + " is a " + format +
                        " file, which cannot hold the result without loss (lossy compression, "
                        "no alpha, or fewer bits): write PNG instead";
                return false;
            }
            const FileKey key = fileKey(*w.path);
            if (key.exists && !key.regular && !key.folder) {
                error = describe(w) + " is not a regular file: results are only written to files";
                return false;
            }
            const auto [earlier, added] = outputs.emplace(key.key, w);
            if (!added) {
                error =
                    "two results would be written to the same file: " + describe(earlier->second) +
                    " and " + describe(w);
                return false;
            }
            const auto input = inputs.find(key.key);
            if (input != inputs.end()) {
                if (input->second == &task && w.path == &task.output && inPlace)
                    ; // --in-place: the frame's own input is meant
                else if (input->second == &task && w.path == &task.output)
                    error = "the output for '" + task.input +
                            "' is the input itself: use --in-place to replace inputs";
                else
                    error = describe(w) + " is the input '" + input->second->input +
                            "': inputs are never overwritten";
                if (!error.empty())
                    return false;
            }
        }
    }
    return true;
}

namespace {

// Why the file at path is not a whole image of width x height (any size when both are 0), or "".
std::string notWhole(const std::string& path, int32_t width, int32_t height) {
    std::string why;
    if (hasPngExtension(path)) {
        isWholePng(path, width, height, why);
        return why;
    }
    int32_t w = 0, h = 0;
    const ImageCodec* codec = codecForReading(path, why);
    if (codec == nullptr || !codec->readSize(path, w, h, why))
        return "cannot be read: " + why;
    if ((width != 0 || height != 0) && (w != width || h != height))
        return "is " + std::to_string(w) + " x " + std::to_string(h) + " pixels, not the input's " +
               std::to_string(width) + " x " + std::to_string(height);
    return "";
}

} // namespace

bool frameAlreadyDone(const FrameTask& task, std::string& why) {
    why.clear();
    std::error_code ec;
    if (!task.error.empty() || task.output.empty() ||
        !fs::is_regular_file(pathFromUtf8(task.output), ec) ||
        (!task.compare.empty() && !fs::is_regular_file(pathFromUtf8(task.compare), ec)))
        return false;
    // The input's header gives the size its result has; an input that cannot even tell it is
    // read again, and fails its frame with the reason.
    int32_t width = 0, height = 0;
    std::string error;
    const ImageCodec* codec = codecForReading(task.input, error);
    if (codec == nullptr || !codec->readSize(task.input, width, height, error))
        return false;
    for (const auto& [path, w, h, what] :
         {std::tuple{&task.output, width, height, "result"},
          std::tuple{&task.compare, 0, 0, "comparison picture"}}) {
        if (path->empty())
            continue;
        const std::string reason = notWhole(*path, w, h);
        if (!reason.empty()) {
            why = std::string("done again: the existing ") + what + " '" + *path + "' " + reason;
            return false;
        }
    }
    return true;
}
