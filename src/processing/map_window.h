// A window of the map: the pixels a run keeps (-crop), or the smallest
// window of samples that covers bounds in the map's own coordinates
// (-bounds), and the planes or floats cut down to it in place.
#ifndef QUILLORN_PROCESSING_MAP_WINDOW_H_
#define QUILLORN_PROCESSING_MAP_WINDOW_H_

#include <cstdint>
#include <string>

#include "image/float_plane.h"
#include "image/geo_reference.h"
#include "image/height_planes.h"

// width x height pixels whose top left pixel is (left, top) of the map.
struct MapWindow {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// West, south, east and north edges in a map's model coordinates.
struct GeoBounds {
  double west = 0;
  double south = 0;
  double east = 0;
  double north = 0;
};

// Parses "<width>x<height>+<left>+<top>": two positive and two non-negative
// decimal numbers within 32 bits, nothing else.
bool parseMapWindow(const char* text, MapWindow* window);

// Parses "<west>,<south>,<east>,<north>": four finite numbers, west below
// east and south below north.
bool parseGeoBounds(const char* text, GeoBounds* bounds);

// "<width>x<height>+<left>+<top>", as -crop takes it.
std::string windowText(const MapWindow& window);

// True when window lies within a width x height map.
bool windowFits(const MapWindow& window, int32_t width, int32_t height);

// The smallest window of a width x height map's samples that covers
// bounds, the map placed by toModel (raster to model coordinates, with
// samples on whole raster coordinates when pointSamples, else on pixel
// areas from them). False, window untouched, when bounds reach past the
// map or toModel turns the grid.
bool windowOfBounds(const Affine& toModel, bool pointSamples, int32_t width,
                    int32_t height, const GeoBounds& bounds, MapWindow* window);

// The edges a width x height map placed by toModel covers, as
// windowOfBounds measures them.
GeoBounds boundsOfMap(const Affine& toModel, bool pointSamples, int32_t width,
                      int32_t height);

// Cuts the planes of a map down to window (within it), in their own
// memory: rows 0 ... window.height - 1 then hold the window.
void cutPlanesToWindow(PlaneSet* planes, const MapWindow& window);

// Cuts floats down to window (within them), in their own memory.
void cutFloatsToWindow(FloatPlane* floats, const MapWindow& window);

#endif  // QUILLORN_PROCESSING_MAP_WINDOW_H_
