// The fields of an engine's dialogs as the settings lines write them:
// "quillorn:   <field> <value>", numbers in the fewest digits that keep
// them within what the field needs.
#ifndef QUILLORN_APP_ENGINE_FIELDS_H_
#define QUILLORN_APP_ENGINE_FIELDS_H_

#include <cstdint>
#include <string>
#include <vector>

// value in decimal.
std::string text(int64_t value);

// A number for an engine's field: the fewest digits within tolerance.
std::string field(const std::string& name, double value, double tolerance);

// A field given as text.
std::string field(const std::string& name, const std::string& value);

// Two fields of one kind (a width and a length, scales x and y) written to
// the same decimals, the fewest that keep each within value x relative.
void pairFields(const std::string& first, double a, const std::string& second,
                double b, double relative, std::vector<std::string>* lines);

// value in a sentence, to seven significant digits.
std::string worded(double value);

// The distance between two half floats (11 significant bits) at value.
double halfFloatLevel(double value);

#endif  // QUILLORN_APP_ENGINE_FIELDS_H_
