#include "image/height_formats.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "image/input_reading.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;

// Every name-dependent answer for one path: the output format, the input
// kinds its name claims (raw, r32, hgt), whether some output claims it,
// whether a -view picture of that name is a PNG, and the picture format it
// names that is never written.
TEST(HeightFormatsTest, NamesChooseFormatsInAnyCase) {
  const char* const kFormats[] = {"bmp", "raw", "pgm", "png", "tiff",
                                  "hgt", "r32", "pfm", "exr"};
  const std::string cases[][3] = {{"map.r16", "raw raw ours", ""},
                                  {"d.x/MAP.RAW", "raw raw ours", ""},
                                  {"m.R32", "r32 r32 ours", ""},
                                  {"m.pgm", "pgm ours", ""},
                                  {"m.Png", "png ours picture", ""},
                                  {"m.tif", "tiff ours", ""},
                                  {"m.TIFF", "tiff ours", ""},
                                  {"m.exr", "exr ours", ""},
                                  {"m.BMP", "bmp ours", ""},
                                  {"N47W122.HGT", "bmp hgt", ""},
                                  {"m.jpg", "bmp", "JPEG"},
                                  {"m.JPEG", "bmp", "JPEG"},
                                  {"m.gif", "bmp", "GIF"},
                                  {"m.webp", "bmp", "WebP"},
                                  {"r16", "bmp", ""},
                                  {"m.png/heights", "bmp", ""}};
  for (const auto& c : cases) {
    const HeightFormat format = outputFormatOf(c[0]);
    std::string got = kFormats[static_cast<int>(format)];
    if (hasRawName(c[0])) got += " raw";
    if (hasR32Name(c[0])) got += " r32";
    if (hasHgtName(c[0])) got += " hgt";
    if (hasOutputExtension(c[0])) got += " ours";
    if (!isBitmapFormat(pictureFormatOf(c[0]))) got += " picture";
    EXPECT_EQ(got, c[1]) << c[0];
    EXPECT_EQ(writesValues(format), got == "r32 r32 ours" || got == "exr ours")
        << c[0];
    const char* unwritable = unwritableFormatOf(c[0]);
    EXPECT_EQ(unwritable == nullptr ? "" : unwritable, c[2]) << c[0];
  }
}

// Each format's questions are answered from its own row, and a library
// this build has refuses nothing.
TEST(HeightFormatsTest, EachFormatAnswersFromItsRow) {
  for (const FormatRow& row : formatTable()) {
    // A zipped tile is read as its format's own row says.
    if (row.library != FormatLibrary::kZip) {
      EXPECT_EQ(formatRow(row.format).name, std::string(row.name));
    }
    EXPECT_EQ(lackingLibraryRefusal(row.library) == nullptr,
              haveFormatLibrary(row.library))
        << row.name;
  }
}

// What the engines take a written file for, and which formats hold floats:
// only raw heights go to their raw importers, only PNG and OpenEXR to their
// picture importers.
TEST(HeightFormatsTest, EachRowSaysWhatEnginesTakeItFor) {
  using E = EngineImport;
  const struct {
    HeightFormat format;
    EngineImport taken;
    bool floats;
  } rows[] = {
      {HeightFormat::kBmp, E::kNone, false},
      {HeightFormat::kPgm, E::kNone, false},
      {HeightFormat::kRaw, E::kRawHeights, false},
      {HeightFormat::kR32, E::kNone, true},
      {HeightFormat::kHgt, E::kNone, false},
      {HeightFormat::kPfm, E::kNone, false},
      {HeightFormat::kPng, E::kGreyPicture, false},
      {HeightFormat::kTiff, E::kNone, false},
      {HeightFormat::kExr, E::kFloatPicture, true},
      {HeightFormat::kHgt, E::kNone, false},
  };
  ASSERT_EQ(std::size(rows), formatTable().size());
  for (const auto& row : rows) {
    const std::string name = formatRow(row.format).name;
    EXPECT_EQ(engineImportOf(row.format), row.taken) << name;
    EXPECT_EQ(writesValues(row.format), row.floats) << name;
  }
}

