// The reference cases: inputs and the outputs an independent implementation computed for them,
// matched sample for sample through the filter pass.
#include "png_io.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>

namespace {

struct GoldenCase {
    std::string name, input, arguments, expected;
};

std::vector<GoldenCase> readManifest() {
    std::ifstream manifest(TOVRIN_GOLDEN_DIR "/manifest.tsv");
    std::vector<GoldenCase> cases;
    std::string line;
    std::getline(manifest, line); // header
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        GoldenCase c;
        std::getline(fields, c.name, '\t');
        std::getline(fields, c.input, '\t');
        std::getline(fields, c.arguments, '\t');
        std::getline(fields, c.expected, '\t');
        cases.push_back(c);
    }
    return cases;
}

FilterParameters parseArguments(const std::string& arguments) {
    FilterParameters parameters;
    std::istringstream words(arguments);
    std::string word;
    while (words >> word) {
        if (word == "--smooth-range") {
            words >> parameters.smoothRange;
        } else if (word == "--key") {
            std::string rgb;
            words >> rgb;
            char comma;
            std::istringstream(rgb) >> parameters.keyRed >> comma >> parameters.keyGreen >> comma >>
                parameters.keyBlue;
            parameters.useColourKey = true;
        }
    }
    return parameters;
}

uint16_t toHost(uint16_t v) { return uint16_t((uint32_t(v) * 32768 + 32767) / 65535); }
uint16_t fromHost(uint16_t h) { return uint16_t((uint32_t(h) * 65535 + 16384) / 32768); }

template <typename Sample>
std::vector<uint16_t> smooth(const PngImage& in, const FilterParameters& parameters) {
    TestHost<Sample> host(in.width, in.height);
    for (int32_t y = 0; y < in.height; ++y)
        for (int32_t x = 0; x < in.width; ++x)
            for (int c = 0; c < 4; ++c) {
                const uint16_t v = in.samples[(size_t(y) * size_t(in.width) + size_t(x)) * 4 + size_t(c)];
                host.at(x, y)[size_t(c)] = Sample(sizeof(Sample) == 2 ? toHost(v) : v);
            }
    EXPECT_EQ(host.run(parameters), noErr);
    EXPECT_TRUE(host.guardsIntact);
    std::vector<uint16_t> out(in.samples.size());
    for (int32_t y = 0; y < in.height; ++y)
        for (int32_t x = 0; x < in.width; ++x) {
            const size_t at = (size_t(y) * size_t(in.width) + size_t(x)) * 4;
            const bool untouched = host.result(x, y) == host.at(x, y);
            for (size_t c = 0; c < 4; ++c) {
                const Sample h = host.result(x, y)[c];
                out[at + c] = sizeof(Sample) == 1 ? h : untouched ? in.samples[at + c] : fromHost(h);
            }
        }
    return out;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, MatchesTheReferenceSampleForSample) {
    const GoldenCase& c = GetParam();
    const PngImage in = readRgbaPng(std::string(TOVRIN_GOLDEN_DIR "/") + c.input);
    const PngImage expected = readRgbaPng(std::string(TOVRIN_GOLDEN_DIR "/") + c.expected);
    ASSERT_EQ(in.width, expected.width);
    ASSERT_EQ(in.bitDepth, expected.bitDepth);
    const FilterParameters parameters = parseArguments(c.arguments);
    const std::vector<uint16_t> out = in.bitDepth == 16 ? smooth<uint16_t>(in, parameters)
                                                        : smooth<uint8_t>(in, parameters);
    int mismatches = 0;
    for (size_t i = 0; i < out.size(); i += 4) {
        bool same = true;
        for (size_t k = 0; k < 4; ++k)
            same = same && out[i + k] == expected.samples[i + k];
        if (!same && ++mismatches <= 5) {
            const size_t p = i / 4;
            ADD_FAILURE() << c.name << " at (" << p % size_t(in.width) << ", " << p / size_t(in.width)
                          << "): got " << out[i] << "," << out[i + 1] << "," << out[i + 2] << ","
                          << out[i + 3] << " expected " << expected.samples[i] << ","
                          << expected.samples[i + 1] << "," << expected.samples[i + 2] << ","
                          << expected.samples[i + 3] << " input " << in.samples[i] << ","
                          << in.samples[i + 1] << "," << in.samples[i + 2] << "," << in.samples[i + 3];
        }
    }
    EXPECT_EQ(mismatches, 0) << c.name;
    // Every case exercises the smoothing: a pass that changed nothing could not match.
    EXPECT_NE(in.samples, expected.samples) << c.name;
}

INSTANTIATE_TEST_SUITE_P(ReferenceCases, Golden, ::testing::ValuesIn(readManifest()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

} // namespace
