/* libtovrin: the smoothing engine for other programs. Smooths RGBA images in caller-owned
 * buffers with the same pixels as the plug-in and tovrin-smooth. Plain C; every name starts with
 * tovrin_ or TOVRIN_. The library keeps no global state: any number of threads may call it at
 * once on different buffers. */
#ifndef TOVRIN_H
#define TOVRIN_H

#include <stddef.h>

/* The interface's version. The major number changes only with a change that breaks programs
 * built against an earlier header; it is the shared library's soname number. */
#define TOVRIN_VERSION_MAJOR 1
#define TOVRIN_VERSION_MINOR 1
#define TOVRIN_VERSION_PATCH 0

#if defined(TOVRIN_STATIC)
#define TOVRIN_API
#elif defined(_WIN32)
#if defined(TOVRIN_BUILDING)
#define TOVRIN_API __declspec(dllexport)
#else
#define TOVRIN_API __declspec(dllimport)
#endif
#else
#define TOVRIN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The outcome of a call. */
typedef enum tovrin_status {
    TOVRIN_OK = 0,
    TOVRIN_NULL_POINTER = 1,        /* input or output is null */
    TOVRIN_BAD_SIZE = 2,            /* width or height below 1, or an image too large to address
                                       (a row over 2^31 - 1 bytes, a buffer beyond size_t) */
    TOVRIN_STRIDE_TOO_SHORT = 3,    /* a row stride below width * bytes per pixel */
    TOVRIN_BAD_FORMAT = 4,          /* not a tovrin_format value */
    TOVRIN_MISALIGNED = 5,          /* 16-bit pixels at an odd address or with an odd stride */
    TOVRIN_OVERLAPPING_BUFFERS = 6, /* a row of the input and a row of the output share bytes
                                       without the two being the same image */
    TOVRIN_BAD_OPTION = 7,          /* an option outside its range */
    TOVRIN_OUT_OF_MEMORY = 8,       /* the working copies could not be allocated */
    TOVRIN_INTERNAL_ERROR = 9       /* the engine refused the frame; a fault in this library */
} tovrin_status;

/* The samples of the image: four interleaved samples a pixel, red, green, blue, alpha, straight
 * (not premultiplied) alpha. */
typedef enum tovrin_format {
    TOVRIN_RGBA8 = 1,      /* 8 bits a sample, 0..255 */
    TOVRIN_RGBA16 = 2,     /* 16 bits a sample, 0..65535 as image files store them: converted to
                              the engine's units and back as tovrin-smooth converts them, and
                              pixels the filter leaves alone come back bit for bit */
    TOVRIN_RGBA16_HOST = 3 /* 16 bits a sample, 0..32768 as the plug-in's host gives them;
                              larger values are not checked, and what they give is unspecified */
} tovrin_format;

/* The options of one call: those of the plug-in's dialog, and the threads of the pass. Start
 * from tovrin_options_init's defaults and change what you need. */
typedef struct tovrin_options {
    /* How far two colours may differ and still count as the same colour, in 8-bit units for
     * both depths: 0..255, default 0. */
    int smooth_range;
    /* 1: opaque pixels of exactly the key colour become transparent before smoothing; 0 (the
     * default): no colour key. */
    int use_key;
    /* The key colour in 8-bit units for both depths (a 16-bit sample matches when it rounds to
     * the value): each 0..255, default 255 (white). */
    int key_red;
    int key_green;
    int key_blue;
    /* Threads of the pass, 0..1024. 1: the sequential pass on the calling thread. N > 1: an
     * image of two megapixels or more is cut into bands of rows, smoothed on up to N threads
     * (smaller ones take the sequential pass); the high quality of tovrin_smooth_quality may use
     * up to N threads on an image of any size. 0 (the default): one thread per core. The bytes
     * are the same for every count. */
    int threads;
} tovrin_options;

/* Fills *options with the defaults. */
TOVRIN_API void tovrin_options_init(tovrin_options* options);

/* Smooths a width x height image from input into output.
 *
 * input_stride and output_stride are the bytes from one row to the next, at least width times
 * the pixel size (4 bytes for TOVRIN_RGBA8, 8 for the 16-bit formats). The whole image is
 * smoothed; the bytes between a row's last pixel and the next row are neither read nor written.
 *
 * output may be input itself with the same stride (in place); otherwise no byte of an input
 * row may be a byte of an output row (the rows of the two may interleave in one buffer).
 * Distinct from output, the input is never written. options may be null for the
 * defaults.
 *
 * Returns TOVRIN_OK or the first failure found; the call does not throw or abort. A failure in
 * the arguments leaves the output as it was, and so does any failure in place. After
 * TOVRIN_OUT_OF_MEMORY or TOVRIN_INTERNAL_ERROR into a separate output, the output's contents
 * are unspecified. */
TOVRIN_API tovrin_status tovrin_smooth(int width, int height, tovrin_format format,
                                       const void* input, size_t input_stride, void* output,
                                       size_t output_stride, const tovrin_options* options);

/* The smoothing method of tovrin_smooth_quality. */
typedef enum tovrin_quality {
    TOVRIN_QUALITY_STANDARD = 0, /* the engine's own filter, as tovrin_smooth */
    TOVRIN_QUALITY_HIGH = 1      /* learned edge coverage */
} tovrin_quality;

/* As tovrin_smooth, with the smoothing method chosen. TOVRIN_QUALITY_STANDARD gives exactly
 * tovrin_smooth's result. TOVRIN_QUALITY_HIGH estimates, for each pixel near an edge, how much of
 * it each colour around it covers, and blends those colours; there options->smooth_range is the
 * tolerance within which nearby colours count as one colour, and the colour key works as in
 * tovrin_smooth. Both take the same arguments, with the same checks, status codes and rules for
 * the buffers, and give the same bytes for every thread count. An unknown quality is
 * TOVRIN_BAD_OPTION.
 *
 * Since 1.1 (symbol version TOVRIN_1.1). A program that must also run with a 1.0 library looks
 * the function up at run time (dlsym) and falls back to tovrin_smooth, standard quality only. */
TOVRIN_API tovrin_status tovrin_smooth_quality(int width, int height, tovrin_format format,
                                               const void* input, size_t input_stride, void* output,
                                               size_t output_stride, const tovrin_options* options,
                                               tovrin_quality quality);

/* A short English sentence naming the status, for messages. Never null; static storage. */
TOVRIN_API const char* tovrin_status_message(tovrin_status status);

/* The version of the library loaded, "MAJOR.MINOR.PATCH": compare with the TOVRIN_VERSION_*
 * of the header compiled against. */
TOVRIN_API const char* tovrin_version(void);

#ifdef __cplusplus
}
#endif

#endif
