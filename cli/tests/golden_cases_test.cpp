// tovrin-smooth against the reference cases, which an independent implementation of the
// engine computed: the files as they are, and re-encoded as RGB without alpha and as gray
// wherever the case allows it without changing what the filter sees.
#include "cli_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

struct GoldenCase {
    std::string name;
    std::string input;
    std::vector<std::string> arguments;
    std::string expected;
};

std::vector<GoldenCase> loadManifest() {
    std::vector<GoldenCase> cases;
    std::ifstream manifest(goldenFolder() + "/manifest.tsv");
    std::string line;
    std::getline(manifest, line); // header
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        GoldenCase c;
        std::string arguments;
        std::getline(fields, c.name, '\t');
        std::getline(fields, c.input, '\t');
        std::getline(fields, arguments, '\t');
        std::getline(fields, c.expected, '\t');
        std::istringstream words(arguments);
        for (std::string word; words >> word;)
            c.arguments.push_back(word);
        cases.push_back(c);
    }
    return cases;
}

uint16_t fullOf(const ImageSamples& image) {
    return image.bits == 8 ? 255 : 65535;
}

bool opaque(const ImageSamples& rgba) {
    for (int y = 0; y < rgba.height; ++y)
        for (int x = 0; x < rgba.width; ++x)
            if (rgba.at(x, y, 3) != fullOf(rgba))
                return false;
    return true;
}

bool gray(const ImageSamples& rgba) {
    for (int y = 0; y < rgba.height; ++y)
        for (int x = 0; x < rgba.width; ++x)
            if (rgba.at(x, y, 0) != rgba.at(x, y, 1) || rgba.at(x, y, 0) != rgba.at(x, y, 2))
                return false;
    return true;
}

// Every sample equal; the first differences are named in the failure.
void expectSameSamples(const ImageSamples& actual, const ImageSamples& expected,
                       const std::string& what) {
    ASSERT_EQ(actual.width, expected.width) << what;
    ASSERT_EQ(actual.height, expected.height) << what;
    ASSERT_EQ(actual.channels, expected.channels) << what;
    ASSERT_EQ(actual.bits, expected.bits) << what;
    int reported = 0;
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x)
            for (int c = 0; c < actual.channels; ++c)
                if (actual.at(x, y, c) != expected.at(x, y, c) && reported++ < 5)
                    ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ") channel " << c
                                  << " is " << actual.at(x, y, c) << ", expected "
                                  << expected.at(x, y, c);
    EXPECT_EQ(reported, 0) << what << ": samples differ";
}

