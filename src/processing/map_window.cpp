#include "processing/map_window.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Raster coordinates this close to a whole number count as on it: bounds
// written in decimal degrees land a hair off the samples they name.
constexpr double kOnSample = 1e-6;

// A decimal number of 32 bits at text, up to the first character not a
// digit; end is left after it.
bool parseCount(const char* text, const char** end, int32_t* value) {
  if (*text < '0' || *text > '9') return false;
  int64_t total = 0;
  while (*text >= '0' && *text <= '9') {
    total = total * 10 + (*text - '0');
    if (total > INT32_MAX) return false;
    ++text;
  }
  *end = text;
  *value = static_cast<int32_t>(total);
  return true;
}

// The first and the last raster index of the samples that cover the
// raster coordinates from low to high, on a map of count samples; false
// when they reach past it.
bool coveringRange(double low, double high, bool pointSamples, int32_t count,
                   int32_t* first, int32_t* last) {
  const double end = pointSamples ? count - 1.0 : static_cast<double>(count);
  if (low < -kOnSample || high > end + kOnSample) return false;
  const double from = std::floor(low + kOnSample);
  const double to = std::ceil(high - kOnSample) - (pointSamples ? 0 : 1);
  *first = static_cast<int32_t>(std::clamp(from, 0.0, count - 1.0));
  *last =
      std::max(*first, static_cast<int32_t>(std::clamp(to, 0.0, count - 1.0)));
  return true;
}

}  // namespace

bool parseMapWindow(const char* text, MapWindow* window) {
  MapWindow parsed;
  const char* at = text;
  if (!parseCount(at, &at, &parsed.width) || (*at != 'x' && *at != 'X') ||
      !parseCount(at + 1, &at, &parsed.height) || *at != '+' ||
      !parseCount(at + 1, &at, &parsed.left) || *at != '+' ||
      !parseCount(at + 1, &at, &parsed.top) || *at != '\0' ||
      parsed.width < 1 || parsed.height < 1) {
    return false;
  }
  *window = parsed;
  return true;
}

bool parseGeoBounds(const char* text, GeoBounds* bounds) {
  double values[4];
  const char* at = text;
  for (int index = 0; index < 4; ++index) {
    char* end = nullptr;
    errno = 0;
    values[index] = std::strtod(at, &end);
    if (end == at || errno == ERANGE || !std::isfinite(values[index]) ||
        *end != (index < 3 ? ',' : '\0')) {
      return false;
    }
    at = end + 1;
  }
  if (!(values[0] < values[2]) || !(values[1] < values[3])) return false;
  *bounds = {values[0], values[1], values[2], values[3]};
  return true;
}

std::string windowText(const MapWindow& window) {
  return std::to_string(window.width) + "x" + std::to_string(window.height) +
         "+" + std::to_string(window.left) + "+" + std::to_string(window.top);
}

bool windowFits(const MapWindow& window, int32_t width, int32_t height) {
  return int64_t{window.left} + window.width <= width &&
         int64_t{window.top} + window.height <= height;
}

bool windowOfBounds(const Affine& toModel, bool pointSamples, int32_t width,
                    int32_t height, const GeoBounds& bounds,
                    MapWindow* window) {
  // A turned or sheared grid has no window of whole rows and columns.
  if (toModel.b != 0 || toModel.d != 0 || toModel.a == 0 || toModel.e == 0) {
    return false;
  }
  const double x0 = (bounds.west - toModel.c) / toModel.a;
  const double x1 = (bounds.east - toModel.c) / toModel.a;
  const double y0 = (bounds.south - toModel.f) / toModel.e;
  const double y1 = (bounds.north - toModel.f) / toModel.e;
  int32_t left = 0, right = 0, top = 0, bottom = 0;
  if (!coveringRange(std::min(x0, x1), std::max(x0, x1), pointSamples, width,
                     &left, &right) ||
      !coveringRange(std::min(y0, y1), std::max(y0, y1), pointSamples, height,
                     &top, &bottom)) {
    return false;
  }
  *window = {left, top, right - left + 1, bottom - top + 1};
  return true;
}

GeoBounds boundsOfMap(const Affine& toModel, bool pointSamples, int32_t width,
                      int32_t height) {
  const double across = pointSamples ? width - 1.0 : width;
  const double down = pointSamples ? height - 1.0 : height;
  const double xs[2] = {toModel.c, toModel.a * across + toModel.c};
  const double ys[2] = {toModel.f, toModel.e * down + toModel.f};
  return {std::min(xs[0], xs[1]), std::min(ys[0], ys[1]),
          std::max(xs[0], xs[1]), std::max(ys[0], ys[1])};
}

void cutPlanesToWindow(PlaneSet* planes, const MapWindow& window) {
  BytePlane* all[] = {&planes->inRed, &planes->inGreen, &planes->inBlue};
  // A blue plane of no marks stays one, its memory never made.
  const int count = planes->blueZero ? 2 : 3;
  for (int index = 0; index < count; ++index) {
    BytePlane& plane = *all[index];
    // Row r takes row top + r: every row still to move lies below it.
    for (int32_t row = 0; row < window.height; ++row) {
      std::memmove(plane[row], plane[window.top + row] + window.left,
                   static_cast<size_t>(window.width));
    }
  }
}

void cutFloatsToWindow(FloatPlane* floats, const MapWindow& window) {
  float* values = floats->values;
  for (int32_t row = 0; row < window.height; ++row) {
    // Each row moves to or before where it was: earlier rows are done.
    std::memmove(values + int64_t{row} * window.width,
                 floats->row(window.top + row) + window.left,
                 static_cast<size_t>(window.width) * sizeof(float));
  }
  floats->width = window.width;
  floats->height = window.height;
  floats->stride = 0;
}
