/* Loads the library the way a plug-in host does: dlopen, a call, dlclose,
 * dlopen again and a second call. The library keeps helper threads asleep in
 * its own code after a call, so dlclose must leave it mapped; the second
 * call must then give the same bytes as the first. Exits non-zero on the
 * first broken promise. Run as: unload_test path/to/libImageProcessing.so */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define W 400
#define H 300 /* enough pixels that the call wakes helper threads */
#define STRIDE (3 * W + 4)

typedef int (*Filter)(unsigned char *, int, int, int, int);

static int fail(const char *what, const char *why) {
    fprintf(stderr, "unload_test: %s%s%s\n", what, why ? ": " : "", why ? why : "");
    return 1;
}

static void fill(unsigned char *pixels) {
    int x, y;
    for (y = 0; y < H; ++y) {
        for (x = 0; x < STRIDE; ++x) {
            pixels[y * STRIDE + x] = (unsigned char)((x * 7 + y * 13 + (x / 40) * 90) & 0xFF);
        }
    }
}

/* Opens the library, filters a fresh picture into `out` and closes it again. */
static int filter_once(const char *path, unsigned char *out) {
    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    Filter filter;
    int result;
    if (handle == NULL) return fail("dlopen failed", dlerror());
    filter = (Filter)(size_t)dlsym(handle, "DetailEnhancementByBilaterFilter");
    if (filter == NULL) return fail("entry point not found", dlerror());
    fill(out);
    result = filter(out, W, H, STRIDE, 5);
    if (dlclose(handle) != 0) return fail("dlclose failed", dlerror());
    return result == 0 ? 0 : fail("call failed", NULL);
}

int main(int argc, char **argv) {
    static unsigned char first[STRIDE * H];
    static unsigned char second[STRIDE * H];
    if (argc != 2) return fail("usage: unload_test LIBRARY", NULL);
    if (filter_once(argv[1], first) != 0) return 1;
    if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) == NULL)
        return fail("dlclose unmapped the library its helper threads sleep in", NULL);
    if (filter_once(argv[1], second) != 0) return 1;
    if (memcmp(first, second, sizeof first) != 0)
        return fail("the call after reloading gave other bytes", NULL);
    printf("unload_test: 1 passed, 0 failed\n");
    return 0;
}
