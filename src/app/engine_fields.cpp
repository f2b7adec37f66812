#include "app/engine_fields.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "image/sample_mapping.h"

namespace {

// The fewest decimals that write value within tolerance.
int decimalsWithin(double value, double tolerance) {
  char digits[64];
  for (int decimals = 0; decimals < 17; ++decimals) {
    std::snprintf(digits, sizeof digits, "%.*f", decimals, value);
    if (std::fabs(std::strtod(digits, nullptr) - value) <= tolerance) {
      return decimals;
    }
  }
  return 17;
}

std::string fixed(double value, int decimals) {
  char digits[64];
  std::snprintf(digits, sizeof digits, "%.*f", decimals, value);
  return digits;
}

}  // namespace

std::string text(int64_t value) { return std::to_string(value); }

std::string field(const std::string& name, double value, double tolerance) {
  return "quillorn:   " + name + " " +
         compactNumber(value, std::max(tolerance, 1e-300));
}

std::string field(const std::string& name, const std::string& value) {
  return "quillorn:   " + name + " " + value;
}

void pairFields(const std::string& first, double a, const std::string& second,
                double b, double relative, std::vector<std::string>* lines) {
  const int decimals =
      std::max(decimalsWithin(a, std::fabs(a) * relative + 1e-300),
               decimalsWithin(b, std::fabs(b) * relative + 1e-300));
  lines->push_back(field(first, fixed(a, decimals)));
  lines->push_back(field(second, fixed(b, decimals)));
}

std::string worded(double value) {
  return compactNumber(value, std::fabs(value) * 1e-7);
}

// Half floats keep 11 significant bits.
double halfFloatLevel(double value) {
  const double magnitude = std::max(std::fabs(value), 6.103515625e-05);
  return std::ldexp(1.0,
                    static_cast<int>(std::floor(std::log2(magnitude))) - 10);
}
