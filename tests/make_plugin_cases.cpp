// Writes the pixel cases that the Windows plug-in must reproduce byte for byte: small line-art
// documents, each run through this build's own filter pass for both depths, with and without a
// colour key, with the filter rectangle at the origin or inside the document, and with and
// without the host's big-document data.
#include "plugin_case.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

constexpr int32_t width = 48;
constexpr int32_t height = 36;

struct Colour8 {
    uint8_t r, g, b, a;
};

// Cel-like art: opaque white paper with dark strokes at several slopes, a flat colour disc, a
// thin coloured dash, isolated specks and a half-transparent block, so every kind of edge shows.
Colour8 artAt(int32_t x, int32_t y) {
    const Colour8 paper{255, 255, 255, 255};
    const Colour8 ink{20, 16, 24, 255};
    const Colour8 fill{200, 60, 40, 255};
    const Colour8 wash{40, 120, 220, 128};
    if ((x - 30) * (x - 30) + (y - 22) * (y - 22) <= 64)
        return fill;
    if (y == x / 3 + 2 || y == 34 - x / 2 || x == (y * 2) / 5 + 40)
        return ink;
    if (y == 30 && x >= 4 && x < 10)
        return Colour8{0, 150, 0, 255};
    if ((x == 12 && y == 14) || (x == 44 && y == 4) || (x == 1 && y == 20))
        return ink;
    if (x >= 6 && x < 12 && y >= 22 && y < 27)
        return wash;
    return paper;
}

// 16-bit samples run to the host's 32768; the rounding keeps each 8-bit value recoverable.
uint16_t to16(uint8_t v) {
    return uint16_t((int32_t{v} * 32768 + 127) / 255);
}

void paint(PluginCase& c) {
    c.input.assign(c.documentBytes(), 0);
    for (int32_t y = 0; y < c.height; ++y) {
        for (int32_t x = 0; x < c.width; ++x) {
            const Colour8 p = artAt(x, y);
            const uint8_t samples[4] = {p.r, p.g, p.b, p.a};
            const size_t pixel = size_t(y) * size_t(c.width) + size_t(x);
            for (int s = 0; s < 4; ++s) {
                if (c.depth == 8) {
                    c.input[pixel * 4 + size_t(s)] = samples[s];
                } else {
                    const uint16_t v = to16(samples[s]);
                    std::memcpy(&c.input[(pixel * 4 + size_t(s)) * 2], &v, 2);
                }
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_plugin_cases OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::string directory = argv[1];
    std::filesystem::create_directories(directory);
    int written = 0;
    for (int32_t depth : {8, 16}) {
        for (bool key : {false, true}) {
            for (bool inset : {false, true}) {
                for (bool big : {true, false}) {
                    PluginCase c;
                    c.depth = depth;
                    c.width = width;
                    c.height = height;
                    c.filterRect = inset ? VRect{7, 5, 33, 43} : VRect{0, 0, height, width};
                    c.bigDocument = big;
                    c.rowPadding = inset ? 20 : 0;
                    c.parameters.useColourKey = key;
                    if (key) { // the paper becomes transparent, the art stays
                        c.parameters.keyRed = c.parameters.keyGreen = c.parameters.keyBlue = 255;
                    } else {
                        c.parameters.keyRed = 200;
                        c.parameters.keyGreen = 60;
                        c.parameters.keyBlue = 40;
                    }
                    c.parameters.smoothRange = inset ? 24 : 0;
                    paint(c);
                    const FilterParameters parameters = c.parameters;
                    const OSErr result = runPluginCase(
                        c,
                        [&](FilterRecord& record) {
                            return runFilterPassForDepth(record, parameters);
                        },
                        c.expected);
                    if (result != noErr) {
                        std::fprintf(stderr, "the pass failed with %d\n", result);
                        return 1;
                    }
                    const std::string name =
                        directory + "/d" + std::to_string(depth) + (key ? "_key" : "_nokey") +
                        (inset ? "_inset" : "_whole") + (big ? "_big" : "_small") + ".case";
                    size_t changed = 0;
                    for (size_t i = 0; i < c.input.size(); ++i)
                        changed += c.input[i] != c.expected[i];
                    std::printf("%s: %zu bytes changed by the pass\n", name.c_str(), changed);
                    if (!writePluginCase(name, c)) {
                        std::fprintf(stderr, "cannot write %s\n", name.c_str());
                        return 1;
                    }
                    ++written;
                }
            }
        }
    }
    std::printf("%d cases written to %s\n", written, directory.c_str());
    return 0;
}
