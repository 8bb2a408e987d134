// The comparison picture, the progress line and the sample cel.
#include "compare_picture.h"
#include "progress.h"
#include "sample_cel.h"
#include "sample_conversion.h"

#include "frame_host.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>

namespace {

TEST(MostChangedWindow, FindsTheHotSpotAndPrefersTheFirstOnATie) {
    struct Case {
        std::vector<std::tuple<int, int, uint32_t>> weights; // x, y, weight
        int32_t size;
        int32_t left, top, expectedSize;
    };
    const std::vector<Case> cases = {
        {{}, 4, 0, 0, 4},
        {{{10, 7, 5}}, 4, 7, 4, 4}, // first window in reading order holding it
        {{{0, 0, 3}, {15, 11, 4}}, 4, 12, 8, 4},
        {{{2, 2, 1}, {13, 2, 1}}, 4, 0, 0, 4}, // tie: the first
        {{{5, 5, 1}}, 50, 0, 0, 12},           // never larger than the frame
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> weights(16 * 12, 0);
        for (const auto& [x, y, w] : c.weights)
            weights[size_t(y) * 16 + size_t(x)] = w;
        const CropWindow window = mostChangedWindow(weights, 16, 12, c.size);
        EXPECT_EQ(window.left, c.left);
        EXPECT_EQ(window.top, c.top);
        EXPECT_EQ(window.size, c.expectedSize);
    }
}

// One pixel changed to a colour used nowhere else: it appears once at full size in the after
// image and as one solid square of zoom x zoom pixels in the enlargement, nowhere else.
TEST(ComparePicture, ShowsTheChangeOnceAtFullSizeAndOnceEnlarged) {
    const int32_t width = 96, height = 64;
    std::vector<uint8_t> before(size_t(width) * height * 4);
    for (size_t i = 0; i < before.size(); i += 4) {
        before[i] = 20;
        before[i + 1] = 40;
        before[i + 2] = 60;
        before[i + 3] = size_t(i / 4) % size_t(width) < 8 ? 0 : 255; // a transparent strip
    }
    std::vector<uint8_t> after = before;
    uint8_t* changed = &after[(size_t(37) * width + 61) * 4];
    changed[0] = 250;
    changed[1] = 10;
    changed[2] = 5;
    const Picture picture = comparePicture(before.data(), after.data(), width, height, 8);

    std::set<std::pair<int32_t, int32_t>> shown;
    std::set<int> grays;
    for (int32_t y = 0; y < picture.height; ++y)
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint8_t* p = &picture.rgb[(size_t(y) * size_t(picture.width) + size_t(x)) * 3];
            if (p[0] == 250 && p[1] == 10 && p[2] == 5)
                shown.insert({x, y});
            if (p[0] == p[1] && p[1] == p[2])
                grays.insert(p[0]);
        }
    auto lone = [&shown](const std::pair<int32_t, int32_t>& p) {
        const auto [x, y] = p;
        return !shown.count({x + 1, y}) && !shown.count({x - 1, y}) && !shown.count({x, y + 1}) &&
               !shown.count({x, y - 1});
    };
    int lonePixels = 0;
    int32_t minX = picture.width, minY = picture.height, maxX = -1, maxY = -1;
    for (const auto& p : shown) {
        if (lone(p)) {
            ++lonePixels;
            continue;
        }
        minX = std::min(minX, p.first), maxX = std::max(maxX, p.first);
        minY = std::min(minY, p.second), maxY = std::max(maxY, p.second);
    }
    EXPECT_EQ(lonePixels, 1);
    const int32_t zoom = maxX - minX + 1;
    EXPECT_GE(zoom, 4);
    EXPECT_EQ(maxY - minY + 1, zoom);
    EXPECT_EQ(shown.size(), size_t(1 + zoom * zoom)) << "the enlargement is not one solid square";
    EXPECT_GE(picture.width, 2 * width);
    // The transparent strip shows the checkerboard's two grays.
    EXPECT_EQ(grays.count(204), 1u);
    EXPECT_EQ(grays.count(153), 1u);
}

TEST(ProgressLine, FitsItsWidthAndTellsRateAndTimeLeft) {
    struct Case {
        size_t done, total;
        double seconds;
        int columns;
        const char* contains;
    };
    const std::vector<Case> cases = {
        {0, 240, 0.0, 80, "[........................................] 0/240 frames"},
        {60, 240, 10.0, 80, "60/240 frames  6.0 frames/s  30s left"},
        {240, 240, 12.0, 80, "] 240/240 frames  20 frames/s"},
        {10, 100, 1.0, 30, "10/100 frames"},
        {3, 7, 1.0, 10, "3/7"},
    };
    for (const Case& c : cases) {
        const std::string line = progressLine(c.done, c.total, c.seconds, c.columns);
        EXPECT_LE(int(line.size()), c.columns) << line;
        EXPECT_NE(line.find(c.contains), std::string::npos) << line;
    }
    EXPECT_EQ(progressLine(240, 240, 12.0, 80).find("left"), std::string::npos);
    EXPECT_EQ(progressLine(240, 240, 12.0, 80).find('.'), std::string::npos);
}

// The cel must look like inked line art: fully opaque or fully clear pixels, a few flat colours,
// and stair steps for the filter to smooth.
TEST(SampleCel, IsAliasedFlatLineArtOnTransparency) {
    const SampleCel cel = drawSampleCel();
    ASSERT_EQ(cel.rgba.size(), size_t(cel.width) * size_t(cel.height) * 4);
    std::set<uint32_t> colours;
    size_t clear = 0;
    for (size_t i = 0; i < cel.rgba.size(); i += 4) {
        const uint8_t alpha = cel.rgba[i + 3];
        ASSERT_TRUE(alpha == 0 || alpha == 255) << "partial alpha at pixel " << i / 4;
        if (alpha == 0) {
            ++clear;
            continue;
        }
        colours.insert(uint32_t(cel.rgba[i]) << 16 | uint32_t(cel.rgba[i + 1]) << 8 |
                       cel.rgba[i + 2]);
    }
    EXPECT_GT(clear, cel.rgba.size() / 4 / 4);
    EXPECT_LT(clear, cel.rgba.size() / 4);
    EXPECT_LE(colours.size(), 10u);
    EXPECT_GE(colours.size(), 5u);

    std::vector<uint8_t> result(cel.rgba.size());
    const FrameBuffers frame{cel.rgba.data(),      result.data(), cel.width, cel.height, 8,
                             size_t(cel.width) * 4};
    ASSERT_EQ(smoothFrame(frame, FilterParameters{}), noErr);
    EXPECT_GT(countChangedPixels(cel.rgba.data(), result.data(), cel.rgba.size() / 4),
              size_t(cel.width) * 2);
}

} // namespace
