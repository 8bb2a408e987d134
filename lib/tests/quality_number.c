/* tovrin_smooth_quality called with any int as its quality, as C allows: a C enum holds any value
 * of its integer type, while in C++ a value beyond the enumerators is undefined behaviour (and
 * stopped by the sanitizers), so the tests pass unknown qualities through here. */
#include "tovrin.h"

tovrin_status smooth_with_quality_number(int width, int height, tovrin_format format,
                                         const void* input, size_t input_stride, void* output,
                                         size_t output_stride, const tovrin_options* options,
                                         int quality);

tovrin_status smooth_with_quality_number(int width, int height, tovrin_format format,
                                         const void* input, size_t input_stride, void* output,
                                         size_t output_stride, const tovrin_options* options,
                                         int quality) {
    return tovrin_smooth_quality(width, height, format, input, input_stride, output, output_stride,
                                 options, (tovrin_quality)quality);
}
