#include "app/engine_files.h"

#include <string>
#include <vector>

#include "app/diagnostics.h"
#include "app/engine_settings.h"
#include "image/height_formats.h"
#include "platform/folders.h"
#include "processing/engine_sizes.h"
#include "processing/height_tiles.h"

namespace {

bool endsWith(const std::string& text, const char* ending) {
  std::string low = text;
  for (char& letter : low) {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter + 32);
  }
  const std::string end = ending;
  return low.size() >= end.size() &&
         low.compare(low.size() - end.size(), end.size(), end) == 0;
}

// Files of the tiles' pattern already beside them, which an importer that
// takes every match would take too.
std::vector<std::string> strangerTiles(const std::string& outputPath,
                                       const std::vector<std::string>& ours) {
  const size_t slash = outputPath.find_last_of("/\\");
  const std::string folder =
      slash == std::string::npos ? "" : outputPath.substr(0, slash + 1);
  const std::string name =
      slash == std::string::npos ? outputPath : outputPath.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  const std::string prefix =
      dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  std::vector<std::string> names, strangers;
  listFolder(folder, &names);
  for (const std::string& entry : names) {
    if (!isTileName(entry, prefix)) continue;
    bool mine = false;
    for (const std::string& path : ours) mine = mine || path == folder + entry;
    if (!mine) strangers.push_back(entry);
  }
  return strangers;
}

// Unity takes raw heights, and its pickers list .raw files only.
void warnUnityOutput(const std::string& output, bool raw,
                     std::ostream& diagnostics) {
  if (!raw) {
    warn(diagnostics, output +
                          ": Unity imports raw heights (Import Raw, the "
                          "Terrain Toolbox); "
                          "name the output .raw");
  } else if (!endsWith(output, ".raw")) {
    warn(diagnostics,
         output +
             ": Unity's file picker and Terrain Toolbox list .raw files "
             "only; name the output .raw");
  }
}

// Unreal's tiled import takes every file named like a tile, and a .raw tile
// only with a size file beside it.
void warnUnrealTiles(const std::string& output, bool raw, const RunFiles& files,
                     std::ostream& diagnostics) {
  if (raw && endsWith(output, ".raw")) {
    warn(diagnostics,
         output +
             ": Unreal reads a .raw tile only with a .json of its size "
             "beside it; name the tiles .r16 or .png");
  }
  std::vector<std::string> strangers = strangerTiles(output, files.outputPaths);
  if (!strangers.empty()) {
    warn(diagnostics, "the folder already holds " +
                          std::to_string(strangers.size()) +
                          (strangers.size() == 1 ? " file" : " files") +
                          " named like the tiles (" + strangers[0] +
                          (strangers.size() > 1 ? ", ..." : "") +
                          "), which Unreal's tiled import takes too; move " +
                          (strangers.size() == 1 ? "it" : "them") + " away");
  }
}

// Unreal's size file where its import needs one, and a word on outputs it
// does not import.
void planUnrealFiles(const std::string& output, EngineImport taken,
                     const EngineProfile& profile, RunFiles* files,
                     std::ostream& diagnostics) {
  const RunGeometry& geometry = files->geometry;
  const bool raw = taken == EngineImport::kRawHeights;
  if (geometry.tiled) {
    warnUnrealTiles(output, raw, *files, diagnostics);
    return;
  }
  // A .raw needs its size beside it; a .r16 only when it is not square.
  const bool square =
      geometry.fit.tiles.tileWidth == geometry.fit.tiles.tileHeight;
  files->sidecarWanted =
      profile.sizeFileBesideRaw && raw && (endsWith(output, ".raw") || !square);
  if (!raw && taken != EngineImport::kGreyPicture) {
    warn(diagnostics,
         output +
             ": Unreal imports 16-bit PNG and raw heights (.png, .r16, "
             ".raw); name the output .png or .r16");
  }
}

// Godot's add-ons take OpenEXR and raw heights; HTerrain .raw alone.
void warnGodotOutput(const std::string& output, EngineImport taken,
                     std::ostream& diagnostics) {
  if (taken == EngineImport::kGreyPicture) {
    warn(diagnostics,
         output +
             ": Godot reads PNG at 8 bits (256 levels); name the output "
             ".exr (full precision) or .raw for its terrain add-ons");
  } else if (taken == EngineImport::kFloatPicture) {
    return;
  } else if (taken != EngineImport::kRawHeights) {
    warn(diagnostics, output +
                          ": Godot's terrain add-ons import OpenEXR and "
                          "raw heights; name "
                          "the output .exr (full precision) or .raw");
  } else if (!endsWith(output, ".raw")) {
    warn(diagnostics, output +
                          ": HTerrain imports .raw, not .r16 (Terrain3D "
                          "takes both); name "
                          "the output .raw for either");
  }
}

}  // namespace

void planEngineFiles(const char* outputPath, const RunOptions& options,
                     RunFiles* files, std::ostream& diagnostics) {
  const RunGeometry& geometry = files->geometry;
  if (!geometry.fitted) return;
  const std::string output = outputPath;
  const EngineImport taken = engineImportOf(files->target.format);
  const bool raw = taken == EngineImport::kRawHeights;
  if (geometry.fit.capped) {
    warn(
        diagnostics,
        engineCapWarning(
            geometry.fit,
            geometry.windowed ? geometry.window.width : files->source.width,
            geometry.windowed ? geometry.window.height : files->source.height));
  }
  const EngineProfile& profile = engineProfile(options.engine);
  // Unity's Import Raw and Toolbox read the first row as the south edge.
  files->target.southFirst = profile.southFirst && raw;
  switch (options.engine) {
    case Engine::kUnity:
      warnUnityOutput(output, raw, diagnostics);
      break;
    case Engine::kUnreal:
      planUnrealFiles(output, taken, profile, files, diagnostics);
      break;
    case Engine::kGodot:
      warnGodotOutput(output, taken, diagnostics);
      break;
  }
}
