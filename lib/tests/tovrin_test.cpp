// The C interface as a caller sees it: every result code, padded strides, in place, both 16-bit
// conventions against the reference cases, and the same bytes for any thread count; in both
// qualities.
#include "tovrin.h"

#include "cel_art.h"
#include "parallel_pass.h"
#include "png_io.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// tovrin_smooth_quality with any int as the quality, as a C caller may pass it (quality_number.c).
extern "C" tovrin_status smooth_with_quality_number(int width, int height, tovrin_format format,
                                                    const void* input, size_t input_stride,
                                                    void* output, size_t output_stride,
                                                    const tovrin_options* options, int quality);

namespace {

size_t pixelSize(tovrin_format format) {
    return format == TOVRIN_RGBA8 ? 4 : 8;
}

uint16_t toHost(uint16_t v) {
    return uint16_t((uint32_t(v) * 32768 + 32767) / 65535);
}

// An image in a buffer of its own, rows padded with `padding` bytes of 0xA5.
struct Frame {
    int width = 0;
    int height = 0;
    tovrin_format format = TOVRIN_RGBA8;
    size_t stride = 0;
    std::vector<uint8_t> bytes;

    Frame(int w, int h, tovrin_format f, size_t padding = 0)
        : width(w), height(h), format(f), stride(size_t(w) * pixelSize(f) + padding),
          bytes(stride * size_t(h), 0xA5) {}
    uint8_t* row(int y) { return bytes.data() + size_t(y) * stride; }
    size_t rowBytes() const { return size_t(width) * pixelSize(format); }

