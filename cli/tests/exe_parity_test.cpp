// Another build of tovrin-smooth (the Windows .exe under wine, named by TOVRIN_SMOOTH_EXE) against
// the native one: the same files with the same samples for the same command, Windows path
// forms, and failures that leave earlier outputs alone. Skipped when no other build is named.
#include "cli_test_support.h"

#include <OpenImageIO/imageio.h>
#include <png.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ExeParity : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testingAnotherBuild())
            GTEST_SKIP() << "TOVRIN_SMOOTH_EXE names no build to compare with the native one";
    }
};

std::string golden(const std::string& name) {
    return goldenFolder() + "/in/" + name;
}

std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

// The Windows name wine gives a Linux path: drive Z: is the root.
std::string windowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Every file below folder, relative, sorted.
std::vector<std::string> filesBelow(const std::string& folder) {
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), folder).string());
    std::sort(files.begin(), files.end());
    return files;
}

// Everything but the pixels that a reader sees in the file: resolution, text, colour space.
std::string metadataOf(const std::string& path) {
    auto input = OIIO::ImageInput::open(path);
    return input ? input->spec().serialize(OIIO::ImageSpec::SerialText) : "unreadable";
}

void expectSameSamples(const std::string& actualPath, const std::string& expectedPath) {
    const ImageSamples actual = readSamplesOrDie(actualPath);
    const ImageSamples expected = readSamplesOrDie(expectedPath);
    EXPECT_EQ(actual.width, expected.width) << actualPath;
    EXPECT_EQ(actual.height, expected.height) << actualPath;
    EXPECT_EQ(actual.channels, expected.channels) << actualPath;
    EXPECT_EQ(actual.bits, expected.bits) << actualPath;
    EXPECT_TRUE(actual.samples == expected.samples)
        << actualPath << " differs from " << expectedPath;
    EXPECT_EQ(metadataOf(actualPath), metadataOf(expectedPath)) << actualPath;
}

