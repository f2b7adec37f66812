#include "app/argument_warnings.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// Arguments the run ignores or reads other than as written are named, with
// the switch a typo probably meant; a repeatable switch is no repeat.
TEST(ArgumentWarningsTest, NamesWhatTheRunIgnoresOrReadsOtherwise) {
  const struct {
    std::vector<const char*> switches;  // after "q in out"
    const char* lines;
  } cases[] = {
      {{"-sca", "2", "-flip", "vertical", "-flip", "vertical", "-world"}, ""},
      {{"-smoth", "2"},
       "quillorn: warning: ignoring \"-smoth\", which is no switch (did you "
       "mean -smo?)\nquillorn: warning: ignoring \"2\", which is no switch\n"},
      // Typos near two switches name the older one.
      {{"-fler", "-rier"},
       "quillorn: warning: ignoring \"-fler\", which is no switch (did you "
       "mean -filter?)\nquillorn: warning: ignoring \"-rier\", which is no "
       "switch (did you mean -view?)\n"},
      {{"-view", "a.bmp", "-order", "big", "-view", "b.bmp", "-order", "x"},
       "quillorn: warning: ignoring the repeated -view (the first one "
       "counts)\nquillorn: warning: ignoring the repeated -order (the first "
       "one counts)\n"},
      {{"-smo"},
       "quillorn: warning: -smo is the last argument, with no value after it; "
       "it is ignored\n"},
      {{"-sca", "0,5"},
       "quillorn: warning: -sca 0,5 reads as 0, which normalizes: a decimal "
       "comma? write the scale with a point\n"},
      {{"-smo", "2.9", "-min", "99999999999"},
       "quillorn: warning: -smo 2.9 is not wholly a number: it reads as 2 "
       "passes\nquillorn: warning: -min 99999999999 is beyond 32 bits and "
       "reads as 2147483647\n"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"q", "in", "out"};
    argv.insert(argv.end(), c.switches.begin(), c.switches.end());
    const int argc = static_cast<int>(argv.size());
    std::ostringstream diagnostics;
    warnAboutArguments(argc, argv.data(), findRunOptions(argc, argv.data()),
                       diagnostics);
    EXPECT_EQ(diagnostics.str(), c.lines) << c.switches[0];
  }
}

}  // namespace
