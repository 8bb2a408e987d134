// Writes a cel-like test picture (the benchmarks' line art) as an 8-bit RGBA PNG, for timing
// whole command-line runs on files.
//
//   make_cel_png WIDTH HEIGHT SEED OUT.png
#include "cel_art.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_cel_png WIDTH HEIGHT SEED OUT.png\n");
        return 2;
    }
    CelArtOptions options;
    options.width = std::atoi(argv[1]);
    options.height = std::atoi(argv[2]);
    options.seed = uint32_t(std::strtoul(argv[3], nullptr, 10));
    options.maxLineWidth = options.height > 1500 ? 5 : 3;
    const std::vector<uint8_t> rgba = drawCelArt(options);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(options.width);
    image.height = png_uint_32(options.height);
    image.format = PNG_FORMAT_RGBA;
    if (!png_image_write_to_file(&image, argv[4], 0, rgba.data(), 0, nullptr)) {
        std::fprintf(stderr, "make_cel_png: %s\n", image.message);
        return 1;
    }
    return 0;
}
