// The floor of a command-line run: a bare libpng decode of a PNG and an encode of the same pixels
// with the settings tovrin-smooth writes with (zlib level 1, Sub filter), nothing else.
//
//   png_roundtrip IN.png OUT.png
#include <png.h>

#include <cstdio>
#include <vector>

namespace {

bool roundTrip(const char* inPath, const char* outPath) {
    FILE* in = std::fopen(inPath, "rb");
    if (!in)
        return false;
    png_structp reader = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(reader);
    if (setjmp(png_jmpbuf(reader))) {
        std::fclose(in);
        return false;
    }
    png_init_io(reader, in);
    png_read_info(reader, info);
    const png_uint_32 width = png_get_image_width(reader, info);
    const png_uint_32 height = png_get_image_height(reader, info);
    const int depth = png_get_bit_depth(reader, info);
    const int colour = png_get_color_type(reader, info);
    const size_t rowBytes = png_get_rowbytes(reader, info);
    std::vector<png_byte> pixels(rowBytes * height);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = pixels.data() + y * rowBytes;
    png_read_image(reader, rows.data());
    png_destroy_read_struct(&reader, &info, nullptr);
    std::fclose(in);

    FILE* out = std::fopen(outPath, "wb");
    if (!out)
        return false;
    png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop outInfo = png_create_info_struct(writer);
    if (setjmp(png_jmpbuf(writer))) {
        std::fclose(out);
        return false;
    }
    png_init_io(writer, out);
    png_set_IHDR(writer, outInfo, width, height, depth, colour, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_set_compression_level(writer, 1);
    png_set_filter(writer, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_write_info(writer, outInfo);
    png_write_image(writer, rows.data());
    png_write_end(writer, outInfo);
    png_destroy_write_struct(&writer, &outInfo);
    return std::fclose(out) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: png_roundtrip IN.png OUT.png\n");
        return 2;
    }
    if (!roundTrip(argv[1], argv[2])) {
        std::fprintf(stderr, "png_roundtrip: cannot copy %s to %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
