#include "app/input_expansion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace {

TEST(InputExpansionTest, PatternsMatchAsTheyReadInTheLastComponent) {
  struct Case {
    const char* name;
    const char* pattern;
    bool matches;
  };
  const Case cases[] = {
      {"N47W122.hgt", "N4*W12*.hgt", true},
      {"N47W122.hgt", "N4?W12?.hgt", true},
      {"N47W122.hgt", "N4?W12?.HGT", false},
      {"N47W122.hgt.zip", "N4*W12*.hgt", false},
      {"S47W122.hgt", "N4*", false},
      {"a", "*", true},
      {"", "*", true},
      {"ab", "a*b*", true},
      {"aXbYc", "a*b*c", true},
      {"abc", "a*b", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(matchesPattern(c.name, c.pattern), c.matches)
        << c.name << " " << c.pattern;
  }
  EXPECT_TRUE(isInputPattern("dem/N4*.hgt"));
  EXPECT_FALSE(isInputPattern("de*m/N47.hgt"));
}

TEST(InputExpansionTest, FoldersAndPatternsNameTheirFilesSortedByName) {
  TempDir dir;
  for (const char* name :
       {"b_x1_y0.png", "b_x0_y0.png", "notes.txt", "N47W122.hgt", "*.hgt"}) {
    ASSERT_TRUE(writeFileBytes(dir.file(name), {1}));
  }
  struct Case {
    std::string path;
    InputKind kind;
    std::vector<std::string> tiles;
  };
  const std::string folder = dir.path() + "/";
  const Case cases[] = {
      {dir.path(),
       InputKind::kTiles,
       {folder + "*.hgt", folder + "N47W122.hgt", folder + "b_x0_y0.png",
        folder + "b_x1_y0.png"}},
      {dir.file("b_*"),
       InputKind::kTiles,
       {folder + "b_x0_y0.png", folder + "b_x1_y0.png"}},
      {dir.file("c*"), InputKind::kEmpty, {}},
      // A file of the pattern's own name is that file.
      {dir.file("*.hgt"), InputKind::kFile, {}},
      {dir.file("N47W122.hgt"), InputKind::kFile, {}},
      {dir.file("missing.hgt"), InputKind::kFile, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> tiles;
    EXPECT_EQ(expandInput(c.path, &tiles), c.kind) << c.path;
    EXPECT_EQ(tiles, c.tiles) << c.path;
  }
  TempDir empty;
  std::vector<std::string> tiles;
  EXPECT_EQ(expandInput(empty.path(), &tiles), InputKind::kEmpty);
}

}  // namespace
