// What the end-to-end tests expect of every run: the banner, the progress
// lines, the usage error and the exit status of a failure.
#ifndef QUILLORN_TESTS_END_TO_END_SUPPORT_H_
#define QUILLORN_TESTS_END_TO_END_SUPPORT_H_

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

inline constexpr char kBanner[] = "Quillorn v1.00";
inline constexpr char kHint[] = "Hit Ctrl+C to exit";
inline constexpr char kUsage[] =
    "ERROR: Invalid arguments, should be <input> <output>. Optional: -sca "
    "<scale> -min <minimum> -smo <smooth>";
// On POSIX an exit status of -1 reads as 255.
constexpr int kFailed = 255;

// The lines of a run that converts, or set out to: banner and hint first.
inline Lines withBanner(Lines rest) {
  rest.insert(rest.begin(), {kBanner, kHint});
  return rest;
}

// The lines of help, the usage error and a refused switch: nothing runs,
// so no hint.
inline Lines bannerOnly(Lines rest) {
  rest.insert(rest.begin(), kBanner);
  return rest;
}

// The lines of a successful run, with processing's lines after
// "Converting...".
inline Lines successLines(const Lines& processing) {
  Lines lines =
      withBanner({"Reading input header...", "Initializing temp arrays...",
                  "Reading input height...", "Converting..."});
  lines.insert(lines.end(), processing.begin(), processing.end());
  lines.insert(lines.end(),
               {"Writing output header...", "Writing output height...",
                "Finishing output...", "Deleting temp arrays...", "Done!"});
  return lines;
}

#endif  // QUILLORN_TESTS_END_TO_END_SUPPORT_H_
