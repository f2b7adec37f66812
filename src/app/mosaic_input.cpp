#include "app/mosaic_input.h"

#include "app/diagnostics.h"
#include "app/run_input.h"
#include "image/height_formats.h"
#include "image/input_placement.h"
#include "image/input_reading.h"
#include "platform/files.h"
#include "processing/height_tiles.h"

namespace {

std::string describeType(const SampleType& type) {
  const char* kind = type.kind == SampleKind::kFloat    ? "-bit floats"
                     : type.kind == SampleKind::kSigned ? "-bit signed integers"
                                                        : "-bit unsigned "
                                                          "integers";
  return std::to_string(type.bits) + kind;
}

// The EPSG code of the tags' coordinate system ("EPSG:4326"), or "" when
// they name none.
std::string epsgOf(const GeoTags& geo) {
  const std::vector<uint16_t>& keys = geo.keyDirectory;
  uint16_t projected = 0, geographic = 0;
  for (size_t at = 4; at + 3 < keys.size(); at += 4) {
    if (keys[at + 1] != 0) continue;
    if (keys[at] == 3072) projected = keys[at + 3];
    if (keys[at] == 2048) geographic = keys[at + 3];
  }
  const uint16_t code = projected != 0 ? projected : geographic;
  return code == 0 ? "" : "EPSG:" + std::to_string(code);
}

// One EPSG code is one projection however the keys spell the rest (an
// SRTM tile's and a GeoTIFF's of EPSG:4326); without codes, the keys.
bool sameProjection(const GeoTags& a, const GeoTags& b) {
  const std::string codeA = epsgOf(a), codeB = epsgOf(b);
  if (!codeA.empty() && !codeB.empty()) return codeA == codeB;
  return a.keyDirectory == b.keyDirectory && a.doubleParams == b.doubleParams &&
         a.asciiParams == b.asciiParams;
}

// One tile as its header says.
struct TileHeader {
  InputImage image;
  GeoTags geo;
  bool placed = false;
  InputPlacement placement;
};

// The request one tile is read with: the samples as they stand (the
// whole's mapping is made once every tile is read), its kind by its name.
ReadRequest tileRequest(const std::string& path, const ReadRequest& whole) {
  ReadRequest request = whole;
  request.raw = hasRawName(path);
  request.hgt = !request.raw && hasHgtName(path);
  request.r32 = hasR32Name(path);
  request.mapping = MappingRequest();
  return request;
}

// Opens and inspects one tile, then closes it; false after the ERROR line
// and its reason.
bool inspectTile(const std::string& path, const ReadRequest& request,
                 TileHeader* header, std::ostream& console,
                 std::ostream& diagnostics) {
  FileStream stream;
  if (!openInputFile(path.c_str(), &stream)) {
    console << "ERROR: Input file not found" << std::endl;
    reportFailure(stream, diagnostics);
    return false;
  }
  std::string error;
  const bool read =
      inspectInput(&stream, tileRequest(path, request), &header->image, &error);
  releaseInput(&header->image);
  if (!read) {
    reportRunFailure(error, stream, FileStream(), console, diagnostics);
    // The ERROR line says what is wrong; this line says with which tile.
    diagnostics << "quillorn: " << path
                << (header->image.advice.empty()
                        ? ": this tile of the input is refused as the ERROR "
                          "line says"
                        : ": " + header->image.advice)
                << std::endl;
  }
  closeInputFile(&stream);
  if (!read) return false;
  header->geo = inputGeoTags(path, header->image);
  header->placed = placementOfInput(header->image, path, &header->placement);
  return true;
}

void refuseTile(const std::string& path, const std::string& reason,
                std::ostream& console, std::ostream& diagnostics) {
  console << "ERROR: Input tiles do not make one map" << std::endl;
  diagnostics << "quillorn: " << path << ": " << reason << std::endl;
}

// What keeps tile from joining first, "" when nothing does.
std::string tileMisfit(const TileHeader& tile, const TileHeader& first,
                       const std::string& firstPath) {
  SampleType type, firstType;
  if (!tileSampleType(tile.image, &type)) {
    return "a bitmap's tiles are not joined (its header and blue pixels "
           "belong to one picture); convert the tiles to PNG or raw heights";
  }
  tileSampleType(first.image, &firstType);
  if (type.kind != firstType.kind || type.bits != firstType.bits) {
    return "its samples are " + describeType(type) + ", and those of " +
           firstPath + " " + describeType(firstType) +
           "; tiles of one map share one sample type";
  }
  if (tile.placed != first.placed) {
    return std::string(tile.placed ? "it says where it lies, and "
                                   : "it says nothing of where it lies, and ") +
           firstPath + (tile.placed ? " does not" : " does") +
           "; join tiles that all do, or tiles named for their place";
  }
  if (tile.placed && !sameProjection(tile.geo, first.geo)) {
    const std::string own = epsgOf(tile.geo), theirs = epsgOf(first.geo);
    return "its projection" + (own.empty() ? "" : " (" + own + ")") +
           " is not that of " + firstPath +
           (theirs.empty() ? "" : " (" + theirs + ")") +
           "; reproject the tiles to one (gdalwarp -t_srs)";
  }
  const BandValues& values = tile.image.tiff.values;
  const BandValues& firstValues = first.image.tiff.values;
  if (values.known != firstValues.known || values.scale != firstValues.scale ||
      values.offset != firstValues.offset) {
    return "its band's scale and offset are not those of " + firstPath;
  }
  return "";
}

}  // namespace

