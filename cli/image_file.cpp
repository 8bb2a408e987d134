// Decoding and encoding with the host's channel layout and units.
#include "image_file.h"

#include "output_file.h"
#include "platform.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// A FIFO or a device would block the run or never end; a folder is no image.
bool isReadableFile(const std::string& path, std::string& error) {
#ifdef _WIN32
    // stat would take the name in the ANSI code page; identifyFile asks the wide API.
    const FileIdentity file = identifyFile(path);
    if (!file.exists) {
        error = "no such file";
        return false;
    }
    if (file.folder) {
        error = "is a folder, not an image";
        return false;
    }
    if (!file.regular) {
        error = "is not a regular file (a device or pipe): only image files are read";
        return false;
    }
    return true;
#else
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        error = errno == ENOENT ? std::string("no such file") : std::strerror(errno);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        error = "is a folder, not an image";
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = "is not a regular file (a FIFO, device or socket): only image files are read";
        return false;
    }
    return true;
#endif
}

template <typename Sample>
void changeAssociation(void* samples, const StoredImage& stored, bool toStraight) {
    auto* s = static_cast<Sample*>(samples);
    const size_t pixels = size_t(stored.width) * size_t(stored.height);
    if (toStraight)
        unpremultiply(s, pixels, stored.channels, stored.alphaChannel);
    else
        premultiply(s, pixels, stored.channels, stored.alphaChannel);
}

void changeAssociation(void* samples, const StoredImage& stored, bool toStraight) {
    if (stored.bits == 8)
        changeAssociation<uint8_t>(samples, stored, toStraight);
    else
        changeAssociation<uint16_t>(samples, stored, toStraight);
}

// Of the formats written, only TIFF records that its colour is premultiplied; every other one
// is read as straight colour, by this tool too.
bool recordsAssociatedAlpha(const std::string& path) {
    std::string extension = utf8Name(pathFromUtf8(path).extension());
    for (char& c : extension)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".tif" || extension == ".tiff";
}

// associated: the samples are premultiplied already.
bool writeStored(const std::string& path, const StoredImage& input, const void* samples,
                 const EncodeSettings& settings, std::string& error, bool associated = false) {
    const ImageCodec* codec = codecForWriting(path, error);
    if (codec == nullptr)
        return false;
    // A TIFF's association is kept: the straight result goes back premultiplied. Any other
    // format gets the straight result (a PNG of premultiplied colour would be too dark).
    StoredImage stored = input;
    stored.premultiplied = input.premultiplied && recordsAssociatedAlpha(path);
    SampleBytes premultiplied;
    if (stored.premultiplied && stored.alphaChannel >= 0 && !associated) {
        const auto* bytes = static_cast<const unsigned char*>(samples);
        premultiplied.assign(bytes, bytes + stored.sampleBytes());
        changeAssociation(premultiplied.data(), stored, false);
        samples = premultiplied.data();
    }
    return writeFileAtomically(
        path,
        [&](TemporaryFile& temporary, std::string& reason) {
            return codec->write(temporary, path, stored, samples, settings, reason);
        },
        error);
}

std::vector<std::string> writtenChannelNames(const DecodedImage& image, const WriteLayout& w) {
    const auto& names = image.stored.channelNames;
    auto nameOf = [&names](int c, const char* fallback) {
        return size_t(c) < names.size() && !names[size_t(c)].empty() ? names[size_t(c)]
                                                                     : std::string(fallback);
    };
    const ChannelLayout& layout = image.layout;
    std::vector<std::string> result;
    if (w.gray) {
        result.push_back(nameOf(layout.colour[0], "Y"));
    } else if (layout.gray) {
        result.insert(result.end(), {"R", "G", "B"});
    } else {
        result.push_back(nameOf(layout.colour[0], "R"));
        result.push_back(nameOf(layout.colour[1], "G"));
        result.push_back(nameOf(layout.colour[2], "B"));
    }
    if (w.alpha)
        result.push_back(layout.alpha >= 0 ? nameOf(layout.alpha, "A") : std::string("A"));
    for (int e : w.extras)
        result.push_back(nameOf(e, "extra"));
    return result;
}