// The file picker's list: every ending of every format read, those of a
// library this build lacks left out.
TEST(HeightFormatsTest, ReadEndingsAreEveryFormatThisBuildReads) {
  std::string want = ".bmp,.pgm,.r16,.raw,.r32,.hgt,.pfm";
  if (haveFormatLibrary(FormatLibrary::kPng)) want += ",.png";
  if (haveFormatLibrary(FormatLibrary::kTiff)) want += ",.tif,.tiff";
  if (haveFormatLibrary(FormatLibrary::kExr)) want += ",.exr";
  if (haveFormatLibrary(FormatLibrary::kZip)) want += ",.hgt.zip";
  EXPECT_EQ(readEndingList(), want);
}

// Two positive numbers within 32 bits around one x; a refused text leaves
// the size as it was.
TEST(HeightFormatsTest, RasterSizesParseWholeOrNotAtAll) {
  const std::pair<const char*, RasterSize> parsed[] = {
      {"2049x1025", {2049, 1025}},
      {"3X2", {3, 2}},
      {"2147483647x1", {INT32_MAX, 1}}};
  for (const auto& [text, want] : parsed) {
    RasterSize size;
    EXPECT_TRUE(parseRasterSize(text, &size)) << text;
    EXPECT_EQ(size.width, want.width) << text;
    EXPECT_EQ(size.height, want.height) << text;
  }
  for (const char* text : {"2147483648x1", "0x5", "5x0", "x5", "5x", "5x5x5",
                           " 5x5", "5x5 ", "-5x5", "5*5", ""}) {
    RasterSize size{7, 9};
    EXPECT_FALSE(parseRasterSize(text, &size)) << text;
    EXPECT_EQ(size.width, 7) << text;
    EXPECT_EQ(size.height, 9) << text;
  }
}

// What inspectInput and readInputHeights make of bytes read as request
// says: "<format> <width> x <height>:" and the heights of the top row, or
// "<format> refused: <error> | <advice>".
std::string sniff(const std::string& bytes, const ReadRequest& request) {
  const char* const kFormats[] = {"bmp", "raw", "pgm", "png", "tiff",
                                  "hgt", "r32", "pfm", "exr"};
  TempDir dir;
  FileStream input;
  if (!writeFileBytes(dir.file("in"), {bytes.begin(), bytes.end()}) ||
      !openInputFile(dir.file("in").c_str(), &input)) {
    return "cannot open";
  }
  InputImage image;
  PlaneSet planes;
  std::string error, got;
  const bool inspected = inspectInput(&input, request, &image, &error);
  got = kFormats[static_cast<int>(image.format)];
  if (inspected && allocatePlanes(&planes, image.width, image.height, &error) &&
      readInputHeights(&input, &image, &planes, &error, nullptr)) {
    got += " " + std::to_string(image.width) + " x " +
           std::to_string(image.height) + ":";
    for (int32_t column = 0; column < image.width; ++column) {
      got += " " + std::to_string(planes.inGreen[0][column] << 8 |
                                  planes.inRed[0][column]);
    }
  } else {
    got += " refused: " + error + " | " + image.advice;
  }
  releasePlanes(&planes);
  releaseInput(&image);
  closeInputFile(&input);
  return got;
}

