// Every format but PNG, through OpenImageIO. Built as a module of its own and loaded only when
// such a file comes along (see image_codec.h).
#include "image_codec.h"

#include <OpenImageIO/imageio.h>

namespace {

// OpenImageIO premultiplies colour by alpha on reading and divides it out on writing unless
// told not to; both steps round, and the filter expects the file's straight colours.
constexpr const char* keepAlphaAsStored = "oiio:UnassociatedAlpha";
constexpr const char* codecName = "openimageio";

std::string reasonOf(std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? std::string("unreadable image") : message;
}

bool readWithOiio(const std::string& path, StoredImage& image, std::vector<unsigned char>& samples,
                  std::string& error) {
    OIIO::ImageSpec config;
    config.attribute(keepAlphaAsStored, 1);
    auto input = OIIO::ImageInput::open(path, &config);
    if (!input) {
        error = reasonOf(OIIO::geterror());
        return false;
    }
    const OIIO::ImageSpec spec = input->spec();
    if (spec.format != OIIO::TypeDesc::UINT8 && spec.format != OIIO::TypeDesc::UINT16) {
        error = std::string("samples of type ") + spec.format.c_str() +
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
    if (spec.width <= 0 || spec.height <= 0 || spec.depth > 1) {
        error = "is not a flat two-dimensional image";
        return false;
    }
    image = StoredImage{};
    image.width = spec.width;
    image.height = spec.height;
    image.channels = spec.nchannels;
    image.alphaChannel = spec.alpha_channel;
    image.bits = spec.format == OIIO::TypeDesc::UINT8 ? 8 : 16;
    image.channelNames = spec.channelnames;
    image.codec = codecName;
    image.metadata = std::make_shared<OIIO::ImageSpec>(spec);
    samples.resize(image.sampleBytes());
    if (!input->read_image(0, 0, 0, spec.nchannels, spec.format, samples.data())) {
        error = reasonOf(input->geterror());
        return false;
    }
    return true;
}

bool writeWithOiio(const std::string& file, const std::string& formatName, const StoredImage& image,
                   const void* samples, const EncodeSettings&, std::string& error) {
    auto output = OIIO::ImageOutput::create(formatName);
    if (!output) {
        error = "cannot write this kind of file: " + reasonOf(OIIO::geterror());
        return false;
    }
    const OIIO::TypeDesc type = image.bits == 8 ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::UINT16;
    OIIO::ImageSpec spec(image.width, image.height, image.channels, type);
    if (image.codec == codecName && image.metadata) {
        spec = *static_cast<const OIIO::ImageSpec*>(image.metadata.get());
        spec.nchannels = image.channels;
        spec.set_format(type);
        spec.channelformats.clear();
    }
    spec.default_channel_names();
    for (size_t c = 0; c < image.channelNames.size() && c < spec.channelnames.size(); ++c)
        spec.channelnames[c] = image.channelNames[c];
    spec.alpha_channel = image.alphaChannel;
    spec.attribute(keepAlphaAsStored, 1);
    // The file's bit count (2-bit gray, 12-bit TIFF) cannot hold smoothed values.
    spec.erase_attribute("oiio:BitsPerSample");
    if (!output->open(file, spec) || !output->write_image(type, samples) || !output->close()) {
        error = reasonOf(output->geterror());
        return false;
    }
    return true;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const ImageCodec* tovrinOiioCodec() {
    static const ImageCodec codec{codecName, readWithOiio, writeWithOiio};
    return &codec;
}
