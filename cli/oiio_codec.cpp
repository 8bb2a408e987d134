// Every format but PNG, through OpenImageIO. Built as a module of its own and loaded only when
// such a file comes along (see image_codec.h).
#include "image_codec.h"

#include <OpenImageIO/filesystem.h>
#include <OpenImageIO/imageio.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace {

// OpenImageIO premultiplies colour by alpha on reading and divides it out on writing unless
// told not to; both steps round, and the filter expects the file's straight colours.
constexpr const char* keepAlphaAsStored = "oiio:UnassociatedAlpha";
constexpr const char* codecName = "openimageio";

// The first line of OpenImageIO's message: a writer that fails on a full disk may repeat its
// complaint for every row.
std::string reasonOf(std::string message) {
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    const size_t lineEnd = message.find('\n');
    if (lineEnd != std::string::npos) {
        const size_t more =
            size_t(std::count(message.begin() + long(lineEnd), message.end(), '\n'));
        message.erase(lineEnd);
        while (!message.empty() && message.back() == ' ')
            message.pop_back();
        message += " (and " + std::to_string(more) + " more errors)";
    }
    return message.empty() ? std::string("unreadable image") : message;
}

// Colour models the engine does not smooth: CMYK and other separations, CIE L*a*b*, LogLuv.
// Their channels would be taken for red, green and blue and rewritten.
std::string colourModelRefusal(const OIIO::ImageSpec& spec) {
    const int photometric = spec.get_int_attribute("tiff:PhotometricInterpretation", -1);
    const bool cmykNames = spec.nchannels >= 4 && spec.channelnames.size() >= 4 &&
                           spec.channelnames[0] == "C" && spec.channelnames[1] == "M" &&
                           spec.channelnames[2] == "Y" && spec.channelnames[3] == "K";
    if (photometric == 5 || cmykNames)
        return "is a CMYK (separated) image: only RGB and gray images can be smoothed";
    if (photometric == 8 || photometric == 9 || photometric == 10 || photometric == 32844 ||
        photometric == 32845)
        return "holds its colours as CIE L*a*b* or LogLuv: only RGB and gray images can be "
               "smoothed";
    return "";
}

// A TIFF says whether its alpha is associated; OpenImageIO, told to keep alpha as stored, marks
// the unassociated kind only.
bool storesPremultiplied(const OIIO::ImageInput& input, const OIIO::ImageSpec& spec) {
    return spec.alpha_channel >= 0 && std::string(input.format_name()) == "tiff" &&
           spec.get_int_attribute(keepAlphaAsStored, 0) == 0;
}

bool readWithOiio(const std::string& path, uint64_t maxPixels, StoredImage& image,
                  SampleBytes& samples, std::string& error) {
    // Some readers allocate the whole image as they open the file, before the size check below
    // can refuse it: OpenImageIO's own limit is held near ours (8 channels of 16 bits).
    static std::once_flag limitSet;
    std::call_once(limitSet, [maxPixels] {
        const uint64_t megabytes = std::max<uint64_t>(1, maxPixels * 16 >> 20);
        OIIO::attribute("limits:imagesize_MB", int(std::min<uint64_t>(megabytes, INT32_MAX)));
    });
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
    // Writing back only the first image or level would lose the others.
    const bool severalImages = input->seek_subimage(1, 0) || input->seek_subimage(0, 1);
    input->geterror(); // a reader may complain about the missing second image: not our error
    if (severalImages) {
        error = "holds several images (pages, layers or MIP levels): only single images are "
                "supported";
        return false;
    }
    input->seek_subimage(0, 0);
    if (spec.depth > 1) {
        error = "is not a flat two-dimensional image";
        return false;
    }
    error = sizeRefusal(spec.width, spec.height, maxPixels);
    if (error.empty())
        error = colourModelRefusal(spec);
    if (!error.empty())
        return false;
    image = StoredImage{};
    image.width = spec.width;
    image.height = spec.height;
    image.channels = spec.nchannels;
    image.alphaChannel = spec.alpha_channel;
    image.bits = spec.format == OIIO::TypeDesc::UINT8 ? 8 : 16;
    image.premultiplied = storesPremultiplied(*input, spec);
    image.channelNames = spec.channelnames;
    image.codec = codecName;
    image.metadata = std::make_shared<OIIO::ImageSpec>(spec);
    samples.resize(image.sampleBytes());
    // A truncated TIFF or JPEG reads "successfully", its missing rows filled in, with the
    // failure left pending.
    if (!input->read_image(0, 0, 0, spec.nchannels, spec.format, samples.data()) ||
        input->has_error()) {
        error = reasonOf(input->geterror());
        return false;
    }
    return true;
}

// OpenImageIO 2.4's TIFF writer always tries to write an Exif directory and, when the image has
// no Exif data, records its failure to write an empty one; the file is complete and correct (and
// is read back after writing, like every file written here).
bool hasPendingError(OIIO::ImageOutput& output) {
    if (!output.has_error())
        return false;
    const std::string message = reasonOf(output.geterror());
    if (message == "failed TIFFWriteCustomDirectory() of the Exif data")
        return false;
    output.errorfmt("{}", message); // kept for the caller's report
    return true;
}

// OpenImageIO names a compression "method" or "method:quality".
bool isLossyCompression(const std::string& compression) {
    const std::string method = compression.substr(0, compression.find(':'));
    for (const char* lossy : {"jpeg", "webp", "dwaa", "dwab", "b44", "b44a", "pxr24"})
        if (method == lossy)
            return true;
    return false;
}

