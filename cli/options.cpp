// Command-line parsing and the help text.
#include "options.h"

#include "parallel_pass.h"
#include "version.h"

#include <charconv>
#include <cstring>
#include <limits>

const char* const programName = "tovrin-smooth";
const char* const programVersion = TOVRIN_VERSION_TEXT;

namespace {

constexpr unsigned maxJobs = 1024;

bool parseWhole(const std::string& text, int64_t& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

bool parseBounded(const std::string& text, int64_t low, int64_t high, int64_t& value) {
    return parseWhole(text, value) && value >= low && value <= high;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

// Options that take a value, with the value either following or after '='.
struct ValueOption {
    const char* longName;
    const char* shortName; // may be null
};

constexpr ValueOption valueOptions[] = {
    {"--smooth-range", nullptr},
    {"--key", nullptr},
    {"--frames", nullptr},
    {"--out-dir", nullptr},
    {"--output", "-o"},
    {"--compare", nullptr},
    {"--jobs", "-j"},
    {"--threads", nullptr},
    {"--max-pixels", nullptr},
    {"--report", nullptr},
    {"--png-compression", nullptr},
    {"--quality", nullptr},
};

const ValueOption* findValueOption(const std::string& name) {
    for (const ValueOption& option : valueOptions)
        if (name == option.longName || (option.shortName && name == option.shortName))
            return &option;
    return nullptr;
}

bool applyValue(const std::string& name, const std::string& value, Options& options,
                std::string& error) {
    int64_t number = 0;
    if (name == "--smooth-range") {
        if (!parseBounded(value, 0, 255, number)) {
            error = "--smooth-range takes a whole number from 0 to 255 (default 0), not '" + value +
                    "'";
            return false;
        }
        options.filter.smoothRange = int32_t(number);
    } else if (name == "--quality") {
        if (value == qualityName(SmoothingQuality::Standard)) {
            options.quality = SmoothingQuality::Standard;
        } else if (value == qualityName(SmoothingQuality::High)) {
            options.quality = SmoothingQuality::High;
        } else {
            error = "--quality takes standard or high (default standard), not '" + value + "'";
            return false;
        }
    } else if (name == "--key") {
        std::string reason;
        if (!parseKeyColour(value, options.filter, reason)) {
            error = "--key takes R,G,B with each a whole number from 0 to 255, or #RRGGBB; '" +
                    value + "' " + reason;
            return false;
        }
    } else if (name == "--frames") {
        std::string reason;
        if (!parseFrameRanges(value, options.frames, reason)) {
            error = "--frames takes frame numbers from 0 up as FIRST-LAST, N, or a comma list "
                    "of them (e.g. 1-240 or 1-10,20); '" +
                    value + "' " + reason;
            return false;
        }
    } else if (name == "--jobs") {
        if (!parseBounded(value, 1, maxJobs, number)) {
            error = "--jobs takes a whole number from 1 to " + std::to_string(maxJobs) + ", not '" +
                    value + "'";
            return false;
        }
        options.jobs = unsigned(number);
    } else if (name == "--threads") {
        if (!parseBounded(value, 1, maxJobs, number)) {
            error = "--threads takes a whole number from 1 to " + std::to_string(maxJobs) +
                    ", not '" + value + "'";
            return false;
        }
        options.threads = unsigned(number);
    } else if (name == "--max-pixels") {
        if (!parseBounded(value, 1, int64_t(maxMaxPixels), number)) {
            error = "--max-pixels takes a whole number from 1 to " + std::to_string(maxMaxPixels) +
                    " (default " + std::to_string(defaultMaxPixels) + "), not '" + value + "'";
            return false;
        }
        options.maxPixels = uint64_t(number);
    } else if (name == "--png-compression") {
        if (!parseBounded(value, 0, 9, number)) {
            error = "--png-compression takes a whole number from 0 to 9 (default " +
                    std::to_string(defaultPngCompression) + "), not '" + value + "'";
            return false;
        }
        options.encode.pngCompression = int(number);
    } else if (value.empty()) {
        error = name + " needs a file or folder name";
        return false;
    } else if (name == "--out-dir") {
        options.outDir = value;
    } else if (name == "--output") {
        options.output = value;
    } else if (name == "--compare") {
        options.compare = value;
    } else if (name == "--report") {
        options.report = value;
    }
    return true;
}

} // namespace

const char* qualityName(SmoothingQuality quality) {
    return quality == SmoothingQuality::High ? "high" : "standard";
}

bool parseKeyColour(const std::string& text, FilterParameters& filter, std::string& error) {
    int32_t rgb[3] = {0, 0, 0};
    if (!text.empty() && text[0] == '#') {
        if (text.size() != 7) {
            error = "needs exactly six hex digits after '#'";
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            const int high = hexDigit(text[size_t(1 + 2 * i)]);
            const int low = hexDigit(text[size_t(2 + 2 * i)]);
            if (high < 0 || low < 0) {
                error = "has a character that is not a hex digit";
                return false;
            }
            rgb[i] = high * 16 + low;
        }
    } else {
        const std::vector<std::string> parts = split(text, ',');
        if (parts.size() != 3) {
            error = "does not have three values";
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            int64_t value = 0;
            if (!parseBounded(parts[size_t(i)], 0, 255, value)) {
                error = "has a value that is not a whole number from 0 to 255";
                return false;
            }
            rgb[i] = int32_t(value);
        }
    }
    filter.keyRed = rgb[0];
    filter.keyGreen = rgb[1];
    filter.keyBlue = rgb[2];
    filter.useColourKey = true;
    return true;
}

bool parseFrameRanges(const std::string& text, std::vector<FrameRange>& ranges,
                      std::string& error) {
    // Far beyond any shot, small enough that a typo cannot make millions of tasks; and frame
    // numbers of at most 18 digits, which is what a sequence scan reads back.
    constexpr int64_t maxFrames = 10'000'000;
    constexpr int64_t maxFrameNumber = 999'999'999'999'999'999;
    std::vector<FrameRange> parsed;
    int64_t total = 0;
    for (const std::string& part : split(text, ',')) {
        FrameRange range;
        const size_t dash = part.find('-', 1);
        const bool ok = dash == std::string::npos
                            ? parseWhole(part, range.first) && (range.last = range.first, true)
                            : parseWhole(part.substr(0, dash), range.first) &&
                                  parseWhole(part.substr(dash + 1), range.last);
        if (!ok || range.first < 0 || range.last < 0) {
            error = "has a part that is not a frame number or range: '" + part + "'";
            return false;
        }
        if (range.last > maxFrameNumber) {
            error = "has a frame number above the largest, " + std::to_string(maxFrameNumber) +
                    ": '" + part + "'";
            return false;
        }
        if (range.last < range.first) {
            error = "has a range that ends before it starts: '" + part + "'";
            return false;
        }
        // Both terms are at most maxFrameNumber + 1 here: no overflow.
        total += range.last - range.first + 1;
        if (total > maxFrames) {
            error = "asks for more than " + std::to_string(maxFrames) + " frames";
            return false;
        }
        parsed.push_back(range);
    }
    ranges = std::move(parsed);
    return true;
}

ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    bool onlyInputs = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (onlyInputs || argument == "-" || argument.empty() || argument[0] != '-') {
            options.inputs.push_back(argument);
            continue;
        }
        if (argument == "--") {
            onlyInputs = true;
            continue;
        }
        if (argument == "--help" || argument == "-h")
            return ParseResult::Help;
        if (argument == "--version")
            return ParseResult::Version;
        if (argument == "--in-place") {
            options.inPlace = true;
            continue;
        }
        if (argument == "--progress") {
            options.progress = true;
            continue;
        }
        if (argument == "--quiet" || argument == "-q") {
            options.quiet = true;
            continue;
        }
        if (argument == "--skip-existing") {
            options.skipExisting = true;
            continue;
        }

        std::string name = argument;
        std::string value;
        bool hasValue = false;
        const size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            hasValue = true;
        } else if (argument.rfind("--", 0) != 0 && argument.size() > 2) {
            // -j2, -j=2, -oout.png: a short option with its value attached.
            name = argument.substr(0, 2);
            value = argument.substr(argument[2] == '=' ? 3 : 2);
            hasValue = true;
        }
        const ValueOption* option = findValueOption(name);
        if (option == nullptr) {
            error = "unknown option '" + argument + "'";
            return ParseResult::UsageError;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = std::string(option->longName) + " needs a value";
                return ParseResult::UsageError;
            }
            value = argv[++i];
        }
        if (!applyValue(option->longName, value, options, error))
            return ParseResult::UsageError;
    }
    // An input replaced by its result looks like any other input: nothing shows it is done.
    if (options.skipExisting && options.inPlace) {
        error = "--skip-existing cannot tell a smoothed frame from an input with --in-place: "
                "write the results elsewhere (-o or --out-dir)";
        return ParseResult::UsageError;
    }
    return ParseResult::Run;
}

