// tovrin-smooth as a user runs it: sequences and jobs, failing frames, bad options, output
// files that are never half written or clobbered, the sample cel, help and version.
#include "cel_art.h"
#include "cli_test_support.h"

#include <gtest/gtest.h>

#include <OpenImageIO/imageio.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string circles = "/in/circles.png";

std::string golden(const std::string& file) {
    return goldenFolder() + file;
}

// A small cel of one frame of a moving disc with an outline, on transparency.
ImageSamples discFrame(int frame, int bits) {
    ImageSamples image{40, 32, 4, bits, {}};
    image.samples.assign(size_t(40) * 32 * 4, 0);
    const int full = bits == 8 ? 255 : 65535;
    const int cx = 8 + frame % 24;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const int d = (x - cx) * (x - cx) + (y - 16) * (y - 16);
            if (d > 100)
                continue;
            const bool ink = d > 64;
            image.at(x, y, 0) = uint16_t(ink ? 0 : full * 3 / 4);
            image.at(x, y, 1) = uint16_t(ink ? 0 : full / 3);
            image.at(x, y, 2) = uint16_t(ink ? 0 : full / 5);
            image.at(x, y, 3) = uint16_t(full);
        }
    return image;
}

void writeSequence(const std::string& folder, int frames) {
    for (int f = 1; f <= frames; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "/shot.%04d.png", f);
        writeSamples(folder + name, discFrame(f, 8));
    }
}

bool mentions(const std::string& text, const std::string& fragment) {
    return text.find(fragment) != std::string::npos;
}

// The line of stderr that names the file, or "" when there is none.
std::string lineNaming(const std::string& err, const std::string& file) {
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (mentions(line, file))
            return line;
    return "";
}

// The printf form also asks for a frame that does not exist: it is reported, the others done. In
// high quality, whose pass may use threads on frames of any size, the threads change too.
TEST(Sequences, OutputIsTheSameWhateverTheNumberOfJobs) {
    TempFolder folder;
    writeSequence(folder.path, 24);
    const std::string pattern = folder / "shot.####.png";
    const RunResult one = runSmooth({pattern, "--jobs", "1", "--out-dir", folder / "one"});
    const RunResult two = runSmooth({pattern, "--jobs", "2", "--out-dir", folder / "two"});
    const RunResult highOne = runSmooth({pattern, "--quality", "high", "--jobs", "1", "--threads",
                                         "2", "--out-dir", folder / "high1"});
    const RunResult highTwo = runSmooth({pattern, "--quality", "high", "--jobs", "2", "--threads",
                                         "1", "--out-dir", folder / "high2"});
    const RunResult printf = runSmooth({folder / "shot.%04d.png", "--frames", "1-23,24,26",
                                        "--jobs", "2", "--out-dir", folder / "printf"});
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    ASSERT_EQ(highOne.status, 0) << highOne.err;
    ASSERT_EQ(highTwo.status, 0) << highTwo.err;
    EXPECT_EQ(printf.status, 1);
    EXPECT_TRUE(mentions(lineNaming(printf.err, "shot.0026.png"), "no such file")) << printf.err;
    size_t frames = 0;
    for (const auto& entry : fs::directory_iterator(folder / "one")) {
        const std::string name = entry.path().filename().string();
        ++frames;
        EXPECT_EQ(readBytes(folder / "two/" + name), readBytes(entry.path().string())) << name;
        EXPECT_EQ(readBytes(folder / "printf/" + name), readBytes(entry.path().string())) << name;
        EXPECT_EQ(readBytes(folder / "high2/" + name), readBytes(folder / "high1/" + name)) << name;
    }
    EXPECT_EQ(frames, 24u);
    // The disc's edge is a staircase, so every frame must have been smoothed.
    EXPECT_NE(readSamplesOrDie(folder / "one/shot.0007.png").samples,
              readSamplesOrDie(folder / "shot.0007.png").samples);
}

