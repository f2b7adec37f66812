// What the browser build's module tells the page beside running command
// lines: the endings of the formats it reads, for the file picker.
#include <emscripten/emscripten.h>

#include <string>

#include "image/height_formats.h"

// ".bmp,.pgm,...": every ending of a format this build reads, as a file
// picker's accept list; the text lives as long as the module.
extern "C" EMSCRIPTEN_KEEPALIVE const char* quillornReadEndings() {
  static const std::string endings = readEndingList();
  return endings.c_str();
}
