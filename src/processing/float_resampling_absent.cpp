// A build without the resampling library: resampling a float map is
// refused.
#include "processing/float_resampling.h"

bool resampleFloatHeights(FloatPlane*, const ResampleRequest&,
                          ResampleOutcome* outcome, std::string* error,
                          const Progress*) {
  *outcome = ResampleOutcome();
  *error = kNoResampler;
  return false;
}
