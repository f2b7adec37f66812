// One fuzzing input: a few bytes that choose the switches, then the bytes of
// the input file. Shared by the fuzzer and its seed generator.
#ifndef QUILLORN_FUZZ_RUN_FUZZ_INPUT_H_
#define QUILLORN_FUZZ_RUN_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bytes before the file: switch flags and scale choice, passes, minimum (2).
constexpr size_t kFuzzPrefixSize = 4;

// The switches a prefix selects: byte 0 bit 0 "-sca", bit 1 "-min", bit 2
// "-smo", bits 3-5 the scale's index in a fixed table; byte 1 the passes
// (-3 ... 3); bytes 2-3 the minimum (16-bit signed).
std::vector<std::string> fuzzSwitches(const uint8_t* prefix);

// A prefix that selects the given switches (scaleIndex 0 ... 7).
std::vector<uint8_t> fuzzPrefix(bool scale, int scaleIndex, bool minimum,
                                int16_t minimumValue, bool smooth,
                                int8_t passes);

#endif  // QUILLORN_FUZZ_RUN_FUZZ_INPUT_H_
