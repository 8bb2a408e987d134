// Small images drawn as text for the engine's unit tests, with a FilterRecord over them so that
// engine operations can be called one by one.
#pragma once

#include "host_interface.h"
#include "smoothing_engine.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

template <typename Sample> struct Picture {
    using Pixel = std::array<Sample, 4>;

    static constexpr Sample full = Sample(SampleTraits<Sample>::fullScale);

    // '.' opaque white, '#' opaque black, 'g' opaque grey, 'r' opaque red, 'b' opaque blue,
    // 't' fully transparent black. (left, top) are the document coordinates of the first pixel.
    static std::map<char, Pixel> palette() {
        const Sample half = Sample(full / 2);
        return {{'.', {full, full, full, full}}, {'#', {0, 0, 0, full}},
                {'g', {half, half, half, full}}, {'r', {full, 0, 0, full}},
                {'b', {0, 0, full, full}},       {'t', {0, 0, 0, 0}}};
    }

    explicit Picture(const std::vector<std::string>& rows, int32_t left = 0, int32_t top = 0)
        : width(int32_t(rows.at(0).size())), height(int32_t(rows.size())), left(left), top(top) {
        const auto colours = palette();
        for (const std::string& row : rows)
            for (char c : row)
                input.push_back(colours.at(c));
        output = input;
        record.planes = 4;
        record.filterRect = Rect{int16_t(top), int16_t(left), int16_t(top + height),
                                 int16_t(left + width)};
        bigDocument.filterRect32 = VRect{top, left, top + height, left + width};
        record.bigDocumentData = &bigDocument;
        record.inData = input.data();
        record.outData = output.data();
        record.inRowBytes = int32_t(sizeof(Pixel)) * width;
        record.outRowBytes = record.inRowBytes;
    }
    Picture(const Picture&) = delete;

    SmoothingEngine<Sample> engine(int32_t smoothRange = 0) {
        return SmoothingEngine<Sample>(record, smoothRange);
    }

    Pixel& in(int32_t x, int32_t y) { return input[index(x, y)]; }
    Pixel& out(int32_t x, int32_t y) { return output[index(x, y)]; }
    size_t index(int32_t x, int32_t y) const {
        return size_t(y - top) * size_t(width) + size_t(x - left);
    }

    // Positions whose output differs from the input.
    std::vector<std::pair<int32_t, int32_t>> changed() const {
        std::vector<std::pair<int32_t, int32_t>> positions;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                if (input[size_t(y) * size_t(width) + size_t(x)] !=
                    output[size_t(y) * size_t(width) + size_t(x)])
                    positions.emplace_back(left + x, top + y);
        return positions;
    }

    int32_t width, height, left, top;
    std::vector<Pixel> input, output;
    FilterRecord record{};
    BigDocumentStruct bigDocument{};
};

template <typename Sample>
std::array<Sample, 4> blended(const std::array<Sample, 4>& a, float weightA,
                              const std::array<Sample, 4>& b, float weightB) {
    std::array<Sample, 4> out{};
    blendPixels(a.data(), weightA, b.data(), weightB, out.data());
    return out;
}
