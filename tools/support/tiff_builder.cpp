#include "support/tiff_builder.h"

#include <cstring>

namespace {

void put16(std::vector<uint8_t>* bytes, uint32_t value) {
  bytes->push_back(static_cast<uint8_t>(value));
  bytes->push_back(static_cast<uint8_t>(value >> 8));
}

void put32(std::vector<uint8_t>* bytes, uint32_t value) {
  put16(bytes, value & 0xFFFF);
  put16(bytes, value >> 16);
}

void put64(std::vector<uint8_t>* bytes, uint64_t value) {
  put32(bytes, static_cast<uint32_t>(value));
  put32(bytes, static_cast<uint32_t>(value >> 32));
}

// One sample in the plan's format, little-endian.
void putSample(const TiffPlan& plan, double value,
               std::vector<uint8_t>* bytes) {
  if (plan.sampleFormat == 3) {
    if (plan.bitsPerSample == 32) {
      float narrow = static_cast<float>(value);
      uint32_t bits;
      std::memcpy(&bits, &narrow, sizeof bits);
      put32(bytes, bits);
    } else {
      uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      put64(bytes, bits);
    }
    return;
  }
  // Integers keep their low bytes: -1 is 0xFF... in any width.
  uint64_t bits = static_cast<uint64_t>(static_cast<int64_t>(value));
  for (int byte = 0; byte < plan.bitsPerSample / 8; ++byte) {
    bytes->push_back(static_cast<uint8_t>(bits >> (8 * byte)));
  }
}

}  // namespace

std::vector<uint8_t> buildTiff(const TiffPlan& plan) {
  struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
    std::vector<uint8_t> data = {};  // the value's bytes, not a number
  };
  std::vector<uint8_t> pixels;
  const bool tiled = plan.tileWidth > 0 && plan.tileHeight > 0;
  // A tile's rows are tileWidth wide; those below the image are left out.
  const uint64_t rowSamples =
      uint64_t{tiled ? plan.tileWidth : plan.width} * plan.samplesPerPixel;
  const uint64_t rows =
      tiled && plan.tileHeight < plan.height ? plan.tileHeight : plan.height;
  uint64_t samples = rowSamples * rows;
  // A forged size keeps its claim, but no gigabytes of samples.
  if (samples > (uint64_t{1} << 24)) samples = 0;
  for (uint64_t index = 0; index < samples; ++index) {
    const uint64_t row = index / rowSamples;
    const uint64_t column = index % rowSamples;
    const uint64_t at =
        row * uint64_t{plan.width} * plan.samplesPerPixel + column;
    const bool inside = column < uint64_t{plan.width} * plan.samplesPerPixel &&
                        at < plan.samples.size();
    putSample(plan, inside ? plan.samples[at] : 0.0, &pixels);
  }
  if (plan.storedBytes != 0) pixels.resize(plan.storedBytes, 0);
  const uint32_t stored = static_cast<uint32_t>(pixels.size());
  std::vector<Entry> entries = {
      {256, 4, 1, plan.width},         {257, 4, 1, plan.height},
      {258, 3, 1, plan.bitsPerSample}, {259, 3, 1, plan.compression},
      {262, 3, 1, plan.photometric},
  };
  if (tiled) {
    entries.push_back({277, 3, 1, plan.samplesPerPixel});
    entries.push_back({322, 4, 1, plan.tileWidth});
    entries.push_back({323, 4, 1, plan.tileHeight});
    entries.push_back({324, 4, 1, 0});  // the tile's offset, filled in below
    entries.push_back({325, 4, 1, stored});
  } else {
    entries.push_back({273, 4, 1, 0});  // the strip's offset, below
    entries.push_back({277, 3, 1, plan.samplesPerPixel});
    entries.push_back({278, 4, 1, plan.height});
    entries.push_back({279, 4, 1, stored});
  }
  entries.push_back({339, 3, 1, plan.sampleFormat});
  auto doubles = [](const std::vector<double>& values) {
    std::vector<uint8_t> data;
    for (double value : values) {
      uint64_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      put64(&data, bits);
    }
    return data;
  };
  if (!plan.pixelScale.empty()) {
    entries.push_back({33550, 12, static_cast<uint32_t>(plan.pixelScale.size()),
                       0, doubles(plan.pixelScale)});
  }
  if (!plan.tiepoints.empty()) {
    entries.push_back({33922, 12, static_cast<uint32_t>(plan.tiepoints.size()),
                       0, doubles(plan.tiepoints)});
  }
  if (!plan.nodata.empty()) {
    std::string nodata = plan.nodata + '\0';
    entries.push_back({42113, 2, static_cast<uint32_t>(nodata.size()), 0,
                       std::vector<uint8_t>(nodata.begin(), nodata.end())});
  }
  // Values of up to four bytes sit in their entry; longer ones follow the
  // directory, each at an even offset, and the strip follows them.
  const uint32_t directory = 8;
  const uint32_t after =
      directory + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  std::vector<uint8_t> outside;
  for (Entry& entry : entries) {
    if (entry.data.size() <= 4) continue;
    entry.value = after + static_cast<uint32_t>(outside.size());
    outside.insert(outside.end(), entry.data.begin(), entry.data.end());
    if (outside.size() % 2 != 0) outside.push_back(0);
  }
  const uint32_t strip = after + static_cast<uint32_t>(outside.size());
  std::vector<uint8_t> bytes = {'I', 'I', 42, 0};
  put32(&bytes, directory);
  put16(&bytes, static_cast<uint32_t>(entries.size()));
  for (const Entry& entry : entries) {
    put16(&bytes, entry.tag);
    put16(&bytes, entry.type);
    put32(&bytes, entry.count);
    if (!entry.data.empty() && entry.data.size() <= 4) {
      for (size_t index = 0; index < 4; ++index) {
        bytes.push_back(index < entry.data.size() ? entry.data[index] : 0);
      }
    } else if (entry.type == 3) {
      put16(&bytes, entry.value);
      put16(&bytes, 0);
    } else {
      put32(&bytes, entry.tag == 273 || entry.tag == 324 ? strip : entry.value);
    }
  }
  put32(&bytes, 0);
  bytes.insert(bytes.end(), outside.begin(), outside.end());
  bytes.insert(bytes.end(), pixels.begin(), pixels.end());
  return bytes;
}