namespace {

// Places tiles that say nothing of where they lie by their names; false
// after the ERROR line and the reason.
bool placeNamedTiles(const std::vector<std::string>& paths,
                     const std::vector<TileHeader>& headers,
                     bool rowsFromBottom, InputMosaic* mosaic,
                     std::ostream& console, std::ostream& diagnostics) {
  std::vector<GridTile> grid;
  std::string firstPrefix;
  bool firstBottom = false;
  int32_t lastRow = 0;
  for (size_t index = 0; index < paths.size(); ++index) {
    std::string prefix;
    GridTile tile;
    bool fromBottom = false;
    if (!tilePlaceOfName(paths[index], &prefix, &tile.column, &tile.row,
                         &fromBottom) ||
        (index > 0 && (prefix != firstPrefix || fromBottom != firstBottom))) {
      refuseTile(paths[index],
                 index == 0 ? "it says nothing of where it lies, and its name "
                              "gives no place (<name>_x<i>_y<j> or "
                              "<name>_<i>_<j>)"
                            : "its name is not of the tiles of " + paths[0],
                 console, diagnostics);
      return false;
    }
    if (index == 0) {
      firstPrefix = prefix;
      firstBottom = fromBottom;
    }
    tile.width = headers[index].image.width;
    tile.height = headers[index].image.height;
    lastRow = std::max(lastRow, tile.row);
    grid.push_back(tile);
  }
  mosaic->lettered = !firstBottom;
  // Unity reads its raw tiles south row first, as the tool writes them.
  mosaic->southFirst =
      firstBottom &&
      engineImportOf(headers[0].image.format) == EngineImport::kRawHeights;
  if (firstBottom || rowsFromBottom) {
    for (GridTile& tile : grid) tile.row = lastRow - tile.row;
  }
  TileMisfit misfit;
  // Neighbouring tiles share their edge rows and columns, as -tiles and
  // terrain generators cut them.
  if (!placeGridTiles(grid, 1, &mosaic->layout, &misfit)) {
    refuseTile(paths[misfit.tile], misfit.reason, console, diagnostics);
    return false;
  }
  return true;
}

// Places georeferenced tiles; false after the ERROR line and the reason.
bool placeGeoreferencedTiles(const std::vector<std::string>& paths,
                             const std::vector<TileHeader>& headers,
                             TileLayout* layout, std::ostream& console,
                             std::ostream& diagnostics) {
  std::vector<GeoTile> tiles;
  for (const TileHeader& header : headers) {
    GeoTile tile;
    tile.toModel = header.placement.toModel;
    tile.pointSamples = header.placement.pointSamples;
    tile.width = header.image.width;
    tile.height = header.image.height;
    tiles.push_back(tile);
  }
  TileMisfit misfit;
  if (!placeGeoTiles(tiles, layout, &misfit)) {
    refuseTile(paths[misfit.tile], misfit.reason, console, diagnostics);
    return false;
  }
  return true;
}

// The whole's header: the first tile's, of the whole's size, placed where
// the whole lies.
void makeWholeHeader(const InputMosaic& mosaic, const TileHeader& first,
                     InputImage* whole) {
  *whole = first.image;
  whole->request = mosaic.request;
  whole->width = mosaic.layout.width;
  whole->height = mosaic.layout.height;
  whole->tiff.width = whole->width;
  whole->tiff.height = whole->height;
  whole->png.width = whole->width;
  whole->png.height = whole->height;
  whole->mapping = SampleMapping();
  if (first.geo.any()) {
    // Whole (x, y) is the first tile's (x - left, y - top).
    const TileRect& rect = mosaic.layout.rects[0];
    Affine toFirst;
    toFirst.c = -rect.left;
    toFirst.f = -rect.top;
    placeInput(placedGeoTags(first.geo, toFirst), whole);
  }
}

}  // namespace

