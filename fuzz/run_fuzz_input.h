// One fuzzing input: a few bytes that choose the switches and the files'
// names, then the bytes of the input file. Shared by the fuzzer, its seed
// generator and the replay of past findings.
#ifndef QUILLORN_FUZZ_RUN_FUZZ_INPUT_H_
#define QUILLORN_FUZZ_RUN_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bytes before the file: switch flags and scale choice, passes, minimum (2),
// names and the new switches, the map's geometry.
constexpr size_t kFuzzPrefixSize = 6;

// The switches a prefix selects: byte 0 bit 0 "-sca", bit 1 "-min", bit 2
// "-smo", bits 3-5 the scale's index in a fixed table, bits 6-7 "-world",
// "-fill 1" or "-channel luma"; byte 1 the passes
// (-3 ... 3); bytes 2-3 the minimum (16-bit signed), and without "-min"
// byte 2 bits 0-1 the window ("-crop 2x2+1+0", "-bounds 0,0,1,1", "-crop
// 1x1+0+0 -bounds" over everything) and bit 2 "-tilerows bottom"; byte 4
// bit 4 "-view"
// (bit 5: a PNG picture, else a bitmap), bit 6 "-dim 3x2", bit 7 the
// elevation names (see fuzzInputName), with "-order big" for their raw
// input and "-unit 0.5" for their second TIFF input; byte 5 the geometry:
// bits 0-1 the turns (none, "-flip horizontal", "-rotate 90", "-flip
// vertical -rotate 270 -rotate 90"), bits 2-3 the size ("-size 5x3",
// "-fit unity", "-fit unreal"), bits 4-5 "-tiles 2x1", "1x2" or "2x2",
// bits 6-7 "-filter linear", "box" or "mitchell".
std::vector<std::string> fuzzSwitches(const uint8_t* prefix,
                                      const std::string& folder);

// The switches of the command-line table that no prefix selects: none,
// so that every switch is fuzzed.
std::vector<std::string> unfuzzedSwitches();

// The input's and output's names a prefix selects: byte 4 bits 0-1 the
// input's ending, bits 2-3 the output's (".bmp", ".r16", ".pgm", ".png";
// with bit 7 the input's ".tif", ".hgt", ".r16", ".tif" and the output's
// ".tif", ".bmp", ".r16", ".png"; with bits 7 and 6 the float files: the
// input's ".exr", ".pfm", ".r32", ".r32" and the output's ".exr", ".r32",
// ".r16", ".png").
std::string fuzzInputName(const uint8_t* prefix);
std::string fuzzOutputName(const uint8_t* prefix);

// The picture's name, when the prefix asks for one ("" otherwise).
std::string fuzzViewName(const uint8_t* prefix);

// A prefix that selects the given switches (scaleIndex 0 ... 7), names
// (formats: byte 4 as above) and geometry (byte 5 as above).
std::vector<uint8_t> fuzzPrefix(bool scale, int scaleIndex, bool minimum,
                                int16_t minimumValue, bool smooth,
                                int8_t passes, uint8_t formats = 0,
                                uint8_t geometry = 0);

#endif  // QUILLORN_FUZZ_RUN_FUZZ_INPUT_H_
