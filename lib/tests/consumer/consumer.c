/* A program of someone else's: smooths a small staircase through the installed library. */
#include <tovrin.h>

#include <stdio.h>
#include <string.h>

int main(void) {
    enum { width = 16, height = 4 };
    unsigned char image[height][width][4];
    /* White paper with a black staircase of long steps: the pass ramps them. */
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const unsigned char v = x < 4 + 4 * y ? 0 : 255;
            memset(image[y][x], v, 3);
            image[y][x][3] = 255;
        }
    unsigned char before[sizeof image];
    memcpy(before, image, sizeof image);

    tovrin_options options;
    tovrin_options_init(&options);
    options.threads = 1;
    const tovrin_status status =
        tovrin_smooth(width, height, TOVRIN_RGBA8, image, width * 4, image, width * 4, &options);
    if (status != TOVRIN_OK) {
        fprintf(stderr, "tovrin_smooth: %s\n", tovrin_status_message(status));
        return 1;
    }
    printf("libtovrin %s: %s\n", tovrin_version(),
           memcmp(before, image, sizeof image) != 0 ? "smoothed" : "unchanged");
    return 0;
}
