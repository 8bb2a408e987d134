// The tovrin Python module: NumPy images through the C interface, with the command line's rules
// for RGB, gray and 16-bit images. Arguments are checked once, with messages that name them; the
// pass runs with the GIL released.
#include "tovrin.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace py = pybind11;

namespace {

// An image as NumPy lays it out: element (y, x, c) at data + y * rowStride + x * pixelStride +
// c * sampleStride, strides in bytes and of any sign.
struct View {
    char* data = nullptr;
    py::ssize_t height = 0;
    py::ssize_t width = 0;
    int channels = 1;
    int sampleBytes = 1;
    py::ssize_t rowStride = 0;
    py::ssize_t pixelStride = 0;
    py::ssize_t sampleStride = 0;

    char* sample(py::ssize_t y, py::ssize_t x, int c) const {
        return data + y * rowStride + x * pixelStride + c * sampleStride;
    }
    // Whether the C interface can take the buffer as it is: interleaved RGBA pixels, rows
    // downwards, 16-bit samples aligned.
    bool isInterleavedRgba() const {
        return channels == 4 && sampleStride == sampleBytes && pixelStride == 4 * sampleBytes &&
               rowStride >= width * pixelStride && rowStride % sampleBytes == 0 &&
               reinterpret_cast<uintptr_t>(data) % uintptr_t(sampleBytes) == 0;
    }
};

std::string typeName(py::handle value) {
    return py::str(py::type::handle_of(value).attr("__name__"));
}

std::string shapeText(const py::array& array) {
    std::string text = "(";
    for (py::ssize_t d = 0; d < array.ndim(); ++d)
        text += (d ? ", " : "") + std::to_string(array.shape(d));
    return text + (array.ndim() == 1 ? ",)" : ")");
}

bool isUint8(const py::array& array) {
    return array.dtype().equal(py::dtype::of<uint8_t>());
}
bool isUint16(const py::array& array) {
    return array.dtype().equal(py::dtype::of<uint16_t>());
}

// An image argument, checked: dtype and shape, not its strides.
View viewOf(const py::array& array, const char* name) {
    if (!isUint8(array) && !isUint16(array))
        throw py::type_error(std::string(name) + ": dtype must be uint8 or uint16, got " +
                             std::string(py::str(array.dtype())));
    const py::ssize_t ndim = array.ndim();
    const int channels = ndim == 3 ? int(array.shape(2)) : 1;
    if ((ndim != 2 && ndim != 3) || channels < 1 || channels > 4 || (ndim == 3 && channels == 1))
        throw py::value_error(std::string(name) +
                              ": shape must be (H, W), (H, W, 2), (H, W, 3) or (H, W, 4), got " +
                              shapeText(array));
    if (array.shape(0) < 1 || array.shape(1) < 1 || array.shape(0) > INT_MAX ||
        array.shape(1) > INT_MAX)
        throw py::value_error(std::string(name) + ": height and width must be 1.." +
                              std::to_string(INT_MAX) + ", got shape " + shapeText(array));
    View view;
    view.data = static_cast<char*>(const_cast<void*>(array.data()));
    view.height = array.shape(0);
    view.width = array.shape(1);
    view.channels = channels;
    view.sampleBytes = int(array.itemsize());
    view.rowStride = array.strides(0);
    view.pixelStride = array.strides(1);
    view.sampleStride = ndim == 3 ? array.strides(2) : 0;
    return view;
}

py::array arrayArgument(py::handle value, const char* name) {
    if (!py::isinstance<py::array>(value))
        throw py::type_error(std::string(name) + ": expected a numpy.ndarray, got " +
                             typeName(value));
    return py::reinterpret_borrow<py::array>(value);
}

// True and False are ints to Python, and NumPy's booleans convert to one; none is a number.
bool isBoolean(py::handle value) {
    if (PyBool_Check(value.ptr()))
        return true;
    if (!py::hasattr(value, "dtype"))
        return false;
    const py::object kind = value.attr("dtype").attr("kind");
    return py::isinstance<py::str>(kind) && std::string(py::str(kind)) == "b";
}

long long integerArgument(py::handle value, const char* name, long long low, long long high) {
    if (isBoolean(value) || !PyIndex_Check(value.ptr()))
        throw py::type_error(std::string(name) + ": expected an int, got " + typeName(value));
    // An int beyond 64 bits is out of range like any other, not a failed conversion.
    const py::int_ asInt(py::reinterpret_borrow<py::object>(value));
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(asInt.ptr(), &overflow);
    if (overflow != 0)
        throw py::value_error(std::string(name) + ": " + std::string(py::str(py::handle(asInt))) +
                              " is outside " + std::to_string(low) + ".." + std::to_string(high));
    if (number < low || number > high)
        throw py::value_error(std::string(name) + ": " + std::to_string(number) + " is outside " +
                              std::to_string(low) + ".." + std::to_string(high));
    return number;
}

int intArgument(py::handle value, const char* name, int low, int high) {
    return int(integerArgument(value, name, low, high));
}

tovrin_quality qualityArgument(py::handle value) {
    if (!py::isinstance<py::str>(value))
        throw py::type_error("quality: expected 'standard' or 'high', got " + typeName(value));
    const std::string name = py::str(value);
    if (name == "standard")
        return TOVRIN_QUALITY_STANDARD;
    if (name == "high")
        return TOVRIN_QUALITY_HIGH;
    throw py::value_error("quality: expected 'standard' or 'high', got " +
                          std::string(py::repr(value)));
}

void readKey(py::handle key, tovrin_options& options) {
    if (key.is_none())
        return;
    if (!py::isinstance<py::sequence>(key) || py::isinstance<py::str>(key) || py::len(key) != 3)
        throw py::type_error("key: expected None or a (red, green, blue) sequence of three "
                             "ints, got " +
                             typeName(key) +
                             (py::isinstance<py::sequence>(key) && !py::isinstance<py::str>(key)
                                  ? " of length " + std::to_string(py::len(key))
                                  : std::string()));
    const py::sequence rgb = py::reinterpret_borrow<py::sequence>(key);
    options.use_key = 1;
    options.key_red = intArgument(rgb[0], "key", 0, 255);
    options.key_green = intArgument(rgb[1], "key", 0, 255);
    options.key_blue = intArgument(rgb[2], "key", 0, 255);
}

template <typename Sample> Sample fullScale() {
    return sizeof(Sample) == 1 ? 255 : 65535;
}

// The view's pixels as interleaved RGBA, as the command line reads files: gray fills red, green
// and blue; a missing alpha is full opacity.
template <typename Sample> void expand(const View& view, Sample* rgba) {
    const bool gray = view.channels <= 2;
    const bool alpha = view.channels == 2 || view.channels == 4;
    for (py::ssize_t y = 0; y < view.height; ++y)
        for (py::ssize_t x = 0; x < view.width; ++x, rgba += 4) {
            auto at = [&](int c) {
                Sample v;
                std::memcpy(&v, view.sample(y, x, c), sizeof v);
                return v;
            };
            for (int c = 0; c < 3; ++c)
                rgba[c] = at(gray ? 0 : c);
            rgba[3] = alpha ? at(gray ? 1 : 3) : fullScale<Sample>();
        }
}

// Why a result cannot go back into the caller's layout, or null.
template <typename Sample>
const char* unfitForLayout(const Sample* rgba, size_t pixels, int channels) {
    const bool gray = channels <= 2;
    const bool alpha = channels == 2 || channels == 4;
    for (size_t p = 0; p < pixels; ++p, rgba += 4) {
        if (!alpha && rgba[3] != fullScale<Sample>())
            return "the result is no longer opaque: smooth an image with an alpha channel";
        if (gray && (rgba[0] != rgba[1] || rgba[0] != rgba[2]))
            return "the result is no longer gray: smooth an (H, W, 4) image";
    }
    return nullptr;
}

template <typename Sample> void reduce(const Sample* rgba, const View& view) {
    const bool gray = view.channels <= 2;
    for (py::ssize_t y = 0; y < view.height; ++y)
        for (py::ssize_t x = 0; x < view.width; ++x, rgba += 4) {
            auto put = [&](int c, Sample v) { std::memcpy(view.sample(y, x, c), &v, sizeof v); };
            if (gray) {
                put(0, rgba[0]);
                if (view.channels == 2)
                    put(1, rgba[3]);
            } else {
                for (int c = 0; c < view.channels; ++c)
                    put(c, rgba[c]);
            }
        }
}

struct Outcome {
    tovrin_status status = TOVRIN_OK;
    const char* unfit = nullptr; // why the result cannot take the caller's layout
};

// A working image of interleaved RGBA, not filled in: each is written whole before it is read.
template <typename Sample> std::unique_ptr<Sample[]> workingImage(const View& view) {
    return std::make_unique_for_overwrite<Sample[]>(4 * size_t(view.width) * size_t(view.height));
}

// Runs without the GIL. The C interface works straight on the caller's buffers when both are
// interleaved RGBA (out may be null: no result array yet); otherwise the result is left in rgba,
// interleaved RGBA, for reduce to write into the caller's layout, and at most one working image
// is made here. out is written only on success.
template <typename Sample>
Outcome smoothView(const View& in, const View* out, tovrin_format format,
                   const tovrin_options& options, tovrin_quality quality,
                   std::unique_ptr<Sample[]>& rgba) {
    const int width = int(in.width), height = int(in.height);
    const size_t stride = size_t(width) * 4 * sizeof(Sample);
    if (out != nullptr && in.isInterleavedRgba() && out->isInterleavedRgba()) {
        // Buffers that overlap may still only interleave their rows: the library tells.
        const tovrin_status status =
            tovrin_smooth_quality(width, height, format, in.data, size_t(in.rowStride), out->data,
                                  size_t(out->rowStride), &options, quality);
        if (status != TOVRIN_OVERLAPPING_BUFFERS)
            return {status};
    }
    try {
        rgba = workingImage<Sample>(in);
    } catch (const std::bad_alloc&) {
        return {TOVRIN_OUT_OF_MEMORY};
    }
    if (in.isInterleavedRgba())
        return {tovrin_smooth_quality(width, height, format, in.data, size_t(in.rowStride),
                                      rgba.get(), stride, &options, quality)};
    expand(in, rgba.get());
    // The image is in rgba now: out may be written even where it overlaps the image.
    if (out != nullptr && out->isInterleavedRgba()) {
        const Outcome outcome{tovrin_smooth_quality(width, height, format, rgba.get(), stride,
                                                    out->data, size_t(out->rowStride), &options,
                                                    quality)};
        rgba.reset();
        return outcome;
    }
    Outcome outcome{tovrin_smooth_quality(width, height, format, rgba.get(), stride, rgba.get(),
                                          stride, &options, quality)};
    if (outcome.status == TOVRIN_OK)
        outcome.unfit = unfitForLayout(rgba.get(), size_t(width) * size_t(height), in.channels);
    return outcome;
}

// The command line's default --max-pixels: a 16K frame (15360 x 8640) passes, with room to
// spare.
constexpr long long defaultMaxPixels = 16384LL * 16384;
constexpr long long maxMaxPixels = 1LL << 40;

py::array newArrayLike(const py::array& image) {
    const std::vector<py::ssize_t> shape(image.shape(), image.shape() + image.ndim());
    return py::array(image.dtype(), shape);
}

// The pass, and the result written into out or, when out is None, into a new array. A new
// array is made before the pass when the pass can write into it; otherwise only after it, once
// the working images the pass needed are freed.
template <typename Sample>
py::object smoothInto(const py::array& image, const View& in, py::object result,
                      tovrin_format format, const tovrin_options& options,
                      tovrin_quality quality) {
    if (result.is_none() && in.isInterleavedRgba())
        result = newArrayLike(image);
    const std::optional<View> early =
        result.is_none() ? std::nullopt
                         : std::optional<View>(viewOf(py::reinterpret_borrow<py::array>(result),
                                                      "out"));
    std::unique_ptr<Sample[]> rgba;
    Outcome outcome;
    {
        py::gil_scoped_release release;
        outcome =
            smoothView<Sample>(in, early ? &*early : nullptr, format, options, quality, rgba);
    }
    if (outcome.status == TOVRIN_OUT_OF_MEMORY) {
        PyErr_SetString(PyExc_MemoryError,
                        ("image: not enough memory to smooth " + std::to_string(in.width) +
                         " x " + std::to_string(in.height) + " pixels")
                            .c_str());
        throw py::error_already_set();
    }
    if (outcome.status != TOVRIN_OK)
        throw std::runtime_error(std::string("tovrin: ") + tovrin_status_message(outcome.status));
    if (outcome.unfit != nullptr)
        throw py::value_error(std::string("image: ") + outcome.unfit);
    if (rgba) {
        if (result.is_none())
            result = newArrayLike(image);
        const View out = viewOf(py::reinterpret_borrow<py::array>(result), "out");
        py::gil_scoped_release release;
        reduce(rgba.get(), out);
    }
    return result;
}

py::object smooth(const py::object& imageArgument, const py::object& smoothRange,
                  const py::object& key, const py::object& threads, const py::object& quality,
                  const py::object& outArgument, const py::object& maxPixels) {
    const py::array image = arrayArgument(imageArgument, "image");
    const View in = viewOf(image, "image");
    // Before anything of the image's size is allocated: an array may claim any size (a view of
    // zero strides takes no memory), and its working images would not fit.
    const long long limit = integerArgument(maxPixels, "max_pixels", 1, maxMaxPixels);
    if (uint64_t(in.width) > uint64_t(limit) / uint64_t(in.height))
        throw py::value_error("image: is too large: " + std::to_string(in.width) + " x " +
                              std::to_string(in.height) + " pixels, more than the limit of " +
                              std::to_string(limit) + " (max_pixels)");

    tovrin_options options;
    tovrin_options_init(&options);
    options.smooth_range = intArgument(smoothRange, "smooth_range", 0, 255);
    options.threads = intArgument(threads, "threads", 0, 1024);
    readKey(key, options);
    const tovrin_quality method = qualityArgument(quality);
    if (options.use_key && in.channels != 2 && in.channels != 4)
        throw py::value_error("key: the colour key makes pixels transparent, which needs an "
                              "alpha channel: pass an (H, W, 4) or (H, W, 2) image");

    py::array result;
    if (!outArgument.is_none()) {
        result = arrayArgument(outArgument, "out");
        if (!result.dtype().equal(image.dtype()))
            throw py::type_error("out: dtype must be the image's " +
                                 std::string(py::str(image.dtype())) + ", got " +
                                 std::string(py::str(result.dtype())));
        if (shapeText(result) != shapeText(image))
            throw py::value_error("out: shape must be the image's " + shapeText(image) + ", got " +
                                  shapeText(result));
        if (!result.writeable())
            throw py::value_error("out: the array is read-only");
    }
    const py::object into = outArgument.is_none() ? py::none() : py::object(result);
    return in.sampleBytes == 1
               ? smoothInto<uint8_t>(image, in, into, TOVRIN_RGBA8, options, method)
               : smoothInto<uint16_t>(image, in, into, TOVRIN_RGBA16, options, method);
}

constexpr const char* smoothDoc = R"(smooth(image, smooth_range=0, key=None, threads=0, *, quality="standard", out=None, max_pixels=268435456)

Smooths the stair-step jaggies of aliased line art and flat fills, with the same pixels as
tovrin-smooth (and, in standard quality, as the Photoshop plug-in).

image: a numpy.ndarray of dtype uint8 or uint16 (native byte order), of shape (H, W, 4) for RGBA,
    (H, W, 3) for RGB, (H, W, 2) for gray and alpha, or (H, W) for gray. Any strides. Alpha is
    straight (not premultiplied). uint16 samples are 0..65535, converted to the engine's units and
    back exactly as tovrin-smooth converts 16-bit files: pixels the filter leaves alone come back
    bit for bit. RGB gets full opacity for the pass; gray is smoothed as red = green = blue and
    stays gray.
smooth_range: how far two colours may differ and still count as the same colour, 0..255 in
    8-bit units for both dtypes. Default 0. In high quality: the tolerance within which nearby
    colours count as one colour for the shapes the method reads.
key: None (the default), or (red, green, blue), each 0..255 in 8-bit units for both dtypes:
    opaque pixels of exactly this colour become transparent before smoothing. Only for images
    with alpha, (H, W, 4) or (H, W, 2): ValueError otherwise.
threads: 0 (the default) for one thread per core, 1 for the sequential pass, up to 1024. Images of
    two megapixels or more are cut into bands of rows (in high quality, images of any size may
    use the threads); the result is the same for any count.
quality: "standard" (the default), the plug-in's filter; or "high", learned edge coverage: for
    each pixel near an edge, how much of it each colour around it covers is estimated from the
    shapes of those colours, and the pixel becomes their blend. Slower. The key and smooth_range
    hold in both.
out: None (the default) for a new array, or an array of the image's shape and dtype, any
    strides, to smooth into; it may be the image itself (in place), and may overlap it.
max_pixels: the largest image taken, in pixels (H * W), 1..2**40: by default 268435456 (16384 x
    16384), tovrin-smooth's --max-pixels. A larger image is refused with ValueError before any
    memory is allocated for it.

Returns the result: a new array of the image's shape and dtype, or out. The image is never
modified unless it is out. The GIL is released during the pass, so threads of a
concurrent.futures.ThreadPoolExecutor smooth frames at the same time.

Memory: an interleaved RGBA image (H, W, 4) with rows downwards is smoothed with no working copy
beyond the library's own; any other layout or memory order takes one working RGBA image, and the
library another for the pass.

Raises TypeError for an argument of the wrong type or dtype (True and NumPy's booleans are not
ints), ValueError for a bad shape, an image beyond max_pixels, an option out of range or an
unknown quality (the message names the argument), MemoryError when the working images do not
fit.)";

} // namespace

PYBIND11_MODULE(_tovrin, module) {
    module.doc() = "The Tovrin Smoother engine for NumPy images: see tovrin.smooth.";
    module.attr("__version__") = tovrin_version();
    // The docstring starts with the signature, keyword-only out included.
    py::options options;
    options.disable_function_signatures();
    module.def("smooth", &smooth, py::arg("image"), py::arg("smooth_range") = 0,
               py::arg("key") = py::none(), py::arg("threads") = 0, py::kw_only(),
               py::arg("quality") = "standard", py::arg("out") = py::none(),
               py::arg("max_pixels") = defaultMaxPixels, smoothDoc);
}
