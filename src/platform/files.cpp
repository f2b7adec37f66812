#include "platform/files.h"

#include <cerrno>
#include <cstring>

// What both systems share: the C runtime's streams and its error texts.

bool readExact(FILE* file, uint8_t* buffer, size_t size) {
  return std::fread(buffer, 1, size, file) == size;
}

bool writeExact(FILE* file, const uint8_t* buffer, size_t size) {
  return std::fwrite(buffer, 1, size, file) == size;
}

std::string lastSystemError() {
  if (errno == 0) return std::string();
  return std::strerror(errno);
}