// An 8-bit palette PNG with a transparent entry: the one layout the test helpers cannot write.
void writeIndexedPng(const std::string& path, const ImageSamples& rgba) {
    std::vector<png_color> palette;
    std::vector<png_byte> alphas;
    std::vector<png_byte> indices;
    for (int y = 0; y < rgba.height; ++y)
        for (int x = 0; x < rgba.width; ++x) {
            const png_color colour{png_byte(rgba.at(x, y, 0)), png_byte(rgba.at(x, y, 1)),
                                   png_byte(rgba.at(x, y, 2))};
            const png_byte alpha = png_byte(rgba.at(x, y, 3) < 128 ? 0 : 255);
            size_t i = 0;
            while (i < palette.size() &&
                   !(palette[i].red == colour.red && palette[i].green == colour.green &&
                     palette[i].blue == colour.blue && alphas[i] == alpha))
                ++i;
            if (i == palette.size()) {
                if (palette.size() == 256)
                    i = 0; // enough colours for a test picture
                else {
                    palette.push_back(colour);
                    alphas.push_back(alpha);
                }
            }
            indices.push_back(png_byte(i));
        }
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, png_uint_32(rgba.width), png_uint_32(rgba.height), 8,
                 PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_PLTE(png, info, palette.data(), int(palette.size()));
    png_set_tRNS(png, info, alphas.data(), int(alphas.size()), nullptr);
    png_write_info(png, info);
    for (int y = 0; y < rgba.height; ++y)
        png_write_row(png, &indices[size_t(y) * size_t(rgba.width)]);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// Frames of every PNG layout the command line reads, as one sequence in a folder with spaces.
void writeShot(const std::string& folder) {
    fs::create_directories(folder);
    const ImageSamples rgba8 = readSamplesOrDie(golden("glyphs.png"));
    const ImageSamples rgba16 = readSamplesOrDie(golden("art16_transparent.png"));
    writeBytes(folder + "/shot.0001.png", readBytes(golden("circles.png")));
    writeSamples(folder + "/shot.0002.png", pickChannels(rgba8, {0, 1, 2}));
    writeSamples(folder + "/shot.0003.png", pickChannels(rgba8, {1}));
    writeSamples(folder + "/shot.0004.png", pickChannels(rgba16, {0, 3}));
    writeSamples(folder + "/shot.0005.png",
                 pickChannels(readSamplesOrDie(golden("art16_white.png")), {0, 1, 2}));
    writeBytes(folder + "/shot.0006.png", readBytes(golden("art16_transparent.png")));
    writeIndexedPng(folder + "/shot.0007.png", readSamplesOrDie(golden("colour_on_colour.png")));
    // Resolution and text, which the result keeps.
    const ImageSamples art = readSamplesOrDie(golden("art_on_transparent.png"));
    OIIO::ImageSpec spec(art.width, art.height, 4, OIIO::TypeDesc::UINT16);
    spec.attribute("ImageDescription", "cut 12, take 3");
    spec.attribute("XResolution", 300.0f);
    spec.attribute("YResolution", 300.0f);
    spec.attribute("ResolutionUnit", "inch");
    std::vector<uint16_t> wide(art.samples.begin(), art.samples.end());
    for (uint16_t& sample : wide)
        sample = uint16_t(sample * 257);
    auto output = OIIO::ImageOutput::create(folder + "/shot.0008.png");
    ASSERT_TRUE(output && output->open(folder + "/shot.0008.png", spec) &&
                output->write_image(OIIO::TypeDesc::UINT16, wide.data()) && output->close());
}

// Runs the same command with both builds, each in a fresh copy of the inputs, and expects the
// same exit status and the same files with the same samples.
void expectSameRun(const std::vector<std::string>& args, void (*prepare)(const std::string&)) {
    TempFolder native, other;
    prepare(native.path);
    prepare(other.path);
    const std::vector<std::string> inputs = filesBelow(native.path);
    const RunResult nativeRun = runCommand(nativeSmoothCommand(), args, native.path);
    const RunResult otherRun = runSmooth(args, other.path);
    ASSERT_EQ(nativeRun.status, 0) << nativeRun.err;
    EXPECT_EQ(otherRun.status, nativeRun.status) << otherRun.err;
    EXPECT_EQ(withoutCarriageReturns(otherRun.out), nativeRun.out);
    const std::vector<std::string> files = filesBelow(native.path);
    ASSERT_EQ(filesBelow(other.path), files);
    ASSERT_GT(files.size(), inputs.size());
    for (const std::string& file : files)
        expectSameSamples(other / file, native / file);
}

TEST_F(ExeParity, SequencesGiveTheLinuxBuildsSamples) {
    const auto shot = [](const std::string& folder) { writeShot(folder + "/cut 12 take 3"); };
    const std::vector<std::vector<std::string>> runs = {
        {"cut 12 take 3/shot.####.png", "--out-dir", "smoothed", "--jobs", "2"},
        {"cut 12 take 3/shot.%04d.png", "--frames", "2-6", "-o", "s é.####.png", "--jobs", "2",
         "--smooth-range", "8", "--key", "#FFFFFF", "--compare", "c.####.png", "-q"},
        {"cut 12 take 3/shot.####.png", "--quality", "high", "--out-dir", "high", "--jobs", "2",
         "--smooth-range", "4", "--key", "#FFFFFF", "--compare", "h.####.png"},
    };
    for (const auto& args : runs)
        expectSameRun(args, shot);
}

TEST_F(ExeParity, SampleCelIsTheLinuxBuilds) {
    expectSameRun({}, [](const std::string&) {});
}

TEST_F(ExeParity, SameHelpVersionAndRefusals) {
    const std::vector<std::vector<std::string>> runs = {
        {"--help"},
        {"--version"},
        {"in.png", "--smooth-range", "256", "-o", "out.png"},
        {"in.png", "--key", "1,2", "-o", "out.png"},
        {"in.png", "--jobs", "0", "-o", "out.png"},
        {"in.png", "--bogus", "-o", "out.png"},
        {"in.png", "--quality", "best", "-o", "out.png"},
        {"in.png"},
        {"in.png", "-o", "a.png", "--in-place"},
        {"--frames", "1-3", "in.png", "-o", "out.png"},
    };
    for (const auto& args : runs) {
        TempFolder native, other;
        const RunResult nativeRun = runCommand(nativeSmoothCommand(), args, native.path);
        const RunResult otherRun = runSmooth(args, other.path);
        const std::string command = args.front() + (args.size() > 1 ? " " + args[1] : "");
        EXPECT_EQ(otherRun.status, nativeRun.status) << command;
        EXPECT_EQ(withoutCarriageReturns(otherRun.out), nativeRun.out) << command;
        EXPECT_EQ(withoutCarriageReturns(otherRun.err), nativeRun.err) << command;
        EXPECT_TRUE(other.names().empty()) << command;
    }
}

// Drive letters with backslashes, the long-path prefix, UNC shares (wine serves \\host\share
// from its prefix's dosdevices/unc folder) and names outside ASCII, for input and output alike.
TEST_F(ExeParity, WindowsPathForms) {
    TempFolder folder;
    const std::string input = golden("art_on_transparent.png");
    fs::create_directories(folder / "カット 12");
    writeBytes(folder / "カット 12/セル.png", readBytes(input));
    ASSERT_EQ(runCommand(nativeSmoothCommand(), {input, "-o", folder / "native.png"}).status, 0);

    const std::string share = "tovrin-test-" + std::to_string(getpid());
    const char* prefix = std::getenv("WINEPREFIX");
    std::string uncRoot;
    if (prefix != nullptr) {
        const fs::path hosts = fs::path(prefix) / "dosdevices" / "unc" / share;
        fs::create_directories(hosts);
        fs::create_directory_symlink(folder.path, hosts / "share");
        uncRoot = "\\\\" + share + "\\share";
    }
    struct Case {
        std::string input, output, createdName;
    };
    std::vector<Case> cases = {
        {windowsPath(folder / "カット 12/セル.png"), windowsPath(folder / "drive é.png"),
         "drive é.png"},
        {"\\\\?\\" + windowsPath(input), "\\\\?\\" + windowsPath(folder / "長い.png"), "長い.png"},
    };
    if (!uncRoot.empty())
        cases.push_back({uncRoot + "\\カット 12\\セル.png", uncRoot + "\\unc ñ.png", "unc ñ.png"});
    for (const Case& c : cases) {
        const RunResult run = runSmooth({c.input, "-o", c.output});
        EXPECT_EQ(run.status, 0) << c.input << ": " << run.err;
        ASSERT_TRUE(fs::exists(folder / c.createdName)) << c.output;
        expectSameSamples(folder / c.createdName, folder / "native.png");
    }
    if (prefix != nullptr)
        fs::remove_all(fs::path(prefix) / "dosdevices" / "unc" / share);

    // A sequence behind backslashes, in a folder whose name holds '#' and a space.
    fs::create_directories(folder / "take #2");
    for (const char* name : {"c.0001.png", "c.0002.png"})
        writeBytes(folder / "take #2/" + name, readBytes(input));
    const RunResult sequence = runSmooth({windowsPath(folder / "take #2/c.####.png"), "--out-dir",
                                          windowsPath(folder / "seq out"), "--jobs", "2"});
    EXPECT_EQ(sequence.status, 0) << sequence.err;
    for (const char* name : {"c.0001.png", "c.0002.png"})
        expectSameSamples(folder / "seq out/" + name, folder / "native.png");

    // The same file by another name is still the input: refused, and the input untouched.
    const std::string original = readBytes(folder / "カット 12/セル.png");
    const std::string sameFile = windowsPath(folder / "カット 12/セル.png");
    const std::vector<std::string> sameFileNames = {"セル.PNG", "セル.png.", sameFile,
                                                    "\\\\?\\" + sameFile};
    for (const std::string& output : sameFileNames) {
        const RunResult run = runSmooth({"セル.png", "-o", output}, folder / "カット 12");
        EXPECT_EQ(run.status, 2) << output << ": " << run.err;
        EXPECT_EQ(readBytes(folder / "カット 12/セル.png"), original) << output;
    }
}

// Every file below folder with its bytes, to tell that a refused run touched nothing.
std::vector<std::pair<std::string, std::string>> contentsBelow(const std::string& folder) {
    std::vector<std::pair<std::string, std::string>> contents;
    for (const std::string& file : filesBelow(folder))
        contents.emplace_back(file, readBytes(folder + "/" + file));
    return contents;
}

// Names Windows takes for one file, or for a device, are refused before anything runs (status 2,
// nothing written); a name Windows would shorten fails its frame with a plain message.
TEST_F(ExeParity, WindowsNameRulesForNewFiles) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"x\\Cel.png", "y\\cel.png", "--out-dir", "out"}, 2, "two results would be written"},
        {{"x\\Cel.png", "-o", "res.png", "--compare", "RES.PNG"}, 2, "two results"},
        {{"x\\Cel.png", "-o", "r\\res.png", "--compare", "R\\.\\Res.png. ."}, 2, "two results"},
        {{"x\\Cel.png", "-o", "\u00c9t\u00e9.png", "--compare", "\u00e9T\u00c9.PNG"}, 2, "two results"},
        {{"x\\Cel.png", "-o", "CON"}, 2, "the Windows device 'CON'"},
        {{"x\\Cel.png", "-o", "lpt9.png"}, 2, "the Windows device 'LPT9'"},
        {{"x\\Cel.png", "-o", "res.png", "--compare", "Com1 .png"}, 2, "device 'COM1'"},
        {{"x\\Cel.png", "--out-dir", "nul"}, 2, "the Windows device 'NUL'"},
        {{"x\\Cel.png", "-o", "res.png", "--report", "aux.json"}, 2, "device 'AUX'"},
        {{"x\\Cel.png", "-o", "res.png "}, 1, "ends in a space, which Windows drops"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        fs::create_directories(folder / "x");
        fs::create_directories(folder / "y");
        writeBytes(folder / "x/Cel.png", readBytes(golden("circles.png")));
        writeBytes(folder / "y/cel.png", readBytes(golden("glyphs.png")));
        const auto before = contentsBelow(folder.path);
        const RunResult run = runSmooth(c.args, folder.path);
        const std::string command = c.args[1] + " " + c.args[2] + " " + c.args.back();
        EXPECT_EQ(run.status, c.status) << command << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << command << ": " << run.err;
        EXPECT_EQ(run.err.find("  "), std::string::npos) << command << ": " << run.err;
        EXPECT_EQ(contentsBelow(folder.path), before) << command;
    }
}

