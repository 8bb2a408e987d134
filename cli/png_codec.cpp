// The PNG codec. libpng reports errors by longjmp, so every libpng call that can fail runs in a
// function that holds no C++ object with a destructor; buffers are prepared around them.
#include "png_codec.h"

#include "platform.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// The Sub filter with zlib's fast levels is several times faster than libpng's defaults, and flat
// line art still compresses well. Lossless whatever the setting.
constexpr int rowFilter = PNG_FILTER_SUB;

struct PngText {
    int compression;
    std::string key, text, language, translatedKey;
};

// Chunks that describe the colours or carry the user's data; the rest is rebuilt from the pixels.
struct PngMetadata {
    bool hasGamma = false;
    png_fixed_point gamma = 0;
    bool hasSrgb = false;
    int srgbIntent = 0;
    bool hasChromaticities = false;
    png_fixed_point chromaticities[8] = {};
    std::string iccName;
    std::vector<unsigned char> iccProfile;
    bool hasResolution = false;
    png_uint_32 resolutionX = 0, resolutionY = 0;
    int resolutionUnit = 0;
    std::vector<unsigned char> exif;
    std::vector<PngText> texts;
};

struct Session {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_infop endInfo = nullptr;
    FILE* file = nullptr;
    char message[200] = "";
    bool animated = false; // an acTL chunk: the PNG is an animation
};

