// tovrin-smooth as a render farm runs it: resumed chunks, the JSON report, PNG compression, two
// processes on one output folder, and a cancel in the middle of a run.
#include "cel_art.h"
#include "cli_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <map>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string frameName(int frame) {
    char name[32];
    std::snprintf(name, sizeof name, "shot.%04d.png", frame);
    return name;
}

// Frames 1..count of line art into folder/shot.####.png, each different.
void writeShot(const std::string& folder, int count, int width, int height) {
    fs::create_directories(folder);
    for (int f = 1; f <= count; ++f) {
        CelArtOptions art;
        art.width = width;
        art.height = height;
        art.seed = uint32_t(f);
        const std::vector<uint8_t> rgba = drawCelArt(art);
        ImageSamples image{width, height, 4, 8, {rgba.begin(), rgba.end()}};
        writeSamples(folder + "/" + frameName(f), image);
    }
}

bool mentions(const std::string& text, const std::string& fragment) {
    return text.find(fragment) != std::string::npos;
}

std::vector<std::string> hiddenFiles(const std::string& folder) {
    std::vector<std::string> hidden;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string()[0] == '.')
            hidden.push_back(entry.path().filename().string());
    return hidden;
}

json readJson(const std::string& path) {
    return json::parse(readBytes(path));
}

// A statuses-by-input map of a report, for comparing with what a case expects.
std::map<std::string, std::string> statuses(const json& report) {
    std::map<std::string, std::string> result;
    for (const json& frame : report.at("frames"))
        result[frame.at("input").get<std::string>()] = frame.at("status").get<std::string>();
    return result;
}

// The report's own invariants: totals add up and match the frames listed.
void expectConsistent(const json& report) {
    const json& totals = report.at("totals");
    std::map<std::string, size_t> counted;
    size_t pixels = 0, changed = 0;
    for (const json& frame : report.at("frames")) {
        ++counted[frame.at("status").get<std::string>()];
        pixels += frame.at("pixels").get<size_t>();
        changed += frame.at("changed_pixels").get<size_t>();
        EXPECT_EQ(frame.at("error").is_null(), frame.at("status") != "failed") << frame;
        EXPECT_LE(frame.at("changed_pixels").get<size_t>(), frame.at("pixels").get<size_t>());
    }
    EXPECT_EQ(totals.at("frames").get<size_t>(), report.at("frames").size());
    EXPECT_EQ(totals.at("smoothed").get<size_t>(), counted["smoothed"]);
    EXPECT_EQ(totals.at("skipped").get<size_t>(), counted["skipped"]);
    EXPECT_EQ(totals.at("failed").get<size_t>(), counted["failed"]);
    EXPECT_EQ(totals.at("not_started").get<size_t>(), counted["not-started"]);
    EXPECT_EQ(counted.size(), size_t(counted.count("smoothed") + counted.count("skipped") +
                                     counted.count("failed") + counted.count("not-started")))
        << "a status outside the documented four";
    EXPECT_EQ(totals.at("pixels").get<size_t>(), pixels);
    EXPECT_EQ(totals.at("changed_pixels").get<size_t>(), changed);
}