template <typename Sample>
bool writeConverted(const std::string& path, const DecodedImage& image, const Sample* result,
                    const EncodeSettings& settings, std::string& note, std::string& error,
                    size_t& changedPixels) {
    const size_t pixels = image.pixelCount();
    const WriteLayout written = chooseWriteLayout(image.layout, result, pixels);
    std::vector<Sample, UninitialisedAllocator<Sample>> samples(pixels *
                                                                size_t(written.channels()));
    // An 8-bit RGBA file's samples are the host's own.
    const SampleBytes& file = image.fileSamples.empty() ? image.host : image.fileSamples;
    // Premultiplied colour kept as such: the untouched pixels get their stored samples back.
    const bool associated = !image.storedSamples.empty() && written.alpha &&
                            recordsAssociatedAlpha(path);
    const size_t changed = hostToFile(
        result, reinterpret_cast<const Sample*>(file.data()), image.layout, written, pixels,
        samples.data(),
        associated ? reinterpret_cast<const Sample*>(image.storedSamples.data()) : nullptr);
    if (associated)
        changedPixels = changed;

    StoredImage stored = image.stored;
    stored.channels = written.channels();
    stored.channelNames = writtenChannelNames(image, written);
    stored.alphaChannel = written.alpha ? (written.gray ? 1 : 3) : -1;
    stored.premultiplied = image.stored.premultiplied && written.alpha;
    if (image.layout.gray && !written.gray)
        note = "the result is no longer gray: written as RGB to keep every colour";
    else if (image.layout.alpha < 0 && written.alpha)
        note = "the colour key made pixels transparent: an alpha channel was added";
    return writeStored(path, stored, samples.data(), settings, error, associated);
}

template <typename Sample> void convertToHost(DecodedImage& image) {
    image.host.resize(image.pixelCount() * 4 * sizeof(Sample));
    fileToHost(reinterpret_cast<const Sample*>(image.fileSamples.data()), image.layout,
               image.pixelCount(), reinterpret_cast<Sample*>(image.host.data()));
}

} // namespace

DecodedImage imageFromRgba8(int32_t width, int32_t height, const std::vector<unsigned char>& rgba) {
    DecodedImage image;
    image.stored.width = width;
    image.stored.height = height;
    image.stored.channels = 4;
    image.stored.alphaChannel = 3;
    image.layout = readLayout(4, 3);
    image.host.assign(rgba.begin(), rgba.end());
    return image;
}

bool readImage(const std::string& path, uint64_t maxPixels, DecodedImage& image,
               std::string& error) {
    if (!isReadableFile(path, error))
        return false;
    const ImageCodec* codec = codecForReading(path, error);
    if (codec == nullptr || !codec->read(path, maxPixels, image.stored, image.fileSamples, error))
        return false;
    if (image.stored.premultiplied && image.stored.alphaChannel >= 0) {
        image.storedSamples = image.fileSamples;
        changeAssociation(image.fileSamples.data(), image.stored, true);
    }
    image.depth = image.stored.bits;
    image.layout = readLayout(image.stored.channels, image.stored.alphaChannel);
    if (image.depth == 8 && isHostLayout(image.layout))
        image.host.swap(image.fileSamples); // already the host's pixels
    else if (image.depth == 8)
        convertToHost<uint8_t>(image);
    else
        convertToHost<uint16_t>(image);
    return true;
}

bool writeResult(const std::string& path, const DecodedImage& image, const void* result,
                 const EncodeSettings& settings, std::string& note, std::string& error,
                 size_t& changedPixels) {
    note.clear();
    if (image.fileSamples.empty() && image.storedSamples.empty())
        return writeStored(path, image.stored, result, settings, error);
    if (image.depth == 8)
        return writeConverted(path, image, static_cast<const uint8_t*>(result), settings, note,
                              error, changedPixels);
    return writeConverted(path, image, static_cast<const uint16_t*>(result), settings, note, error,
                          changedPixels);
}

bool writePicture(const std::string& path, int32_t width, int32_t height, const uint8_t* rgb,
                  const EncodeSettings& settings, std::string& error) {
    StoredImage stored;
    stored.width = width;
    stored.height = height;
    stored.channels = 3;
    return writeStored(path, stored, rgb, settings, error);
}
