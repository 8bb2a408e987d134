// The row skip of the scan: it must find exactly the pixels that differ from a side neighbour,
// whatever the row length, the position of the changes and the pixel size.
#include "cel_art.h"
#include "changed_pixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

template <size_t PixelSize>
bool differsFromANeighbour(const std::vector<uint8_t>& rows, int32_t width, int32_t x) {
    auto pixel = [&](int32_t row, int32_t column) {
        return rows.data() + (size_t(row) * size_t(width) + size_t(column)) * PixelSize;
    };
    auto differs = [&](const uint8_t* a, const uint8_t* b) {
        return std::memcmp(a, b, PixelSize) != 0;
    };
    const uint8_t* centre = pixel(1, x);
    return differs(centre, pixel(0, x)) || differs(centre, pixel(2, x)) ||
           (x > 0 && differs(centre, pixel(1, x - 1))) ||
           (x + 1 < width && differs(centre, pixel(1, x + 1)));
}

template <size_t PixelSize> void checkRandomRows(uint32_t seed) {
    SimpleRandom random(seed);
    const int32_t width = random.between(1, 200);
    // Three rows of one colour, with a few single bytes changed: every change, alone, makes
    // its pixel and the neighbours beside and above or below it count.
    std::vector<uint8_t> rows(size_t(width) * 3 * PixelSize, uint8_t(random.between(0, 255)));
    const int32_t changes = random.between(0, 4);
    for (int32_t i = 0; i < changes; ++i)
        rows[size_t(random.between(0, int32_t(rows.size()) - 1))] ^=
            uint8_t(1 << random.between(0, 7));

    std::vector<int32_t> expected, found;
    for (int32_t x = 0; x < width; ++x)
        if (differsFromANeighbour<PixelSize>(rows, width, x))
            expected.push_back(x);
    const uint8_t* row = rows.data() + size_t(width) * PixelSize;
    const uint8_t* above = rows.data();
    const uint8_t* below = rows.data() + size_t(width) * 2 * PixelSize;
    for (int32_t x = firstChangedPixel<PixelSize>(row, above, below, 0, width); x < width;
         x = firstChangedPixel<PixelSize>(row, above, below, x + 1, width))
        found.push_back(x);
    ASSERT_EQ(found, expected) << "seed " << seed << ", width " << width;
}

TEST(ChangedPixels, FindsExactlyThePixelsThatDifferFromASideNeighbour) {
    for (uint32_t seed = 1; seed <= 3000; ++seed) {
        checkRandomRows<4>(seed);
        checkRandomRows<8>(seed);
    }
}

TEST(ChangedPixels, AnIdenticalNeighbourhoodHasNoChange) {
    const std::vector<uint8_t> rows(3 * 100 * 4, 7);
    EXPECT_EQ(firstChangedPixel<4>(rows.data() + 400, rows.data(), rows.data() + 800, 0, 100), 100);
    // A missing row above or below is passed as the row itself and so never counts.
    EXPECT_EQ(firstChangedPixel<4>(rows.data() + 400, rows.data() + 400, rows.data() + 400, 0, 100),
              100);
}

} // namespace
