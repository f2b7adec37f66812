// Height maps in every file format the tool speaks: the BMP encoding, raw
// 16-bit heights ("r16"), raw 32-bit floats ("r32"), 16-bit PGM, greyscale
// PNG, TIFF and GeoTIFF, OpenEXR, SRTM tiles (".hgt", read only, also
// straight from their zip archives) and PFM (read only). An input is recognised
// by its name (raw, SRTM) or its content; an output's format follows the end of
// its name. Everything between reading and writing is shared.
#ifndef QUILLORN_IMAGE_HEIGHT_FORMATS_H_
#define QUILLORN_IMAGE_HEIGHT_FORMATS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "image/float_heights.h"
#include "image/float_plane.h"
#include "image/height_planes.h"
#include "image/input_image.h"
#include "image/progress.h"
#include "platform/files.h"

// The library a format is read and written through, each optional in a
// build.
enum class FormatLibrary { kNone, kPng, kTiff, kExr, kZip };

// What a format holds, one bit each of FormatRow::traits: a bitmap's
// header, palette and blue pixels; elevation samples, mapped into heights;
// a value standing for nodata; samples that -depth chooses; tags that place
// the map on the ground; each height written as its value in floats.
constexpr uint32_t kTraitBitmap = 1u << 0;
constexpr uint32_t kTraitElevation = 1u << 1;
constexpr uint32_t kTraitNodataValue = 1u << 2;
constexpr uint32_t kTraitDepthChoice = 1u << 3;
constexpr uint32_t kTraitGeoreferenced = 1u << 4;
constexpr uint32_t kTraitWritesFloats = 1u << 5;

// What the engines' importers take a written file of a format for:
// headerless 16-bit heights (their raw importers), a 16-bit grey picture,
// a picture of floats, or none of these.
enum class EngineImport { kNone, kRawHeights, kGreyPicture, kFloatPicture };

// One format: how --version names it, the name endings that know it, how
// an input is known, whether it is written and what the engines take it
// for.
struct FormatRow {
  HeightFormat format;
  const char* name;           // as --version lists it
  const char* endings[3];     // the endings that name it, in lower case; the
                              // rest nullptr
  bool byName;                // an input is known by its name, not its bytes
  bool written;               // an output may be written in it
  FormatLibrary library;      // what reads and writes it
  uint32_t traits;            // what it holds: kTrait... bits, or'd
  EngineImport engineImport;  // what the engines take a written one for
};

// Every format, in the order --version and the messages list them.
const std::vector<FormatRow>& formatTable();

// The table's row of format.
const FormatRow& formatRow(HeightFormat format);

// True when format's row has trait (a kTrait... bit).
bool formatHas(HeightFormat format, uint32_t trait);

// True for the bitmap format, whose header, palette and blue pixels a
// bitmap written from a bitmap keeps, in the encoding's base 255.
bool isBitmapFormat(HeightFormat format);

// True for the formats of elevation samples (TIFF, SRTM, raw floats, PFM,
// OpenEXR), which are mapped into heights and may hold nodata.
bool isElevationFormat(HeightFormat format);

// True for the formats in which one value of the samples stands for nodata
// (a TIFF's nodata tag, an SRTM tile's void), read as marks and written
// from them.
bool holdsNodataValue(HeightFormat format);

// True for the formats whose samples -depth chooses (16-bit or floats).
bool takesDepthChoice(HeightFormat format);

// True when this build has library (kNone: always).
bool haveFormatLibrary(FormatLibrary library);

// The refusal ("This build of Quillorn has no PNG support; ...") when this
// build lacks library; nullptr when it has it.
const char* lackingLibraryRefusal(FormatLibrary library);

// "Formats: BMP, PGM, ..." with each library format's library and version
// where the build has it, and what it lacks, for --version.
std::string formatsLine();

// The endings that name an output format, in the table's order and joined
// as a list is in a sentence: ".bmp, .r16, ... or .exr" (with "or") or
// "... and .exr" (with "and").
std::string outputEndingList(const char* conjunction);

// The endings of the raw formats, known by their names alone, joined as
// outputEndingList does: ".r16, .raw or .r32".
std::string rawEndingList(const char* conjunction);

// The output format a path asks for by the end of its name, as typed and in
// any case: ".r16" or ".raw", ".r32", ".pgm", ".png", ".tif" or ".tiff",
// ".exr"; anything else is a bitmap.
HeightFormat outputFormatOf(const std::string& path);

// True for the formats that hold each height's value as a float rather
// than the height itself.
bool writesValues(HeightFormat format);

// What the engines' importers take a file written in format for.
EngineImport engineImportOf(HeightFormat format);

// The endings of every format this build reads, in the table's order,
// joined by commas: ".bmp,.pgm,...", as a file picker's accept list.
std::string readEndingList();

// The format a -view picture is written in: PNG where its name ends in
// ".png", in any case, a bitmap otherwise.
HeightFormat pictureFormatOf(const std::string& path);

// True when a path names raw heights: its name ends in ".r16" or ".raw".
bool hasRawName(const std::string& path);

// True when a path names raw 32-bit floats: its name ends in ".r32".
bool hasR32Name(const std::string& path);

// True when a path names an SRTM tile: its name ends in ".hgt".
bool hasHgtName(const std::string& path);

// True when the end of the name is one that some output format claims.
bool hasOutputExtension(const std::string& path);

// A picture format no output is written in, by one ending of its name.
struct UnwritableFormat {
  const char* ending;  // in lower case
  const char* name;    // as the refusal names it
};

// The picture formats a viewer or an engine would open by the name and
// then fail on: ".jpg" and ".jpeg" JPEG, ".gif" GIF, ".webp" WebP.
const std::vector<UnwritableFormat>& unwritableFormats();

// The picture format a path's ending names that no output is written in
// (one of unwritableFormats()), in any case; nullptr for every other name.
const char* unwritableFormatOf(const std::string& path);

// Parses "<width>x<height>" (or X): two positive decimal numbers within 32
// bits, nothing else. False when text is not of that form.
bool parseRasterSize(const char* text, RasterSize* size);

// True when the input's tags say where it lies on the ground (a GeoTIFF).
bool isGeoreferenced(const InputImage& image);

// True when -unit changes what the input's samples stand for: elevation
// samples, a TIFF's only where they are not a picture's steps.
bool unitChangesSamples(const InputImage& image);

#endif  // QUILLORN_IMAGE_HEIGHT_FORMATS_H_
