#include "app/run_options.h"

#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every field of RunOptions, so that a switch storing into another's field
// fails here.
void expectSameOptions(const RunOptions& found, const RunOptions& expected,
                       const std::string& line) {
  EXPECT_EQ(found.scale, expected.scale) << line;
  EXPECT_EQ(found.scaleGiven, expected.scaleGiven) << line;
  EXPECT_EQ(found.minimum, expected.minimum) << line;
  EXPECT_EQ(found.minimumGiven, expected.minimumGiven) << line;
  EXPECT_EQ(found.smoothPasses, expected.smoothPasses) << line;
  EXPECT_EQ(found.smoothGiven, expected.smoothGiven) << line;
  EXPECT_EQ(found.size.width, expected.size.width) << line;
  EXPECT_EQ(found.size.height, expected.size.height) << line;
  EXPECT_EQ(found.sizeGiven, expected.sizeGiven) << line;
  EXPECT_EQ(found.view, expected.view) << line;
  EXPECT_EQ(found.viewGiven, expected.viewGiven) << line;
  EXPECT_EQ(found.viewMissing, expected.viewMissing) << line;
  EXPECT_EQ(found.bigEndian, expected.bigEndian) << line;
  EXPECT_EQ(found.orderGiven, expected.orderGiven) << line;
  EXPECT_EQ(found.unit, expected.unit) << line;
  EXPECT_EQ(found.unitGiven, expected.unitGiven) << line;
  EXPECT_EQ(found.resize.width, expected.resize.width) << line;
  EXPECT_EQ(found.resize.height, expected.resize.height) << line;
  EXPECT_EQ(found.resizeGiven, expected.resizeGiven) << line;
  EXPECT_EQ(found.filter, expected.filter) << line;
  EXPECT_EQ(found.filterGiven, expected.filterGiven) << line;
  EXPECT_EQ(found.turns, expected.turns) << line;
  EXPECT_EQ(found.engine, expected.engine) << line;
  EXPECT_EQ(found.fitGiven, expected.fitGiven) << line;
  EXPECT_EQ(found.tiles.columns, expected.tiles.columns) << line;
  EXPECT_EQ(found.tiles.rows, expected.tiles.rows) << line;
  EXPECT_EQ(found.tilesGiven, expected.tilesGiven) << line;
  EXPECT_EQ(found.world, expected.world) << line;
  EXPECT_EQ(found.fillReach, expected.fillReach) << line;
  EXPECT_EQ(found.fillGiven, expected.fillGiven) << line;
  EXPECT_EQ(found.channel, expected.channel) << line;
  EXPECT_EQ(found.channelGiven, expected.channelGiven) << line;
  EXPECT_EQ(found.depth, expected.depth) << line;
  EXPECT_EQ(found.depthGiven, expected.depthGiven) << line;
  EXPECT_EQ(found.crop.width, expected.crop.width) << line;
  EXPECT_EQ(found.crop.height, expected.crop.height) << line;
  EXPECT_EQ(found.crop.left, expected.crop.left) << line;
  EXPECT_EQ(found.crop.top, expected.crop.top) << line;
  EXPECT_EQ(found.cropGiven, expected.cropGiven) << line;
  EXPECT_EQ(found.bounds.west, expected.bounds.west) << line;
  EXPECT_EQ(found.bounds.south, expected.bounds.south) << line;
  EXPECT_EQ(found.bounds.east, expected.bounds.east) << line;
  EXPECT_EQ(found.bounds.north, expected.bounds.north) << line;
  EXPECT_EQ(found.boundsText, expected.boundsText) << line;
  EXPECT_EQ(found.boundsGiven, expected.boundsGiven) << line;
  EXPECT_EQ(found.refused, expected.refused) << line;
}

struct OptionsCase {
  std::vector<const char*> switches;        // after "q in out"
  std::function<void(RunOptions*)> expect;  // the fields that change
};