// Frames 2 and 4 are done, with a comparison picture each, written at another compression so
// that a frame smoothed again would show; frame 4's input has since changed (to frame 1's
// picture), which must not matter as a done frame is not smoothed again. Frame 3 has its result
// but not its comparison picture, so it is not done.
TEST(SkipExisting, ResumesOnlyTheFramesNotWholeAndCountsTheSkipped) {
    TempFolder folder;
    writeShot(folder / "in", 5, 48, 36);
    const std::vector<std::string> reference = {folder / "in/shot.####.png", "--out-dir",
                                                folder / "ref", "--compare",
                                                folder / "ref/cmp.####.png"};
    ASSERT_EQ(runSmooth(reference).status, 0);
    const std::vector<std::string> earlier = {folder / "in/shot.####.png", "--out-dir",
                                              folder / "earlier", "--compare",
                                              folder / "earlier/cmp.####.png",
                                              "--png-compression", "0"};
    ASSERT_EQ(runSmooth(earlier).status, 0);
    fs::create_directories(folder / "out");
    for (const char* name :
         {"shot.0002.png", "cmp.0002.png", "shot.0003.png", "shot.0004.png", "cmp.0004.png"})
        writeBytes(folder / "out/" + name, readBytes(folder / "earlier/" + name));
    writeBytes(folder / "in/shot.0004.png", readBytes(folder / "in/shot.0001.png"));

    const RunResult run = runSmooth({folder / "in/shot.####.png", "--out-dir", folder / "out",
                                     "--compare", folder / "out/cmp.####.png", "--skip-existing",
                                     "--report", folder / "report.json"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(mentions(run.err, "3 of 5 frames smoothed, 2 skipped as already done")) << run.err;
    for (int f = 1; f <= 5; ++f) {
        for (const std::string& name : {frameName(f), "cmp." + frameName(f).substr(5)}) {
            const bool kept = f == 2 || f == 4;
            EXPECT_EQ(readBytes(folder / "out/" + name),
                      readBytes(folder / (kept ? "earlier/" : "ref/") + name))
                << name;
        }
    }
    const json report = readJson(folder / "report.json");
    expectConsistent(report);
    const std::map<std::string, std::string> expected = {{folder / "in/shot.0001.png", "smoothed"},
                                                         {folder / "in/shot.0002.png", "skipped"},
                                                         {folder / "in/shot.0003.png", "smoothed"},
                                                         {folder / "in/shot.0004.png", "skipped"},
                                                         {folder / "in/shot.0005.png", "smoothed"}};
    EXPECT_EQ(statuses(report), expected);
}

// Each status in one run, under a folder whose name needs escaping in JSON.
TEST(Report, ListsEveryFrameWithItsStatusReasonAndTotals) {
    TempFolder folder;
    const std::string in = folder / "take \"1\" \\ \t\xc3\xa9";
    writeShot(in, 4, 40, 30);
    writeBytes(in + "/shot.0003.png", "not a picture");
    fs::create_directories(folder / "out");
    ASSERT_EQ(runSmooth({in + "/shot.0002.png", "-o", folder / "out/shot.0002.png"}).status, 0);

    const RunResult run =
        runSmooth({in + "/shot.####.png", "--frames", "1-5", "--out-dir", folder / "out",
                   "--skip-existing", "--report", folder / "report.json"});
    EXPECT_EQ(run.status, 1) << run.err;
    const json report = readJson(folder / "report.json");
    expectConsistent(report);
    EXPECT_EQ(report.at("exit_status"), 1);
    EXPECT_EQ(report.at("interrupted"), false);
    EXPECT_EQ(report.at("program"), "tovrin-smooth");
    EXPECT_EQ(report.at("quality"), "standard");
    const std::vector<std::string> expected = {"smoothed", "skipped", "failed", "smoothed",
                                               "failed"};
    ASSERT_EQ(report.at("frames").size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        const json& frame = report.at("frames")[i];
        EXPECT_EQ(frame.at("input"), in + "/" + frameName(int(i) + 1));
        EXPECT_EQ(frame.at("output"), folder / "out/" + frameName(int(i) + 1));
        EXPECT_TRUE(frame.at("compare").is_null());
        EXPECT_EQ(frame.at("status"), expected[i]) << frame;
        if (expected[i] == "smoothed") {
            EXPECT_EQ(frame.at("pixels"), 40 * 30);
            EXPECT_GT(frame.at("changed_pixels"), 0) << "cel art has stairs to smooth";
            EXPECT_GT(frame.at("seconds"), 0.0);
        } else {
            EXPECT_EQ(frame.at("changed_pixels"), 0);
        }
    }
    EXPECT_TRUE(mentions(report.at("frames")[4].at("error"), "no such file"));

    // To standard output: nothing but the report there; the summary stays on standard error.
    const RunResult piped = runSmooth({in + "/shot.0001.png", "-o", folder / "one.png", "--report",
                                       "-", "--png-compression", "9", "--quality", "high"});
    ASSERT_EQ(piped.status, 0) << piped.err;
    const json fromPipe = json::parse(piped.out);
    EXPECT_EQ(fromPipe.at("quality"), "high");
    EXPECT_EQ(fromPipe.at("totals").at("smoothed"), 1);
    EXPECT_TRUE(mentions(piped.err, "1 of 1 frames smoothed")) << piped.err;
    EXPECT_EQ(hiddenFiles(folder.path), std::vector<std::string>{});
}

// Each case exits with 2, names its fault, and leaves the folder as it was.
TEST(FarmOptions, ConflictsAndBadValuesAreRefusedBeforeAnythingIsDone) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"IN", "-o", "OUT", "--png-compression", "10"}, "--png-compression takes a whole number"},
        {{"IN", "-o", "OUT", "--png-compression", "-1"}, "--png-compression takes a whole number"},
        {{"IN", "-o", "OUT", "--png-compression=fast"}, "--png-compression takes a whole number"},
        {{"IN", "--in-place", "--skip-existing"}, "--skip-existing"},
        {{"--skip-existing"}, "--skip-existing needs inputs"},
        {{"IN", "-o", "OUT", "--report", "IN"}, "ending in .json"},
        {{"IN", "-o", "OUT", "--report", "OUT"}, "ending in .json"},
        {{"IN", "-o", "OUT.json", "--report", "OUT.json"}, "a frame or a result of this run"},
        {{"IN", "-o", "OUT", "--report", "shot.0002.png"}, "ending in .json"},
        {{"IN", "-o", "OUT", "--report", "."}, "ending in .json"},
        {{"IN", "-o", "OUT", "--report", "MISSING/report.json"}, "does not exist"},
        {{"IN", "-o", "OUT", "--report"}, "--report needs a value"},
    };
    for (const auto& [arguments, mustMention] : cases) {
        TempFolder folder;
        writeShot(folder.path, 1, 16, 12);
        const std::string input = readBytes(folder / "shot.0001.png");
        std::vector<std::string> expanded;
        for (const std::string& a : arguments)
            expanded.push_back(a == "IN"                    ? folder / "shot.0001.png"
                               : a == "OUT"                 ? folder / "out.png"
                               : a == "OUT.json"            ? folder / "out.json"
                               : a == "MISSING/report.json" ? folder / "missing/report.json"
                                                            : a);
        const RunResult run = runSmooth(expanded, folder.path);
        EXPECT_EQ(run.status, 2) << mustMention << ": " << run.err;
        EXPECT_TRUE(mentions(run.err, mustMention)) << mustMention << ": " << run.err;
        EXPECT_EQ(folder.names(), std::vector<std::string>{"shot.0001.png"}) << mustMention;
        EXPECT_EQ(readBytes(folder / "shot.0001.png"), input);
    }
}

