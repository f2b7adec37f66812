// Each argument keeps its meaning; the user only learns what the tool made
// of it.
#include "app/argument_warnings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/diagnostics.h"
#include "app/run_usage.h"
#include "platform/files.h"
#include "platform/folders.h"

namespace {

// Edits (insert, delete, replace) between two short texts.
size_t editDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The letters of a switch without its dashes, in lower case.
std::string bare(const std::string& text) {
  size_t start = text.find_first_not_of('-');
  std::string letters = start == std::string::npos ? "" : text.substr(start);
  for (char& c : letters) {
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return letters;
}

// The switch an argument was probably meant to be, or nullptr: one or two
// edits away, the same but for case or dashes, or the switch's name with
// more after it ("-smooth").
const char* likelySwitch(const std::string& argument) {
  if (argument.size() < 2 || argument[0] != '-') return nullptr;
  for (const SwitchRow* row : switchesAsAdded()) {
    std::string wanted = row->name;
    if (bare(argument) == bare(wanted) || editDistance(argument, wanted) <= 2 ||
        argument.compare(0, wanted.size(), wanted) == 0) {
      return row->name;
    }
  }
  return nullptr;
}

// "-sca 0,5" style text: digits, a comma, digits.
bool hasDecimalComma(const char* text) {
  const char* comma = std::strchr(text, ',');
  return comma != nullptr && comma > text &&
         std::isdigit(static_cast<unsigned char>(comma[-1])) &&
         std::isdigit(static_cast<unsigned char>(comma[1]));
}

// True when text is wholly a decimal number as strtod reads one.
bool wholeDecimal(const char* text) {
  char* end = nullptr;
  std::strtod(text, &end);
  return end != text && *end == '\0';
}

// What the scale's text was taken as, when that is not plainly what it
// says; "" when it is.
std::string scaleNote(const char* text, float scale) {
  std::string quoted = std::string("-sca ") + text;
  if (hasDecimalComma(text)) {
    return quoted + " reads as " + std::to_string(static_cast<int>(scale)) +
           (scale == 0.0f ? ", which normalizes" : "") +
           ": a decimal comma? write the scale with a point";
  }
  if (std::isnan(scale)) {
    return quoted + " is not a number: every height becomes 0";
  }
  if (std::isinf(scale)) {
    return quoted + " is beyond a single-precision float and reads as " +
           (scale > 0 ? "infinity: every height above 0 becomes 2147483647, "
                        "which a bitmap stores wrapped and a 16-bit file as "
                        "65535"
                      : "minus infinity: every height above 0 becomes "
                        "-2147483648, which a bitmap stores wrapped and a "
                        "16-bit file as 0");
  }
  // No height is above 65535: a product below 1 truncates to 0.
  if (scale != 0.0f && std::fabs(static_cast<double>(scale)) * 65535.0 < 1.0) {
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", static_cast<double>(scale));
    return quoted + " reads as " + shown +
           ", so small that every height becomes 0";
  }
  if (!wholeDecimal(text)) {
    if (scale == 0.0f)
      return quoted + " is not a number: it reads as 0, which normalizes";
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", static_cast<double>(scale));
    return quoted + " is not wholly a number: it reads as " + shown;
  }
  return "";
}

// What an integer switch's text was taken as, when that is not plainly what
// it says; "" when it is.
std::string integerNote(const char* name, const char* text, int32_t value,
                        const char* unit) {
  std::string quoted = std::string(name) + " " + text;
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(text, &end, 10);
  bool whole = end != text && *end == '\0';
  std::string taken = std::to_string(value) + unit;
  if (whole && errno != ERANGE && parsed == value) return "";
  if (whole) return quoted + " is beyond 32 bits and reads as " + taken;
  if (end == text) return quoted + " is not a number: it reads as " + taken;
  return quoted + " is not wholly a number: it reads as " + taken;
}

}  // namespace

void warnAboutArguments(int argc, const char* const* argv,
                        const RunOptions& options, std::ostream& diagnostics) {
  // Each switch's first occurrence and the word after it are taken; later
  // occurrences are ignored, but the word after one is still its value.
  std::vector<bool> taken(static_cast<size_t>(argc), false);
  for (const SwitchRow* row : switchesAsAdded()) {
    const char* name = row->name;
    bool seen = false;
    for (int index = 3; index < argc; ++index) {
      if (std::strcmp(argv[index], name) != 0) continue;
      taken[static_cast<size_t>(index)] = true;
      if (index + 1 < argc && row->value != nullptr) {
        taken[static_cast<size_t>(index) + 1] = true;
      }
      if (seen && !row->repeatable) {
        warn(diagnostics, std::string("ignoring the repeated ") + name +
                              " (the first one counts)");
      }
      seen = true;
    }
  }
  for (int index = 3; index < argc; ++index) {
    if (taken[static_cast<size_t>(index)]) continue;
    std::string text =
        std::string("ignoring \"") + argv[index] + "\", which is no switch";
    if (const char* meant = likelySwitch(argv[index])) {
      text += std::string(" (did you mean ") + meant + "?)";
    }
    warn(diagnostics, text);
  }
  // A switch last on the line has no value, and counts as not given (-view
  // says so itself).
  const char* last = argc > 3 ? argv[argc - 1] : "";
  const SwitchRow* lastRow = findSwitch(last);
  if (lastRow != nullptr && lastRow->value != nullptr &&
      std::strcmp(last, "-view") != 0) {
    warn(diagnostics,
         std::string(last) +
             " is the last argument, with no value after it; it is ignored");
  }
  auto valueOf = [&](const char* name) -> const char* {
    int index = findOption(argc, argv, name);
    return index != kOptionNotFound && index + 1 < argc ? argv[index + 1]
                                                        : nullptr;
  };
  std::string note;
  if (options.scaleGiven) note = scaleNote(valueOf("-sca"), options.scale);
  if (!note.empty()) warn(diagnostics, note);
  if (options.smoothGiven) {
    note =
        integerNote("-smo", valueOf("-smo"), options.smoothPasses, " passes");
    if (!note.empty()) warn(diagnostics, note);
  }
  if (options.minimumGiven) {
    note = integerNote("-min", valueOf("-min"), options.minimum, "");
    if (!note.empty()) warn(diagnostics, note);
  }
}

bool checkSwitchValues(const RunOptions& options, const char* inputPath,
                       const char* outputPath, std::ostream& console,
                       std::ostream& diagnostics) {
  if (!options.refused.empty()) {
    console << findSwitch(options.refused.c_str())->refusal << std::endl;
    return false;
  }
  if (const char* format = unwritableFormatOf(outputPath)) {
    console << "ERROR: Output format not supported: Quillorn writes no "
            << format << std::endl;
    diagnostics << "quillorn: " << outputPath << ": its name asks for "
                << format << ", which Quillorn does not write; end it in "
                << outputEndingList("or") << std::endl;
    return false;
  }
  if (options.viewGiven) {
    const char* view = options.view.c_str();
    std::string reason =
        findSwitch(view) != nullptr
            ? "after -view comes the picture's path, not a switch"
        : pathsNameSameFile(view, inputPath)
            ? "the picture would replace the input; name another picture"
        : pathsNameSameFile(view, outputPath)
            ? "the picture would replace the output; name another picture"
            : "";
    if (!reason.empty()) {
      console << kUsageError << std::endl;
      diagnostics << "quillorn: " << view << ": " << reason << std::endl;
      printUsage(diagnostics);
      return false;
    }
  }

  if (options.viewMissing) {
    warn(diagnostics,
         "-view needs a picture's path after it; no picture is written");
  }
  // A folder's raw tiles take -dim and -order each.
  auto raw = [](const char* path) {
    return hasRawName(path) || hasR32Name(path) || isFolder(path);
  };
  if (options.sizeGiven && !raw(inputPath)) {
    warn(diagnostics, std::string("-dim is ignored: ") + inputPath +
                          " is not raw heights (" + rawEndingList("or") +
                          "); its size is read from the file");
  }
  if (options.orderGiven && !raw(inputPath) && !raw(outputPath)) {
    warn(diagnostics, std::string("-order is ignored: neither ") + inputPath +
                          " nor " + outputPath + " is raw heights (" +
                          rawEndingList("or") +
                          "); the other formats say their own byte order");
  }
  if (options.depthGiven && !takesDepthChoice(outputFormatOf(outputPath))) {
    warn(diagnostics, std::string("-depth is ignored: ") + outputPath +
                          " is not a TIFF; its format has samples of its own");
  }
  return true;
}
