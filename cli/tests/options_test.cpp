// Parsing of the command line and expansion of frame sequences.
#include "cli_test_support.h"
#include "frame_plan.h"
#include "options.h"

#include <gtest/gtest.h>

namespace {

ParseResult parse(std::vector<std::string> arguments, Options& options, std::string& error) {
    arguments.insert(arguments.begin(), "tovrin-smooth");
    std::vector<const char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(a.c_str());
    return parseOptions(int(argv.size()), argv.data(), options, error);
}

TEST(ParseOptions, AcceptedValuesReachTheFilterParameters) {
    struct Case {
        std::vector<std::string> arguments;
        int32_t smoothRange;
        bool key;
        int32_t red, green, blue;
    };
    const std::vector<Case> cases = {
        {{}, 0, false, 255, 255, 255},
        {{"--smooth-range", "255"}, 255, false, 255, 255, 255},
        {{"--smooth-range=0"}, 0, false, 255, 255, 255},
        {{"--key", "0,128,255"}, 0, true, 0, 128, 255},
        {{"--key=#0a0B1f", "--smooth-range", "8"}, 8, true, 10, 11, 31},
    };
    for (const Case& c : cases) {
        Options options;
        std::string error;
        ASSERT_EQ(parse(c.arguments, options, error), ParseResult::Run) << error;
        EXPECT_EQ(options.filter.smoothRange, c.smoothRange);
        EXPECT_EQ(options.filter.useColourKey, c.key);
        EXPECT_EQ(options.filter.keyRed, c.red);
        EXPECT_EQ(options.filter.keyGreen, c.green);
        EXPECT_EQ(options.filter.keyBlue, c.blue);
    }
}

TEST(ParseOptions, QualityIsStandardOrHighAndTheLastOneCounts) {
    const std::vector<std::pair<std::vector<std::string>, SmoothingQuality>> accepted = {
        {{}, SmoothingQuality::Standard},
        {{"--quality", "high"}, SmoothingQuality::High},
        {{"--quality=high", "--quality", "standard"}, SmoothingQuality::Standard},
    };
    for (const auto& [arguments, quality] : accepted) {
        Options options;
        std::string error;
        ASSERT_EQ(parse(arguments, options, error), ParseResult::Run) << error;
        EXPECT_EQ(options.quality, quality) << arguments.size();
    }
    for (const char* bad : {"--quality=High", "--quality=", "--quality=best", "--quality"}) {
        Options options;
        std::string error;
        EXPECT_EQ(parse({bad}, options, error), ParseResult::UsageError) << bad;
        EXPECT_NE(error.find("--quality"), std::string::npos) << error;
    }
}

TEST(ParseOptions, ShortOptionsTakeTheirValueAttachedOrNext) {
    struct Case {
        std::vector<std::string> arguments;
        unsigned jobs;
        std::string output;
        uint64_t maxPixels;
    };
    const std::vector<Case> cases = {
        {{"-j2"}, 2, "", defaultMaxPixels},
        {{"-j=3"}, 3, "", defaultMaxPixels},
        {{"-j", "4", "-oout.png"}, 4, "out.png", defaultMaxPixels},
        {{"-o=a.png", "--max-pixels", "1000"}, 0, "a.png", 1000},
        {{"--max-pixels=1099511627776"}, 0, "", uint64_t(1) << 40},
    };
    for (const Case& c : cases) {
        Options options;
        std::string error;
        ASSERT_EQ(parse(c.arguments, options, error), ParseResult::Run) << error;
        EXPECT_EQ(options.jobs, c.jobs) << c.arguments[0];
        EXPECT_EQ(options.output, c.output) << c.arguments[0];
        EXPECT_EQ(options.maxPixels, c.maxPixels) << c.arguments[0];
    }
    for (const char* bad : {"-j0", "-j=", "--max-pixels=0", "--max-pixels=1099511627777"}) {
        Options options;
        std::string error;
        EXPECT_EQ(parse({bad}, options, error), ParseResult::UsageError) << bad;
    }
}

TEST(ParseFrameRanges, ListsOfRangesAndSingleFrames) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<std::pair<int64_t, int64_t>> ranges;
    };
    const std::vector<Case> cases = {
        {"1-240", true, {{1, 240}}},
        {"0", true, {{0, 0}}},
        {"1-10,20,30-31", true, {{1, 10}, {20, 20}, {30, 31}}},
        {"", false, {}},
        {"5-1", false, {}},
        {"-3", false, {}},
        {"1-", false, {}},
        {"1-20000000", false, {}},
        {"999999999999999999", true, {{999999999999999999, 999999999999999999}}},
        {"1000000000000000000", false, {}},
        {"0-9223372036854775807", false, {}},
        {"9223372036854775807-9223372036854775807", false, {}},
    };
    for (const Case& c : cases) {
        std::vector<FrameRange> ranges;
        std::string error;
        EXPECT_EQ(parseFrameRanges(c.text, ranges, error), c.ok) << c.text;
        if (!c.ok) {
            EXPECT_FALSE(error.empty()) << c.text;
            continue;
        }
        std::vector<std::pair<int64_t, int64_t>> got;
        for (const FrameRange& r : ranges)
            got.emplace_back(r.first, r.last);
        EXPECT_EQ(got, c.ranges) << c.text;
    }
}

TEST(FrameFields, PatternsNameEachFrame) {
    struct Case {
        const char* pattern;
        int64_t frame;
        const char* name; // nullptr: no frame field
    };
    const std::vector<Case> cases = {
        {"shot.####.png", 7, "shot.0007.png"},
        {"shot.####.png", 12345, "shot.12345.png"},
        {"a/b/shot.%04d.tif", 42, "a/b/shot.0042.tif"},
        {"shot.%d.png", 5, "shot.5.png"},
        {"take#2/cel.png", 1, nullptr}, // only the file name holds frame fields
        {"cel.png", 1, nullptr},
        {"100%.png", 1, nullptr},
    };
    for (const Case& c : cases) {
        FrameField field;
        const bool found = findFrameField(c.pattern, field);
        EXPECT_EQ(found, c.name != nullptr) << c.pattern;
        if (found) {
            EXPECT_EQ(frameName(c.pattern, field, c.frame), c.name) << c.pattern;
        }
    }
}

TEST(PlanFrames, AScannedSequenceHoldsOnlyTheFramesThePatternNames) {
    TempFolder folder;
    for (const char* name : {"shot.0003.png", "shot.0001.png", "shot.01.png", "shot.0002.png.bak",
                             "shot.abcd.png", "other.0001.png", "shot.10000.png"})
        writeBytes(folder / name, "x");
    Options options;
    options.inputs = {folder / "shot.####.png"};
    options.outDir = folder / "out";
    options.compare = folder / "cmp.%04d.png";
    std::vector<FrameTask> tasks;
    std::string error;
    ASSERT_TRUE(planFrames(options, tasks, error)) << error;
    std::vector<std::string> planned;
    for (const FrameTask& task : tasks) {
        EXPECT_EQ(task.output, folder / "out/" + task.input.substr(folder.path.size() + 1));
        planned.push_back(task.input.substr(folder.path.size() + 1) + " " +
                          task.compare.substr(folder.path.size() + 1));
    }
    EXPECT_EQ(planned,
              (std::vector<std::string>{"shot.0001.png cmp.0001.png", "shot.0003.png cmp.0003.png",
                                        "shot.10000.png cmp.10000.png"}));
}

} // namespace