// The help, the man page and the README state the banded pass's threshold in words.
static_assert(largeFramePixels == 2'000'000, "update the help, man page and README");

const char* helpText() {
    return R"(NAME
    tovrin-smooth - smooth the aliased line art of animation cels

SYNOPSIS
    tovrin-smooth [OPTIONS] INPUT -o OUTPUT
    tovrin-smooth [OPTIONS] INPUT... --out-dir DIR
    tovrin-smooth [OPTIONS] INPUT... --in-place
    tovrin-smooth [OPTIONS]

DESCRIPTION
    Removes the stair steps along the hard edges of line art and flat colour
    areas: where an edge steps from one row or column to the next, the pixels
    along the step are blended into a ramp between the two colours; small
    corners are softened and isolated pixels replaced by the average of their
    neighbourhood. Everything else is left exactly as it was.

    The pixels are bit-identical to those of the Tovrin Smoother plug-in for
    Photoshop: the same filter pass runs over the whole image as one layer
    with editable transparency. --quality high smooths by another method,
    learned edge coverage, which the plug-in does not have.

    PNG files are read and written with libpng; TIFF, TGA and every other
    format OpenImageIO knows, through OpenImageIO (the Windows build,
    tovrin-smooth.exe, reads and writes PNG only). 8- and 16-bit integer images
    are smoothed at their own depth; other sample types are refused. Each
    result is written in its input's channels: RGB without alpha stays RGB
    unless the colour key made pixels transparent, gray stays gray, extra
    channels are kept as they were. Indexed-colour PNGs and PNGs of fewer than
    8 bits come back as 8-bit RGB(A) or gray. Colour profiles, resolution and
    text of the input are kept. A TIFF with associated (premultiplied) alpha is
    smoothed in straight colour and written back premultiplied into a TIFF, the
    pixels the filter leaves alone exactly as stored (also where colour exceeds
    alpha, as for glows), straight into any other format. CMYK, L*a*b* and LogLuv images, animated
    PNGs, files of several images (pages, layers, MIP levels) and inputs that
    are not regular files are refused.

    With no INPUT, the bundled sample cel is smoothed and the result and its
    comparison picture are written into the current folder.

OPTIONS
    --smooth-range N
        How far two colours may differ (0..255, in 8-bit units also for 16-bit
        images) and still count as the same colour. Default 0. In high
        quality: the tolerance within which nearby colours count as one colour
        in the shapes the method reads.

    --key R,G,B
    --key '#RRGGBB'
        Turn on the colour key: fully opaque pixels of exactly this colour
        become fully transparent before smoothing. Each value 0..255. The same
        in both qualities.

    --quality standard|high
        The smoothing method. standard (the default): the plug-in's filter,
        as described above. high: learned edge coverage: for each pixel near
        an edge, how much of the pixel each colour around it covers is
        estimated from the shapes of those colours, and the pixel becomes
        their blend. It removes more of the jaggies and leaves alone pixels
        with many colours around them: art that is already anti-aliased,
        gradients, dithering and photographs come out as they went in.
        Slower than standard. Both give the same bytes on every system and
        for any --jobs and --threads.

    -o FILE, --output FILE
        Write the result of the single INPUT to FILE. For a sequence, FILE may
        hold a frame field as well (e.g. out.####.png).

    --out-dir DIR
        Write each result into DIR under its input's file name. DIR is created
        when missing.

    --in-place
        Replace each input by its result. Inputs are never overwritten
        without this option.

    --frames LIST
        Frames of the sequence patterns to smooth: FIRST-LAST, N, or a comma
        list of them (1-240, 1-10,20). Without it, every frame of the pattern
        found on disk is smoothed. A frame in LIST that does not exist is
        reported as missing.

    -j N, --jobs N
        Smooth N frames at a time (1..1024; default: one per processor core).
        The output does not depend on N.

    --threads N
        Smooth each frame of two megapixels (2,000,000 pixels) or more (in
        high quality, a frame of any size) on N threads (1..1024; default: the
        processor cores left to each job, at least one). The output does not
        depend on N.

    --max-pixels N
        Refuse, as a failed frame, any input of more than N pixels (width times
        height), before its pixels are read (1..1099511627776; default
        268435456, 16384 x 16384: a 16K frame passes). A frame needs about 24
        bytes of memory per pixel at 16 bits, 12 at 8 bits.

    --compare FILE
        Also write a before/after picture: input and result side by side, and
        below them, enlarged at least four times, the part of the image the
        filter changed most. Transparency is shown on a checkerboard. For a
        sequence FILE needs a frame field.

    --skip-existing
        Leave alone every frame whose output (and comparison picture, when
        --compare is given) already exists whole: it is not smoothed again.
        Outputs only ever appear whole, so a resubmitted or retried chunk of a
        render farm does only the frames that are missing. A file put there by
        anything else that is empty, cut short or of another size than its
        input is redone, with a note saying why. The summary counts the frames
        skipped. Not with --in-place.

    --report FILE
        Write a JSON account of the run to FILE (atomically), or to standard
        output for '-': every frame with its input, output, status (smoothed,
        skipped, failed, or not-started when the run was interrupted first),
        the reason of a failure, the pixels changed and the time taken, and
        the totals. Written also when frames fail or the run is interrupted.
        FILE must end in .json and its folder must exist. The fields are
        described in the manual page.

    --png-compression N
        zlib level of the PNG results, 0 (none) to 9 (smallest, slowest).
        Default 1, the fast one. Pixels are the same at every level.

    --progress
        Draw the progress bar even when standard error is not a terminal.

    -q, --quiet
        No progress bar and no summary; failures are still reported.

    -h, --help
        Show this text.

    --version
        Show the version.

SEQUENCES
    A run of '#' in a file name (shot.####.png) or a printf field
    (shot.%04d.png) stands for the frame number, padded with zeros to the
    field's width. Outputs keep the input's name. Without --frames, a file that
    exists under the name given is taken as it is, even when its name holds '#'
    or '%'.

OUTPUT FILES
    Every output is written to a temporary file in its folder and renamed into
    place when complete, so a frame is never half written and a failed frame
    never destroys an earlier good file. The file is flushed to disk before the
    rename and the folder after it; a replaced file keeps its permissions and,
    where allowed, its owner.

    Before anything is processed, every output is checked against every input
    (as the same file, through links and other spellings) and every other
    output, and formats that would lose the result (JPEG, WebP, GIF, HEIF,
    AVIF, HDR) are refused: exit status 2.

EXIT STATUS
    0   every frame was smoothed
    1   at least one frame failed (missing, unreadable, corrupt, unsupported or
        not writable); the others were still smoothed
    2   a wrong option or value, an output that would overwrite an input or
        another output, or a lossy output format; nothing was processed
    130 interrupted by SIGINT or SIGTERM: the frames in flight were finished,
        the others not started; a second signal of either kind ends the
        process at once

EXAMPLES
    tovrin-smooth cel.png -o cel-smooth.png --compare cel-compare.png
    tovrin-smooth shot.####.png --frames 1-240 --smooth-range 8 --out-dir smooth
    tovrin-smooth scans/*.tif --key '#FFFFFF' --in-place
    tovrin-smooth cel.png --quality high -o cel-smooth.png
)";
}