RunOptions findAfterPaths(const std::vector<const char*>& switches,
                          std::string* line) {
  std::vector<const char*> argv = {"q", "in", "out"};
  argv.insert(argv.end(), switches.begin(), switches.end());
  for (const char* argument : argv) *line += std::string(argument) + " ";
  return findRunOptions(static_cast<int>(argv.size()), argv.data());
}

// Each switch of the table stores its value in its own fields and nowhere
// else; the documented corner cases of the search follow.
TEST(RunOptionsTest, EverySwitchFillsItsOwnFields) {
  const OptionsCase cases[] = {
      {{"-sca", "2.5"},
       [](RunOptions* o) { o->scale = 2.5f, o->scaleGiven = true; }},
      {{"-min", "7"},
       [](RunOptions* o) { o->minimum = 7, o->minimumGiven = true; }},
      {{"-smo", "3"},
       [](RunOptions* o) { o->smoothPasses = 3, o->smoothGiven = true; }},
      {{"-dim", "3x2"},
       [](RunOptions* o) {
         o->size = {3, 2}, o->sizeGiven = true;
       }},
      {{"-order", "big"},
       [](RunOptions* o) { o->bigEndian = o->orderGiven = true; }},
      {{"-unit", "0.5"},
       [](RunOptions* o) { o->unit = 0.5, o->unitGiven = true; }},
      {{"-view", "v.png"},
       [](RunOptions* o) { o->view = "v.png", o->viewGiven = true; }},
      {{"-flip", "vertical", "-rotate", "90", "-flip", "horizontal"},
       [](RunOptions* o) {
         o->turns = {PlaneTurn::kFlipVertical, PlaneTurn::kRotate90,
                     PlaneTurn::kFlipHorizontal};
       }},
      {{"-size", "5x3"},
       [](RunOptions* o) {
         o->resize = {5, 3}, o->resizeGiven = true;
       }},
      {{"-filter", "box"},
       [](RunOptions* o) {
         o->filter = ResampleFilter::kBox, o->filterGiven = true;
       }},
      {{"-fit", "godot"},
       [](RunOptions* o) { o->engine = Engine::kGodot, o->fitGiven = true; }},
      {{"-tiles", "2x3"},
       [](RunOptions* o) {
         o->tiles = {2, 3}, o->tilesGiven = true;
       }},
      {{"-world"}, [](RunOptions* o) { o->world = true; }},
      {{"-fill", "0"},
       [](RunOptions* o) { o->fillReach = 0, o->fillGiven = true; }},
      {{"-depth", "32"},
       [](RunOptions* o) { o->depth = 32, o->depthGiven = true; }},
      {{"-tilerows", "bottom"},
       [](RunOptions* o) {
         o->tileRowsFromBottom = true, o->tileRowsGiven = true;
       }},
      {{"-tilerows", "up"},
       [](RunOptions* o) {
         o->tileRowsGiven = true, o->refused = "-tilerows";
       }},
      // A depth is 16 or 32 bits, nothing else, not even 8.
      {{"-depth", "8"},
       [](RunOptions* o) { o->depthGiven = true, o->refused = "-depth"; }},
      {{"-channel", "luma"},
       [](RunOptions* o) {
         o->channel = ChannelChoice::kLuma, o->channelGiven = true;
       }},
      {{"-crop", "40x30+2+0"},
       [](RunOptions* o) {
         o->crop = {2, 0, 40, 30}, o->cropGiven = true;
       }},
      // A window is whole numbers, nothing after them, none empty.
      {{"-crop", "40x30+2"},
       [](RunOptions* o) { o->cropGiven = true, o->refused = "-crop"; }},
      {{"-crop", "0x30+2+0"},
       [](RunOptions* o) { o->cropGiven = true, o->refused = "-crop"; }},
      {{"-bounds", "-122.5,47,-121.25,47.5"},
       [](RunOptions* o) {
         o->bounds = {-122.5, 47, -121.25, 47.5}, o->boundsGiven = true;
         o->boundsText = "-122.5,47,-121.25,47.5";
       }},
      // West below east, south below north, four numbers.
      {{"-bounds", "1,0,1,1"},
       [](RunOptions* o) {
         o->boundsGiven = true, o->boundsText = "1,0,1,1";
         o->refused = "-bounds";
       }},
      {{"-bounds", "0,0,1,1,"},
       [](RunOptions* o) {
         o->boundsGiven = true, o->boundsText = "0,0,1,1,";
         o->refused = "-bounds";
       }},
      // A switch last on the line has no value and counts as not given;
      // -view says so.
      {{"-sca"}, [](RunOptions*) {}},
      {{"-view"}, [](RunOptions* o) { o->viewMissing = true; }},
      // Words parse as 0, so "-sca x" asks for normalization.
      {{"-sca", "x"}, [](RunOptions* o) { o->scaleGiven = true; }},
      // The first occurrence counts.
      {{"-smo", "1", "-smo", "5"},
       [](RunOptions* o) { o->smoothPasses = 1, o->smoothGiven = true; }},
      // Values are not consumed: "-min" takes "-smo" as its value (0), and
      // "-smo" is still found.
      {{"-min", "-smo", "2"},
       [](RunOptions* o) {
         o->minimumGiven = o->smoothGiven = true, o->smoothPasses = 2;
       }},
      // Matching is exact and case-sensitive.
      {{"-SCA", "3", "--smo", "4", "-smo2", "1"}, [](RunOptions*) {}},
      {{"-smo", "-2"},
       [](RunOptions* o) { o->smoothPasses = -2, o->smoothGiven = true; }},
      // Of the turns, the first value none takes is refused.
      {{"-rotate", "45", "-flip", "x"},
       [](RunOptions* o) { o->refused = "-rotate"; }},
      // Of other refused values, the lowest rank's is told, not the first
      // in the table.
      {{"-tiles", "0", "-fill", "-1"},
       [](RunOptions* o) {
         o->tiles = {0, 0};
         o->tilesGiven = o->fillGiven = true;
         o->refused = "-fill";
       }},
  };
  std::set<std::string> tried;
  for (const OptionsCase& c : cases) {
    std::string line;
    RunOptions found = findAfterPaths(c.switches, &line);
    RunOptions expected;
    c.expect(&expected);
    expectSameOptions(found, expected, line);
    for (const char* argument : c.switches) tried.insert(argument);
  }
  for (const SwitchRow& row : switchTable()) {
    EXPECT_EQ(tried.count(row.name), 1u) << row.name << " has no case";
  }
  // The paths are never taken for switches.
  const char* paths[] = {"q", "-sca", "-min", "5"};
  expectSameOptions(findRunOptions(4, paths), RunOptions(), "q -sca -min 5");
}

