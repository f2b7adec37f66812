#include "app/command_line.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "app/elevation_recoder.h"
#include "app/run_options.h"
#include "app/run_usage.h"
#include "app/run_report.h"
#include "image/exr_file.h"
#include "image/png_file.h"
#include "image/tiff_file.h"
#include "platform/files.h"
#include "platform/terminal.h"

namespace {

// The help text; PNG, TIFF and OpenEXR only where the build reads and
// writes them.
std::vector<std::string> helpLines(bool png, bool tiff, bool exr) {
  std::string inputs = "a PGM, ";
  if (png) inputs += "a greyscale PNG, ";
  if (tiff) inputs += "a TIFF or GeoTIFF, ";
  if (exr) inputs += "an OpenEXR, ";
  std::string outputs = ".pgm";
  if (png) outputs += ", .png";
  if (tiff) outputs += ", .tif";
  outputs += ",";
  const std::string floats = exr ? ".r32 and .exr" : ".r32";
  std::vector<std::string> lines = usageLines(png);
  std::vector<std::string> about = {
      "Re-encodes a height map: reads a BMP (8 or 24 bits, each height green "
      "x 255 + red),",
      inputs + "a PFM, an SRTM tile (.hgt),",
      "raw 16-bit heights (.r16, .raw) or raw 32-bit floats (.r32), and "
      "writes the format",
      "its output's name ends in: .r16 or .raw, " + outputs + " all 16-bit; " +
          floats,
      "each height's value as a float; anything else a 24-bit BMP in the "
      "same encoding.",
  };
  lines.insert(
      lines.begin() + static_cast<std::ptrdiff_t>(synopsisLines().size()),
      about.begin(), about.end());
  std::vector<std::string> rest = {
      "Flips, turns and resampling come right after reading, then scaling, "
      "smoothing",
      "and the minimum, whatever the order given.",
      "Examples:",
      "  quillorn terrain.bmp terrain24.bmp",
      "  quillorn terrain.bmp terrain_smooth.bmp -sca 0 -smo 4 -min 10",
      "  quillorn terrain.r16 terrain.bmp -dim 2049x1025 -order big",
      std::string("  quillorn N47W122.hgt map.bmp -view map.") +
          (png ? "png" : "bmp"),
      "  quillorn painted.bmp small.bmp -size 513x513 -filter linear",
      "  quillorn N47E011.hgt terrain.raw -fit unity",
  };
  lines.insert(lines.end(), rest.begin(), rest.end());
  if (tiff) lines.push_back("  quillorn dem.tif dem.r16 -unit 0.1");
  if (png)
    lines.push_back("  quillorn world.png tiles.png -fit unreal -tiles 4x4");
  if (png) lines.push_back("  quillorn painted.png h.r16 -channel luma");
  if (exr) lines.push_back("  quillorn dem.tif godot.exr -fit godot");
  lines.push_back(
      "Exit status: 0 when the output was written, -1 (255) on any error.");
  lines.push_back(std::string("quillorn --version prints the version; see "
                              "also ") +
                  documentationPlace() + ".");
  return lines;
}

// runCommandLine but for the standard output's own failure.
int runCommand(int argc, const char* const* argv, std::ostream& console,
               std::ostream& diagnostics) {
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    console << "Quillorn v" << kVersion << std::endl;
    console << formatsLine() << std::endl;
    return kExitSuccess;
  }
  console << "Quillorn v" << kVersion << std::endl;
  // Help asked for anywhere is help, not a conversion.
  for (int index = 1; index < argc; ++index) {
    if (isHelpSwitch(argv[index])) {
      printHelp(console);
      return kExitSuccess;
    }
  }
  // Scripts read the hint as the second line of every run but help's.
  console << kInterruptHint << std::endl;
  // A switch where the output belongs means the output was forgotten: no
  // file of that name is written.
  if (argc < 3 || findSwitch(argv[2]) != nullptr) {
    console << kUsageError << std::endl;
    printUsage(diagnostics);
    return kExitFailure;
  }
  ElevationRecoder recoder;
  return recoder.run(argc, argv, console, diagnostics) ? kExitSuccess
                                                       : kExitFailure;
}

}  // namespace

bool isHelpSwitch(const char* argument) {
  return std::strcmp(argument, "-h") == 0 ||
         std::strcmp(argument, "--help") == 0;
}

void printHelp(std::ostream& console) {
  for (const std::string& line : helpLines(havePng(), haveTiff(), haveExr())) {
    console << line << std::endl;
  }
}

int runCommandLine(int argc, const char* const* argv, std::ostream& console,
                   std::ostream& diagnostics) {
  holdStandardStreams();
  int status = runCommand(argc, argv, console, diagnostics);
  // Lines lost (a full device, a closed standard output) are a failure,
  // whatever else went well.
  return reportConsoleFailure(console, diagnostics) ? kExitFailure : status;
}