// A frame of two megapixels or more is cut into bands for the threads; the bytes stay the same,
// in either quality.
TEST(Threads, LargeFrameIsTheSameOnAnyNumberOfThreads) {
    TempFolder folder;
    CelArtOptions art;
    art.width = 1600;
    art.height = 1250; // exactly two megapixels
    art.seed = 7;
    const std::vector<uint8_t> rgba = drawCelArt(art);
    ImageSamples image;
    image.width = art.width;
    image.height = art.height;
    image.channels = 4;
    image.samples.assign(rgba.begin(), rgba.end());
    writeSamples(folder / "big.png", image);
    std::vector<std::string> results;
    for (const std::string quality : {"standard", "high"}) {
        for (const char* threads : {"1", "2", "3"}) {
            const std::string out = folder / (quality + "-" + threads + ".png");
            const RunResult run = runSmooth(
                {folder / "big.png", "--quality", quality, "--threads", threads, "-o", out});
            ASSERT_EQ(run.status, 0) << run.err;
            results.push_back(readBytes(out));
        }
    }
    EXPECT_EQ(results[1], results[0]);
    EXPECT_EQ(results[2], results[0]);
    EXPECT_NE(readSamplesOrDie(folder / "standard-1.png").samples, image.samples);
    EXPECT_EQ(results[4], results[3]);
    EXPECT_EQ(results[5], results[3]);
    EXPECT_NE(results[3], results[0]) << "high quality gave the standard filter's result";
}

// 16-bit samples pass through the host's 0..32768 units; a pixel the filter leaves alone must
// come back exactly as stored, although the conversion does not round-trip every value (1
// becomes host 1, which converts back to 2). A picture of one colour has no edge for either
// quality to smooth.
TEST(SixteenBit, UntouchedPixelsKeepTheirExactSamples) {
    struct Flat {
        const char* name;
        std::vector<uint16_t> pixel;
    };
    const std::vector<Flat> frames = {
        {"rgba_one.png", {1, 1, 1, 65535}},       {"rgba_odd.png", {12345, 3, 65534, 65535}},
        {"rgba_faint.png", {40000, 20000, 1, 1}}, {"rgba_clear.png", {7, 8, 9, 0}},
        {"rgb_odd.png", {1, 32767, 65533}},       {"gray_odd.png", {3}},
        {"gray_alpha.png", {65533, 77}},
    };
    TempFolder folder;
    std::vector<std::string> arguments;
    for (const Flat& flat : frames) {
        ImageSamples image{9, 7, int(flat.pixel.size()), 16, {}};
        for (int p = 0; p < 9 * 7; ++p)
            image.samples.insert(image.samples.end(), flat.pixel.begin(), flat.pixel.end());
        writeSamples(folder / flat.name, image);
        arguments.push_back(folder / flat.name);
    }
    for (const std::string quality : {"standard", "high"}) {
        std::vector<std::string> run = arguments;
        run.insert(run.end(),
                   {"--smooth-range", "8", "--quality", quality, "--out-dir", folder / quality});
        const RunResult result = runSmooth(run);
        ASSERT_EQ(result.status, 0) << result.err;
        for (const Flat& flat : frames) {
            const ImageSamples in = readSamplesOrDie(folder / flat.name);
            const ImageSamples out = readSamplesOrDie(folder / quality + "/" + flat.name);
            EXPECT_EQ(out.channels, in.channels) << flat.name << ", " << quality;
            EXPECT_EQ(out.bits, 16) << flat.name << ", " << quality;
            EXPECT_EQ(out.samples, in.samples) << flat.name << ", " << quality;
        }
    }
}

TEST(FailingFrames, EachIsReportedWithItsReasonAndTheOthersAreDone) {
    TempFolder folder;
    writeSamples(folder / "good1.png", discFrame(1, 8));
    writeSamples(folder / "good2.png", discFrame(2, 16));
    writeBytes(folder / "garbage.png", "this is not a picture at all\n");
    const std::string png = readBytes(folder / "good1.png");
    writeBytes(folder / "truncated.png", png.substr(0, png.size() / 2));
    {
        OIIO::ImageSpec spec(8, 8, 4, OIIO::TypeDesc::FLOAT);
        std::vector<float> pixels(8 * 8 * 4, 0.5f);
        auto output = OIIO::ImageOutput::create(folder / "float.tif");
        ASSERT_TRUE(output && output->open(folder / "float.tif", spec) &&
                    output->write_image(OIIO::TypeDesc::FLOAT, pixels.data()) && output->close());
    }
    struct Bad {
        const char* file;
        const char* reason; // a part of the message that says why
    };
    const std::vector<Bad> bad = {
        {"garbage.png", ""},
        {"truncated.png", ""},
        {"float.tif", "not supported"},
        {"missing.png", "no such file"},
        {"none.####.png", "no frame of this sequence was found"},
    };
    const RunResult run =
        runSmooth({folder / "good1.png", folder / "garbage.png", folder / "truncated.png",
                   folder / "float.tif", folder / "missing.png", folder / "none.####.png",
                   folder / "good2.png", "--jobs", "2", "--out-dir", folder / "out"});
    EXPECT_EQ(run.status, 1);
    for (const Bad& b : bad) {
        const std::string line = lineNaming(run.err, b.file);
        EXPECT_FALSE(line.empty()) << b.file << " not reported in:\n" << run.err;
        // "tovrin-smooth: FILE: reason", with a reason that is not empty.
        EXPECT_GT(line.size(), line.find(b.file) + std::string(b.file).size() + 2) << line;
        EXPECT_TRUE(mentions(line, b.reason)) << line;
        EXPECT_FALSE(fs::exists(folder / "out/" + b.file)) << b.file;
    }
    EXPECT_TRUE(fs::exists(folder / "out/good1.png"));
    EXPECT_TRUE(fs::exists(folder / "out/good2.png"));
    EXPECT_TRUE(mentions(run.err, "2 of 7 frames smoothed, 5 failed")) << run.err;
}

