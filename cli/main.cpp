// tovrin-smooth: the command-line host of the smoothing engine.
#include "frame_job.h"
#include "frame_plan.h"
#include "json_report.h"
#include "options.h"
#include "parallel_frames.h"
#include "platform.h"
#include "progress.h"
#include "sample_cel.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <thread>

namespace {

constexpr int exitFrameFailed = 1;
constexpr int exitUsage = 2;
constexpr int exitInterrupted = 130;

// The first Ctrl-C lets running frames finish (no half-written output either way); the second
// ends the process at once.
std::atomic<bool> interrupted{false};

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", programName,
                 message.c_str(), programName);
    return exitUsage;
}

std::string inFolder(const std::string& folder, const char* name) {
    return folder.empty() ? std::string(name) : utf8Name(pathFromUtf8(folder) / name);
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

FrameRecord recordOf(const FrameOutcome& outcome, double seconds) {
    return {outcome.ok ? FrameStatus::Smoothed : FrameStatus::Failed,
            outcome.error,
            outcome.note,
            outcome.pixels,
            outcome.changedPixels,
            seconds};
}

// Writes the --report, when asked, with the exit status the run ends with; a report that cannot
// be written turns a success into a failure.
int finishRun(const Options& options, const std::vector<FrameTask>& tasks,
              const std::vector<FrameRecord>& records, RunSummary summary) {
    if (options.report.empty())
        return summary.exitStatus;
    summary.quality = options.quality;
    std::string error;
    if (!writeReport(options.report, reportJson(tasks, records, summary), error)) {
        std::fprintf(stderr, "%s: cannot write the report '%s': %s\n", programName,
                     options.report.c_str(), error.c_str());
        return summary.exitStatus == 0 ? exitFrameFailed : summary.exitStatus;
    }
    return summary.exitStatus;
}

bool makeOutputFolder(const std::string& folder) {
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(pathFromUtf8(folder), ec))
        return true;
    std::filesystem::create_directories(pathFromUtf8(folder), ec);
    if (ec) {
        std::fprintf(stderr, "%s: cannot create the output folder '%s': %s\n", programName,
                     folder.c_str(), ec.message().c_str());
        return false;
    }
    return true;
}

// No input: smooth the bundled sample cel, so a first run shows what the filter does.
int runSample(const Options& options) {
    if (options.inPlace || !options.frames.empty())
        return usageError("--in-place and --frames need inputs");
    if (options.skipExisting)
        return usageError("--skip-existing needs inputs");
    FrameTask task; // no input file yet: nothing for the outputs to clash with but each other
    task.output =
        options.output.empty() ? inFolder(options.outDir, "tovrin-sample.png") : options.output;
    task.compare = options.compare.empty() ? inFolder(options.outDir, "tovrin-sample-compare.png")
                                           : options.compare;
    std::string error;
    if (!checkOutputs({task}, false, error))
        return usageError(error);
    task.input = "(sample cel)";

    const std::vector<FrameTask> tasks{task};
    if (!options.report.empty() && !checkReportPath(options.report, tasks, error))
        return usageError(error);
    if (!makeOutputFolder(options.outDir))
        return exitFrameFailed;

    const auto start = std::chrono::steady_clock::now();
    SampleCel cel = drawSampleCel();
    DecodedImage image = imageFromRgba8(cel.width, cel.height, std::move(cel.rgba));

    RunReport report;
    report.total = 1;
    report.quiet = options.quiet;
    const FrameOutcome outcome =
        smoothImage(image, task, options.filter, 1, options.encode, options.quality);
    reportFrame(report, task, outcome);
    finishReport(report, false);
    const std::vector<FrameRecord> records{recordOf(outcome, secondsSince(start))};
    const int status = finishRun(options, tasks, records,
                                 {outcome.ok ? 0 : exitFrameFailed, false, secondsSince(start)});
    if (status == 0)
        // Standard output may be carrying the report.
        std::fprintf(options.report == "-" ? stderr : stdout,
                     "Smoothed the bundled sample cel:\n  result:     %s\n  comparison: %s\n",
                     task.output.c_str(), task.compare.c_str());
    return status;
}

