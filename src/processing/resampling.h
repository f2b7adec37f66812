// Resampling the heights to another grid: the map's first and last rows and
// columns land on the first and last of the result, as a terrain's vertices
// do, so corners keep their place and height, and a ramp stays a ramp. The
// kernels and their weights come from stb_image_resize (resampling_library),
// fed bands of rows (resampling_bands) along axes planned corner to corner
// (resampling_axis) and summed in vector lanes (resampling_passes); the run
// is resampling_run.cpp, and a build without the library has
// resampling_absent.cpp.
#ifndef QUILLORN_PROCESSING_RESAMPLING_H_
#define QUILLORN_PROCESSING_RESAMPLING_H_

#include <cstdint>
#include <string>

#include "image/height_planes.h"
#include "image/progress.h"

// The kernels a resampling can use.
enum class ResampleFilter {
  kCubic,     // Catmull-Rom: passes through the samples (the default)
  kLinear,    // the triangle: bilinear interpolation when enlarging
  kBox,       // each new height the mean of the old ones it covers
  kMitchell,  // Mitchell-Netravali (B = C = 1/3): softer, little overshoot
  kBspline,   // the cubic B-spline: smoothest, never overshoots
};

constexpr ResampleFilter kDefaultResampleFilter = ResampleFilter::kCubic;

// Who filters, fastest first. Every engine gives the library's results to
// the bit: the lane engines (resampling_passes) take the library's own
// weights and add the same products in the same order, a vector lane per
// source row across and per result column down.
enum class ResampleEngine {
  kLanesAvx2,   // lanes in AVX2 (no fused multiply-add: the library has none)
  kLanesSse2,   // lanes in SSE2
  kLanesWasm,   // lanes in WebAssembly SIMD (the browser build)
  kLanesPlain,  // lanes in plain C++
  kLibrary,     // stb_image_resize's own calls, scalar
};

// The filter named "cubic", "linear", "box", "mitchell" or "bspline"; false
// (filter untouched) for any other name.
bool parseResampleFilter(const std::string& name, ResampleFilter* filter);

// The name parseResampleFilter takes for filter.
const char* resampleFilterName(ResampleFilter filter);

// True when the build carries the resampler; without it resampleHeights
// fails with kNoResampler.
bool haveResampler();

constexpr const char* kNoResampler =
    "This build of Quillorn has no resampler (it was built without "
    "stb_image_resize; on Debian: libstb-dev); -size and -fit need one";

// What a resampling did besides resampling.
struct ResampleOutcome {
  // New heights a kernel pushed past what the planes hold (below 0, above
  // largestStoredHeight(base)), stored clamped to the nearer end.
  StoreCount clamped;
  // With keepRange: each stored height is remapScale x the computed one +
  // remapOffset (1 and 0 when every computed height fit).
  double remapScale = 1.0;
  double remapOffset = 0.0;
  // The most working memory it held at once beside the two plane sets:
  // bands of rows as floats, the engine's lanes and taps or the library's
  // own buffers, in bytes.
  int64_t workingBytes = 0;
};

// The working memory a resampling allows itself for its bands of rows by
// default: more only when a single result row needs more source rows.
constexpr int64_t kResampleBandBytes = 8 << 20;

// What to resample to ("-size", "-filter").
struct ResampleRequest {
  int32_t width = 1;
  int32_t height = 1;
  ResampleFilter filter = kDefaultResampleFilter;
  int64_t bandBytes = kResampleBandBytes;  // smaller bands, more of them
  // Heights that stand for a range rather than counted steps (a stretched
  // elevation map): when the kernel swings past what the planes hold, the
  // results are squeezed linearly into it instead of clamped, at the cost
  // of a second pass.
  bool keepRange = false;
  // This engine, or the first after it that the build and the processor
  // running the tool have.
  ResampleEngine engine = ResampleEngine::kLanesAvx2;
};

// Replaces the planes of a width x height map (target heights in base
// planes->base, 255 or 256) by new planes of request.width x request.height
// holding the heights resampled with request.filter. Result pixel (r, c)
// sits at source position (r (height - 1) / (request.height - 1),
// c (width - 1) / (request.width - 1)); a side of one pixel sits on the
// source's first row or column, and a side whose size does not change is
// copied, not filtered. Past its edges the map continues as its point
// reflection through the edge sample, so that, enlarged or reduced, its
// first and last rows and columns are the source's resampled along
// themselves alone: corners keep their heights, and two parts of a map
// sharing an edge, resampled alone, still share it. New heights are rounded to
// the nearest (halves up) and clamped to what the base stores, counted in
// outcome. Blue, which the tool carries but does not interpret, takes the blue
// of the source pixel nearest each new pixel (halves to the right and down), so
// masks and flags keep their values. The new planes' source and target are one,
// as allocatePlanes gives them. A size equal to the map's leaves the planes as
// they are. On failure (no resampler in the build, no memory, a size the
// library cannot take) the planes are untouched and error says why.
// Reports result rows done to progress.
bool resampleHeights(PlaneSet* planes, int32_t width, int32_t height,
                     const ResampleRequest& request, ResampleOutcome* outcome,
                     std::string* error, const Progress* progress = nullptr);

#endif  // QUILLORN_PROCESSING_RESAMPLING_H_
