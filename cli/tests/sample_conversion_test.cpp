// The host's 16-bit units and the mapping of file channels to host pixels and back.
#include "sample_conversion.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(HostUnits, EndsOfTheScaleMeetAndEveryHostValueSurvivesAWriteAndReread) {
    EXPECT_EQ(toHost16(0), 0);
    EXPECT_EQ(toHost16(65535), 32768);
    EXPECT_EQ(fromHost16(0), 0);
    EXPECT_EQ(fromHost16(32768), 65535);
    for (uint32_t h = 0; h <= 32768; ++h)
        ASSERT_EQ(toHost16(fromHost16(uint16_t(h))), h) << h;
    for (uint32_t v = 1; v <= 65535; ++v)
        ASSERT_LE(toHost16(uint16_t(v - 1)), toHost16(uint16_t(v))) << v;
    // By hand: 1 * 32768 + 32767 = 65535, / 65535 = 1; 1 * 65535 + 16384 = 81919, / 32768 = 2.
    // So the conversion alone does not give back every file value.
    EXPECT_EQ(fromHost16(toHost16(1)), 2);
}

// A premultiplied pixel the filter leaves alone must be written back exactly as stored: every
// colour value up to its alpha survives straightening and premultiplying again.
TEST(AlphaAssociation, EveryValidPremultipliedValueSurvivesARoundTrip) {
    for (uint32_t a = 0; a <= 255; ++a)
        for (uint32_t c = 0; c <= a; ++c) {
            uint8_t pixel[4] = {uint8_t(c), uint8_t(c / 2), 0, uint8_t(a)};
            unpremultiply(pixel, 1, 4, 3);
            premultiply(pixel, 1, 4, 3);
            ASSERT_EQ(pixel[0], c) << c << " at alpha " << a;
            ASSERT_EQ(pixel[1], c / 2) << c << " at alpha " << a;
            ASSERT_EQ(pixel[2], 0u);
            ASSERT_EQ(pixel[3], a);
        }
    for (uint32_t a = 1; a <= 65535; a += 251)
        for (uint32_t c = 0; c <= a; c += 1 + a / 500) {
            uint16_t pixel[2] = {uint16_t(a), uint16_t(c)}; // alpha first: any channel may be it
            unpremultiply(pixel, 1, 2, 0);
            premultiply(pixel, 1, 2, 0);
            ASSERT_EQ(pixel[1], c) << c << " at alpha " << a;
        }
    // By hand: 100 * 255 / 128 = 199.2; colour above its alpha is clamped to full.
    uint8_t pixel[4] = {100, 200, 0, 128};
    unpremultiply(pixel, 1, 4, 3);
    EXPECT_EQ(pixel[0], 199);
    EXPECT_EQ(pixel[1], 255);
}

TEST(ChannelLayouts, FileChannelsAreReadAsColourAlphaAndExtras) {
    struct Case {
        int channels;
        int alpha;
        bool gray;
        std::array<int, 3> colour;
        int expectedAlpha;
        std::vector<int> extras;
    };
    const std::vector<Case> cases = {
        {1, -1, true, {0, 0, 0}, -1, {}},
        {1, 0, true, {0, 0, 0}, -1, {}}, // a lone channel is never only alpha
        {2, 1, true, {0, 0, 0}, 1, {}},
        {2, -1, true, {0, 0, 0}, -1, {1}},
        {3, -1, false, {0, 1, 2}, -1, {}},
        {4, 3, false, {0, 1, 2}, 3, {}},
        {4, 0, false, {1, 2, 3}, 0, {}},
        {4, -1, false, {0, 1, 2}, -1, {3}},
        {6, 3, false, {0, 1, 2}, 3, {4, 5}},
    };
    for (const Case& c : cases) {
        const ChannelLayout layout = readLayout(c.channels, c.alpha);
        EXPECT_EQ(layout.gray, c.gray) << c.channels << "/" << c.alpha;
        EXPECT_EQ((std::array<int, 3>{layout.colour[0], layout.colour[1], layout.colour[2]}),
                  c.colour)
            << c.channels << "/" << c.alpha;
        EXPECT_EQ(layout.alpha, c.expectedAlpha) << c.channels << "/" << c.alpha;
        EXPECT_EQ(layout.extras, c.extras) << c.channels << "/" << c.alpha;
        EXPECT_EQ(isHostLayout(layout), c.channels == 4 && c.alpha == 3);
    }
}

// One pixel of a file through the host and back, the result given in host units.
struct WriteCase {
    const char* name;
    int channels;
    int alpha;
    std::vector<uint16_t> file;   // one pixel as stored
    std::vector<uint16_t> result; // the host's result for it
    std::vector<uint16_t> written;
};

TEST(WriteBack, SixteenBitPixelsKeepTheirSamplesUnlessTheFilterChangedThem) {
    const std::vector<WriteCase> cases = {
        {"untouched odd values",
         4,
         3,
         {1, 3, 65533, 65535},
         {1, 2, 32767, 32768},
         {1, 3, 65533, 65535}},
        {"changed colour",
         4,
         3,
         {1, 3, 65533, 65535},
         {100, 2, 32767, 32768},
         {200, 4, 65533, 65535}},
        {"rgb stays rgb", 3, -1, {5, 6, 7}, {3, 3, 4, 32768}, {5, 6, 7}},
        {"rgb gains alpha", 3, -1, {5, 6, 7}, {3, 3, 4, 0}, {6, 6, 8, 0}},
        {"gray stays gray", 1, -1, {999}, {501, 501, 501, 32768}, {1002}},
        {"gray alpha untouched", 2, 1, {999, 3}, {500, 500, 500, 2}, {999, 3}},
        {"gray becomes rgb", 1, -1, {999}, {500, 501, 500, 32768}, {1000, 1002, 1000}},
        {"extras kept", 5, 3, {1, 2, 3, 65535, 4242}, {9, 9, 9, 32768}, {18, 18, 18, 65535, 4242}},
    };
    for (const WriteCase& c : cases) {
        const ChannelLayout layout = readLayout(c.channels, c.alpha);
        uint16_t host[4];
        fileToHost(c.file.data(), layout, 1, host);
        const WriteLayout written = chooseWriteLayout(layout, c.result.data(), 1);
        ASSERT_EQ(size_t(written.channels()), c.written.size()) << c.name;
        std::vector<uint16_t> out(c.written.size());
        hostToFile(c.result.data(), c.file.data(), layout, written, 1, out.data());
        EXPECT_EQ(out, c.written) << c.name;
    }
}

} // namespace
