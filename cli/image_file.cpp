// Decoding and encoding through OpenImageIO, with the host's channel layout and units.
#include "image_file.h"

#include "output_file.h"

#include <OpenImageIO/typedesc.h>

#include <filesystem>
#include <system_error>

namespace {

// OpenImageIO premultiplies colour by alpha on reading and divides it out on writing unless
// told not to; both steps round, and the filter expects the file's straight colours.
constexpr const char* keepAlphaAsStored = "oiio:UnassociatedAlpha";

// Line art compresses well with the Sub filter; a low zlib level keeps writing fast. PNG is
// lossless at every setting.
constexpr int pngCompressionLevel = 1;
constexpr int pngFilterSub = 16;

bool fileExists(const std::string& path, std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        error = "no such file";
        return false;
    }
    if (std::filesystem::is_directory(status)) {
        error = "is a folder, not an image";
        return false;
    }
    return true;
}

std::string reasonOf(std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? std::string("unreadable image") : message;
}

template <typename Sample> void convertToHost(DecodedImage& image) {
    image.host.resize(image.pixelCount() * 4 * sizeof(Sample));
    fileToHost(reinterpret_cast<const Sample*>(image.fileSamples.data()), image.layout,
               image.pixelCount(), reinterpret_cast<Sample*>(image.host.data()));
}

void setOutputAttributes(OIIO::ImageOutput& output, OIIO::ImageSpec& spec) {
    spec.attribute(keepAlphaAsStored, 1);
    // The file's bit count (2-bit gray, 12-bit TIFF) cannot hold smoothed values.
    spec.erase_attribute("oiio:BitsPerSample");
    if (std::string(output.format_name()) == "png") {
        spec.attribute("png:compressionLevel", pngCompressionLevel);
        spec.attribute("png:filter", pngFilterSub);
    }
}

bool writeSpecAndPixels(const std::string& target, const std::string& temporary,
                        OIIO::ImageSpec spec, const void* pixels, std::string& error) {
    auto output = OIIO::ImageOutput::create(target);
    if (!output) {
        error = "cannot write this kind of file: " + reasonOf(OIIO::geterror());
        return false;
    }
    setOutputAttributes(*output, spec);
    if (!output->open(temporary, spec) || !output->write_image(spec.format, pixels) ||
        !output->close()) {
        error = reasonOf(output->geterror());
        return false;
    }
    return true;
}

std::vector<std::string> writtenChannelNames(const DecodedImage& image, const WriteLayout& w) {
    const auto& names = image.spec.channelnames;
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
                    std::string& note, std::string& error) {
    const size_t pixels = image.pixelCount();
    const WriteLayout written = chooseWriteLayout(image.layout, result, pixels);
    std::vector<Sample> samples(pixels * size_t(written.channels()));
    hostToFile(result, reinterpret_cast<const Sample*>(image.fileSamples.data()), image.layout,
               written, pixels, samples.data());

    OIIO::ImageSpec spec = image.spec;
    spec.nchannels = written.channels();
    spec.channelnames = writtenChannelNames(image, written);
    spec.alpha_channel = written.alpha ? (written.gray ? 1 : 3) : -1;
    spec.channelformats.clear();
    if (image.layout.gray && !written.gray)
        note = "the result is no longer gray: written as RGB to keep every colour";
    else if (image.layout.alpha < 0 && written.alpha)
        note = "the colour key made pixels transparent: an alpha channel was added";
    return writeFileAtomically(
        path,
        [&](const std::string& temporary, std::string& reason) {
            return writeSpecAndPixels(path, temporary, spec, samples.data(), reason);
        },
        error);
}

} // namespace

bool readImage(const std::string& path, DecodedImage& image, std::string& error) {
    if (!fileExists(path, error))
        return false;
    OIIO::ImageSpec config;
    config.attribute(keepAlphaAsStored, 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input) {
        error = reasonOf(OIIO::geterror());
        return false;
    }
    image.spec = input->spec();
    const OIIO::TypeDesc format = image.spec.format;
    if (format != OIIO::TypeDesc::UINT8 && format != OIIO::TypeDesc::UINT16) {
        error = std::string("samples of type ") + format.c_str() +
                " are not supported: only 8- and 16-bit unsigned integer images can be smoothed";
        return false;
    }
    // Writing back only the first image would lose the others.
    const bool severalImages = input->seek_subimage(1, 0);
    input->geterror(); // a reader may complain about the missing second image: not our error
    if (severalImages) {
        error = "holds several images (pages, layers or levels): only single images are supported";
        return false;
    }
    input->seek_subimage(0, 0);
    if (image.spec.width <= 0 || image.spec.height <= 0 || image.spec.depth > 1) {
        error = "is not a flat two-dimensional image";
        return false;
    }
    image.depth = format == OIIO::TypeDesc::UINT8 ? 8 : 16;
    image.layout = readLayout(image.spec.nchannels, image.spec.alpha_channel);

    const bool direct = image.depth == 8 && isHostLayout(image.layout);
    std::vector<unsigned char>& target = direct ? image.host : image.fileSamples;
    target.resize(image.pixelCount() * size_t(image.spec.nchannels) * size_t(image.depth / 8));
    if (!input->read_image(0, 0, 0, image.spec.nchannels, format, target.data())) {
        error = reasonOf(input->geterror());
        return false;
    }
    if (direct)
        image.fileSamples.clear();
    else if (image.depth == 8)
        convertToHost<uint8_t>(image);
    else
        convertToHost<uint16_t>(image);
    return true;
}

bool writeResult(const std::string& path, const DecodedImage& image, const void* result,
                 std::string& note, std::string& error) {
    note.clear();
    if (image.fileSamples.empty()) {
        return writeFileAtomically(
            path,
            [&](const std::string& temporary, std::string& reason) {
                return writeSpecAndPixels(path, temporary, image.spec, result, reason);
            },
            error);
    }
    if (image.depth == 8)
        return writeConverted(path, image, static_cast<const uint8_t*>(result), note, error);
    return writeConverted(path, image, static_cast<const uint16_t*>(result), note, error);
}

bool writePicture(const std::string& path, int32_t width, int32_t height, int channels,
                  const uint8_t* pixels, std::string& error) {
    OIIO::ImageSpec spec(width, height, channels, OIIO::TypeDesc::UINT8);
    return writeFileAtomically(
        path,
        [&](const std::string& temporary, std::string& reason) {
            return writeSpecAndPixels(path, temporary, spec, pixels, reason);
        },
        error);
}
