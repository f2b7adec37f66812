#include "platform/outputs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// The output whose final path becomes a folder just before its rename,
// which then fails without root or another user.
std::string blockedPath;
int blockedIndex = -1;

// What stands at path: its text, "/" for a folder, "" for nothing.
std::string contentOf(const std::string& path) {
  if (std::filesystem::is_directory(path)) return "/";
  std::vector<uint8_t> bytes;
  if (!readFileBytes(path, &bytes)) return "";
  return std::string(bytes.begin(), bytes.end());
}

// Three outputs, each written to a hidden temporary beside its final file
// (a and c replace a file, b is new or replaces one too), then committed
// together; when a later rename fails, those before it are put back (old
// content, or no file) and those after it keep theirs. No hidden file stays
// either way.
TEST(OutputsTest, CommitsAllOrPutsTheEarlierOnesBack) {
  struct Case {
    int failAt;  // -1: none
    OutputCommit commit;
    std::vector<std::string> after;  // a, b, c
    bool bOld = false;               // b replaces a file too
  };
  const Case cases[] = {
      {-1, OutputCommit::kCommitted, {"a new", "b new", "c new"}},
      {1, OutputCommit::kReplaceFailed, {"a old", "/", "c old"}},
      {2, OutputCommit::kReplaceFailed, {"a old", "", "/"}},
      // A later output's old content is kept and put back as the first's.
      {2, OutputCommit::kReplaceFailed, {"a old", "b old", "/"}, true},
  };
  const char* names[] = {"a", "b", "c"};
  for (const Case& c : cases) {
    TempDir dir;
    ASSERT_TRUE(writeFileBytes(dir.file("a"), {'a', ' ', 'o', 'l', 'd'}));
    ASSERT_TRUE(writeFileBytes(dir.file("c"), {'c', ' ', 'o', 'l', 'd'}));
    if (c.bOld) {
      ASSERT_TRUE(writeFileBytes(dir.file("b"), {'b', ' ', 'o', 'l', 'd'}));
    }
    OutputFile outputs[3];
    OutputFile* list[] = {&outputs[0], &outputs[1], &outputs[2]};
    for (int index = 0; index < 3; ++index) {
      OutputFile& output = outputs[index];
      const std::string path = dir.file(names[index]);
      ASSERT_EQ(openOutputFile(path.c_str(), &output), OutputOpening::kOpened);
      EXPECT_EQ(output.mode, OutputMode::kReplace);
      EXPECT_EQ(output.finalPath, path);
      EXPECT_EQ(output.replacesFile, index != 1 || c.bOld);
      EXPECT_EQ(output.temporaryPath.rfind(dir.file("."), 0), 0u);
      EXPECT_TRUE(fileExists(output.temporaryPath)) << index;
      const std::string text = std::string(names[index]) + " new";
      ASSERT_TRUE(writeExact(&output.file,
                             reinterpret_cast<const uint8_t*>(text.data()),
                             text.size()));
    }
    EXPECT_EQ(contentOf(dir.file("a")), "a old");
    blockedIndex = c.failAt;
    blockedPath = c.failAt < 0 ? "" : dir.file(names[c.failAt]);
    beforeLaterReplacement = [](int index) {
      if (index != blockedIndex) return;
      std::remove(blockedPath.c_str());
      std::filesystem::create_directory(blockedPath);
    };
    int failed = -1;
    EXPECT_EQ(commitOutputFiles(list, 3, &failed), c.commit) << c.failAt;
    beforeLaterReplacement = nullptr;
    EXPECT_EQ(failed, c.failAt);
    for (int index = 0; index < 3; ++index) {
      const OutputFile& output = outputs[index];
      EXPECT_EQ(contentOf(dir.file(names[index])), c.after[index])
          << c.failAt << " " << index;
      EXPECT_EQ(output.file.failure.empty(), index != c.failAt)
          << c.failAt << " " << index << ": " << output.file.failure;
      EXPECT_EQ(output.temporaryPath, "");
      EXPECT_EQ(output.backupPath, "");
      EXPECT_EQ(output.guard, -1);
    }
    std::vector<std::string> left;
    for (int index = 0; index < 3; ++index) {
      if (!c.after[index].empty()) left.push_back(names[index]);
    }
    EXPECT_EQ(folderNames(dir.path()), left) << c.failAt;
  }
}

// A discarded output leaves the old file as it was and no temporary; a
// folder is refused before anything is made.
TEST(OutputsTest, DiscardingKeepsTheOldFileAndFoldersAreRefused) {
  TempDir dir;
  ASSERT_TRUE(writeFileBytes(dir.file("a"), {'o', 'l', 'd'}));
  OutputFile output;
  ASSERT_EQ(openOutputFile(dir.file("a").c_str(), &output),
            OutputOpening::kOpened);
  ASSERT_TRUE(
      writeExact(&output.file, reinterpret_cast<const uint8_t*>("x"), 1));
  discardOutputFile(&output);
  EXPECT_EQ(output.file.stream, nullptr);
  EXPECT_EQ(output.temporaryPath, "");
  EXPECT_EQ(output.file.failure, "");
  EXPECT_EQ(contentOf(dir.file("a")), "old");
  EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>({"a"}));

  OutputFile folder;
  EXPECT_EQ(openOutputFile(dir.path().c_str(), &folder),
            OutputOpening::kFailed);
  EXPECT_NE(folder.file.failure, "");
  EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>({"a"}));
}

}  // namespace
