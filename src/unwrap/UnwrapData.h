/* The unwrap engine's C entry: remaps a fisheye JPEG or TIFF file into a perspective JPEG or TIFF file. */
#ifndef QV_UNWRAP_UNWRAPDATA_H
#define QV_UNWRAP_UNWRAPDATA_H

#ifdef __cplusplus
extern "C" {
#endif

/* Reads inputPath (JPEG or TIFF by its suffix, 8-bit RGB or 16-bit RGB TIFF), unwraps the equidistant
 * fisheye picture of horizontal field of view inputFOV degrees into a perspective picture of horizontal
 * field of view outputFOV degrees (0 < outputFOV < 180), outputWidth x outputHeight pixels (truncated;
 * when either is 0 the output takes the input's size), resampled with samplerType (0 bilinear,
 * 1 gaussian, 2 mitchell, 3 lanczos2, 4 lanczos3, 5 bspline) on `threads` worker threads (0: on the
 * calling thread), and writes it to outputPath (JPEG or TIFF by its suffix) in the input's depth.
 * Blocks until done. Returns 0 on success; -1 when an argument is refused, a file cannot be read or
 * written, or the work fails, with the reason on the standard error stream. A failed call leaves
 * outputPath as it was. */
int UnwrapData(const char* inputPath, const char* outputPath, float outputWidth, float outputHeight,
               int inputFOV, int outputFOV, int samplerType, unsigned long threads);

#ifdef __cplusplus
}
#endif

#endif
