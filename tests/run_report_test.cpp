#include "app/run_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

namespace {

// Heights out of range are told in one line for those clamped and one for
// those wrapped, each stage counted with its remedy, said once.
TEST(RunReportTest, StoreCountsTellEachStageAndItsRemedy) {
  const struct {
    HeightValue base;
    std::function<void(StageCounts*)> counts;
    const char* lines;
  } cases[] = {
      {kHeightBase, [](StageCounts*) {}, ""},
      {kHeightBase,
       [](StageCounts* c) {
         c->scale.high = 2;
         c->smoothing = 1;
       },
       "quillorn: warning: 3 heights wrapped in the bitmap encoding (0 ... "
       "65279): 2 above 65279 after -sca, 1 above 65279 after -smo; -sca 0 or "
       "a smaller -sca keeps them\n"},
      {kWideBase, [](StageCounts* c) { c->resample.low = 1; },
       "quillorn: warning: 1 height was clamped to what the files hold: 1 "
       "below 0 after resampling; -filter linear or bspline (which never "
       "overshoot) keeps them\n"},
      {kWideBase,
       [](StageCounts* c) {
         c->scale.high = 1;
         c->scale.low = 1;
         c->minimum.low = 2;
       },
       "quillorn: warning: 4 heights were clamped to what the files hold: 1 "
       "above 65535 after -sca, 1 below 0 after -sca, 2 below 0 after -min; "
       "-sca 0 or a smaller -sca, a positive -sca and a -min of 0 or more "
       "keep them\n"},
      {kHeightBase,
       [](StageCounts* c) {
         c->written = 2;
         c->minimum.low = 1;
       },
       "quillorn: warning: 2 heights were clamped to what the files hold: 2 "
       "above 65279 (the most a bitmap holds) when written; -sca 0, a "
       "smaller -sca or a 16-bit output (.r16, .pgm, .png, .tif) keeps them\n"
       "quillorn: warning: 1 height wrapped in the bitmap encoding (0 ... "
       "65279): 1 below 0 after -min; a -min of 0 or more keeps them\n"},
  };
  for (const auto& c : cases) {
    StageCounts counts;
    counts.base = c.base;
    c.counts(&counts);
    std::ostringstream diagnostics;
    reportStoreCounts(counts, diagnostics);
    EXPECT_EQ(diagnostics.str(), c.lines);
  }
}

// A TIFF's nodata value is told as written, 0 as well as 65535; without
// one, a warning says why and what fills the samples.
TEST(RunReportTest, NodataValueToldOrItsAbsenceWarned) {
  const struct {
    int32_t nodata;
    const char* lines;
  } cases[] = {
      {65535,
       "quillorn: o.tif: the samples kept as nodata are written as 65535, "
       "its nodata value\n"},
      {0,
       "quillorn: o.tif: the samples kept as nodata are written as 0, its "
       "nodata value\n"},
      {kNoNodata,
       "quillorn: warning: o.tif has a height at every value from 0 to "
       "65535, so it gets no nodata value: the samples kept as nodata stand "
       "at the lowest height; a larger -fill fills them\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream diagnostics;
    reportNodataValue(c.nodata, "o.tif", diagnostics);
    EXPECT_EQ(diagnostics.str(), c.lines) << c.nodata;
  }
}

}  // namespace
