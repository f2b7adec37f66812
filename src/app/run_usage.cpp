#include "app/run_usage.h"

#include <algorithm>

#include "app/run_options.h"
#include "image/png_file.h"

std::vector<std::string> synopsisLines() {
  std::vector<std::string> lines = {"Usage: quillorn <input> <output>"};
  for (const SwitchRow& row : switchTable()) {
    std::string entry = std::string("[") + row.name;
    if (row.value != nullptr) {
      std::string value = row.wordsInUsage ? row.words : row.value;
      for (char& letter : value) letter = letter == ' ' ? '|' : letter;
      entry += " " + value;
    }
    if (row.startsUsageLine) {
      lines.push_back("        ");
    }
    lines.back() += " " + entry + "]";
  }
  return lines;
}

std::vector<std::string> usageLines(bool png) {
  std::vector<std::string> lines = synopsisLines();
  for (const SwitchRow& row : switchTable()) {
    std::string line = std::string("  ") + row.name;
    if (row.value != nullptr) line += std::string(" ") + row.value;
    line.resize(std::max<size_t>(line.size(), 18), ' ');
    std::string help = row.help;
    const size_t pictures = help.find("{pictures}");
    if (pictures != std::string::npos) {
      help.replace(pictures, 10, png ? ".png or .bmp" : ".bmp");
    }
    lines.push_back(line + " " + help);
  }
  return lines;
}

void printUsage(std::ostream& diagnostics) {
  for (const std::string& line : usageLines(havePng())) {
    diagnostics << line << std::endl;
  }
}
