#include "app/console_progress.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string drawn(FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c; (c = std::fgetc(file)) != EOF;)
    text.push_back(static_cast<char>(c));
  return text;
}

TEST(ConsoleProgressTest, DrawsEachPercentOnceAndWipesTheLine) {
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ConsoleProgress bar;
  startProgress(&bar, "Reading", file);
  for (int64_t done = 0; done <= 400; ++done)
    reportProgress(&bar.progress, done, 400);
  finishProgress(&bar);
  std::string text = drawn(file);
  std::fclose(file);
  size_t redraws = 0;
  for (char c : text) redraws += c == '\r';
  EXPECT_EQ(redraws, 101u + 2u) << "0 ... 100 percent, then the wipe";
  EXPECT_NE(
      text.find("Reading              [###############               ]  50%"),
      std::string::npos);
  EXPECT_NE(text.find("100%"), std::string::npos);
  EXPECT_EQ(text.find('\n'), std::string::npos)
      << "a bar never moves the cursor down";
  std::string wipe = "\r" + std::string(64, ' ') + "\r";
  ASSERT_GE(text.size(), wipe.size());
  EXPECT_EQ(text.substr(text.size() - wipe.size()), wipe);
}

// Nothing reaches the stream before a report with work to do, and a bar
// that drew nothing wipes nothing.
TEST(ConsoleProgressTest, DrawsNothingWithoutWork) {
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  ConsoleProgress bar;
  startProgress(&bar, "Writing", file);
  reportProgress(&bar.progress, 0, 0);
  finishProgress(&bar);
  EXPECT_EQ(drawn(file), "");
  std::fclose(file);
}

}  // namespace