// Shown in test names and failures instead of the bytes of the struct.
void PrintTo(const GoldenCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<GoldenCase> casesWhoseInputIs(bool (*property)(const ImageSamples&)) {
    std::vector<GoldenCase> selected;
    for (const GoldenCase& c : loadManifest())
        if (property(readSamplesOrDie(goldenFolder() + "/" + c.input)))
            selected.push_back(c);
    return selected;
}

class GoldenCases : public ::testing::TestWithParam<GoldenCase> {};
class OpaqueGoldenCases : public GoldenCases {};
class GrayGoldenCases : public GoldenCases {};

std::vector<std::string> withOutput(std::vector<std::string> arguments, const std::string& input,
                                    const std::string& output) {
    arguments.insert(arguments.begin(), input);
    arguments.push_back("-o");
    arguments.push_back(output);
    return arguments;
}

TEST_P(GoldenCases, ReproducesTheReferenceSampleForSample) {
    const GoldenCase& c = GetParam();
    TempFolder folder;
    const RunResult run =
        runSmooth(withOutput(c.arguments, goldenFolder() + "/" + c.input, folder / "out.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    expectSameSamples(readSamplesOrDie(folder / "out.png"),
                      readSamplesOrDie(goldenFolder() + "/" + c.expected), c.name);
}

// An RGB file is the same picture as its opaque RGBA form; it comes back as RGB unless the
// colour key made pixels transparent.
TEST_P(OpaqueGoldenCases, AsRgbWithoutAlpha) {
    const GoldenCase& c = GetParam();
    const ImageSamples input = readSamplesOrDie(goldenFolder() + "/" + c.input);
    const ImageSamples expected = readSamplesOrDie(goldenFolder() + "/" + c.expected);
    TempFolder folder;
    writeSamples(folder / "in.png", pickChannels(input, {0, 1, 2}));
    const RunResult run = runSmooth(withOutput(c.arguments, folder / "in.png", folder / "out.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    const bool keyed = !opaque(expected);
    expectSameSamples(readSamplesOrDie(folder / "out.png"),
                      keyed ? expected : pickChannels(expected, {0, 1, 2}), c.name + " as RGB");
}

// A gray file is the same picture as its RGB form with equal channels, and comes back gray.
TEST_P(GrayGoldenCases, AsGray) {
    const GoldenCase& c = GetParam();
    const ImageSamples input = readSamplesOrDie(goldenFolder() + "/" + c.input);
    const ImageSamples expected = readSamplesOrDie(goldenFolder() + "/" + c.expected);
    ASSERT_TRUE(gray(expected)) << "a gray picture must stay gray";
    const std::vector<int> grayOnly{0};
    const std::vector<int> grayAlpha{0, 3};
    // Alpha is kept when the file has it, and added only when the result needs it.
    const bool inputAlpha = !opaque(input);
    const bool outputAlpha = inputAlpha || !opaque(expected);
    TempFolder folder;
    writeSamples(folder / "in.png", pickChannels(input, inputAlpha ? grayAlpha : grayOnly));
    const RunResult run = runSmooth(withOutput(c.arguments, folder / "in.png", folder / "out.png"));
    ASSERT_EQ(run.status, 0) << run.err;
    expectSameSamples(readSamplesOrDie(folder / "out.png"),
                      pickChannels(expected, outputAlpha ? grayAlpha : grayOnly),
                      c.name + " as gray");
}

// Replacing the input in place gives the same pixels and leaves nothing else behind.
TEST_P(GoldenCases, InPlaceReplacesTheInputWithTheResult) {
    const GoldenCase& c = GetParam();
    TempFolder folder;
    writeBytes(folder / "cel.png", readBytes(goldenFolder() + "/" + c.input));
    std::vector<std::string> arguments = c.arguments;
    arguments.insert(arguments.begin(), folder / "cel.png");
    arguments.push_back("--in-place");
    const RunResult run = runSmooth(arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(folder.names(), std::vector<std::string>{"cel.png"});
    expectSameSamples(readSamplesOrDie(folder / "cel.png"),
                      readSamplesOrDie(goldenFolder() + "/" + c.expected), c.name + " in place");
}

// Formats other than PNG go through OpenImageIO's module; TIFF holds both depths. The input
// carries Exif data, which the result keeps in a directory of its own.
TEST_P(GoldenCases, SameSamplesThroughTiff) {
    const GoldenCase& c = GetParam();
    TempFolder folder;
    writeSamples(folder / "in.tif", readSamplesOrDie(goldenFolder() + "/" + c.input), true);
    const RunResult run = runSmooth(withOutput(c.arguments, folder / "in.tif", folder / "out.tif"));
    ASSERT_EQ(run.status, 0) << run.err;
    expectSameSamples(readSamplesOrDie(folder / "out.tif"),
                      readSamplesOrDie(goldenFolder() + "/" + c.expected), c.name + " as TIFF");
}

std::string caseName(const ::testing::TestParamInfo<GoldenCase>& info) {
    std::string name = info.param.name;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Reference, GoldenCases, ::testing::ValuesIn(loadManifest()), caseName);
INSTANTIATE_TEST_SUITE_P(Reference, OpaqueGoldenCases,
                         ::testing::ValuesIn(casesWhoseInputIs(opaque)), caseName);
INSTANTIATE_TEST_SUITE_P(Reference, GrayGoldenCases, ::testing::ValuesIn(casesWhoseInputIs(gray)),
                         caseName);

} // namespace
