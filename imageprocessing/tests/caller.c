/* Calls the library the way a program that binds it by name does: on
 * Windows LoadLibrary("ImageProcessing") and GetProcAddress, on Linux dlopen,
 * then calls through a pointer of the header's calling convention with five
 * 32-bit values. The same source runs against both builds, so that their
 * outputs can be compared byte for byte and their speed side by side.
 *
 *   caller digests DATA [LIBRARY]   one line per picture and shape: size,
 *                                   stride, strength and a digest of the whole
 *                                   buffer (padding included) after the call
 *   caller time WxH DATA [LIBRARY]  median and fastest of repeated calls
 *   caller check DATA               (Windows) what a Windows caller relies on:
 *                                   both export names, the refusal codes,
 *                                   every stack alignment the ABI allows, and
 *                                   FreeLibrary/LoadLibrary without leaks
 *
 * DATA is the folder of the test photographs (PPM). LIBRARY defaults to
 * "ImageProcessing", found the platform's usual way. On Linux the environment
 * variable MORVANE_SIMD_LEVEL holds Highway to one level (see simd_level.cc).
 * Exits non-zero on the first broken promise. */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L /* clock_gettime */
#endif
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ImageProcessing.h"

#ifdef _WIN32
#include <windows.h>
#include <tlhelp32.h>
#else
#include <dlfcn.h>
#include <time.h>
/* Holds Highway's dispatch to the level named, before the library is loaded. */
int HoldSimdLevel(const char *name);
#endif

typedef int(IMAGEPROCESSING_CALL *Filter)(unsigned char *, int, int, int, int);

static int fail(const char *what) {
    fprintf(stderr, "caller: %s\n", what);
    return 1;
}

/* ---- pictures ---------------------------------------------------------- */

typedef struct {
    int width, height, stride;
    unsigned char *bytes; /* stride * height */
} Picture;

static Picture make_picture(int width, int height, int stride) {
    Picture p;
    size_t i, size = (size_t)stride * (size_t)height;
    p.width = width;
    p.height = height;
    p.stride = stride;
    p.bytes = (unsigned char *)malloc(size);
    if (p.bytes == NULL) {
        fprintf(stderr, "caller: no memory for a %dx%d picture\n", width, height);
        exit(1);
    }
    for (i = 0; i < size; ++i) p.bytes[i] = (unsigned char)(0xA5 ^ (i * 7)); /* padding pattern */
    return p;
}

static Picture copy_picture(const Picture *src) {
    Picture p = make_picture(src->width, src->height, src->stride);
    memcpy(p.bytes, src->bytes, (size_t)src->stride * (size_t)src->height);
    return p;
}

/* Reads a binary PPM (P6, 8 bits) into B, G, R order; exits naming the file
 * when it cannot. */
