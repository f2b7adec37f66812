#include "image/height_formats.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "image/float_raw_file.h"
#include "image/little_endian.h"
#include "image/pgm_file.h"
#include "image/pixel_rows.h"
#include "image/raw_file.h"
#include "image/zip_tile.h"

namespace {

bool endsWith(const std::string& path, const char* ending) {
  size_t length = std::strlen(ending);
  if (path.size() < length) return false;
  for (size_t index = 0; index < length; ++index) {
    char got = path[path.size() - length + index];
    if (std::tolower(static_cast<unsigned char>(got)) != ending[index]) {
      return false;
    }
  }
  return true;
}
}  // namespace

const std::vector<FormatRow>& formatTable() {
  using L = FormatLibrary;
  constexpr uint32_t kBitmap = kTraitBitmap;
  constexpr uint32_t kElevation = kTraitElevation;
  constexpr uint32_t kNodata = kTraitNodataValue;
  constexpr uint32_t kFloats = kTraitWritesFloats;
  using E = EngineImport;
  // One row a format; the columns as FormatRow has them.
  // clang-format off
  static const std::vector<FormatRow> kFormats = {
      {HeightFormat::kBmp, "BMP", {".bmp"}, false, true, L::kNone, kBitmap,
       E::kNone},
      {HeightFormat::kPgm, "PGM", {".pgm"}, false, true, L::kNone, 0, E::kNone},
      {HeightFormat::kRaw, "raw", {".r16", ".raw"}, true, true, L::kNone, 0,
       E::kRawHeights},
      {HeightFormat::kR32, "raw floats (.r32)", {".r32"}, true, true, L::kNone,
       kElevation | kFloats, E::kNone},
      {HeightFormat::kHgt, "SRTM (.hgt, read)", {".hgt"}, true, false, L::kNone,
       kElevation | kNodata, E::kNone},
      {HeightFormat::kPfm, "PFM (read)", {".pfm"}, false, false, L::kNone,
       kElevation, E::kNone},
      {HeightFormat::kPng, "PNG", {".png"}, false, true, L::kPng, 0,
       E::kGreyPicture},
      {HeightFormat::kTiff, "TIFF", {".tif", ".tiff"}, false, true, L::kTiff,
       kElevation | kNodata | kTraitDepthChoice | kTraitGeoreferenced,
       E::kNone},
      {HeightFormat::kExr, "OpenEXR", {".exr"}, false, true, L::kExr,
       kElevation | kFloats, E::kFloatPicture},
      // SRTM tiles as downloaded, known by the zip's signature; read as
      // the row of ".hgt" says once inflated.
      {HeightFormat::kHgt, "SRTM zipped (.hgt.zip, read)", {".hgt.zip"},
       false, false, L::kZip, kElevation | kNodata, E::kNone},
  };
  // clang-format on
  return kFormats;
}

const FormatRow& formatRow(HeightFormat format) {
  for (const FormatRow& row : formatTable()) {
    if (row.format == format) return row;
  }
  return formatTable().front();
}

bool formatHas(HeightFormat format, uint32_t trait) {
  return (formatRow(format).traits & trait) != 0;
}

bool isBitmapFormat(HeightFormat format) {
  return formatHas(format, kTraitBitmap);
}

bool isElevationFormat(HeightFormat format) {
  return formatHas(format, kTraitElevation);
}

bool holdsNodataValue(HeightFormat format) {
  return formatHas(format, kTraitNodataValue);
}

bool takesDepthChoice(HeightFormat format) {
  return formatHas(format, kTraitDepthChoice);
}

bool writesValues(HeightFormat format) {
  return formatHas(format, kTraitWritesFloats);
}

EngineImport engineImportOf(HeightFormat format) {
  return formatRow(format).engineImport;
}

bool isGeoreferenced(const InputImage& image) {
  // Only a GeoTIFF's tags place a map; any other input lies nowhere.
  return formatHas(image.format, kTraitGeoreferenced) && image.tiff.geo.any();
}

bool unitChangesSamples(const InputImage& image) {
  if (!isElevationFormat(image.format)) return false;
  // A TIFF's samples may be a picture's steps, which a unit does not mean.
  return image.format != HeightFormat::kTiff || unitApplies(image.tiff.sample);
}

const char* lackingLibraryRefusal(FormatLibrary library) {
  if (haveFormatLibrary(library)) return nullptr;
  switch (library) {
    case FormatLibrary::kPng:
      return kNoPngSupport;
    case FormatLibrary::kTiff:
      return kNoTiffSupport;
    case FormatLibrary::kExr:
      return kNoExrSupport;
    case FormatLibrary::kZip:
      return kNoZipSupport;
    case FormatLibrary::kNone:
      break;
  }
  return nullptr;
}