// libpng does not know APNG's chunks; an animation read as a still would lose every frame but
// the first, so acTL marks the file for refusal. Other unknown chunks are left to libpng.
int onUnknownChunk(png_structp png, png_unknown_chunkp chunk) {
    if (std::memcmp(chunk->name, "acTL", 4) == 0)
        static_cast<Session*>(png_get_user_chunk_ptr(png))->animated = true;
    return 0;
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    Session* session = static_cast<Session*>(png_get_error_ptr(png));
    std::snprintf(session->message, sizeof session->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

bool littleEndian() {
    const uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

std::vector<png_bytep> rowPointers(unsigned char* first, size_t rowBytes, int32_t height) {
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (size_t y = 0; y < rows.size(); ++y)
        rows[y] = first + y * rowBytes;
    return rows;
}

// Header and transforms: any PNG becomes 8 or 16-bit gray, gray+alpha, RGB or RGBA.
bool readHeader(Session& s) {
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_init_io(s.png, s.file);
    png_set_read_user_chunk_fn(s.png, &s, onUnknownChunk);
#ifdef PNG_IGNORE_ADLER32
    // Every chunk's CRC already checks the compressed bytes; zlib's second checksum over the
    // same data costs a tenth of the decode and catches nothing more.
    png_set_option(s.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(s.png, s.info);
    const int colourType = png_get_color_type(s.png, s.info);
    const int bitDepth = png_get_bit_depth(s.png, s.info);
    if (colourType == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(s.png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(s.png);
    if (png_get_valid(s.png, s.info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(s.png);
    if (bitDepth == 16 && littleEndian())
        png_set_swap(s.png);
    png_set_interlace_handling(s.png);
    png_read_update_info(s.png, s.info);
    return true;
}

bool readRows(Session& s, png_bytep* rows) {
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_read_image(s.png, rows);
    png_read_end(s.png, s.endInfo);
    return true;
}

void collectTexts(png_structp png, png_infop info, PngMetadata& metadata) {
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        const png_text& t = texts[i];
        metadata.texts.push_back({t.compression, t.key ? t.key : "", t.text ? t.text : "",
                                  t.lang ? t.lang : "", t.lang_key ? t.lang_key : ""});
    }
}

std::shared_ptr<PngMetadata> collectMetadata(const Session& s) {
    auto metadata = std::make_shared<PngMetadata>();
    png_structp png = s.png;
    png_infop info = s.info;
    metadata->hasGamma = png_get_gAMA_fixed(png, info, &metadata->gamma) != 0;
    metadata->hasSrgb = png_get_sRGB(png, info, &metadata->srgbIntent) != 0;
    png_fixed_point* c = metadata->chromaticities;
    metadata->hasChromaticities =
        png_get_cHRM_fixed(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) != 0;
    png_charp iccName = nullptr;
    int iccCompression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &iccName, &iccCompression, &profile, &profileLength) != 0) {
        metadata->iccName = iccName ? iccName : "ICC profile";
        metadata->iccProfile.assign(profile, profile + profileLength);
    }
    metadata->hasResolution = png_get_pHYs(png, info, &metadata->resolutionX,
                                           &metadata->resolutionY, &metadata->resolutionUnit) != 0;
    png_bytep exif = nullptr;
    png_uint_32 exifLength = 0;
    if (png_get_eXIf_1(png, info, &exifLength, &exif) != 0)
        metadata->exif.assign(exif, exif + exifLength);
    collectTexts(png, info, *metadata);
    collectTexts(png, s.endInfo, *metadata);
    return metadata;
}

bool readPng(const std::string& path, uint64_t maxPixels, StoredImage& image, SampleBytes& samples,
             std::string& error) {
    Session s;
    s.file = openFile(path, "rb");
    if (s.file == nullptr) {
        error = std::string("cannot open: ") + std::strerror(errno);
        return false;
    }
    s.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &s, onError, onWarning);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    s.endInfo = s.png ? png_create_info_struct(s.png) : nullptr;
    bool ok = s.endInfo != nullptr && readHeader(s);
    std::string refusal;
    if (ok) {
        refusal = sizeRefusal(png_get_image_width(s.png, s.info),
                              png_get_image_height(s.png, s.info), maxPixels);
        if (refusal.empty() && s.animated)
            refusal = "is an animated PNG: only single images are supported";
    }
    if (ok && refusal.empty()) {
        image = StoredImage{};
        image.width = int32_t(png_get_image_width(s.png, s.info));
        image.height = int32_t(png_get_image_height(s.png, s.info));
        image.channels = png_get_channels(s.png, s.info);
        image.bits = png_get_bit_depth(s.png, s.info);
        image.alphaChannel = image.channels == 2 || image.channels == 4 ? image.channels - 1 : -1;
        image.codec = pngCodec().name;
        const size_t rowBytes = png_get_rowbytes(s.png, s.info);
        samples.resize(rowBytes * size_t(image.height));
        std::vector<png_bytep> rows = rowPointers(samples.data(), rowBytes, image.height);
        ok = readRows(s, rows.data());
        if (ok)
            image.metadata = collectMetadata(s);
    }
    if (!refusal.empty())
        error = refusal;
    else if (!ok)
        error = std::string("corrupt PNG: ") + (s.message[0] ? s.message : "out of memory");
    png_destroy_read_struct(&s.png, &s.info, &s.endInfo);
    std::fclose(s.file);
    return ok && refusal.empty();
}

struct WriteJob {
    const StoredImage* image;
    const PngMetadata* metadata; // null: none
    png_textp texts;
    int textCount;
    int colourType;
    png_bytep* rows;
    int compressionLevel;
};

// A colour profile for RGB cannot describe a gray file, nor the reverse (a gray file whose
// result is no longer gray is written as RGB). The colour space sits at byte 16 of the header.
bool profileFits(const std::vector<unsigned char>& profile, const StoredImage& image) {
    if (profile.size() < 20)
        return false;
    const bool rgbProfile = std::memcmp(&profile[16], "RGB ", 4) == 0;
    return rgbProfile == (image.channels >= 3);
}

void setMetadata(Session& s, const WriteJob& job) {
    const PngMetadata* m = job.metadata;
    if (m == nullptr)
        return;
    if (m->hasSrgb)
        png_set_sRGB(s.png, s.info, m->srgbIntent);
    if (m->hasGamma)
        png_set_gAMA_fixed(s.png, s.info, m->gamma);
    if (m->hasChromaticities) {
        const png_fixed_point* c = m->chromaticities;
        png_set_cHRM_fixed(s.png, s.info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    if (profileFits(m->iccProfile, *job.image))
        png_set_iCCP(s.png, s.info, m->iccName.c_str(), 0, m->iccProfile.data(),
                     png_uint_32(m->iccProfile.size()));
    if (m->hasResolution)
        png_set_pHYs(s.png, s.info, m->resolutionX, m->resolutionY, m->resolutionUnit);
    if (!m->exif.empty())
        png_set_eXIf_1(s.png, s.info, png_uint_32(m->exif.size()),
                       const_cast<png_bytep>(m->exif.data()));
    if (job.textCount > 0)
        png_set_text(s.png, s.info, job.texts, job.textCount);
}

bool writeRows(Session& s, const WriteJob& job) {
    if (setjmp(png_jmpbuf(s.png)))
        return false;
    png_init_io(s.png, s.file);
    png_set_IHDR(s.png, s.info, png_uint_32(job.image->width), png_uint_32(job.image->height),
                 job.image->bits, job.colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(s.png, job.compressionLevel);
    png_set_filter(s.png, PNG_FILTER_TYPE_BASE, rowFilter);
    setMetadata(s, job);
    png_write_info(s.png, s.info);
    if (job.image->bits == 16 && littleEndian())
        png_set_swap(s.png);
    png_write_image(s.png, job.rows);
    // Everything was written with the header; handing the info over again would make libpng
    // write the eXIf chunk a second time, which makes the file invalid.
    png_write_end(s.png, nullptr);
    return true;
}

int colourTypeFor(const StoredImage& image) {
    const bool alphaLast = image.alphaChannel == image.channels - 1;
    switch (image.channels) {
    case 1:
        return image.alphaChannel < 0 ? PNG_COLOR_TYPE_GRAY : -1;
    case 2:
        return alphaLast ? PNG_COLOR_TYPE_GRAY_ALPHA : -1;
    case 3:
        return image.alphaChannel < 0 ? PNG_COLOR_TYPE_RGB : -1;
    case 4:
        return alphaLast ? PNG_COLOR_TYPE_RGB_ALPHA : -1;
    default:
        return -1;
    }
}

bool writePng(TemporaryFile& file, const std::string&, const StoredImage& image,
              const void* samples, const EncodeSettings& settings, std::string& error) {
    WriteJob job{&image,
                 nullptr,
                 nullptr,
                 0,
                 colourTypeFor(image),
                 nullptr,
                 std::clamp(settings.pngCompression, 0, 9)};
    if (job.colourType < 0 || (image.bits != 8 && image.bits != 16)) {
        error = "PNG cannot hold these " + std::to_string(image.channels) + " channels of " +
                std::to_string(image.bits) + " bits";
        return false;
    }
    if (image.codec == pngCodec().name && image.metadata)
        job.metadata = static_cast<const PngMetadata*>(image.metadata.get());
    std::vector<png_text> texts;
    if (job.metadata != nullptr) {
        for (const PngText& t : job.metadata->texts) {
            png_text text{};
            text.compression = t.compression;
            text.key = const_cast<char*>(t.key.c_str());
            text.text = const_cast<char*>(t.text.c_str());
            text.lang = const_cast<char*>(t.language.c_str());
            text.lang_key = const_cast<char*>(t.translatedKey.c_str());
            texts.push_back(text);
        }
        job.texts = texts.data();
        job.textCount = int(texts.size());
    }
    const size_t rowBytes = size_t(image.width) * size_t(image.channels) * size_t(image.bits / 8);
    // libpng takes row pointers to mutable bytes even for writing; it does not write them.
    std::vector<png_bytep> rows = rowPointers(
        static_cast<unsigned char*>(const_cast<void*>(samples)), rowBytes, image.height);
    job.rows = rows.data();

    Session s;
    s.file = file.stream;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, onError, onWarning);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    bool ok = s.info != nullptr && writeRows(s, job);
    if (!ok)
        error = std::string("cannot encode PNG: ") + (s.message[0] ? s.message : "out of memory");
    png_destroy_write_struct(&s.png, &s.info);
    return ok;
}

// The signature and the header chunk: 8 + 4 + 4 + 13 bytes.
constexpr size_t headBytes = 29;

uint32_t bigEndian32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 |
           uint32_t(bytes[3]);
}

// Why the file's first bytes are not a PNG signature and header, or "" with the size read.
std::string readPngHead(std::FILE* file, int32_t& width, int32_t& height) {
    unsigned char head[headBytes];
    const size_t got = std::fread(head, 1, sizeof head, file);
    if (got == 0)
        return "is empty";
    if (got < 8 || png_sig_cmp(head, 0, 8) != 0)
        return "does not start with the PNG signature";
    if (got < sizeof head || bigEndian32(head + 8) != 13 || std::memcmp(head + 12, "IHDR", 4) != 0)
        return "has no PNG header";
    const uint32_t w = bigEndian32(head + 16), h = bigEndian32(head + 20);
    if (w == 0 || h == 0 || w > uint32_t(INT32_MAX) || h > uint32_t(INT32_MAX))
        return "has a PNG header of no valid size";
    width = int32_t(w);
    height = int32_t(h);
    return "";
}

bool readPngSize(const std::string& path, int32_t& width, int32_t& height, std::string& error) {
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    error = readPngHead(file, width, height);
    std::fclose(file);
    return error.empty();
}

} // namespace

bool isWholePng(const std::string& path, int32_t width, int32_t height, std::string& why) {
    std::FILE* file = openFile(path, "rb");
    if (file == nullptr) {
        why = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    int32_t w = 0, h = 0;
    why = readPngHead(file, w, h);
    // An empty IEND chunk: no data, its type, its CRC.
    static const unsigned char end[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    unsigned char tail[sizeof end];
    if (why.empty() && (width != 0 || height != 0) && (w != width || h != height))
        why = "is " + std::to_string(w) + " x " + std::to_string(h) + " pixels, not the input's " +
              std::to_string(width) + " x " + std::to_string(height);
    else if (why.empty() &&
             (std::fseek(file, -long(sizeof tail), SEEK_END) != 0 ||
              std::fread(tail, 1, sizeof tail, file) != sizeof tail ||
              std::memcmp(tail, end, sizeof end) != 0))
        why = "ends before its final chunk: it is cut short";
    std::fclose(file);
    return why.empty();
}

bool isPngFile(const std::string& path) {
    unsigned char signature[8];
    FILE* file = openFile(path, "rb");
    if (file == nullptr)
        return false;
    const size_t got = std::fread(signature, 1, sizeof signature, file);
    std::fclose(file);
    return got == sizeof signature && png_sig_cmp(signature, 0, sizeof signature) == 0;
}

bool hasPngExtension(const std::string& path) {
    std::string extension = utf8Name(pathFromUtf8(path).extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return extension == ".png";
}

const ImageCodec& pngCodec() {
    static const ImageCodec codec{"png", readPng, writePng, readPngSize};
    return codec;
}