    // The pixels without the padding.
    std::vector<uint8_t> pixels() const {
        std::vector<uint8_t> out;
        for (int y = 0; y < height; ++y)
            out.insert(out.end(), bytes.begin() + long(size_t(y) * stride),
                       bytes.begin() + long(size_t(y) * stride + rowBytes()));
        return out;
    }
    void setPixels(const std::vector<uint8_t>& pixels) {
        for (int y = 0; y < height; ++y)
            std::memcpy(row(y), pixels.data() + size_t(y) * rowBytes(), rowBytes());
    }
};

// Cel art in the frame's format. 16-bit file samples get odd low bits, so that the conversion to
// host units loses something the untouched pixels must get back: random ones, or with flatFills
// the same ones for the same value, so that each fill stays one colour.
Frame celFrame(int width, int height, tovrin_format format, size_t padding = 0, uint32_t seed = 7,
               bool flatFills = false) {
    CelArtOptions art;
    art.width = width;
    art.height = height;
    art.seed = seed;
    art.transparentGround = seed % 2 == 0;
    const std::vector<uint8_t> eight = drawCelArt(art);
    Frame frame(width, height, format, padding);
    std::vector<uint8_t> pixels(eight.size() * (format == TOVRIN_RGBA8 ? 1 : 2));
    if (format == TOVRIN_RGBA8) {
        pixels = eight;
    } else if (format == TOVRIN_RGBA16_HOST) {
        const std::vector<uint16_t> host = toHostSixteenBit(eight);
        std::memcpy(pixels.data(), host.data(), pixels.size());
    } else {
        SimpleRandom random(seed);
        std::vector<uint16_t> file(eight.size());
        for (size_t i = 0; i < eight.size(); ++i)
            file[i] = uint16_t(eight[i] * 257 - (eight[i] == 0 ? 0
                                                 : flatFills   ? eight[i] % 101
                                                               : random.between(0, 100)));
        std::memcpy(pixels.data(), file.data(), pixels.size());
    }
    frame.setPixels(pixels);
    return frame;
}

tovrin_options defaults() {
    tovrin_options options;
    tovrin_options_init(&options);
    return options;
}

// Through tovrin_smooth, or through tovrin_smooth_quality when a quality is given.
tovrin_status smoothInto(Frame& in, Frame& out, const tovrin_options& options,
                         std::optional<tovrin_quality> quality = std::nullopt) {
    if (quality)
        return tovrin_smooth_quality(in.width, in.height, in.format, in.bytes.data(), in.stride,
                                     out.bytes.data(), out.stride, &options, *quality);
    return tovrin_smooth(in.width, in.height, in.format, in.bytes.data(), in.stride,
                         out.bytes.data(), out.stride, &options);
}

// One call's arguments, changed by each case of the table below.
struct Call {
    int width = 8;
    int height = 8;
    tovrin_format format = TOVRIN_RGBA16;
    const void* input = nullptr;
    size_t inputStride = 72;
    void* output = nullptr;
    size_t outputStride = 72;
    tovrin_options options = defaults();
};

struct StatusCase {
    const char* name;
    tovrin_status expected;
    std::function<void(Call&)> change;
};

TEST(Status, EveryFaultHasItsCodeAndLeavesBothBuffersAlone) {
    // Input and output sit in one arena, so that the cases can make them overlap.
    std::vector<uint8_t> arena(4096, 0x5A);
    uint8_t* const input = arena.data();
    uint8_t* const output = arena.data() + 2048;
    const Frame picture = celFrame(8, 8, TOVRIN_RGBA16, 8);
    std::memcpy(input, picture.bytes.data(), picture.bytes.size());

    const std::vector<StatusCase> cases = {
        {"valid", TOVRIN_OK, [](Call&) {}},
        {"default options", TOVRIN_OK, [](Call& c) { c.options = defaults(); }},
        {"null input", TOVRIN_NULL_POINTER, [](Call& c) { c.input = nullptr; }},
        {"null output", TOVRIN_NULL_POINTER, [](Call& c) { c.output = nullptr; }},
        {"zero width", TOVRIN_BAD_SIZE, [](Call& c) { c.width = 0; }},
        {"negative height", TOVRIN_BAD_SIZE, [](Call& c) { c.height = -8; }},
        {"row over 2 GiB", TOVRIN_BAD_SIZE, [](Call& c) { c.width = INT_MAX / 8 + 1; }},
        {"stride over 2 GiB", TOVRIN_BAD_SIZE,
         [](Call& c) { c.inputStride = size_t(INT_MAX) + 1; }},
        {"buffer past the address space", TOVRIN_BAD_SIZE,
         [](Call& c) { c.input = reinterpret_cast<const void*>(UINTPTR_MAX - 255); }},
        {"input stride short", TOVRIN_STRIDE_TOO_SHORT, [](Call& c) { c.inputStride = 62; }},
        {"output stride short", TOVRIN_STRIDE_TOO_SHORT, [](Call& c) { c.outputStride = 0; }},
        {"format 0", TOVRIN_BAD_FORMAT, [](Call& c) { c.format = tovrin_format(0); }},
        {"odd input address", TOVRIN_MISALIGNED, [input](Call& c) { c.input = input + 1; }},
        {"odd output stride", TOVRIN_MISALIGNED, [](Call& c) { c.outputStride = 73; }},
        {"output inside input", TOVRIN_OVERLAPPING_BUFFERS,
         [input](Call& c) { c.output = input + 72; }},
        {"input inside output", TOVRIN_OVERLAPPING_BUFFERS,
         [output](Call& c) { c.input = output + 8; }},
        {"rows sharing two bytes", TOVRIN_OVERLAPPING_BUFFERS,
         [input](Call& c) {
             c.output = input + 62;
             c.inputStride = c.outputStride = 144;
         }},
        {"same buffer, other stride", TOVRIN_OVERLAPPING_BUFFERS,
         [input](Call& c) {
             c.output = input;
             c.outputStride = 80;
         }},
        {"smooth range -1", TOVRIN_BAD_OPTION, [](Call& c) { c.options.smooth_range = -1; }},
        {"smooth range 256", TOVRIN_BAD_OPTION, [](Call& c) { c.options.smooth_range = 256; }},
        {"use_key 2", TOVRIN_BAD_OPTION, [](Call& c) { c.options.use_key = 2; }},
        {"key red 256", TOVRIN_BAD_OPTION, [](Call& c) { c.options.key_red = 256; }},
        {"key green -1", TOVRIN_BAD_OPTION, [](Call& c) { c.options.key_green = -1; }},
        {"key blue 300", TOVRIN_BAD_OPTION, [](Call& c) { c.options.key_blue = 300; }},
        {"threads -1", TOVRIN_BAD_OPTION, [](Call& c) { c.options.threads = -1; }},
        {"threads 1025", TOVRIN_BAD_OPTION, [](Call& c) { c.options.threads = 1025; }},
        {"limits accepted", TOVRIN_OK, [](Call& c) { c.options = {255, 1, 0, 255, 0, 1024}; }},
#ifndef TOVRIN_SANITIZE
        // The working copy of an image claimed to be 2^61 bytes cannot be allocated; nothing
        // is read before that.
        {"working copy too large", TOVRIN_OUT_OF_MEMORY,
         [](Call& c) {
             c.width = INT_MAX / 8;
             c.height = 1 << 30;
             c.inputStride = c.outputStride = size_t(c.width) * 8;
             c.output = const_cast<void*>(c.input);
         }},
#endif
    };
    // Each case through tovrin_smooth, then in high quality: the same checks hold for both.
    for (const StatusCase& test : cases) {
        for (const bool high : {false, true}) {
            const std::string name = std::string(test.name) + (high ? ", high quality" : "");
            std::memcpy(input, picture.bytes.data(), picture.bytes.size());
            std::fill(output, arena.data() + arena.size(), uint8_t(0x5A));
            const std::vector<uint8_t> before = arena;
            Call call;
            call.input = input;
            call.output = output;
            test.change(call);
            const tovrin_status status =
                high ? tovrin_smooth_quality(call.width, call.height, call.format, call.input,
                                             call.inputStride, call.output, call.outputStride,
                                             &call.options, TOVRIN_QUALITY_HIGH)
                     : tovrin_smooth(call.width, call.height, call.format, call.input,
                                     call.inputStride, call.output, call.outputStride,
                                     &call.options);
            EXPECT_EQ(status, test.expected) << name << ": " << tovrin_status_message(status);
            if (status != TOVRIN_OK) {
                EXPECT_EQ(arena, before) << name;
            } else {
                EXPECT_TRUE(std::equal(input, input + picture.bytes.size(), before.begin()))
                    << name;
            }
        }
    }
}

TEST(Status, AnUnknownQualityIsABadOptionAndLeavesBothBuffersAlone) {
    for (int quality : {2, -1, 1 << 30}) {
        Frame in = celFrame(16, 8, TOVRIN_RGBA8), out(16, 8, TOVRIN_RGBA8);
        const std::vector<uint8_t> inputBytes = in.bytes, outputBytes = out.bytes;
        EXPECT_EQ(smooth_with_quality_number(16, 8, TOVRIN_RGBA8, in.bytes.data(), in.stride,
                                             out.bytes.data(), out.stride, nullptr, quality),
                  TOVRIN_BAD_OPTION)
            << quality;
        EXPECT_EQ(in.bytes, inputBytes) << quality;
        EXPECT_EQ(out.bytes, outputBytes) << quality;
    }
}

// Two images whose rows interleave in one buffer share no byte: smoothing one into the other is
// no overlap, gives the pixels of separate buffers and leaves the input's rows alone.
TEST(Status, InterleavedRowsAreNoOverlap) {
    for (const tovrin_format format : {TOVRIN_RGBA8, TOVRIN_RGBA16, TOVRIN_RGBA16_HOST}) {
        const Frame in = celFrame(40, 30, format);
        Frame separate(40, 30, format);
        ASSERT_EQ(smoothInto(const_cast<Frame&>(in), separate, defaults()), TOVRIN_OK);
        // Input rows at the even row slots, output rows at the odd ones.
        Frame shared(40, 60, format);
        for (int y = 0; y < 30; ++y)
            std::memcpy(shared.row(2 * y), in.bytes.data() + size_t(y) * in.stride, in.rowBytes());
        const tovrin_status status =
            tovrin_smooth(40, 30, format, shared.row(0), 2 * shared.stride, shared.row(1),
                          2 * shared.stride, nullptr);
        EXPECT_EQ(status, TOVRIN_OK) << format << ": " << tovrin_status_message(status);
        for (int y = 0; y < 30; ++y) {
            EXPECT_EQ(std::memcmp(shared.row(2 * y), in.bytes.data() + size_t(y) * in.stride,
                                  in.rowBytes()),
                      0)
                << "input row " << y;
            EXPECT_EQ(std::memcmp(shared.row(2 * y + 1), separate.row(y), in.rowBytes()), 0)
                << "output row " << y;
        }
    }
}

TEST(Status, NullOptionsMeanTheDefaults) {
    Frame in = celFrame(40, 30, TOVRIN_RGBA8);
    Frame withNull(40, 30, TOVRIN_RGBA8), withDefaults(40, 30, TOVRIN_RGBA8);
    ASSERT_EQ(tovrin_smooth(40, 30, TOVRIN_RGBA8, in.bytes.data(), in.stride, withNull.bytes.data(),
                            withNull.stride, nullptr),
              TOVRIN_OK);
    ASSERT_EQ(smoothInto(in, withDefaults, defaults()), TOVRIN_OK);
    EXPECT_EQ(withNull.bytes, withDefaults.bytes);
    EXPECT_NE(withNull.bytes, in.bytes);
}

TEST(Status, EachCodeHasItsOwnMessage) {
    std::set<std::string> messages;
    for (int code = TOVRIN_OK; code <= TOVRIN_INTERNAL_ERROR; ++code) {
        const std::string message = tovrin_status_message(tovrin_status(code));
        EXPECT_NE(message, "unknown status code") << code;
        messages.insert(message);
    }
    EXPECT_EQ(messages.size(), size_t(TOVRIN_INTERNAL_ERROR + 1));
    EXPECT_STREQ(tovrin_status_message(tovrin_status(10)), "unknown status code");
    EXPECT_STREQ(tovrin_status_message(tovrin_status(-1)), "unknown status code");
}

TEST(Version, TheLibraryReportsTheHeadersVersion) {
    const std::string expected = std::to_string(TOVRIN_VERSION_MAJOR) + "." +
                                 std::to_string(TOVRIN_VERSION_MINOR) + "." +
                                 std::to_string(TOVRIN_VERSION_PATCH);
    EXPECT_EQ(tovrin_version(), expected);
}

// Every way of passing the buffers gives the pixels of a plain call on tightly packed rows.
struct LayoutCase {
    const char* name;
    size_t inputPadding;
    size_t outputPadding;
    bool inPlace;
};

TEST(Layouts, PaddingAndInPlaceGiveThePlainCallsPixels) {
    const std::vector<LayoutCase> layouts = {
        {"padded input", 12, 0, false},
        {"padded output", 0, 36, false},
        {"both padded differently", 4, 20, false},
        {"in place", 0, 0, true},
        {"in place, padded", 24, 24, true},
    };
    for (tovrin_format format : {TOVRIN_RGBA8, TOVRIN_RGBA16, TOVRIN_RGBA16_HOST}) {
        for (int run = 0; run < 4; ++run) {
            const bool key = run % 2 == 1;
            const std::optional<tovrin_quality> quality =
                run < 2 ? std::nullopt : std::optional(TOVRIN_QUALITY_HIGH);
            tovrin_options options = defaults();
            options.smooth_range = 8;
            options.use_key = key;
            Frame plainIn = celFrame(97, 61, format, 0, 8);
            const std::vector<uint8_t> inputPixels = plainIn.pixels();
            Frame plainOut(97, 61, format);
            ASSERT_EQ(smoothInto(plainIn, plainOut, options, quality), TOVRIN_OK);
            if (!quality) {
                ASSERT_NE(plainOut.pixels(), inputPixels) << "the picture must need smoothing";
            }
            EXPECT_EQ(plainIn.pixels(), inputPixels) << "input changed";

            for (const LayoutCase& layout : layouts) {
                const std::string name = std::string(layout.name) + ", format " +
                                         std::to_string(format) + (key ? ", key" : "") +
                                         (quality ? ", high quality" : "");
                Frame in = celFrame(97, 61, format, layout.inputPadding, 8);
                const std::vector<uint8_t> inputBytes = in.bytes;
                Frame out(97, 61, format, layout.outputPadding);
                Frame& target = layout.inPlace ? in : out;
                ASSERT_EQ(smoothInto(in, target, options, quality), TOVRIN_OK) << name;
                EXPECT_EQ(target.pixels(), plainOut.pixels()) << name;
                // Padding is neither read into the result nor written.
                Frame padding = target;
                padding.setPixels(std::vector<uint8_t>(plainOut.pixels().size(), 0xA5));
                EXPECT_EQ(padding.bytes, std::vector<uint8_t>(padding.bytes.size(), 0xA5)) << name;
                if (!layout.inPlace) {
                    EXPECT_EQ(in.bytes, inputBytes) << name;
                }
            }
        }
    }
}

// The file convention against the host's units on the same picture: a pixel the pass left alone
// comes back bit for bit, every other one is its host result converted.
TEST(SixteenBit, FileSamplesComeBackBitForBitWhereThePassChangedNothing) {
    for (const std::optional<tovrin_quality> quality :
         {std::optional<tovrin_quality>(), std::optional(TOVRIN_QUALITY_HIGH)}) {
        // Only the inside of flat fills is sure to be left alone by any high-quality pass.
        Frame file = celFrame(120, 90, TOVRIN_RGBA16, 0, 4, quality.has_value());
        Frame host(120, 90, TOVRIN_RGBA16_HOST);
        const size_t samples = 120 * 90 * 4;
        const uint16_t* f = reinterpret_cast<const uint16_t*>(file.bytes.data());
        uint16_t* h = reinterpret_cast<uint16_t*>(host.bytes.data());
        for (size_t i = 0; i < samples; ++i)
            h[i] = toHost(f[i]);
        Frame fileOut(120, 90, TOVRIN_RGBA16), hostOut(120, 90, TOVRIN_RGBA16_HOST);
        tovrin_options options = defaults();
        options.use_key = 1;
        ASSERT_EQ(smoothInto(file, fileOut, options, quality), TOVRIN_OK);
        ASSERT_EQ(smoothInto(host, hostOut, options, quality), TOVRIN_OK);
        const uint16_t* fo = reinterpret_cast<const uint16_t*>(fileOut.bytes.data());
        const uint16_t* ho = reinterpret_cast<const uint16_t*>(hostOut.bytes.data());
        size_t changed = 0, lossy = 0;
        for (size_t p = 0; p < samples; p += 4) {
            const bool untouched = std::equal(h + p, h + p + 4, ho + p);
            changed += !untouched;
            for (size_t c = 0; c < 4; ++c) {
                lossy += untouched &&
                         uint16_t((toHost(f[p + c]) * 65535u + 16384u) / 32768u) != f[p + c];
                const uint16_t expected =
                    untouched ? f[p + c] : uint16_t((ho[p + c] * 65535u + 16384u) / 32768u);
                ASSERT_EQ(fo[p + c], expected)
                    << "pixel " << p / 4 << " sample " << c << (quality ? ", high quality" : "");
            }
        }
        if (!quality) {
            EXPECT_GT(changed, 100u);
        }
        EXPECT_GT(lossy, 100u) << "the picture must have samples a plain round trip would change";
    }
}

// tovrin_smooth_quality in standard quality is tovrin_smooth; high quality is another method.
TEST(Quality, StandardIsTovrinSmoothAndHighIsAnotherMethod) {
    for (tovrin_format format : {TOVRIN_RGBA8, TOVRIN_RGBA16, TOVRIN_RGBA16_HOST}) {
        Frame in = celFrame(97, 61, format, 0, 8);
        Frame plain(97, 61, format), standard(97, 61, format), high(97, 61, format);
        tovrin_options options = defaults();
        options.smooth_range = 8;
        ASSERT_EQ(smoothInto(in, plain, options), TOVRIN_OK);
        ASSERT_EQ(smoothInto(in, standard, options, TOVRIN_QUALITY_STANDARD), TOVRIN_OK);
        ASSERT_EQ(smoothInto(in, high, options, TOVRIN_QUALITY_HIGH), TOVRIN_OK);
        EXPECT_EQ(standard.bytes, plain.bytes) << "format " << format;
        EXPECT_NE(high.bytes, plain.bytes) << "format " << format;
    }
}

// The colour key as it is defined: smoothing with the key is smoothing, without it, the picture
// whose opaque pixels of the key colour were made transparent first. In both qualities.
TEST(Quality, TheKeyIsTransparencyBeforeSmoothing) {
    for (tovrin_format format : {TOVRIN_RGBA8, TOVRIN_RGBA16_HOST}) {
        for (tovrin_quality quality : {TOVRIN_QUALITY_STANDARD, TOVRIN_QUALITY_HIGH}) {
            const std::string name =
                "format " + std::to_string(format) + ", quality " + std::to_string(int(quality));
            Frame in = celFrame(97, 61, format, 0, 9); // on white paper, the default key
            Frame keyedByHand = in;
            size_t keyed = 0;
            for (size_t p = 0; p < size_t(97 * 61); ++p) {
                const auto clear = [&](auto* samples, int full) {
                    if (std::all_of(samples + 4 * p, samples + 4 * p + 4,
                                    [full](int v) { return v == full; })) {
                        samples[4 * p + 3] = 0;
                        ++keyed;
                    }
                };
                if (format == TOVRIN_RGBA8)
                    clear(keyedByHand.bytes.data(), 255);
                else
                    clear(reinterpret_cast<uint16_t*>(keyedByHand.bytes.data()), 32768);
            }
            ASSERT_GT(keyed, 100u) << name;
            tovrin_options options = defaults();
            options.smooth_range = 8;
            Frame byHand(97, 61, format), withKey(97, 61, format);
            ASSERT_EQ(smoothInto(keyedByHand, byHand, options, quality), TOVRIN_OK) << name;
            options.use_key = 1;
            ASSERT_EQ(smoothInto(in, withKey, options, quality), TOVRIN_OK) << name;
            EXPECT_EQ(withKey.bytes, byHand.bytes) << name;
        }
    }
}

struct GoldenCase {
    std::string name, input, arguments, expected;
};

void PrintTo(const GoldenCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<GoldenCase> readManifest() {
    std::ifstream manifest(TOVRIN_GOLDEN_DIR "/manifest.tsv");
    std::vector<GoldenCase> cases;
    std::string line;
    std::getline(manifest, line);
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        GoldenCase c;
        std::getline(fields, c.name, '\t');
        std::getline(fields, c.input, '\t');
        std::getline(fields, c.arguments, '\t');
        std::getline(fields, c.expected, '\t');
        cases.push_back(c);
    }
    return cases;
}

tovrin_options optionsOf(const std::string& arguments) {
    tovrin_options options = defaults();
    std::istringstream words(arguments);
    std::string word;
    char comma;
    while (words >> word) {
        if (word == "--smooth-range")
            words >> options.smooth_range;
        else if (word == "--key" && (words >> word)) {
            options.use_key = 1;
            std::istringstream(word) >> options.key_red >> comma >> options.key_green >> comma >>
                options.key_blue;
        }
    }
    return options;
}

class Golden : public ::testing::TestWithParam<GoldenCase> {};

// 8-bit cases as they are; 16-bit cases in the file convention and, converted, in host units.
TEST_P(Golden, MatchesTheReferenceSampleForSample) {
    const GoldenCase& c = GetParam();
    const PngImage in = readRgbaPng(std::string(TOVRIN_GOLDEN_DIR "/") + c.input);
    const PngImage expected = readRgbaPng(std::string(TOVRIN_GOLDEN_DIR "/") + c.expected);
    const tovrin_options options = optionsOf(c.arguments);
    std::vector<tovrin_format> formats = {TOVRIN_RGBA8};
    if (in.bitDepth == 16)
        formats = {TOVRIN_RGBA16, TOVRIN_RGBA16_HOST};
    for (tovrin_format format : formats) {
        const auto unitsOf = [format](uint16_t v) {
            return format == TOVRIN_RGBA16_HOST ? toHost(v) : v;
        };
        Frame input(in.width, in.height, format), output(in.width, in.height, format);
        for (size_t i = 0; i < in.samples.size(); ++i) {
            if (format == TOVRIN_RGBA8)
                input.bytes[i] = uint8_t(in.samples[i]);
            else
                reinterpret_cast<uint16_t*>(input.bytes.data())[i] = unitsOf(in.samples[i]);
        }
        ASSERT_EQ(smoothInto(input, output, options), TOVRIN_OK);
        size_t mismatches = 0;
        for (size_t i = 0; i < expected.samples.size(); ++i) {
            const uint16_t got = format == TOVRIN_RGBA8
                                     ? output.bytes[i]
                                     : reinterpret_cast<const uint16_t*>(output.bytes.data())[i];
            mismatches += got != unitsOf(expected.samples[i]);
        }
        EXPECT_EQ(mismatches, 0u) << c.name << ", format " << format;
    }
}

INSTANTIATE_TEST_SUITE_P(ReferenceCases, Golden, ::testing::ValuesIn(readManifest()),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// Large enough for the banded pass, tall enough for several bands. High quality, which costs
// more a pixel, on fewer counts.
TEST(Threads, AnyCountGivesTheSameBytes) {
    const int width = 1024, height = int(largeFramePixels / width) + 1;
    for (tovrin_format format : {TOVRIN_RGBA8, TOVRIN_RGBA16, TOVRIN_RGBA16_HOST}) {
        Frame in = celFrame(width, height, format, 0, 11);
        for (const std::optional<tovrin_quality> quality :
             {std::optional<tovrin_quality>(), std::optional(TOVRIN_QUALITY_HIGH)}) {
            std::vector<uint8_t> sequential;
            for (int threads : quality ? std::vector{1, 2, 3} : std::vector{1, 2, 3, 4, 0}) {
                tovrin_options options = defaults();
                options.smooth_range = 8;
                options.threads = threads;
                Frame out(width, height, format);
                ASSERT_EQ(smoothInto(in, out, options, quality), TOVRIN_OK);
                if (threads == 1)
                    sequential = out.bytes;
                else
                    EXPECT_EQ(out.bytes, sequential)
                        << "format " << format << ", " << threads << (quality ? ", high" : "");
            }
            if (!quality) {
                EXPECT_NE(sequential, in.bytes);
            }
        }
    }
}

} // namespace
