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
  startProgress(&bar, "Reading", file, 80);
  for (int64_t done = 0; done <= 400; ++done)
    reportProgress(&bar.progress, done, 400);
  finishProgress(&bar);
  std::string text = drawn(file);
  std::fclose(file);
  size_t redraws = 0;
  for (char c : text) redraws += c == '\r';
  EXPECT_EQ(redraws, 101u + 2u) << "0 ... 100 percent, then the wipe";
  // The bar keeps room for the times that long stages show.
  EXPECT_NE(text.find("Reading [" + std::string(21, '#') +
                      std::string(21, ' ') + "]  50%"),
            std::string::npos);
  EXPECT_NE(text.find("100%"), std::string::npos);
  EXPECT_EQ(text.find('\n'), std::string::npos)
      << "a bar never moves the cursor down";
  std::string wipe = "\r" + std::string(57, ' ') + "\r";
  ASSERT_GE(text.size(), wipe.size());
  EXPECT_EQ(text.substr(text.size() - wipe.size()), wipe);
}

// Nothing reaches the stream before a report with work to do, nor on a
// terminal too narrow for any line, and a bar that drew nothing wipes
// nothing.
TEST(ConsoleProgressTest, DrawsNothingWithoutWorkOrRoom) {
  for (int columns : {80, 1, 4}) {
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ConsoleProgress bar;
    startProgress(&bar, "Writing", file, columns);
    reportProgress(&bar.progress, columns == 80 ? 0 : 5, columns == 80 ? 0 : 9);
    finishProgress(&bar);
    EXPECT_EQ(drawn(file), "") << columns;
    std::fclose(file);
  }
}

// Every line fits its terminal, never reaching the last column, and gives
// up its parts in order: the times, the bar, the label's end.
TEST(ConsoleProgressTest, LinesFitTheTerminal) {
  struct Case {
    int width;
    int percent;
    double elapsed;
    std::string line;
  };
  const std::string label = "Smoothing x2147483647";
  const Case cases[] = {
      {199, 50, 65.0,
       label + " [" + std::string(25, '#') + std::string(25, ' ') +
           "]  50% 1:05, 1:05 left"},
      {39, 20, 1.0, label + " [##        ]  20%"},
      // No room for the times beside a bar: the times go.
      {39, 20, 30.0, label + " [##        ]  20%"},
      {79, 75, 3700.0,
       label + " [" + std::string(21, '#') + std::string(7, ' ') +
           "]  75% 1:01:40, 20:33 left"},
      {20, 50, 0.0, "Smoothing x2147  50%"},
      {5, 50, 0.0, "  50%"},
      {4, 50, 0.0, "50%"},
      {4, 100, 0.0, "100%"},
      // Not every percentage would fit: nothing.
      {3, 50, 0.0, ""},
      {0, 50, 0.0, ""},
  };
  for (const Case& c : cases) {
    std::string line = progressLine(label, c.percent, c.elapsed, c.width);
    EXPECT_EQ(line, c.line) << c.width;
    EXPECT_LE(static_cast<int>(line.size()), c.width);
  }
  // The bar keeps its width from the first line to the last, when the times
  // appear and when they go at 100%.
  for (int width : {60, 79, 140}) {
    size_t first = progressLine(label, 1, 0.0, width).find(']');
    EXPECT_EQ(progressLine(label, 40, 30.0, width).find(']'), first) << width;
    EXPECT_EQ(progressLine(label, 100, 30.0, width).find(']'), first)
        << width;
  }
}

}  // namespace