// A value a switch does not take names that switch, and only then.
TEST(RunOptionsTest, EveryRefusableSwitchRefusesAValueItDoesNotTake) {
  for (const SwitchRow& row : switchTable()) {
    std::string line;
    RunOptions found = findAfterPaths({row.name, "x0"}, &line);
    EXPECT_EQ(found.refused, row.refusal != nullptr ? row.name : "") << line;
  }
}

// Bash completion offers the table's switches, in its order, and each
// switch's words after it; after a number nothing, after a path files.
TEST(RunOptionsTest, CompletionOffersTheTablesSwitchesAndWords) {
  std::ifstream file(std::string(QUILLORN_SOURCE_DIR) +
                     "/packaging/quillorn.bash-completion");
  ASSERT_TRUE(file) << "packaging/quillorn.bash-completion";
  std::stringstream text;
  text << file.rdbuf();
  const std::string script = text.str();
  std::string names, numbers;
  for (const SwitchRow& row : switchTable()) {
    names += (names.empty() ? "" : " ") + std::string(row.name);
    if (row.value == nullptr) continue;
    if (row.words != nullptr) {
      EXPECT_NE(script.find(std::string("      ") + row.name +
                            ")\n        mapfile -t COMPREPLY < <(compgen -W '" +
                            row.words + "' -- \"$current\")"),
                std::string::npos)
          << row.name;
    } else if (std::strcmp(row.value, "<picture>") != 0) {
      numbers += (numbers.empty() ? "" : "|") + std::string(row.name);
    }
  }
  EXPECT_NE(script.find("compgen -W '" + names + "' -- \"$current\""),
            std::string::npos)
      << names;
  EXPECT_NE(script.find("      " + numbers + ")\n        # A number"),
            std::string::npos)
      << numbers;
}

