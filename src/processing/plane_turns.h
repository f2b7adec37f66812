// Flips and quarter turns of the whole map ("-flip", "-rotate"): exact, any
// number of them, composed into the one way the result lies before a pixel
// moves, so that a list costs what its net effect costs.
#ifndef QUILLORN_PROCESSING_PLANE_TURNS_H_
#define QUILLORN_PROCESSING_PLANE_TURNS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/height_planes.h"

// One flip or clockwise turn, as the switches name them.
enum class PlaneTurn {
  kFlipHorizontal,  // "-flip horizontal": left and right change places
  kFlipVertical,    // "-flip vertical": top and bottom change places
  kRotate90,        // "-rotate 90", clockwise
  kRotate180,       // "-rotate 180"
  kRotate270,       // "-rotate 270", clockwise (a quarter turn back)
};

// The turn that "-flip" or "-rotate" (switchName) with value names; false
// (turn untouched) for anything else.
bool parsePlaneTurn(const std::string& switchName, const std::string& value,
                    PlaneTurn* turn);

// Where a result's pixels come from, one of the eight ways a grid can lie:
// result pixel (row, column) is source pixel (sourceRow, sourceColumn) with
//   (a, b) = swapAxes ? (column, row) : (row, column),
//   sourceRow = mirrorRows ? sourceHeight - 1 - a : a,
//   sourceColumn = mirrorColumns ? sourceWidth - 1 - b : b.
// With swapAxes the result is sourceHeight wide and sourceWidth high.
struct Orientation {
  bool swapAxes = false;
  bool mirrorRows = false;
  bool mirrorColumns = false;
};

// The net effect of turns applied in the order given.
Orientation composeTurns(const std::vector<PlaneTurn>& turns);

// Applies turns, in order, to the planes of a *width x *height map (all
// three planes; the target planes are the source planes' memory) and sets
// *width and *height to the result's. Flips, half turns and quarter turns
// of a square map work in place, with no memory beyond the planes; a
// quarter turn of a map that is not square writes each pixel once into new
// planes of the turned shape and then frees the old ones, so it holds both
// (twice the planes' bytes) while it runs. On failure (no memory for the
// new planes) nothing changed and error says why.
bool applyPlaneTurns(const std::vector<PlaneTurn>& turns, PlaneSet* planes,
                     int32_t* width, int32_t* height, std::string* error);

#endif  // QUILLORN_PROCESSING_PLANE_TURNS_H_
