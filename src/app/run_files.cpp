#include "app/run_files.h"

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "app/diagnostics.h"
#include "image/geo_reference.h"
#include "image/ground_spacing.h"
#include "image/input_reading.h"
#include "image/png_file.h"
#include "image/tiff_file.h"

bool openOutput(const char* path, OutputFile* output, std::ostream& console,
                std::ostream& diagnostics) {
  OutputOpening opening = openOutputFile(path, output);
  if (opening == OutputOpening::kIsStandardOutput) {
    console << "ERROR: Output file is the standard output, where the "
               "progress lines go; choose another output"
            << std::endl;
    return false;
  }
  if (opening == OutputOpening::kFailed) {
    console << "ERROR: Output file cannot be created" << std::endl;
    reportFailure(output->file, diagnostics);
    return false;
  }
  if (output->mode == OutputMode::kInPlace) {
    warn(diagnostics, std::string(path) +
                          ": no new file can be made in its folder (" +
                          output->fallbackReason +
                          "), so it is rewritten in place: a failure or an "
                          "interruption can leave it incomplete");
  }
  return true;
}

namespace {

// "<name>.json" beside "<name>.raw".
std::string sidecarPath(const std::string& outputPath) {
  const size_t folder = outputPath.find_last_of("/\\");
  const size_t dot = outputPath.find_last_of('.');
  const bool extension = dot != std::string::npos &&
                         (folder == std::string::npos || dot > folder + 1);
  return (extension ? outputPath.substr(0, dot) : outputPath) + ".json";
}

}  // namespace

bool namesAnInput(const RunFiles& files, const std::string& path) {
  if (isSameFile(files.input, path.c_str())) return true;
  for (const std::string& tile : files.mosaic.tiles) {
    if (pathsNameSameFile(tile.c_str(), path.c_str())) return true;
  }
  return false;
}

bool checkWrittenFiles(const char* outputPath, const RunFiles& files,
                       const RunOptions& options, std::ostream& console,
                       std::ostream& diagnostics) {
  struct Written {
    std::string path;
    const char* what;
  };
  std::vector<Written> written;
  const char* output = files.geometry.tiled ? "tile" : "output";
  for (const std::string& path : files.outputPaths) {
    written.push_back({path, output});
  }
  if (files.worldWanted) {
    for (const std::string& path : files.outputPaths) {
      written.push_back({worldFilePath(path), "world file"});
    }
  }
  if (files.sidecarWanted) {
    written.push_back({sidecarPath(outputPath), "size file"});
  }
  if (options.viewGiven) written.push_back({options.view, "picture"});
  std::map<std::string, size_t> seen;
  for (size_t index = 0; index < written.size(); ++index) {
    const Written& file = written[index];
    if (namesAnInput(files, file.path)) {
      console << "ERROR: Output file is the input file; choose another output"
              << std::endl;
      diagnostics << "quillorn: " << file.path << ": the " << file.what
                  << " would replace the input" << std::endl;
      return false;
    }
    auto found = seen.emplace(filePlaceKey(file.path.c_str()), index);
    if (!found.second) {
      const Written& first = written[found.first->second];
      console << "ERROR: Two files of the run are the same file; choose "
                 "other names"
              << std::endl;
      diagnostics << "quillorn: " << file.path << ": the " << file.what
                  << " would replace the " << first.what << " " << first.path
                  << std::endl;
      return false;
    }
  }
  return true;
}

std::string sidecarText(const RunFiles& files) {
  return "{\"width\": " + std::to_string(files.geometry.width) +
         ", \"height\": " + std::to_string(files.geometry.height) +
         ", \"bpp\": 16}\n";
}

