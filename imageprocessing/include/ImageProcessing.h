/* Public C interface of libImageProcessing: one in-place detail-enhancement
 * filter and the result codes it returns. This header is the whole contract
 * with the program that loads the library by name. */
#ifndef MORVANE_IMAGE_PROCESSING_H
#define MORVANE_IMAGE_PROCESSING_H

#if defined(_WIN32)
#  if defined(MORVANE_IMAGEPROCESSING_BUILDING) || defined(MORVANE_IMAGEPROCESSING_STATIC)
/* The DLL's .def file names its exports; a static build has none. */
#    define IMAGEPROCESSING_API
#  else
#    define IMAGEPROCESSING_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define IMAGEPROCESSING_API __attribute__((visibility("default")))
#else
#  define IMAGEPROCESSING_API
#endif

/* The calling convention of the entry point: __stdcall on 32-bit Windows,
 * where programs declare an external routine with that convention (the DLL
 * exports it as DetailEnhancementByBilaterFilter and under its decorated name
 * _DetailEnhancementByBilaterFilter@20); elsewhere the platform's only one. */
#if defined(_WIN32) && (defined(_M_IX86) || defined(__i386__))
#  define IMAGEPROCESSING_CALL __stdcall
#else
#  define IMAGEPROCESSING_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. Every refusal happens before a single byte of the picture is
 * touched, so a caller that ignores the result still keeps its picture. */
enum ImageProcessingResult {
    IMAGEPROCESSING_OK = 0,
    IMAGEPROCESSING_ERROR_NULL_POINTER = -1,   /* Src is NULL */
    IMAGEPROCESSING_ERROR_BAD_SIZE = -2,       /* Width or Height below 1 */
    IMAGEPROCESSING_ERROR_BAD_STRIDE = -3,     /* Stride below 3 * Width */
    IMAGEPROCESSING_ERROR_TOO_LARGE = -4,      /* Stride * Height above INT_MAX bytes */
    IMAGEPROCESSING_ERROR_OUT_OF_MEMORY = -5,  /* working memory could not be had */
    IMAGEPROCESSING_ERROR_INTERNAL = -6        /* unexpected failure inside the filter */
};

/* Boosts fine detail of a 24-bit picture in place.
 *
 * Src      first byte of the top row; pixels are 3 bytes, in the order B, G, R.
 * Width    pixels per row, at least 1.
 * Height   rows, at least 1.
 * Stride   bytes from one row to the next, at least 3 * Width. Bytes past
 *          3 * Width in a row are never written.
 * Strength 0 (no change) to 10 (strongest); values below 0 act as 0 and
 *          values above 10 as 10.
 *
 * The luminance Y = 0.299 R + 0.587 G + 0.114 B is smoothed by an
 * edge-preserving bilateral filter (spatial sigma max(2, min(Width, Height) / 64)
 * pixels, range sigma 25 levels) into a base B, and every channel gets
 * 0.3 * Strength * (Y - B) added, rounded and clamped to 0..255, so that colours
 * keep their hue. The call is synchronous, keeps no reference to Src, uses at
 * most Stride * Height bytes plus 4 MiB of working memory, and may be made
 * from several threads at once on different pictures. The result does not
 * depend on the number of threads used.
 *
 * Returns IMAGEPROCESSING_OK (0) or one of the negative codes above. */
IMAGEPROCESSING_API int IMAGEPROCESSING_CALL DetailEnhancementByBilaterFilter(
    unsigned char *Src, int Width, int Height, int Stride, int Strength);

#ifdef __cplusplus
}
#endif

#endif /* MORVANE_IMAGE_PROCESSING_H */
