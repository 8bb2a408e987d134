// libpng's low-level reader, so that 16-bit samples arrive untouched (no gamma conversion).
#include "png_io.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

PngImage readRgbaPng(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngImage image;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error("cannot decode " + path);
    }
    png_init_io(png, file.get());
    png_read_info(png, info);
    if (png_get_color_type(png, info) != PNG_COLOR_TYPE_RGBA) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw std::runtime_error(path + " is not RGBA");
    }
    image.width = int32_t(png_get_image_width(png, info));
    image.height = int32_t(png_get_image_height(png, info));
    image.bitDepth = png_get_bit_depth(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    std::vector<png_byte> data(rowBytes * size_t(image.height));
    std::vector<png_bytep> rows(size_t(image.height));
    for (int32_t y = 0; y < image.height; ++y)
        rows[size_t(y)] = data.data() + size_t(y) * rowBytes;
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);

    const size_t count = size_t(image.width) * size_t(image.height) * 4;
    image.samples.resize(count);
    for (size_t i = 0; i < count; ++i) {
        image.samples[i] = image.bitDepth == 16 ? uint16_t(data[2 * i] << 8 | data[2 * i + 1])
                                                : uint16_t(data[i]);
    }
    return image;
}