// Whether the file at path, in the format named, holds exactly these samples. The format is
// named because a temporary's name does not tell it.
bool holdsSamples(const std::string& path, const char* format, const OIIO::ImageSpec& spec,
                  OIIO::TypeDesc type, const void* samples) {
    OIIO::ImageSpec config, opened;
    config.attribute(keepAlphaAsStored, 1);
    auto input = OIIO::ImageInput::create(format);
    if (!input || !input->open(path, opened, config)) {
        OIIO::geterror();
        return false;
    }
    std::vector<unsigned char> back(spec.image_pixels() * size_t(spec.nchannels) * type.size());
    return input->spec().width == spec.width && input->spec().height == spec.height &&
           input->spec().nchannels == spec.nchannels &&
           input->read_image(0, 0, 0, spec.nchannels, type, back.data()) &&
           std::memcmp(back.data(), samples, back.size()) == 0;
}

// Writers that stop the whole process (a failed assertion) on a channel count they do not
// handle, rather than return an error: the frame must fail alone.
bool writerAbortsOn(const char* format, int channels) {
    return std::strcmp(format, "dpx") == 0 && channels != 1 && channels != 3 && channels != 4;
}

// Encodes into the temporary's stream where the format's writer takes one, so that every failed
// write shows on the stream. The others (SGI, RLA, FITS, HEIF, ICO, and TIFF, whose writer reads
// back what it wrote to add the Exif directory and cannot through a write-only stream) open the
// temporary by its name and write it in place. Writers do not all report what went wrong (SGI on
// a full disk says it succeeded; TIFF through a stream wrote a broken directory and said so only
// in a message easily taken for a harmless one), so every file is read back and compared.
// A writer may choose its container by the name's extension (JPEG 2000 picks .jp2 or .j2k, and
// for any other name writes nothing and says it succeeded): through the stream it is given the
// temporary's name with the target's extension, a name it never creates.
bool encode(OIIO::ImageOutput& output, TemporaryFile& file, const std::string& target,
            const OIIO::ImageSpec& spec, OIIO::TypeDesc type, const void* samples) {
    OIIO::Filesystem::IOFile proxy(file.stream, OIIO::Filesystem::IOProxy::Write);
    const bool throughStream =
        output.supports("ioproxy") && std::strcmp(output.format_name(), "tiff") != 0;
    if (throughStream && !output.set_ioproxy(&proxy))
        return false;
    if (spec.alpha_channel >= 0 && !output.supports("alpha")) {
        output.errorfmt("{} has no alpha channel: the result's transparency would be lost",
                        output.format_name());
        return false;
    }
    if (writerAbortsOn(output.format_name(), spec.nchannels)) {
        output.errorfmt("{} cannot hold {} channels: only gray, RGB and RGBA", output.format_name(),
                        spec.nchannels);
        return false;
    }
    const std::string name =
        throughStream ? file.path + OIIO::Filesystem::extension(target) : file.path;
    if (!output.open(name, spec))
        return false;
    // A writer that cannot hold the samples asked for quietly narrows its own spec.
    if (output.spec().format != type || output.spec().nchannels != spec.nchannels) {
        output.errorfmt("{} cannot hold {} channels of {} bits: it would write {} channels of {}",
                        output.format_name(), spec.nchannels, type.size() * 8,
                        output.spec().nchannels, output.spec().format.c_str());
        output.close();
        return false;
    }
    const bool ok = output.write_image(type, samples);
    // Some writers report a failed write or seek only as a pending error, after a close that
    // returns true: a full disk must not pass for a written file.
    if (!output.close() || !ok || hasPendingError(output))
        return false;
    if ((throughStream && std::fflush(file.stream) != 0) ||
        !holdsSamples(file.path, output.format_name(), spec, type, samples)) {
        output.errorfmt("the file written does not read back as the image written to it (a "
                        "lossy writer, or a full disk)");
        return false;
    }
    return true;
}

bool writeWithOiio(TemporaryFile& file, const std::string& formatName, const StoredImage& image,
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
    // Premultiplied samples are written as such, and the file says so again.
    if (image.premultiplied)
        spec.erase_attribute(keepAlphaAsStored);
    else
        spec.attribute(keepAlphaAsStored, 1);
    spec.erase_attribute("tiff:UnassociatedAlpha");
    // A lossily compressed input (a TIFF of JPEG or WebP strips) would pass its compression on
    // to the result: the writer's lossless default is taken instead.
    if (isLossyCompression(spec.get_string_attribute("compression"))) {
        spec.erase_attribute("compression");
        spec.erase_attribute("tiff:Compression");
        spec.erase_attribute("CompressionQuality");
    }
    // The file's bit count (2-bit gray, 12-bit TIFF) cannot hold smoothed values.
    spec.erase_attribute("oiio:BitsPerSample");
    if (!encode(*output, file, formatName, spec, type, samples)) {
        error = reasonOf(output->geterror());
        return false;
    }
    return true;
}

bool readSizeWithOiio(const std::string& path, int32_t& width, int32_t& height,
                      std::string& error) {
    auto input = OIIO::ImageInput::open(path);
    if (!input) {
        error = reasonOf(OIIO::geterror());
        return false;
    }
    width = input->spec().width;
    height = input->spec().height;
    return true;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const ImageCodec* tovrinOiioCodec() {
    static const ImageCodec codec{codecName, readWithOiio, writeWithOiio, readSizeWithOiio};
    return &codec;
}
