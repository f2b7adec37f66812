#include "image/gdal_metadata.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The value of attribute name in an element's opening tag, "" when absent.
std::string attribute(const std::string& tag, const std::string& name) {
  const std::string key = name + "=\"";
  size_t at = tag.find(" " + key);
  if (at == std::string::npos) return "";
  at += key.size() + 1;
  const size_t end = tag.find('"', at);
  return end == std::string::npos ? "" : tag.substr(at, end - at);
}

bool number(const std::string& text, double* value) {
  char* end = nullptr;
  *value = std::strtod(text.c_str(), &end);
  while (end != nullptr && (*end == ' ' || *end == '\n' || *end == '\t')) {
    ++end;
  }
  return end != text.c_str() && end != nullptr && *end == '\0' &&
         std::isfinite(*value);
}

std::string exact(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

}  // namespace

BandValues parseBandValues(const std::string& xml) {
  BandValues values;
  bool scaled = false, offset = false;
  for (size_t at = xml.find("<Item"); at != std::string::npos;
       at = xml.find("<Item", at + 1)) {
    const size_t close = xml.find('>', at);
    const size_t end = xml.find("</Item>", at);
    if (close == std::string::npos || end == std::string::npos || end < close) {
      break;
    }
    const std::string tag = xml.substr(at, close - at);
    const std::string sample = attribute(tag, "sample");
    if (!sample.empty() && sample != "0") continue;
    const std::string name = attribute(tag, "name");
    double value = 0;
    if (!number(xml.substr(close + 1, end - close - 1), &value)) continue;
    if (name == "SCALE" && value != 0) {
      values.scale = value;
      scaled = true;
    } else if (name == "OFFSET") {
      values.offset = value;
      offset = true;
    }
  }
  values.known = scaled || offset;
  return values;
}

std::string bandValuesXml(const BandValues& values) {
  return "<GDALMetadata>\n  <Item name=\"OFFSET\" sample=\"0\" "
         "role=\"offset\">" +
         exact(values.offset) +
         "</Item>\n  <Item name=\"SCALE\" sample=\"0\" role=\"scale\">" +
         exact(values.scale) + "</Item>\n</GDALMetadata>\n";
}