bool writeSidecar(RunFiles* files, std::string* error) {
  if (!files->sidecarWanted) return true;
  const std::string text = sidecarText(*files);
  if (!writeExact(&files->sidecar.file,
                  reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    *error = outputWriteError(files->sidecar.file);
    files->failed = &files->sidecar;
    return false;
  }
  return true;
}

bool openRunOutputs(const char* outputPath, const RunOptions& options,
                    RunFiles* files, std::ostream& console,
                    std::ostream& diagnostics) {
  // The libraries the output and the picture need, the first this build
  // lacks refused, in the order the libraries come (PNG, TIFF, OpenEXR).
  const FormatLibrary outputLibrary = formatRow(files->target.format).library;
  const FormatLibrary viewLibrary =
      files->viewWanted ? formatRow(pictureFormatOf(options.view)).library
                        : FormatLibrary::kNone;
  const char* refusal =
      lackingLibraryRefusal(std::min(outputLibrary, viewLibrary));
  if (refusal == nullptr) {
    refusal = lackingLibraryRefusal(std::max(outputLibrary, viewLibrary));
  }
  if (refusal != nullptr) {
    console << "ERROR: " << refusal << std::endl;
    return false;
  }
  // The first output is opened now, so that a name that can never be
  // written is refused before any work; a tiled run opens its other tiles
  // as it writes them.
  const std::vector<std::string>& paths = files->outputPaths;
  if (!openOutput(paths[0].c_str(), &files->output, console, diagnostics)) {
    return false;
  }
  files->tiles.resize(paths.size() - 1);
  // A device (/dev/null) takes whatever comes; a file's name says its
  // format, and a name that says none gets a bitmap.
  if (files->output.mode != OutputMode::kDevice &&
      !hasOutputExtension(outputPath)) {
    warn(diagnostics, std::string(outputPath) +
                          ": no format is named by its ending, so a 24-bit "
                          "bitmap is written (" +
                          outputEndingList("and") + " name the formats)");
  }
  if (files->viewWanted &&
      !openOutput(options.view.c_str(), &files->view, console, diagnostics)) {
    discardOutputFile(&files->output);
    return false;
  }
  if (files->sidecarWanted &&
      !openOutput(sidecarPath(outputPath).c_str(), &files->sidecar, console,
                  diagnostics)) {
    discardOutputFile(&files->output);
    if (files->viewWanted) discardOutputFile(&files->view);
    return false;
  }
  // A picture is a PNG or, by its name or for want of one, a bitmap.
  const std::string& view = options.view;
  const bool viewNamed =
      outputFormatOf(view) == pictureFormatOf(view) && hasOutputExtension(view);
  if (files->viewWanted && files->view.mode != OutputMode::kDevice &&
      !viewNamed) {
    warn(diagnostics, view +
                          ": a picture is a PNG when its name ends in .png, "
                          "so a 24-bit bitmap is written");
  }
  return true;
}

std::vector<OutputFile*> allOutputs(RunFiles* files) {
  std::vector<OutputFile*> outputs = {&files->output};
  for (OutputFile& tile : files->tiles) outputs.push_back(&tile);
  for (OutputFile& world : files->worlds) outputs.push_back(&world);
  if (files->sidecarWanted) outputs.push_back(&files->sidecar);
  if (files->viewWanted) outputs.push_back(&files->view);
  return outputs;
}

void abandonFiles(RunFiles* files) {
  releaseInput(&files->source);
  closeInputFile(&files->input);
}

bool commitRunFiles(RunFiles* files, std::ostream& console,
                    std::ostream& diagnostics) {
  std::vector<OutputFile*> outputs = allOutputs(files);
  int failed = 0;
  std::string error;
  switch (commitOutputFiles(outputs.data(), static_cast<int>(outputs.size()),
                            &failed)) {
    case OutputCommit::kCommitted:
      // Only a hidden link that could not be removed is left to tell.
      for (OutputFile* output : outputs) {
        reportFailure(output->file, diagnostics);
      }
      return true;
    case OutputCommit::kWriteFailed:
      error = outputWriteError(outputs[static_cast<size_t>(failed)]->file);
      break;
    case OutputCommit::kReplaceFailed:
      error = "Output file cannot be replaced";
      break;
  }
  OutputFile* failedOutput = outputs[static_cast<size_t>(failed)];
  reportRunFailure(error, files->input, failedOutput->file, console,
                   diagnostics);
  for (OutputFile* output : outputs) {
    if (output != failedOutput) reportFailure(output->file, diagnostics);
  }
  return false;
}

void discardRunFiles(RunFiles* files) {
  for (OutputFile* output : allOutputs(files)) discardOutputFile(output);
}