bool openMosaicInput(const std::string& inputPath, const ReadRequest& request,
                     bool rowsFromBottom, InputMosaic* mosaic,
                     InputImage* whole, std::ostream& console,
                     std::ostream& diagnostics) {
  const std::vector<std::string>& paths = mosaic->tiles;
  std::vector<TileHeader> headers(paths.size());
  for (size_t index = 0; index < paths.size(); ++index) {
    if (!inspectTile(paths[index], request, &headers[index], console,
                     diagnostics)) {
      return false;
    }
    const std::string misfit = tileMisfit(headers[index], headers[0], paths[0]);
    if (!misfit.empty()) {
      refuseTile(paths[index], misfit, console, diagnostics);
      return false;
    }
  }
  mosaic->request = request;
  tileSampleType(headers[0].image, &mosaic->sample);
  if (!(headers[0].placed
            ? placeGeoreferencedTiles(paths, headers, &mosaic->layout, console,
                                      diagnostics)
            : placeNamedTiles(paths, headers, rowsFromBottom, mosaic, console,
                              diagnostics))) {
    return false;
  }
  makeWholeHeader(*mosaic, headers[0], whole);
  const bool floats =
      mosaic->sample.kind == SampleKind::kFloat || mosaic->sample.bits > 16;
  if (floats && !readsAsFloats(*whole)) {
    refuseTile(inputPath,
               "-unit makes steps of one map's samples, and float tiles are "
               "joined as floats; join them without -unit",
               console, diagnostics);
    return false;
  }
  // A map without nodata has nothing to stand where no tile lies.
  if (!holdsNodataValue(whole->format)) {
    for (int32_t row = 0; row < whole->height; ++row) {
      if (!gapsInRow(mosaic->layout, row).empty()) {
        refuseTile(inputPath,
                   "a tile of the grid is missing (row " + std::to_string(row) +
                       " is not covered), and its tiles hold no nodata to "
                       "stand for it",
                   console, diagnostics);
        return false;
      }
    }
  }
  // The tile at the whole's middle speaks for its ground.
  for (size_t index = 0; index < paths.size(); ++index) {
    const TileRect& rect = mosaic->layout.rects[index];
    if (rect.left <= whole->width / 2 && rect.top <= whole->height / 2 &&
        rect.left + rect.width > whole->width / 2 &&
        rect.top + rect.height > whole->height / 2) {
      mosaic->middleTile = index;
    }
  }
  return true;
}