static Picture load_ppm(const char *dir, const char *name) {
    char path[1024];
    char magic[3] = {0};
    int w = 0, h = 0, maxval = 0, x, y;
    unsigned char *rgb;
    Picture p;
    FILE *f;
    snprintf(path, sizeof path, "%s/%s", dir, name);
    f = fopen(path, "rb");
    if (f == NULL || fscanf(f, "%2s %d %d %d", magic, &w, &h, &maxval) != 4 || strcmp(magic, "P6") != 0 ||
        maxval != 255 || w < 1 || h < 1 || fgetc(f) == EOF) {
        fprintf(stderr, "caller: %s is missing or not an 8-bit P6 file\n", path);
        exit(1);
    }
    rgb = (unsigned char *)malloc((size_t)w * h * 3);
    if (rgb == NULL || fread(rgb, 3, (size_t)w * h, f) != (size_t)w * h) {
        fprintf(stderr, "caller: %s is truncated\n", path);
        exit(1);
    }
    fclose(f);
    p = make_picture(w, h, 3 * w);
    for (y = 0; y < h; ++y) {
        for (x = 0; x < w; ++x) {
            const unsigned char *s = rgb + ((size_t)y * w + x) * 3;
            unsigned char *d = p.bytes + (size_t)y * p.stride + 3 * x;
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    free(rgb);
    return p;
}

/* i folded into 0 .. n - 1 by mirroring at the edges. */
static int mirror(int i, int n) {
    const int period = 2 * n;
    i %= period;
    return i < n ? i : period - 1 - i;
}

/* A width x height picture of the photograph, mirrored to tile any size, in
 * rows of `stride` bytes. */
static Picture photo_picture(const Picture *photo, int width, int height, int stride) {
    Picture p = make_picture(width, height, stride);
    int x, y;
    for (y = 0; y < height; ++y) {
        for (x = 0; x < width; ++x) {
            memcpy(p.bytes + (size_t)y * stride + 3 * (size_t)x,
                   photo->bytes + (size_t)mirror(y, photo->height) * photo->stride +
                       3 * (size_t)mirror(x, photo->width),
                   3);
        }
    }
    return p;
}

/* Noise of a fixed seed: every byte of every pixel. */
static Picture noise_picture(int width, int height, int stride, uint32_t seed) {
    Picture p = make_picture(width, height, stride);
    int x, y;
    for (y = 0; y < height; ++y) {
        for (x = 0; x < 3 * width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            p.bytes[(size_t)y * stride + x] = (unsigned char)(seed >> 24);
        }
    }
    return p;
}

/* FNV-1a over every byte of the buffer, padding included. */
static uint64_t digest(const Picture *p) {
    uint64_t h = 14695981039346656037ull;
    size_t i, size = (size_t)p->stride * (size_t)p->height;
    for (i = 0; i < size; ++i) h = (h ^ p->bytes[i]) * 1099511628211ull;
    return h;
}

/* ---- the library ------------------------------------------------------- */

static void *open_library(const char *name) {
#ifdef _WIN32
    return (void *)LoadLibraryA(name);
#else
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
#endif
}

static Filter find_entry(void *library, const char *name) {
#ifdef _WIN32
    return (Filter)(void (*)(void))GetProcAddress((HMODULE)library, name);
#else
    return (Filter)(size_t)dlsym(library, name);
#endif
}

static Filter load_filter(const char *name) {
    void *library = open_library(name);
    Filter filter;
    if (library == NULL) {
        fprintf(stderr, "caller: cannot load %s\n", name);
        exit(1);
    }
    filter = find_entry(library, "DetailEnhancementByBilaterFilter");
    if (filter == NULL) {
        fprintf(stderr, "caller: %s has no DetailEnhancementByBilaterFilter\n", name);
        exit(1);
    }
    return filter;
}

static int run(Filter filter, Picture *p, int strength) {
    return filter(p->bytes, p->width, p->height, p->stride, strength);
}

/* ---- digests ----------------------------------------------------------- */

/* Photographs at sizes that take every way through the filter (the exact
 * window, the grid, bands, columns, the transpose), strips and single pixels,
 * noise and flat colour, with rows unpadded (3 * Width, odd), padded to 4 and
 * padded oddly. */
static int print_digests(Filter filter, const char *data) {
    struct Case {
        char content; /* a: astronaut, c: chelsea, n: noise, f: flat */
        int width, height, padding, strength;
    };
    static const struct Case cases[] = {
        {'a', 512, 512, 0, 5},   {'a', 512, 512, 0, 10},   {'c', 451, 300, 0, 7},   {'c', 451, 300, 1, 3},
        {'a', 1920, 1080, 0, 5}, {'c', 1283, 1031, 13, 9}, {'a', 4000, 3000, 0, 6}, {'a', 6000, 128, 0, 6},
        {'c', 100, 2000, 2, 8},  {'a', 10000, 10, 0, 5},   {'c', 10, 10000, 2, 5},  {'a', 12, 3000, 0, 10},
        {'a', 500, 1, 3, 10},    {'c', 1, 500, 1, 10},     {'a', 1, 1, 0, 10},      {'c', 1, 1, 1, 4},
        {'a', 2, 2, 2, 10},      {'c', 37, 23, 13, 8},     {'a', 32, 32, 0, 10},    {'c', 33, 31, 5, 2},
        {'n', 640, 480, 0, 10},  {'n', 97, 61, 7, 10},     {'n', 7, 3, 0, 10},      {'f', 300, 200, 0, 10},
    };
    const Picture astronaut = load_ppm(data, "astronaut.ppm");
    const Picture chelsea = load_ppm(data, "chelsea.ppm");
    size_t i;
    for (i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const struct Case *c = &cases[i];
        const int aligned = (3 * c->width + 3) / 4 * 4;
        const int stride = c->padding == 0 ? 3 * c->width : c->padding == 1 ? aligned : aligned + c->padding;
        Picture p;
        int rc;
        if (c->content == 'a' || c->content == 'c') {
            p = photo_picture(c->content == 'a' ? &astronaut : &chelsea, c->width, c->height, stride);
        } else if (c->content == 'n') {
            p = noise_picture(c->width, c->height, stride, (uint32_t)(c->width * 31 + c->height));
        } else {
            int x, y;
            p = make_picture(c->width, c->height, stride);
            for (y = 0; y < c->height; ++y)
                for (x = 0; x < c->width; ++x) memcpy(p.bytes + (size_t)y * stride + 3 * x, "\x1e\x8c\xdc", 3);
        }
        rc = run(filter, &p, c->strength);
        printf("%c %dx%d stride %d strength %d: result %d digest %016llx\n", c->content, c->width, c->height,
               stride, c->strength, rc, (unsigned long long)digest(&p));
        free(p.bytes);
    }
    return 0;
}

/* ---- timing ------------------------------------------------------------ */

static double now_ms(void) {
#ifdef _WIN32
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return 1000.0 * (double)t.QuadPart / (double)f.QuadPart;
#else
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return 1000.0 * (double)t.tv_sec + (double)t.tv_nsec / 1e6;
#endif
}

static int compare_doubles(const void *a, const void *b) {
    const double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

/* Calls on a fresh copy of chelsea.ppm resampled by mirroring, strength 5,
 * after one warm-up call, for a second or 200 calls (at least 10); only the
 * call is timed. */
static int time_calls(Filter filter, const char *size, const char *data) {
    enum { kMaxCalls = 200 };
    static double times[kMaxCalls];
    const Picture photo = load_ppm(data, "chelsea.ppm");
    int width = 0, height = 0, n = 0;
    double start;
    Picture src, work;
    if (sscanf(size, "%dx%d", &width, &height) != 2 || width < 1 || height < 1) return fail("size must be WxH");
    src = photo_picture(&photo, width, height, (3 * width + 3) / 4 * 4);
    work = copy_picture(&src);
    if (run(filter, &work, 5) != IMAGEPROCESSING_OK) return fail("the warm-up call failed");
    start = now_ms();
    while (n < kMaxCalls && (n < 10 || now_ms() - start < 1000.0)) {
        double t0;
        memcpy(work.bytes, src.bytes, (size_t)src.stride * (size_t)src.height);
        t0 = now_ms();
        if (run(filter, &work, 5) != IMAGEPROCESSING_OK) return fail("a timed call failed");
        times[n++] = now_ms() - t0;
    }
    qsort(times, (size_t)n, sizeof times[0], compare_doubles);
    printf("%dx%d: median %.3f ms, fastest %.3f ms, %d calls\n", width, height, times[n / 2], times[0], n);
    return 0;
}

/* ---- Windows: what a Windows program relies on ------------------------- */

#ifdef _WIN32

/* CallShifted(filter, src, w, h, stride, strength, shift) calls the filter
 * with the stack pointer `shift` bytes below the alignment a GCC caller
 * keeps: the entry point and the code it runs must work at every alignment
 * the Windows ABI allows, 16-byte steps on x64 (where 32- and 64-byte vector
 * spills may fault) and 4-byte steps on x86 (where 16-byte ones may). */
int CallShifted(Filter filter, unsigned char *src, int width, int height, int stride, int strength, int shift);
#if defined(__x86_64__)
enum { kShiftStep = 16, kShifts = 4 };
__asm__(".text\n"
        ".globl CallShifted\n"
        "CallShifted:\n"
        "  pushq %rbp\n"
        "  movq %rsp, %rbp\n"
        "  movq %rcx, %rax\n"          /* filter */
        "  movq %rdx, %rcx\n"          /* Src */
        "  movl %r8d, %edx\n"          /* Width */
        "  movl %r9d, %r8d\n"          /* Height */
        "  movl 48(%rbp), %r9d\n"      /* Stride */
        "  movl 56(%rbp), %r10d\n"     /* Strength */
        "  movl 64(%rbp), %r11d\n"     /* shift */
        "  andq $-64, %rsp\n"
        "  subq %r11, %rsp\n"
        "  subq $48, %rsp\n"           /* shadow space, the fifth argument, padding */
        "  movl %r10d, 32(%rsp)\n"
        "  callq *%rax\n"
        "  movq %rbp, %rsp\n"
        "  popq %rbp\n"
        "  retq\n");
#else
enum { kShiftStep = 4, kShifts = 4 };
__asm__(".text\n"
        ".globl _CallShifted\n"
        "_CallShifted:\n"
        "  pushl %ebp\n"
        "  movl %esp, %ebp\n"
        "  movl 32(%ebp), %eax\n"      /* shift */
        "  andl $-16, %esp\n"
        "  subl %eax, %esp\n"
        "  subl $12, %esp\n"
        "  pushl 28(%ebp)\n"           /* Strength */
        "  pushl 24(%ebp)\n"           /* Stride */
        "  pushl 20(%ebp)\n"           /* Height */
        "  pushl 16(%ebp)\n"           /* Width */
        "  pushl 12(%ebp)\n"           /* Src */
        "  calll *8(%ebp)\n"           /* __stdcall: the callee pops its arguments */
        "  movl %ebp, %esp\n"
        "  popl %ebp\n"
        "  retl\n");
#endif

static int count_threads(void) {
    const DWORD self = GetCurrentProcessId();
    THREADENTRY32 entry;
    int count = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    entry.dwSize = sizeof entry;
    if (Thread32First(snapshot, &entry)) {
        do {
            if (entry.th32OwnerProcessID == self) ++count;
        } while (Thread32Next(snapshot, &entry));
    }
    CloseHandle(snapshot);
    return count;
}

static int same_bytes(const Picture *a, const Picture *b) {
    return memcmp(a->bytes, b->bytes, (size_t)a->stride * (size_t)a->height) == 0;
}

static int check(const char *data) {
    const Picture photo = load_ppm(data, "astronaut.ppm");
    /* The grid on two threads, and the exact window of a tiny picture. */
    const Picture large = photo_picture(&photo, 640, 480, 3 * 640 + 4);
    const Picture tiny = photo_picture(&photo, 20, 20, 3 * 20);
    Picture expected = copy_picture(&large), expectedTiny = copy_picture(&tiny), p;
    HMODULE library = LoadLibraryA("ImageProcessing");
    Filter filter;
    int threads, round, shift;
    unsigned char byte = 0;

    if (library == NULL) return fail("LoadLibrary(\"ImageProcessing\") failed");
    filter = (Filter)(void (*)(void))GetProcAddress(library, "DetailEnhancementByBilaterFilter");
    if (filter == NULL) return fail("DetailEnhancementByBilaterFilter is not exported");
#ifndef _WIN64
    if ((Filter)(void (*)(void))GetProcAddress(library, "_DetailEnhancementByBilaterFilter@20") != filter)
        return fail("_DetailEnhancementByBilaterFilter@20 is not exported as the same entry point");
#endif

    /* Each refusal code, through the pointer: arguments in the wrong place
     * or a wrong convention would show here first. */
    p = copy_picture(&tiny);
    if (filter(NULL, 20, 20, 60, 5) != IMAGEPROCESSING_ERROR_NULL_POINTER) return fail("NULL not refused");
    if (filter(p.bytes, 0, 20, 60, 5) != IMAGEPROCESSING_ERROR_BAD_SIZE) return fail("width 0 not refused");
    if (filter(p.bytes, 20, -1, 60, 5) != IMAGEPROCESSING_ERROR_BAD_SIZE) return fail("height -1 not refused");
    if (filter(p.bytes, 20, 20, 59, 5) != IMAGEPROCESSING_ERROR_BAD_STRIDE) return fail("stride 59 not refused");
    if (filter(&byte, 1, 2, 0x40000000, 5) != IMAGEPROCESSING_ERROR_TOO_LARGE)
        return fail("2^31 bytes not refused");
    if (filter(p.bytes, 20, 20, 60, 0) != IMAGEPROCESSING_OK || filter(p.bytes, 20, 20, 60, -7) != IMAGEPROCESSING_OK)
        return fail("strength 0 or below failed");
    if (!same_bytes(&p, &tiny)) return fail("a refusal or strength 0 changed the picture");
    free(p.bytes);

    if (run(filter, &expected, 7) != IMAGEPROCESSING_OK || run(filter, &expectedTiny, 7) != IMAGEPROCESSING_OK)
        return fail("a plain call failed");
    if (same_bytes(&expected, &large)) return fail("the call left the picture as it was");

    for (shift = 0; shift < kShifts; ++shift) {
        Picture a = copy_picture(&large), b = copy_picture(&tiny);
        if (CallShifted(filter, a.bytes, a.width, a.height, a.stride, 7, shift * kShiftStep) != IMAGEPROCESSING_OK ||
            CallShifted(filter, b.bytes, b.width, b.height, b.stride, 7, shift * kShiftStep) != IMAGEPROCESSING_OK)
            return fail("a call with a shifted stack failed");
        if (!same_bytes(&a, &expected) || !same_bytes(&b, &expectedTiny))
            return fail("a call with a shifted stack gave other bytes");
        free(a.bytes);
        free(b.bytes);
    }

    /* The DLL stays loaded once loaded (its helper threads sleep in it), so
     * a host that frees and loads it again gets the same module, the same
     * helpers and the same bytes. */
    threads = count_threads();
    for (round = 0; round < 20; ++round) {
        Picture again = copy_picture(&large);
        if (!FreeLibrary(library)) return fail("FreeLibrary failed");
        if (GetModuleHandleA("ImageProcessing") == NULL) return fail("FreeLibrary unloaded the DLL");
        library = LoadLibraryA("ImageProcessing");
        if (library == NULL) return fail("LoadLibrary after FreeLibrary failed");
        filter = (Filter)(void (*)(void))GetProcAddress(library, "DetailEnhancementByBilaterFilter");
        if (filter == NULL || run(filter, &again, 7) != IMAGEPROCESSING_OK) return fail("a call after reloading failed");
        if (!same_bytes(&again, &expected)) return fail("a call after reloading gave other bytes");
        free(again.bytes);
    }
    if (threads < 0 || count_threads() > threads) {
        fprintf(stderr, "caller: %d threads before reloading, %d after\n", threads, count_threads());
        return fail("reloading the DLL left threads behind");
    }
    printf("caller: %d threads after the first calls and after 20 reloads\n", threads);
    printf("caller: 1 passed, 0 failed\n");
    return 0;
}

#endif /* _WIN32 */

int main(int argc, char **argv) {
    const char *usage = "usage: caller digests DATA [LIBRARY] | time WxH DATA [LIBRARY] | check DATA";
#ifndef _WIN32
    const char *level = getenv("MORVANE_SIMD_LEVEL");
    if (level != NULL && *level != '\0' && HoldSimdLevel(level) != 0) return fail("unknown MORVANE_SIMD_LEVEL");
#endif
    if (argc >= 3 && strcmp(argv[1], "digests") == 0)
        return print_digests(load_filter(argc > 3 ? argv[3] : "ImageProcessing"), argv[2]);
    if (argc >= 4 && strcmp(argv[1], "time") == 0)
        return time_calls(load_filter(argc > 4 ? argv[4] : "ImageProcessing"), argv[2], argv[3]);
#ifdef _WIN32
    if (argc == 3 && strcmp(argv[1], "check") == 0) return check(argv[2]);
#endif
    return fail(usage);
}