// Each case names the option at fault and what it accepts, exits with 2 and touches nothing.
// IN stands for an input file, OUT for a fresh output name.
TEST(Options, BadValuesAndOutputsAreRefusedBeforeAnythingIsDone) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"IN", "-o", "OUT", "--smooth-range", "256"},
         "--smooth-range takes a whole number from 0 to 255"},
        {{"IN", "-o", "OUT", "--smooth-range", "-1"},
         "--smooth-range takes a whole number from 0 to 255"},
        {{"IN", "-o", "OUT", "--smooth-range=8x"},
         "--smooth-range takes a whole number from 0 to 255"},
        {{"IN", "-o", "OUT", "--key", "1,2"},
         "--key takes R,G,B with each a whole number from 0 to 255"},
        {{"IN", "-o", "OUT", "--key", "1,2,256"},
         "--key takes R,G,B with each a whole number from 0 to 255"},
        {{"IN", "-o", "OUT", "--key", "#12345g"}, "#RRGGBB"},
        {{"IN", "-o", "OUT", "-j", "0"}, "--jobs takes a whole number from 1 to 1024"},
        {{"IN", "-o", "OUT", "--frames", "5-1"}, "--frames takes frame numbers"},
        {{"IN", "-o", "OUT", "--frames", "1-3"}, "--frames needs an input with a frame field"},
        {{"IN", "-o", "OUT", "--bogus"}, "unknown option '--bogus'"},
        {{"IN", "-o", "OUT", "--quality", "best"}, "--quality takes standard or high"},
        {{"IN"}, "no output given"},
        {{"IN", "IN2", "-o", "OUT"}, "-o names one file"},
        {{"IN", "-o", "OUT", "--in-place"}, "exclude each other"},
        {{"IN", "-o", "IN"}, "use --in-place"},
        {{"IN", "-o", "OUT", "--compare", "OUT"}, "two results"},
    };
    for (const auto& [arguments, mustMention] : cases) {
        TempFolder folder;
        writeBytes(folder / "in.png", readBytes(golden(circles)));
        writeBytes(folder / "in2.png", readBytes(golden(circles)));
        std::vector<std::string> expanded;
        for (const std::string& a : arguments)
            expanded.push_back(a == "IN"    ? folder / "in.png"
                               : a == "IN2" ? folder / "in2.png"
                               : a == "OUT" ? folder / "out.png"
                                            : a);
        const RunResult run = runSmooth(expanded);
        EXPECT_EQ(run.status, 2) << mustMention;
        EXPECT_TRUE(mentions(run.err, mustMention)) << mustMention << ": " << run.err;
        EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.png", "in2.png"})) << mustMention;
        EXPECT_EQ(readBytes(folder / "in.png"), readBytes(golden(circles)));
    }
}

TEST(OutputFiles, AFailedRunLeavesAnEarlierResultAsItWas) {
    TempFolder folder;
    writeBytes(folder / "broken.png", "\x89PNG\r\n\x1a\n and then nothing");
    writeBytes(folder / "out.png", "an earlier good result");
    fs::create_directory(folder / "taken.png");
    writeBytes(folder / "good.png", readBytes(golden(circles)));

    const RunResult unreadable = runSmooth({folder / "broken.png", "-o", folder / "out.png"});
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(readBytes(folder / "out.png"), "an earlier good result");
    // The result is written in full, then cannot be renamed over a folder.
    const RunResult blocked = runSmooth({folder / "good.png", "-o", folder / "taken.png"});
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(mentions(lineNaming(blocked.err, "good.png"), "cannot move")) << blocked.err;
    EXPECT_TRUE(fs::is_directory(folder / "taken.png"));
    EXPECT_EQ(folder.names(),
              (std::vector<std::string>{"broken.png", "good.png", "out.png", "taken.png"}));
}

