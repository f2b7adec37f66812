#include "processing/float_resampling.h"

bool resampleFloatHeights(FloatPlane*, const ResampleRequest&,
                          ResampleOutcome*, std::string* error,
                          const Progress*) {
  *error = "Float maps are not resampled yet";
  return false;
}