// A run started with standard error closed (2>&-, a daemon's wrapper): the progress bar and
// the failures of bad frames go nowhere, never into another frame's file. (Wine itself stops
// working when started with standard input or output closed as well: its own server connection
// takes their numbers.)
TEST_F(ExeParity, ClosedStandardDescriptorsLeaveFramesWhole) {
    const auto shot = [](const std::string& folder) {
        fs::create_directories(folder + "/shot");
        const std::string frame = readBytes(golden("art16_transparent.png"));
        for (int i = 1; i <= 16; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/shot/s.%04d.png", i);
            writeBytes(folder + name, i % 4 == 0 ? frame.substr(0, frame.size() / 2) : frame);
        }
    };
    TempFolder native, other;
    shot(native.path);
    shot(other.path);
    const std::vector<std::string> args = {"shot/s.####.png", "--out-dir", "out", "--jobs", "2",
                                           "--progress"};
    ASSERT_EQ(runCommand(nativeSmoothCommand(), args, native.path).status, 1);
    std::vector<std::string> command = smoothCommand();
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv = execArgv(command);
    const pid_t pid = fork();
    if (pid == 0) {
        close(2);
        if (chdir(other.path.c_str()) == 0)
            execv(argv[0], argv.data());
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(filesBelow(other / "out"), filesBelow(native / "out"));
    for (const std::string& file : filesBelow(native / "out"))
        expectSameSamples(other / "out/" + file, native / "out/" + file);
}

// Ctrl-C (wine turns SIGINT into the console's Ctrl-C event): the frames in flight are finished,
// no others started, no temporary left, exit status 130.
TEST_F(ExeParity, InterruptFinishesFramesInFlightAndExits130) {
    TempFolder folder;
    ImageSamples frame{1500, 1500, 4, 8, {}};
    frame.samples.resize(size_t(frame.width) * size_t(frame.height) * 4);
    for (int y = 0; y < frame.height; ++y)
        for (int x = 0; x < frame.width; ++x)
            for (int c = 0; c < 4; ++c)
                frame.at(x, y, c) = c == 3 ? 255 : ((x / 7 + y / 5) % 2) * 255;
    writeSamples(folder / "f.0001.png", frame);
    constexpr int frames = 40;
    for (int i = 2; i <= frames; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "f.%04d.png", i);
        fs::copy_file(folder / "f.0001.png", folder / name);
    }
    fs::create_directory(folder / "out");

    std::vector<std::string> command = smoothCommand();
    for (const char* a : {"f.####.png", "--out-dir", "out", "--jobs", "2"})
        command.push_back(a);
    std::vector<char*> argv = execArgv(command);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(folder.path.c_str()) == 0)
            execv(argv[0], argv.data());
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int waited = 0; waited < 600 && fs::is_empty(folder / "out"); ++waited)
        usleep(100000);
    kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);

    size_t written = 0;
    for (const auto& entry : fs::directory_iterator(folder / "out")) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(name[0], '.') << "temporary left: " << name;
        EXPECT_EQ(readSamplesOrDie(entry.path().string()).samples.size(), frame.samples.size());
        ++written;
    }
    EXPECT_GT(written, 0u);
    EXPECT_LT(written, size_t(frames));
}