// The name's kind comes first (raw, r32, hgt), then the first bytes; a
// library's format is chosen by its signature even when its reader then
// refuses the file. A row ending in "refused" is that reader's to explain.
TEST(HeightFormatsTest, InputsAreKnownByNameThenBySignature) {
  enum Name { kNone, kRawName, kR32Name, kHgtName };
  const std::string zip = "PK\3\4"s + std::string(22, '\0') + "\x0b\0\0\0"s +
                          "N47W122.hgt" + std::string(8, '\0');
  // An archive as zip writes it: entries of no bytes, then the central
  // directory and its end record, a read-me first.
  std::string archive, directory;
  for (const std::string name : {"readme.txt", "N47 W122's.hgt"}) {
    const std::string length = {static_cast<char>(name.size()), '\0'};
    directory += "PK\1\2"s + std::string(24, '\0') + length +
                 std::string(12, '\0') +
                 std::string{static_cast<char>(archive.size()), 0, 0, 0} + name;
    archive += "PK\3\4"s + std::string(22, '\0') + length + "\0\0"s + name;
  }
  const bool zipped = haveFormatLibrary(FormatLibrary::kZip);
  archive += directory + "PK\5\6"s + std::string(6, '\0') + "\2\0"s +
             std::string{static_cast<char>(directory.size()), 0, 0, 0} +
             std::string{static_cast<char>(archive.size()), 0, 0, 0} + "\0\0"s;
  const struct {
    std::string bytes;
    Name name;
    std::string want;
  } cases[] = {
      {"P5 2 1 255\n\x07\xff", kNone, "pgm 2 x 1: 7 255"},
      {"P2 1 1 9", kNone,
       "pgm refused: Malformed PGM header: no whitespace "
       "after the maxval | "},
      {"P2 1 1 9", kRawName, "raw 2 x 2: 20530 8241"},
      {"\x3f\x80\0\0"s + std::string(12, '\0'), kR32Name, "r32 2 x 2: 65279 0"},
      {"\x01\x02\0\0\0\0\0\0"s, kHgtName, "hgt 2 x 2: 258 0"},
      {"Pf 2 1 -1\n\0\0\x80\x3f\0\0\0\0"s, kNone, "pfm 2 x 1: 65279 0"},
      {"PF 1 1 -1\n\0\0\x80\x3f"s, kNone,
       "bmp refused: Input file is a colour PFM (PF); a greyscale one (Pf) is "
       "expected | save the map as a greyscale PFM, raw 32-bit floats (.r32) "
       "or a float TIFF"},
      {"\x89PNG\r\n\x1a\n\0\0\0\0"s, kNone, "png refused"},
      {"II*\0\0\0\0\0"s, kNone, "tiff refused"},
      {"MM\0+\0\0\0\0"s, kNone, "tiff refused"},
      {"\x76\x2f\x31\x01\0\0\0\0"s, kNone, "exr refused"},
      // A zip cut short after its first header, and one whose end record
      // counts its entries wrong: without minizip refused naming the tile
      // to unzip, with it refused as damaged.
      {zip, kNone,
       zipped ? "bmp refused: Input file is a zip archive that cannot be "
                "read: its directory is damaged or cut short | download the "
                "tile again"
              : "bmp refused: Input file is a zip archive holding "
                "N47W122.hgt, not a height map: unzip it and convert the "
                "file inside | unzip the archive (unzip <archive>, or open "
                "it in the file manager), then: quillorn N47W122.hgt "
                "<output>"},
      {archive, kNone,
       zipped ? "bmp refused: Input file is a zip archive that cannot be "
                "read: its directory is damaged or cut short | download the "
                "tile again"
              : "bmp refused: Input file is a zip archive holding N47 "
                "W122's.hgt, not a height map: unzip it and convert the file "
                "inside | unzip the archive (unzip <archive>, or open it in "
                "the file manager), then: quillorn 'N47 W122'\\''s.hgt' "
                "<output>"},
      {"BM\0\0"s, kNone, "bmp refused"},
      {std::string(54, 'x'), kNone,
       "bmp refused: Input file is not a bitmap, PGM, PFM, PNG, TIFF or "
       "OpenEXR: it starts with none of their signatures"},
      // Shorter than a bitmap's header: a text file is still no bitmap,
      // while a bitmap's start is one cut short.
      {"a note of 38 bytes, named as a bitmap\n", kNone,
       "bmp refused: Input file is not a bitmap, PGM, PFM, PNG, TIFF or "
       "OpenEXR: it starts with none of their signatures"},
      {"x", kNone, "bmp refused: Input file is not a bitmap, PGM, PFM"},
      {"BM"s + std::string(51, 'x'), kNone,
       "bmp refused: Input file is not a bitmap: 53 bytes is too short for a "
       "bitmap header"},
      {"B", kNone,
       "bmp refused: Input file is not a bitmap: 1 byte is too short"},
  };
  for (const auto& c : cases) {
    ReadRequest request;
    request.raw = c.name == kRawName;
    request.r32 = c.name == kR32Name;
    request.hgt = c.name == kHgtName;
    request.bigEndian = true;  // -order big
    const std::string got = sniff(c.bytes, request);
    EXPECT_EQ(got.substr(0, c.want.size()), c.want) << c.bytes;
    if (c.want.find("refused") == std::string::npos ||
        c.want.find(" | ") != std::string::npos) {
      EXPECT_EQ(got, c.want) << c.bytes;
    }
  }
}