TEST(OutputFiles, AnUnwritableDestinationFailsTheFrameWithItsReason) {
    TempFolder folder;
    writeBytes(folder / "in.png", readBytes(golden(circles)));
    writeBytes(folder / "plain-file", "not a folder");
    const RunResult run = runSmooth({folder / "in.png", "-o", folder / "plain-file/out.png"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(mentions(lineNaming(run.err, "in.png"), "Not a directory")) << run.err;
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"in.png", "plain-file"}));
}

TEST(OutputFiles, AReadOnlyOutputFolderFailsEveryFrame) {
    if (geteuid() == 0)
        GTEST_SKIP() << "running as root, which writes into read-only folders; the "
                        "unwritable-destination test covers this path";
    TempFolder folder;
    writeBytes(folder / "in.png", readBytes(golden(circles)));
    fs::create_directory(folder / "locked");
    chmod((folder / "locked").c_str(), 0555);
    const RunResult run = runSmooth({folder / "in.png", "--out-dir", folder / "locked"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(mentions(lineNaming(run.err, "in.png"), "Permission denied")) << run.err;
    EXPECT_TRUE(fs::is_empty(folder / "locked"));
}

// A TGA with transparency read through OpenImageIO and written as PNG, and the PNG's
// resolution and text surviving a run.
TEST(FileFormats, TgaInPngOutAndPngMetadataKept) {
    TempFolder folder;
    const std::string input = "/in/art_on_transparent.png";
    writeSamples(folder / "in.tga", readSamplesOrDie(golden(input)));
    const RunResult tga =
        runSmooth({folder / "in.tga", "--smooth-range", "8", "-o", folder / "out.png"});
    ASSERT_EQ(tga.status, 0) << tga.err;
    EXPECT_EQ(readSamplesOrDie(folder / "out.png").samples,
              readSamplesOrDie(golden("/expected/art_on_transparent__r8.png")).samples);

    {
        OIIO::ImageSpec spec(4, 3, 4, OIIO::TypeDesc::UINT8);
        spec.attribute("ImageDescription", "cel 12, take 3");
        spec.attribute("XResolution", 300.0f);
        spec.attribute("YResolution", 300.0f);
        spec.attribute("ResolutionUnit", "inch");
        std::vector<uint8_t> pixels(4 * 3 * 4, 200);
        auto output = OIIO::ImageOutput::create(folder / "meta.png");
        ASSERT_TRUE(output && output->open(folder / "meta.png", spec) &&
                    output->write_image(OIIO::TypeDesc::UINT8, pixels.data()) && output->close());
    }
    const RunResult png = runSmooth({folder / "meta.png", "-o", folder / "meta-out.png"});
    ASSERT_EQ(png.status, 0) << png.err;
    auto before = OIIO::ImageInput::open(folder / "meta.png");
    auto after = OIIO::ImageInput::open(folder / "meta-out.png");
    ASSERT_TRUE(before && after);
    EXPECT_EQ(after->spec().get_string_attribute("ImageDescription"), "cel 12, take 3");
    // pHYs holds pixels per metre, so compare with what the input itself reads back as.
    EXPECT_EQ(after->spec().get_float_attribute("XResolution"),
              before->spec().get_float_attribute("XResolution"));
    EXPECT_EQ(after->spec().get_string_attribute("ResolutionUnit"), "inch");
}

// Indexed colour, with a transparent palette entry, is common for cels: it must be smoothed as
// the colours it stands for.
TEST(FileFormats, IndexedPngIsSmoothedAsItsColours) {
    const ImageSamples rgba = readSamplesOrDie(golden("/in/art_on_transparent.png"));
    std::vector<std::array<uint8_t, 4>> palette;
    std::vector<uint8_t> indices;
    for (size_t i = 0; i < rgba.samples.size(); i += 4) {
        const std::array<uint8_t, 4> colour{uint8_t(rgba.samples[i]), uint8_t(rgba.samples[i + 1]),
                                            uint8_t(rgba.samples[i + 2]),
                                            uint8_t(rgba.samples[i + 3])};
        auto found = std::find(palette.begin(), palette.end(), colour);
        if (found == palette.end())
            found = palette.insert(palette.end(), colour);
        indices.push_back(uint8_t(found - palette.begin()));
    }
    ASSERT_LE(palette.size(), 256u);
    TempFolder folder;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(rgba.width);
    image.height = png_uint_32(rgba.height);
    image.format = PNG_FORMAT_RGBA_COLORMAP;
    image.colormap_entries = png_uint_32(palette.size());
    ASSERT_TRUE(png_image_write_to_file(&image, (folder / "indexed.png").c_str(), 0, indices.data(),
                                        0, palette.data()));
    const RunResult run =
        runSmooth({folder / "indexed.png", "--smooth-range", "8", "-o", folder / "out.png"});
    ASSERT_EQ(run.status, 0) << run.err;
    const ImageSamples out = readSamplesOrDie(folder / "out.png");
    EXPECT_EQ(out.channels, 4);
    EXPECT_EQ(out.samples,
              readSamplesOrDie(golden("/expected/art_on_transparent__r8.png")).samples);
}

TEST(SampleCel, ARunWithoutInputSmoothsTheBundledCel) {
    TempFolder folder;
    const RunResult run = runSmooth({}, folder.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(folder.names(),
              (std::vector<std::string>{"tovrin-sample-compare.png", "tovrin-sample.png"}));
    EXPECT_TRUE(mentions(run.out, "tovrin-sample.png")) << run.out;
    EXPECT_TRUE(mentions(run.out, "tovrin-sample-compare.png")) << run.out;
    // The cel is drawn with alpha 0 or 255 only; smoothing its outline must blend into the
    // transparent background.
    const ImageSamples result = readSamplesOrDie(folder / "tovrin-sample.png");
    ASSERT_EQ(result.channels, 4);
    bool clear = false, partial = false;
    for (int y = 0; y < result.height; ++y)
        for (int x = 0; x < result.width; ++x) {
            clear |= result.at(x, y, 3) == 0;
            partial |= result.at(x, y, 3) > 0 && result.at(x, y, 3) < 255;
        }
    EXPECT_TRUE(clear);
    EXPECT_TRUE(partial);
}

TEST(Reporting, ProgressOnlyWhenAskedOnAPipeAndASummaryAtTheEnd) {
    TempFolder folder;
    writeSequence(folder.path, 3);
    const std::string pattern = folder / "shot.####.png";
    const RunResult plain = runSmooth({pattern, "--out-dir", folder / "a"});
    const RunResult progress = runSmooth({pattern, "--out-dir", folder / "b", "--progress"});
    const RunResult quiet = runSmooth({pattern, "--out-dir", folder / "c", "--quiet"});
    EXPECT_FALSE(mentions(plain.err, "\r")) << plain.err;
    EXPECT_TRUE(std::regex_search(plain.err, std::regex("3 of 3 frames smoothed; [0-9,]+ of "
                                                        "3,840 pixels changed")))
        << plain.err;
    EXPECT_TRUE(mentions(progress.err, "\r[")) << progress.err;
    EXPECT_TRUE(mentions(progress.err, "3/3 frames")) << progress.err;
    EXPECT_EQ(quiet.err, "");
}

TEST(Documentation, HelpVersionAndManPageAgree) {
    const RunResult help = runSmooth({"--help"});
    const RunResult version = runSmooth({"--version"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "tovrin-smooth 1.01\n");
    const std::string man = readBytes(manPagePath());
    EXPECT_TRUE(mentions(man, ".TH TOVRIN-SMOOTH 1")) << "not a man page";
    EXPECT_TRUE(mentions(man, "\"tovrin-smooth 1.01\"")) << "the man page's version is stale";
    for (const char* option :
         {"--smooth-range", "--key", "--output", "--out-dir", "--in-place", "--frames", "--jobs",
          "--compare", "--progress", "--quiet", "--help", "--version", "--skip-existing",
          "--report", "--png-compression", "--max-pixels", "--quality"}) {
        EXPECT_TRUE(mentions(help.out, option)) << option << " missing from --help";
        // The man page escapes its hyphens.
        std::string escaped;
        for (char c : std::string(option))
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(mentions(man, escaped)) << option << " missing from the man page";
    }
}

} // namespace
