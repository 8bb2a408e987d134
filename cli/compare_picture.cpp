// Building the before/after picture.
#include "compare_picture.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int32_t margin = 8;
constexpr int32_t checkerSquare = 8;
constexpr uint8_t backdrop = 48;
constexpr uint8_t checkerLight = 204;
constexpr uint8_t checkerDark = 153;
constexpr uint8_t marker[3] = {255, 0, 160};
constexpr int32_t minZoom = 4;
constexpr int32_t maxZoom = 16;

// 8-bit RGBA of one frame, whatever its depth.
std::vector<uint8_t> toRgba8(const void* pixels, size_t count, int32_t depth) {
    std::vector<uint8_t> rgba(count * 4);
    if (depth == 8) {
        std::copy_n(static_cast<const uint8_t*>(pixels), rgba.size(), rgba.begin());
    } else {
        const uint16_t* samples = static_cast<const uint16_t*>(pixels);
        for (size_t i = 0; i < rgba.size(); ++i)
            rgba[i] = uint8_t((uint32_t{samples[i]} * 255u + 16384u) / 32768u);
    }
    return rgba;
}

uint8_t checker(int32_t x, int32_t y) {
    return ((x / checkerSquare) + (y / checkerSquare)) % 2 == 0 ? checkerLight : checkerDark;
}

// Draws the frame region (left, top, size x size) enlarged zoom times at (atX, atY), each
// pixel over the checkerboard of the picture's own coordinates.
void drawScaled(Picture& picture, const std::vector<uint8_t>& rgba, int32_t frameWidth,
                int32_t left, int32_t top, int32_t width, int32_t height, int32_t zoom, int32_t atX,
                int32_t atY) {
    for (int32_t y = 0; y < height * zoom; ++y) {
        for (int32_t x = 0; x < width * zoom; ++x) {
            const uint8_t* p =
                &rgba[(size_t(top + y / zoom) * size_t(frameWidth) + size_t(left + x / zoom)) * 4];
            const int32_t px = atX + x;
            const int32_t py = atY + y;
            const uint32_t a = p[3];
            const uint32_t under = checker(x, y);
            uint8_t* out = &picture.rgb[(size_t(py) * size_t(picture.width) + size_t(px)) * 3];
            for (int c = 0; c < 3; ++c)
                out[c] = uint8_t((p[c] * a + under * (255u - a) + 127u) / 255u);
        }
    }
}

void drawOutline(Picture& picture, int32_t left, int32_t top, int32_t width, int32_t height,
                 int32_t clipLeft, int32_t clipTop, int32_t clipRight, int32_t clipBottom) {
    auto plot = [&](int32_t x, int32_t y) {
        if (x < clipLeft || x >= clipRight || y < clipTop || y >= clipBottom)
            return;
        std::copy_n(marker, 3, &picture.rgb[(size_t(y) * size_t(picture.width) + size_t(x)) * 3]);
    };
    for (int32_t x = left - 1; x <= left + width; ++x) {
        plot(x, top - 1);
        plot(x, top + height);
    }
    for (int32_t y = top; y < top + height; ++y) {
        plot(left - 1, y);
        plot(left + width, y);
    }
}

} // namespace

CropWindow mostChangedWindow(const std::vector<uint32_t>& weights, int32_t width, int32_t height,
                             int32_t size) {
    size = std::max(1, std::min({size, width, height}));
    // Summed-area table with a zero row and column in front.
    const size_t stride = size_t(width) + 1;
    std::vector<uint64_t> sums(stride * (size_t(height) + 1), 0);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            sums[size_t(y + 1) * stride + size_t(x + 1)] =
                weights[size_t(y) * size_t(width) + size_t(x)] +
                sums[size_t(y) * stride + size_t(x + 1)] +
                sums[size_t(y + 1) * stride + size_t(x)] - sums[size_t(y) * stride + size_t(x)];
    CropWindow best{0, 0, size};
    uint64_t bestSum = 0;
    for (int32_t y = 0; y + size <= height; ++y) {
        for (int32_t x = 0; x + size <= width; ++x) {
            const uint64_t sum = sums[size_t(y + size) * stride + size_t(x + size)] -
                                 sums[size_t(y) * stride + size_t(x + size)] -
                                 sums[size_t(y + size) * stride + size_t(x)] +
                                 sums[size_t(y) * stride + size_t(x)];
            if (sum > bestSum) {
                bestSum = sum;
                best = CropWindow{x, y, size};
            }
        }
    }
    return best;
}

int32_t cropZoom(int32_t frameWidth, int32_t cropSize) {
    return std::clamp(frameWidth / std::max(1, cropSize), minZoom, maxZoom);
}

Picture comparePicture(const void* source, const void* result, int32_t width, int32_t height,
                       int32_t depth) {
    const size_t count = size_t(width) * size_t(height);
    const std::vector<uint8_t> before = toRgba8(source, count, depth);
    const std::vector<uint8_t> after = toRgba8(result, count, depth);

    std::vector<uint32_t> change(count);
    for (size_t i = 0; i < count; ++i)
        for (size_t c = 0; c < 4; ++c)
            change[i] += uint32_t(std::abs(int(before[i * 4 + c]) - int(after[i * 4 + c])));
    const int32_t cropSide = std::clamp(std::min(width, height) / 4, 16, 48);
    const CropWindow crop = mostChangedWindow(change, width, height, cropSide);
    const int32_t zoom = cropZoom(width, crop.size);
    const int32_t zoomed = crop.size * zoom;

    Picture picture;
    picture.width = margin + 2 * (std::max(width, zoomed) + margin);
    picture.height = margin + height + margin + zoomed + margin;
    picture.rgb.assign(size_t(picture.width) * size_t(picture.height) * 3, backdrop);

    const int32_t column[2] = {margin, margin + std::max(width, zoomed) + margin};
    const std::vector<uint8_t>* frames[2] = {&before, &after};
    for (int i = 0; i < 2; ++i) {
        drawScaled(picture, *frames[i], width, 0, 0, width, height, 1, column[i], margin);
        drawOutline(picture, column[i] + crop.left, margin + crop.top, crop.size, crop.size,
                    column[i], margin, column[i] + width, margin + height);
        drawScaled(picture, *frames[i], width, crop.left, crop.top, crop.size, crop.size, zoom,
                   column[i], margin + height + margin);
    }
    return picture;
}
