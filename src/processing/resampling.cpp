// The filters by name, in every build.
#include "processing/resampling.h"

namespace {

struct FilterName {
  ResampleFilter filter;
  const char* name;
};

constexpr FilterName kFilterNames[] = {
    {ResampleFilter::kCubic, "cubic"},
    {ResampleFilter::kLinear, "linear"},
    {ResampleFilter::kBox, "box"},
    {ResampleFilter::kMitchell, "mitchell"},
    {ResampleFilter::kBspline, "bspline"},
};

}  // namespace

bool parseResampleFilter(const std::string& name, ResampleFilter* filter) {
  for (const FilterName& entry : kFilterNames) {
    if (name == entry.name) {
      *filter = entry.filter;
      return true;
    }
  }
  return false;
}

const char* resampleFilterName(ResampleFilter filter) {
  for (const FilterName& entry : kFilterNames) {
    if (entry.filter == filter) return entry.name;
  }
  return "";
}