// A page of the documentation, whole.
std::string documentText(const char* name) {
  std::ifstream file(std::string(QUILLORN_SOURCE_DIR) + "/" + name);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// What follows each occurrence of before in text up to the first of stops
// (or the end).
std::vector<std::string> listsAfter(const std::string& text,
                                    const std::string& before,
                                    const char* stops) {
  std::vector<std::string> found;
  for (size_t at = text.find(before); at != std::string::npos;
       at = text.find(before, at + 1)) {
    const size_t start = at + before.size();
    const size_t stop = text.find_first_of(stops, start);
    found.push_back(text.substr(start, stop - start));
  }
  return found;
}

// The endings (".jpg" ...) named in text.
std::set<std::string> endingsIn(const std::string& text) {
  std::set<std::string> endings;
  for (size_t at = text.find('.'); at != std::string::npos;
       at = text.find('.', at + 1)) {
    size_t end = at + 1;
    while (end < text.size() &&
           (std::islower(text[end]) != 0 || std::isdigit(text[end]) != 0)) {
      ++end;
    }
    if (end > at + 1) endings.insert(text.substr(at, end - at));
  }
  return endings;
}

// The manual and the messages page list the endings as the tool's tables
// have them, wherever a message lists them.
TEST(HeightFormatsTest, DocumentsListTheTablesEndings) {
  const struct {
    std::vector<std::string> (*find)(const std::string& text);
    std::string want;
  } lists[] = {
      {[](const std::string& text) {
         return listsAfter(text, "end it in ", "`)\"\n");
       },
       outputEndingList("or")},
      {[](const std::string& text) {
         // "... a 24-bit bitmap is written (<list> name the formats)".
         std::vector<std::string> found;
         for (const std::string& got :
              listsAfter(text, "bitmap is written (", "\n`\"")) {
           const size_t end = got.find(" name the formats)");
           if (end != std::string::npos) found.push_back(got.substr(0, end));
         }
         return found;
       },
       outputEndingList("and")},
      {[](const std::string& text) {
         return listsAfter(text, "is raw heights (", ")\n");
       },
       rawEndingList("or")},
  };
  std::set<std::string> unwritable;
  for (const UnwritableFormat& format : unwritableFormats()) {
    unwritable.insert(format.ending);
  }
  size_t listed[std::size(lists)] = {};
  for (const char* page : {"docs/messages.md", "docs/quillorn.1"}) {
    const std::string text = documentText(page);
    ASSERT_FALSE(text.empty()) << page;
    for (size_t index = 0; index < std::size(lists); ++index) {
      for (const std::string& got : lists[index].find(text)) {
        EXPECT_EQ(got, lists[index].want) << page;
        ++listed[index];
      }
    }
    // The refused picture formats, as the refusal's paragraph names them.
    const size_t refusal = text.find("Quillorn writes no");
    ASSERT_NE(refusal, std::string::npos) << page;
    const size_t named = text.find("output named", refusal);
    const size_t until = text.find("refused before", named);
    ASSERT_TRUE(named != std::string::npos && named - refusal < 300 &&
                until != std::string::npos && until - named < 200)
        << page;
    EXPECT_EQ(endingsIn(text.substr(named, until - named)), unwritable) << page;
  }
  for (size_t index = 0; index < std::size(lists); ++index) {
    EXPECT_GT(listed[index], 0u) << index;
  }
}

}  // namespace