// Compression changes the bytes, never the pixels; the default is the fast level 1.
TEST(PngCompression, EveryLevelGivesTheSamePixelsAndTheDefaultIsLevelOne) {
    TempFolder folder;
    writeShot(folder.path, 1, 320, 240);
    const std::string input = folder / "shot.0001.png";
    ASSERT_EQ(runSmooth({input, "-o", folder / "default.png"}).status, 0);
    std::map<int, std::string> bytes;
    for (int level : {1, 0, 9}) {
        const std::string out = folder / ("level" + std::to_string(level) + ".png");
        const RunResult run =
            runSmooth({input, "-o", out, "--png-compression", std::to_string(level)});
        ASSERT_EQ(run.status, 0) << run.err;
        bytes[level] = readBytes(out);
        EXPECT_EQ(readSamplesOrDie(out).samples, readSamplesOrDie(folder / "level1.png").samples)
            << level;
    }
    EXPECT_EQ(readBytes(folder / "default.png"), bytes[1]);
    // Level 0 stores the filtered rows: at least a byte a sample.
    EXPECT_GT(bytes[0].size(), size_t(320 * 240 * 4));
    EXPECT_LT(bytes[9].size(), bytes[1].size());
}

// Two chunks, or a retried task beside its replacement, on the same frames at the same time.
TEST(Concurrency, TwoProcessesOnOneOutputFolderGiveWholeFramesAndNoTemporaries) {
    TempFolder folder;
    writeShot(folder / "in", 40, 96, 72);
    const std::string pattern = folder / "in/shot.####.png";
    ASSERT_EQ(runSmooth({pattern, "--out-dir", folder / "ref", "--jobs", "1"}).status, 0);
    const std::vector<std::string> args = {pattern, "--out-dir", folder / "out", "--jobs", "2"};
    auto first = std::async(std::launch::async, [&] { return runSmooth(args); });
    auto second = std::async(std::launch::async, [&] { return runSmooth(args); });
    const RunResult a = first.get(), b = second.get();
    EXPECT_EQ(a.status, 0) << a.err;
    EXPECT_EQ(b.status, 0) << b.err;
    EXPECT_EQ(hiddenFiles(folder / "out"), std::vector<std::string>{});
    for (int f = 1; f <= 40; ++f)
        EXPECT_EQ(readBytes(folder / "out/" + frameName(f)),
                  readBytes(folder / "ref/" + frameName(f)))
            << f;
}

// A farm's cancel: SIGTERM while frames are being smoothed. The frame in flight is finished, the
// rest are listed as not started, and nothing is half written or left behind.
TEST(Interruption, SigtermMidRunLeavesWholeFramesAValidReportAndNoTemporaries) {
    TempFolder folder;
    constexpr int frames = 80;
    writeShot(folder / "in", frames, 320, 240);
    const std::string report = folder / "report.json";
    const std::vector<std::string> args = {folder / "in/shot.####.png",
                                           "--out-dir",
                                           folder / "out",
                                           "--jobs",
                                           "1",
                                           "--report",
                                           report};
    std::atomic<int> pid{-1};
    auto run = std::async(std::launch::async, [&] { return runSmooth(args, "", &pid); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!fs::exists(folder / "out/shot.0001.png") && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_GT(pid, 0);
    kill(pid, SIGTERM);
    const RunResult result = run.get();
    EXPECT_EQ(result.status, 130) << result.err;

    const json parsed = readJson(report);
    expectConsistent(parsed);
    EXPECT_EQ(parsed.at("interrupted"), true);
    EXPECT_EQ(parsed.at("exit_status"), 130);
    const size_t smoothed = parsed.at("totals").at("smoothed");
    EXPECT_GE(smoothed, 1u);
    EXPECT_EQ(parsed.at("totals").at("not_started").get<size_t>(), frames - smoothed);
    EXPECT_EQ(hiddenFiles(folder / "out"), std::vector<std::string>{});
    EXPECT_EQ(hiddenFiles(folder.path), std::vector<std::string>{});

    ASSERT_EQ(runSmooth({folder / "in/shot.####.png", "--out-dir", folder / "ref"}).status, 0);
    for (const json& frame : parsed.at("frames")) {
        const std::string output = frame.at("output");
        const std::string name = fs::path(output).filename().string();
        if (frame.at("status") == "smoothed")
            EXPECT_EQ(readBytes(output), readBytes(folder / "ref/" + name)) << name;
        else
            EXPECT_FALSE(fs::exists(output)) << name;
    }
}

} // namespace