int runFrames(const Options& options) {
    // Set before planning, so that a farm's cancel at any moment still ends with a report.
    stopOnInterrupt(interrupted);
    const auto start = std::chrono::steady_clock::now();
    std::vector<FrameTask> tasks;
    std::string error;
    if (!planFrames(options, tasks, error))
        return usageError(error);
    if (!options.report.empty() && !checkReportPath(options.report, tasks, error))
        return usageError(error);
    std::vector<FrameRecord> records(tasks.size());
    if (!makeOutputFolder(options.outDir)) {
        for (FrameRecord& record : records) {
            record.status = FrameStatus::Failed;
            record.error = "the output folder '" + options.outDir + "' cannot be created";
        }
        return finishRun(options, tasks, records,
                         {exitFrameFailed, interrupted.load(), secondsSince(start)});
    }

    // A resumed chunk: frames whose results exist whole are not smoothed again; for a result
    // that exists but is not whole, why the frame is done again.
    std::vector<size_t> toSmooth;
    std::vector<std::string> redone(tasks.size());
    for (size_t i = 0; i < tasks.size(); ++i) {
        if (options.skipExisting && frameAlreadyDone(tasks[i], redone[i]))
            records[i].status = FrameStatus::Skipped;
        else
            toSmooth.push_back(i);
    }

    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned jobs = options.jobs != 0 ? options.jobs : cores;
    // Cores that the jobs leave idle go to the pass inside each large frame.
    const unsigned jobsRunning =
        unsigned(std::max<size_t>(1, std::min<size_t>(jobs, toSmooth.size())));
    const unsigned passThreads =
        options.threads != 0 ? options.threads : std::max(1u, cores / jobsRunning);

    RunReport report;
    report.total = toSmooth.size();
    report.skipped = tasks.size() - toSmooth.size();
    report.quiet = options.quiet;
    report.drawBar = options.progress || isTerminal(stderr);
    forEachInParallel(
        toSmooth.size(), jobs,
        [&](size_t k) {
            const size_t i = toSmooth[k];
            const auto frameStart = std::chrono::steady_clock::now();
            FrameOutcome outcome = smoothFile(tasks[i], options.filter, passThreads,
                                              options.encode, options.maxPixels, options.quality);
            if (!redone[i].empty())
                outcome.note = redone[i] + (outcome.note.empty() ? "" : "; " + outcome.note);
            records[i] = recordOf(outcome, secondsSince(frameStart));
            reportFrame(report, tasks[i], outcome);
        },
        interrupted);
    finishReport(report, interrupted.load());
    const int status = interrupted.load()  ? exitInterrupted
                       : report.failed > 0 ? exitFrameFailed
                                           : 0;
    return finishRun(options, tasks, records, {status, interrupted.load(), secondsSince(start)});
}

// Help or version text that did not reach its reader (a full disk, a closed descriptor) is a
// failure like any other.
int finishStandardOutput() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout))
        return 0;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", programName,
                 std::strerror(errno));
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (!occupyClosedStandardDescriptors()) {
        // Nothing has been opened yet, so a closed standard error just fails this write.
        std::fprintf(stderr, "%s: cannot open the null device for a closed standard descriptor\n",
                     programName);
        return exitFrameFailed;
    }
    ignoreBrokenPipes();
    const std::vector<std::string> arguments = utf8Arguments(argc, argv);
    std::vector<const char*> argumentPointers;
    for (const std::string& argument : arguments)
        argumentPointers.push_back(argument.c_str());
    Options options;
    std::string error;
    switch (parseOptions(int(argumentPointers.size()), argumentPointers.data(), options, error)) {
    case ParseResult::Help:
        std::fputs(helpText(), stdout);
        return finishStandardOutput();
    case ParseResult::Version:
        std::printf("%s %s\n", programName, programVersion);
        return finishStandardOutput();
    case ParseResult::UsageError:
        return usageError(error);
    case ParseResult::Run:
        break;
    }
    return options.inputs.empty() ? runSample(options) : runFrames(options);
}
