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

// True when the first bytes start a TIFF or a BigTIFF, in either byte order.
bool hasTiffSignature(const uint8_t* start, size_t length) {
  if (length < 4) return false;
  bool little = start[0] == 'I' && start[1] == 'I' && start[3] == 0 &&
                (start[2] == 42 || start[2] == 43);
  bool big = start[0] == 'M' && start[1] == 'M' && start[2] == 0 &&
             (start[3] == 42 || start[3] == 43);
  return little || big;
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

namespace {

// The names in a zip archive's central directory, found through the
// end-of-directory record within the last 64 KiB; none when it has no
// readable directory.
std::vector<std::string> zipDirectoryNames(FileStream* input,
                                           int64_t fileSize) {
  constexpr int64_t kEndRecord = 22;
  constexpr int64_t kEntry = 46;
  constexpr int64_t kLongestDirectory = int64_t{1} << 20;
  std::vector<std::string> names;
  const int64_t tailSize = std::min<int64_t>(fileSize, kEndRecord + 65535);
  std::vector<uint8_t> tail(static_cast<size_t>(tailSize));
  if (tailSize < kEndRecord || !seekTo(input, fileSize - tailSize) ||
      !readExact(input, tail.data(), tail.size())) {
    return names;
  }
  int64_t record = tailSize - kEndRecord;
  while (record >= 0 &&
         loadLe32(&tail[static_cast<size_t>(record)]) != 0x06054b50u) {
    --record;
  }
  if (record < 0) return names;
  const uint8_t* end = &tail[static_cast<size_t>(record)];
  const int64_t size = loadLe32(end + 12);
  const int64_t offset = loadLe32(end + 16);
  if (size > kLongestDirectory || offset + size > fileSize) return names;
  std::vector<uint8_t> directory(static_cast<size_t>(size));
  if (!seekTo(input, offset) ||
      !readExact(input, directory.data(), directory.size())) {
    return names;
  }
  for (int64_t at = 0; at + kEntry <= size;) {
    const uint8_t* entry = &directory[static_cast<size_t>(at)];
    if (loadLe32(entry) != 0x02014b50u) break;
    const int64_t length = loadLe16(entry + 28);
    if (at + kEntry + length > size) break;
    names.emplace_back(reinterpret_cast<const char*>(entry + kEntry),
                       static_cast<size_t>(length));
    at += kEntry + length + loadLe16(entry + 30) + loadLe16(entry + 32);
  }
  return names;
}

// The name of a zip archive's first entry from its local header (the
// name's length at byte 26, the name from byte 30), or "".
std::string zipFirstName(FileStream* input, int64_t fileSize) {
  constexpr int64_t kHeader = 30;
  constexpr uint16_t kLongestName = 1024;
  uint8_t header[kHeader];
  std::string name;
  if (fileSize >= kHeader && seekTo(input, 0) &&
      readExact(input, header, sizeof header)) {
    const uint16_t length = loadLe16(header + 26);
    if (length > 0 && length <= kLongestName && kHeader + length <= fileSize) {
      name.resize(length);
      if (!readExact(input, reinterpret_cast<uint8_t*>(&name[0]), length)) {
        name.clear();
      }
    }
  }
  return name;
}

// name as one word for a POSIX shell: as it is when every byte is plainly
// safe, else in single quotes (one inside written '\'').
std::string shellWord(const std::string& name) {
  bool plain = !name.empty();
  for (char letter : name) {
    plain = plain && letter != '\0' &&
            (std::isalnum(static_cast<unsigned char>(letter)) ||
             std::strchr("._-/+,:@%=", letter) != nullptr);
  }
  if (plain) return name;
  std::string word = "'";
  for (char letter : name) {
    word += letter == '\'' ? std::string("'\\''") : std::string(1, letter);
  }
  return word + "'";
}

// A zip archive (SRTM tiles are downloaded as N47W122.hgt.zip) in a build
// that reads none: refused,
// naming the elevation entry inside (the first .hgt, else the first entry),
// so the user knows what to unzip and convert.
bool refuseZip(FileStream* input, int64_t fileSize, InputImage* image,
               std::string* error) {
  std::vector<std::string> names = zipDirectoryNames(input, fileSize);
  if (names.empty()) names.push_back(zipFirstName(input, fileSize));
  std::string name;
  for (const std::string& entry : names) {
    // A name is shown only as printable text.
    bool printable = !entry.empty();
    for (char letter : entry) {
      const unsigned char byte = static_cast<unsigned char>(letter);
      printable = printable && byte >= 32 && byte != 0x7F;
    }
    if (!printable) continue;
    if (name.empty()) name = entry;
    if (endsWith(entry, ".hgt")) {
      name = entry;
      break;
    }
  }
  *error = "Input file is a zip archive" +
           (name.empty() ? std::string() : " holding " + name) +
           ", not a height map: unzip it and convert the file inside";
  image->advice =
      name.empty() ? "unzip the archive, then run quillorn on the map it holds"
                   : "unzip the archive (unzip <archive>, or open it in the "
                     "file manager), then: quillorn " +
                         shellWord(name) + " <output>";
  return false;
}

// An SRTM tile in its zip archive, sized as an ".hgt" of the entry's
// inflated size would be: checked before anything of it is allocated, as a
// directory may claim any size.
bool inspectZippedHgt(FileStream* input, InputImage* image,
                      std::string* error) {
  uint64_t size = 0;
  if (!inspectZipTile(input, image, &size, error)) return false;
  image->format = HeightFormat::kHgt;
  if (size > static_cast<uint64_t>(INT64_MAX) ||
      !inspectHgt(static_cast<int64_t>(size), image, error)) {
    *error = "SRTM tile " + image->zipMember + " in the zip archive has " +
             std::to_string(size) +
             " bytes, not 2 x n x n for a square tile (1201 x 1201 or 3601 "
             "x 3601, 2 bytes a height)";
    return false;
  }
  return true;
}

}  // namespace

bool inspectInput(FileStream* input, const ReadRequest& request,
                  InputImage* image, std::string* error) {
  releaseInput(image);
  *image = InputImage();
  image->request = request;
  int64_t fileSize = streamLength(input);
  if (fileSize < 0) {
    *error = inputReadError(*input);
    return false;
  }
  if (request.raw) {
    image->format = HeightFormat::kRaw;
    return inspectRaw(fileSize, request.rawSize, 2, image, error);
  }
  if (request.r32) {
    image->format = HeightFormat::kR32;
    image->bigEndianFloats = request.bigEndian;
    return inspectRaw(fileSize, request.rawSize, 4, image, error);
  }
  if (request.hgt) {
    image->format = HeightFormat::kHgt;
    return inspectHgt(fileSize, image, error);
  }
  uint8_t start[8] = {};
  size_t known = static_cast<size_t>(fileSize < 8 ? fileSize : 8);
  if (!seekTo(input, 0) || !readExact(input, start, known)) {
    *error = inputReadError(*input);
    return false;
  }
  if (known >= 2 && start[0] == 'P' && (start[1] == '5' || start[1] == '2')) {
    image->format = HeightFormat::kPgm;
    return inspectPgm(input, fileSize, image, error);
  }
  // "Pf" then whitespace; "PF" is a colour map.
  const bool pfm = known >= 3 && start[0] == 'P' &&
                   (start[1] == 'f' || start[1] == 'F') &&
                   (start[2] == ' ' || start[2] == '\t' || start[2] == '\r' ||
                    start[2] == '\n');
  if (pfm && start[1] == 'F') {
    *error =
        "Input file is a colour PFM (PF); a greyscale one (Pf) is "
        "expected";
    image->advice =
        "save the map as a greyscale PFM, raw 32-bit floats (.r32) or a "
        "float TIFF";
    return false;
  }
  if (pfm) {
    image->format = HeightFormat::kPfm;
    return inspectPfm(input, fileSize, image, error);
  }
  if (known == 8 && std::memcmp(start, kPngSignature, 8) == 0) {
    image->format = HeightFormat::kPng;
    if (!havePng()) {
      *error = kNoPngSupport;
      return false;
    }
    image->png.channel = request.channel;
    if (!openPngDecoder(input, &image->pngDecoder, &image->png, error)) {
      return false;
    }
    image->width = image->png.width;
    image->height = image->png.height;
    return true;
  }
  if (hasTiffSignature(start, known)) {
    image->format = HeightFormat::kTiff;
    if (!haveTiff()) {
      *error = kNoTiffSupport;
      return false;
    }
    image->tiff.channel = request.channel;
    if (!openTiffDecoder(input, &image->tiffDecoder, &image->tiff, error)) {
      return false;
    }
    image->width = image->tiff.width;
    image->height = image->tiff.height;
    return true;
  }
  if (known >= 4 && std::memcmp(start, "PK\3\4", 4) == 0) {
    if (!haveZip()) return refuseZip(input, fileSize, image, error);
    return inspectZippedHgt(input, image, error);
  }
  // An empty archive is its directory's end alone.
  if (haveZip() && known >= 4 && std::memcmp(start, "PK\5\6", 4) == 0) {
    return inspectZippedHgt(input, image, error);
  }
  if (hasExrSignature(start, known)) {
    image->format = HeightFormat::kExr;
    if (!haveExr()) {
      *error = kNoExrSupport;
      return false;
    }
    if (!openExrDecoder(input, request.channel, &image->exrDecoder, &image->exr,
                        error)) {
      return false;
    }
    image->width = image->exr.width;
    image->height = image->exr.height;
    return true;
  }
  // A file too short for any signature may still be a bitmap cut short;
  // one that starts otherwise is no bitmap at all, however short.
  bool bitmap = known >= 2 ? start[0] == 'B' && start[1] == 'M'
                           : known == 0 || start[0] == 'B';
  if (!bitmap) {
    *error =
        "Input file is not a bitmap, PGM, PFM, PNG, TIFF or OpenEXR: it starts "
        "with none of their signatures (raw heights need a name ending in .r16 "
        "or "
        ".raw, raw floats one ending in .r32, SRTM tiles one ending in "
        ".hgt)";
    image->advice =
        "Quillorn reads 8- and 24-bit BMP, PGM (P5, P2), greyscale PNG, "
        "TIFF and GeoTIFF of one band, OpenEXR, greyscale PFM, SRTM tiles "
        "(.hgt), raw "
        "16-bit heights (.r16, .raw) and raw 32-bit floats (.r32); save the "
        "map as one of them";
    return false;
  }
  // A bitmap, or too short to be one: its own checks say which.
  image->format = HeightFormat::kBmp;
  if (!inspectBitmap(input, &image->bitmap, error)) {
    image->advice = image->bitmap.advice;
    return false;
  }
  image->width = image->bitmap.width;
  image->height = image->bitmap.rowCount;
  return true;
}

bool readInputHeights(FileStream* input, InputImage* image, PlaneSet* planes,
                      std::string* error, const Progress* progress) {
  const size_t width = static_cast<size_t>(image->width);
  switch (image->format) {
    case HeightFormat::kBmp: {
      if (!readPixels(input, image->bitmap, planes, error, progress) ||
          !readTail(input, &image->bitmap, error)) {
        return false;
      }
      if (image->bitmap.bitsPerPixel == 8) {
        image->colourEntry = firstColourEntry(image->bitmap, *planes);
      } else {
        image->greyPixels = planesAreGrey(*planes, image->width, image->height);
      }
      if (planes->base == kWideBase) {
        for (int32_t row = 0; row < image->height; ++row) {
          widenRow(planes->inRed[row], planes->inGreen[row], width);
        }
      }
      return true;
    }
    case HeightFormat::kRaw:
    case HeightFormat::kHgt:
      return readRawHeights(input, image, planes, error, progress);
    case HeightFormat::kR32:
    case HeightFormat::kPfm:
      return readFloatHeights(input, image, planes, error, progress);
    case HeightFormat::kPgm:
      return readPgmHeights(input, *image, planes, error, progress);
    case HeightFormat::kPng:
      return decodePngHeights(image->pngDecoder, &image->png, planes, error,
                              progress);
    case HeightFormat::kTiff:
      return decodeTiffHeights(image->tiffDecoder, image->tiff,
                               image->request.mapping, planes, &image->mapping,
                               &image->unitClamped, error, progress);
    case HeightFormat::kExr: {
      const bool read = decodeExrHeights(
          image->exrDecoder, image->exr, image->request.mapping, planes,
          &image->mapping, &image->unitClamped, error, progress);
      image->samplesRounded = exrRoundedSamples(image->exrDecoder);
      return read;
    }
  }
  return false;
}

bool readsAsFloats(const InputImage& image) {
  // Steps of a -unit are asked for: the heights are made of them.
  if (image.request.mapping.unit != 0) return false;
  switch (image.format) {
    case HeightFormat::kR32:
    case HeightFormat::kPfm:
    case HeightFormat::kExr:
      return true;
    case HeightFormat::kTiff:
      return image.tiff.sample.kind == SampleKind::kFloat ||
             image.tiff.sample.bits > 16;
    default:
      return false;
  }
}

SampleType floatSampleType(const InputImage& image) {
  if (image.format == HeightFormat::kTiff) return image.tiff.sample;
  SampleType type;
  type.kind = SampleKind::kFloat;
  type.bits = 32;
  return type;
}

bool readInputFloats(FileStream* input, InputImage* image, FloatPlane* floats,
                     std::string* error, const Progress* progress) {
  image->mapping = SampleMapping();
  image->floatsRounded = 0;
  switch (image->format) {
    case HeightFormat::kR32:
    case HeightFormat::kPfm:
      return readFloatPlane(input, image, floats, error, progress);
    case HeightFormat::kExr: {
      const bool read =
          decodeExrFloats(image->exrDecoder, image->exr, floats,
                          &image->mapping.nodata, error, progress);
      image->samplesRounded = exrRoundedSamples(image->exrDecoder);
      return read;
    }
    case HeightFormat::kTiff:
      return decodeTiffFloats(image->tiffDecoder, image->tiff, floats,
                              &image->mapping.nodata, &image->floatsRounded,
                              error, progress);
    default:
      *error = "This input has no float samples";
      return false;
  }
}

void releaseInput(InputImage* image) {
  freePngDecoder(image->pngDecoder);
  image->pngDecoder = nullptr;
  freeTiffDecoder(image->tiffDecoder);
  image->tiffDecoder = nullptr;
  freeExrDecoder(image->exrDecoder);
  image->exrDecoder = nullptr;
}
