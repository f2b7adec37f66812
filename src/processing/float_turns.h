// Flips and quarter turns of a float map ("-flip", "-rotate"), composed
// into their net effect as the byte planes' turns are (plane_turns.h).
#ifndef QUILLORN_PROCESSING_FLOAT_TURNS_H_
#define QUILLORN_PROCESSING_FLOAT_TURNS_H_

#include <string>
#include <vector>

#include "image/float_plane.h"
#include "processing/plane_turns.h"

// Applies turns, in order, to plane: the net effect (composeTurns) as an
// exact permutation of the values, width and height swapped by a quarter
// turn. Flips, half turns and quarter turns of a square map work in place,
// with no memory beyond the plane; a quarter turn of a map that is not
// square writes each value once into a new plane of the turned shape and
// then frees the old one, so it holds both (twice the plane's bytes) while
// it runs. On failure (no memory for the new plane) nothing changed and
// error says why.
bool applyFloatTurns(const std::vector<PlaneTurn>& turns, FloatPlane* plane,
                     std::string* error);

#endif  // QUILLORN_PROCESSING_FLOAT_TURNS_H_