bool haveFormatLibrary(FormatLibrary library) {
  switch (library) {
    case FormatLibrary::kNone:
      return true;
    case FormatLibrary::kPng:
      return havePng();
    case FormatLibrary::kTiff:
      return haveTiff();
    case FormatLibrary::kExr:
      return haveExr();
    case FormatLibrary::kZip:
      return haveZip();
  }
  return false;
}

std::string formatsLine() {
  std::string line = "Formats:";
  std::vector<std::string> missing;
  for (const FormatRow& row : formatTable()) {
    if (!haveFormatLibrary(row.library)) {
      missing.push_back(row.name);
      continue;
    }
    line += std::string(line.size() > 8 ? ", " : " ") + row.name;
    const std::string version =
        row.library == FormatLibrary::kPng    ? pngLibraryVersion()
        : row.library == FormatLibrary::kTiff ? tiffLibraryVersion()
        : row.library == FormatLibrary::kExr  ? exrLibraryVersion()
        : row.library == FormatLibrary::kZip  ? zipLibraryVersion()
                                              : std::string();
    if (!version.empty()) line += " (" + version + ")";
  }
  if (missing.empty()) return line;
  line += "; no ";
  for (size_t index = 0; index < missing.size(); ++index) {
    line += index == 0 ? "" : index + 1 == missing.size() ? " or " : ", ";
    line += missing[index];
  }
  return line + " support in this build";
}

namespace {

// The endings of the rows that pass, joined as a sentence's list.
template <typename Pick>
std::string endingList(const char* conjunction, Pick pick) {
  std::vector<const char*> endings;
  for (const FormatRow& row : formatTable()) {
    if (!pick(row)) continue;
    for (const char* ending : row.endings) {
      if (ending != nullptr) endings.push_back(ending);
    }
  }
  std::string list;
  for (size_t index = 0; index < endings.size(); ++index) {
    if (index > 0) {
      list += index + 1 == endings.size() ? std::string(" ") + conjunction + " "
                                          : ", ";
    }
    list += endings[index];
  }
  return list;
}
}  // namespace

std::string outputEndingList(const char* conjunction) {
  return endingList(conjunction,
                    [](const FormatRow& row) { return row.written; });
}

std::string rawEndingList(const char* conjunction) {
  return endingList(conjunction, [](const FormatRow& row) {
    return row.byName && row.written;
  });
}

std::string readEndingList() {
  std::string list;
  for (const FormatRow& row : formatTable()) {
    if (!haveFormatLibrary(row.library)) continue;
    for (const char* ending : row.endings) {
      if (ending == nullptr) continue;
      list += (list.empty() ? "" : ",") + std::string(ending);
    }
  }
  return list;
}

HeightFormat outputFormatOf(const std::string& path) {
  for (const FormatRow& row : formatTable()) {
    if (!row.written) continue;
    for (const char* ending : row.endings) {
      if (ending != nullptr && endsWith(path, ending)) return row.format;
    }
  }
  return HeightFormat::kBmp;
}

HeightFormat pictureFormatOf(const std::string& path) {
  const HeightFormat format = outputFormatOf(path);
  return format == HeightFormat::kPng ? format : HeightFormat::kBmp;
}

bool hasRawName(const std::string& path) {
  return endsWith(path, ".r16") || endsWith(path, ".raw");
}

bool hasR32Name(const std::string& path) { return endsWith(path, ".r32"); }

bool hasHgtName(const std::string& path) { return endsWith(path, ".hgt"); }

bool hasOutputExtension(const std::string& path) {
  return outputFormatOf(path) != HeightFormat::kBmp || endsWith(path, ".bmp");
}

const std::vector<UnwritableFormat>& unwritableFormats() {
  static const std::vector<UnwritableFormat> kUnwritable = {
      {".jpg", "JPEG"}, {".jpeg", "JPEG"}, {".gif", "GIF"}, {".webp", "WebP"}};
  return kUnwritable;
}

const char* unwritableFormatOf(const std::string& path) {
  // A bitmap under one of these names would only look written.
  for (const UnwritableFormat& format : unwritableFormats()) {
    if (endsWith(path, format.ending)) return format.name;
  }
  return nullptr;
}

bool parseRasterSize(const char* text, RasterSize* size) {
  int64_t parts[2] = {0, 0};
  int part = 0;
  int digits = 0;
  for (const char* at = text;; ++at) {
    if (*at >= '0' && *at <= '9') {
      parts[part] = parts[part] * 10 + (*at - '0');
      if (parts[part] > INT32_MAX) return false;
      ++digits;
    } else if ((*at == 'x' || *at == 'X') && part == 0 && digits > 0) {
      part = 1;
      digits = 0;
    } else {
      if (*at != '\0' || part != 1 || digits == 0) return false;
      break;
    }
  }
  if (parts[0] < 1 || parts[1] < 1) return false;
  size->width = static_cast<int32_t>(parts[0]);
  size->height = static_cast<int32_t>(parts[1]);
  return true;
}
