#include "image/gdal_metadata.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(GdalMetadataTest, BandScaleAndOffsetReadAndWritten) {
  struct Case {
    const char* xml;
    bool known;
    double scale, offset;
  };
  const Case cases[] = {
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"0\" "
       "role=\"scale\">0.2</Item><Item name=\"OFFSET\" sample=\"0\" "
       "role=\"offset\">-100.5</Item></GDALMetadata>",
       true, 0.2, -100.5},
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"1\">5</Item>"
       "<Item name=\"OFFSET\">7</Item></GDALMetadata>",
       true, 1, 7},
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"0\">0</Item>"
       "</GDALMetadata>",
       false, 1, 0},
      {"<GDALMetadata><Item name=\"SCALE\" sample=\"0\">nan</Item>"
       "<Item name=\"DESCRIPTION\">x</Item></GDALMetadata>",
       false, 1, 0},
      {"", false, 1, 0},
      // Whitespace around a number is the number; anything else after it
      // is no number at all.
      {"<Item name=\"SCALE\"> 0.5\n</Item><Item name=\"OFFSET\">3m</Item>",
       true, 0.5, 0},
      {"<Item name=\"OFFSET\" sample=\"0\">-2e3</Item>", true, 1, -2000},
      // An item never closed ends the reading; those before it count.
      {"<Item name=\"OFFSET\">1</Item><Item name=\"SCALE\">4", true, 1, 1},
  };
  for (const Case& c : cases) {
    const BandValues values = parseBandValues(c.xml);
    EXPECT_EQ(values.known, c.known) << c.xml;
    EXPECT_DOUBLE_EQ(values.scale, c.scale) << c.xml;
    EXPECT_DOUBLE_EQ(values.offset, c.offset) << c.xml;
  }
  BandValues written;
  written.known = true;
  written.scale = 0.0381475725;
  written.offset = -199.999924;
  const BandValues back = parseBandValues(bandValuesXml(written));
  EXPECT_TRUE(back.known);
  EXPECT_EQ(back.scale, written.scale);
  EXPECT_EQ(back.offset, written.offset);
}

// The XML written is GDAL's own layout, every number with the digits to
// read back exactly.
TEST(GdalMetadataTest, WrittenXmlIsGdalsLayout) {
  BandValues values;
  values.known = true;
  values.scale = 0.1;
  values.offset = -32768;
  EXPECT_EQ(
      bandValuesXml(values),
      "<GDALMetadata>\n"
      "  <Item name=\"OFFSET\" sample=\"0\" role=\"offset\">-32768</Item>\n"
      "  <Item name=\"SCALE\" sample=\"0\" role=\"scale\">"
      "0.10000000000000001</Item>\n"
      "</GDALMetadata>\n");
}

}  // namespace
