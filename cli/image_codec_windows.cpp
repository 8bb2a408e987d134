// Choosing a codec on Windows: PNG only. OpenImageIO is not built for Windows, so every other
// format is refused by name rather than misread.
#include "image_codec.h"

#include "platform.h"
#include "png_codec.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

struct Signature {
    const char* format;
    const char* bytes;
    size_t offset;
    size_t length;
};

constexpr Signature signatures[] = {
    {"TIFF", "II*\0", 0, 4},
    {"TIFF", "MM\0*", 0, 4},
    {"BigTIFF", "II+\0", 0, 4},
    {"BigTIFF", "MM\0+", 0, 4},
    {"JPEG", "\xFF\xD8\xFF", 0, 3},
    {"BMP", "BM", 0, 2},
    {"GIF", "GIF8", 0, 4},
    {"WebP", "WEBP", 8, 4},
    {"Photoshop (PSD)", "8BPS", 0, 4},
    {"OpenEXR", "\x76\x2F\x31\x01", 0, 4},
    {"JPEG 2000", "\0\0\0\x0CjP  ", 0, 8},
    {"DPX", "SDPX", 0, 4},
    {"DPX", "XPDS", 0, 4},
    {"Cineon", "\x80\x2A\x5F\xD7", 0, 4},
};

std::string formatOfContents(const std::string& path) {
    unsigned char head[16] = {};
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr)
        return "";
    const size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    for (const Signature& s : signatures)
        if (got >= s.offset + s.length && std::memcmp(head + s.offset, s.bytes, s.length) == 0)
            return s.format;
    return "";
}

std::string extensionOf(const std::string& path) {
    std::string extension = utf8Name(pathFromUtf8(path).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return extension;
}

std::string notSupported(const std::string& format) {
    return format + " is not supported by the Windows build of tovrin-smooth, which reads and "
                    "writes PNG only: convert the frames to PNG, or use the Linux build";
}

} // namespace

const ImageCodec* codecForReading(const std::string& path, std::string& error) {
    if (isPngFile(path))
        return &pngCodec();
    std::string format = formatOfContents(path);
    if (format.empty() && hasPngExtension(path)) {
        error = "corrupt PNG: the file does not start with the PNG signature";
        return nullptr;
    }
    if (format.empty()) {
        const std::string extension = extensionOf(path);
        format =
            extension.size() > 1 ? "a " + extension.substr(1) + " file" : "a file that is not PNG";
    }
    error = notSupported(format);
    return nullptr;
}

const ImageCodec* codecForWriting(const std::string& path, std::string& error) {
    // Windows would create the file without them.
    const std::string name = utf8Name(pathFromUtf8(path).filename());
    if (!name.empty() && (name.back() == ' ' || name.back() == '.')) {
        error = std::string("the name ends in a ") + (name.back() == ' ' ? "space" : "dot") +
                ", which Windows drops from file names: give the name without it";
        return nullptr;
    }
    if (hasPngExtension(path))
        return &pngCodec();
    const std::string extension = extensionOf(path);
    error = notSupported(extension.size() > 1 ? "writing " + extension.substr(1) + " files"
                                              : "writing a file without the .png extension");
    return nullptr;
}