TEST(RunOptionsTest, FindOptionReportsIndexOrNotFound) {
  const char* argv[] = {"q", "-min", "out", "x", "-min", "-min"};
  EXPECT_EQ(findOption(6, argv, "-min"), 4);
  EXPECT_EQ(findOption(6, argv, "-sca"), kOptionNotFound);
  EXPECT_EQ(findOption(3, argv, "-min"), kOptionNotFound);
}

TEST(RunOptionsTest, IntegersParseLikeAtoiAndClampInsteadOfOverflowing) {
  const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"12", 12},
      {"  -7", -7},
      {"+3", 3},
      {"4.9", 4},
      {"12abc", 12},
      {"abc", 0},
      {"", 0},
      {"0x10", 0},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-99999999999999999999", INT32_MIN},
      {"99999999999999999999", INT32_MAX},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parseInteger(c.text), c.value) << c.text;
}

TEST(RunOptionsTest, ScalesParseLikeAtofInSinglePrecision) {
  EXPECT_EQ(parseScale("0.7"), 0.7f);
  EXPECT_EQ(static_cast<double>(parseScale("0.7")), static_cast<double>(0.7f));
  EXPECT_EQ(parseScale("2x"), 2.0f);
  EXPECT_EQ(parseScale("word"), 0.0f);
  EXPECT_EQ(parseScale("-1.5e1"), -15.0f);
  EXPECT_TRUE(std::isinf(parseScale("1e300")));
}

// The switches a page documents between the first line starting with from
// and the next starting with to: the name after each line start lead ("| `"
// or a manual paragraph's ".TP" line and its font request).
std::set<std::string> documentedSwitches(const char* page, const char* from,
                                         const char* to,
                                         std::vector<std::string> leads) {
  std::ifstream file(std::string(QUILLORN_SOURCE_DIR) + "/" + page);
  std::stringstream whole;
  whole << file.rdbuf();
  const std::string text = whole.str();
  const size_t start = text.find(std::string("\n") + from);
  const size_t end = text.find(std::string("\n") + to, start + 1);
  if (start == std::string::npos || end == std::string::npos) return {};
  const std::string part = text.substr(start, end - start);
  std::set<std::string> names;
  for (const std::string& lead : leads) {
    for (size_t at = part.find(lead); at != std::string::npos;
         at = part.find(lead, at + 1)) {
      size_t name = at + lead.size();
      if (part.compare(name, 1, "\\") == 0) ++name;  // the manual's "\-"
      size_t stop = name + 1;
      while (stop < part.size() && std::islower(part[stop]) != 0) ++stop;
      if (part[name] == '-' && stop > name + 1) {
        names.insert(part.substr(name, stop - name));
      }
    }
  }
  return names;
}

// The manual's OPTIONS and the README's table of switches have a paragraph
// or a row for every switch in the table, and for nothing else.
TEST(RunOptionsTest, ManualAndReadmeDocumentTheTablesSwitches) {
  std::set<std::string> table;
  for (const SwitchRow& row : switchTable()) table.insert(row.name);
  EXPECT_EQ(documentedSwitches("README.md", "## Switches", "## ", {"\n| `"}),
            table);
  // The manual also tells the help's own switch among them.
  table.insert("-h");
  EXPECT_EQ(documentedSwitches("docs/quillorn.1", ".SH OPTIONS", ".SH ",
                               {"\n.TP\n.B ", "\n.TP\n.BI ", "\n.TP\n.BR "}),
            table);
}

}  // namespace
