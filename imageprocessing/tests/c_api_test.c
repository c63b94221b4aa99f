/* Compiled as C: proves the public header is valid C and that the entry point
 * links and runs from a C caller. Exits non-zero on the first broken promise. */
#include <stdio.h>
#include <string.h>

#include "ImageProcessing.h"

#define W 13
#define H 7
#define STRIDE 40 /* 3 * 13 = 39, rounded up to a multiple of 4 */

static int fail(const char *what) {
    fprintf(stderr, "c_api_test: %s\n", what);
    return 1;
}

int main(void) {
    unsigned char pixels[STRIDE * H];
    unsigned char before[STRIDE * H];
    int x, y, changed = 0;
    enum ImageProcessingResult ok = IMAGEPROCESSING_OK;

    for (y = 0; y < H; ++y) {
        for (x = 0; x < STRIDE; ++x) {
            /* A vertical edge plus a bright dot gives the filter detail to boost. */
            pixels[y * STRIDE + x] = (unsigned char)(x < STRIDE / 2 ? 60 : 190);
        }
        pixels[y * STRIDE + STRIDE - 1] = 0xEE; /* row padding */
    }
    pixels[3 * STRIDE + 3 * 6 + 1] = 255;
    memcpy(before, pixels, sizeof pixels);

    if (DetailEnhancementByBilaterFilter(NULL, W, H, STRIDE, 5) != IMAGEPROCESSING_ERROR_NULL_POINTER)
        return fail("NULL not refused");
    if (DetailEnhancementByBilaterFilter(pixels, W, H, 3 * W - 1, 5) != IMAGEPROCESSING_ERROR_BAD_STRIDE)
        return fail("short stride not refused");
    if (memcmp(pixels, before, sizeof pixels) != 0) return fail("a refusal changed the picture");

    if (DetailEnhancementByBilaterFilter(pixels, W, H, STRIDE, 8) != (int)ok)
        return fail("valid call failed");
    for (y = 0; y < H; ++y) {
        if (pixels[y * STRIDE + STRIDE - 1] != 0xEE) return fail("row padding written");
        if (memcmp(pixels + y * STRIDE, before + y * STRIDE, 3 * W) != 0) changed = 1;
    }
    if (!changed) return fail("valid call left the picture as it was");
    printf("c_api_test: 1 passed, 0 failed\n");
    return 0;
}
