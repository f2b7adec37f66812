// A build without the resampling library: resampling is refused.
#include "processing/resampling.h"

bool haveResampler() { return false; }

bool resampleHeights(PlaneSet*, int32_t, int32_t, const ResampleRequest&,
                     ResampleOutcome* outcome, std::string* error,
                     const Progress*) {
  *outcome = ResampleOutcome();
  *error = kNoResampler;
  return false;
}