// A frame that fails leaves the output an earlier run wrote exactly as it was, and no temporary.
TEST_F(ExeParity, FailedFrameKeepsTheEarlierOutput) {
    struct Case {
        const char* what;
        void (*makeInput)(const std::string& path);
        std::string output;
        std::string errorMentions;
    };
    const std::vector<Case> cases = {
        {"truncated PNG",
         [](const std::string& path) {
             const std::string bytes = readBytes(golden("circles.png"));
             writeBytes(path, bytes.substr(0, bytes.size() / 2));
         },
         "out.png", "corrupt PNG"},
        {"TIFF input",
         [](const std::string& path) {
             writeSamples(path + ".tif", readSamplesOrDie(golden("circles.png")));
             fs::rename(path + ".tif", path);
         },
         "out.png", "TIFF"},
        {"TIFF output",
         [](const std::string& path) { writeBytes(path, readBytes(golden("circles.png"))); },
         "out.tif", "TIF"},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        c.makeInput(folder / "in");
        const std::string earlier = "an earlier good result";
        writeBytes(folder / c.output, earlier);
        const RunResult run = runSmooth({"in", "-o", c.output}, folder.path);
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.err.find(c.errorMentions), std::string::npos) << c.what << ": " << run.err;
        EXPECT_EQ(readBytes(folder / c.output), earlier) << c.what;
        EXPECT_EQ(folder.names().size(), 2u) << c.what;
    }
}

} // namespace
