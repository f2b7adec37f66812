#include "app/input_expansion.h"

#include <algorithm>

#include "image/height_formats.h"
#include "platform/folders.h"

namespace {

size_t lastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

std::string lowerCase(std::string text) {
  for (char& letter : text) {
    if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter + 32);
  }
  return text;
}

// True when name ends in one of the endings of the format table.
bool hasReadableEnding(const std::string& name) {
  const std::string low = lowerCase(name);
  for (const FormatRow& row : formatTable()) {
    for (const char* ending : row.endings) {
      if (ending == nullptr) break;
      const std::string end = ending;
      if (low.size() > end.size() &&
          low.compare(low.size() - end.size(), end.size(), end) == 0) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace

bool matchesPattern(const std::string& name, const std::string& pattern) {
  // The last star's place and the name's place it was tried at: a mismatch
  // after a star lets the star take one more character.
  size_t at = 0, place = 0, star = std::string::npos, tried = 0;
  while (at < name.size()) {
    if (place < pattern.size() &&
        (pattern[place] == '?' || pattern[place] == name[at])) {
      ++at;
      ++place;
    } else if (place < pattern.size() && pattern[place] == '*') {
      star = place++;
      tried = at;
    } else if (star != std::string::npos) {
      place = star + 1;
      at = ++tried;
    } else {
      return false;
    }
  }
  while (place < pattern.size() && pattern[place] == '*') ++place;
  return place == pattern.size();
}

bool isInputPattern(const std::string& path) {
  const size_t separator = lastSeparator(path);
  const size_t name = separator == std::string::npos ? 0 : separator + 1;
  return path.find_first_of("*?", name) != std::string::npos;
}

InputKind expandInput(const std::string& path,
                      std::vector<std::string>* tiles) {
  tiles->clear();
  const bool pattern = isInputPattern(path);
  if (!pattern && !isFolder(path)) return InputKind::kFile;
  std::string folder, wanted;
  if (pattern) {
    const size_t separator = lastSeparator(path);
    folder =
        separator == std::string::npos ? "" : path.substr(0, separator + 1);
    wanted = separator == std::string::npos ? path : path.substr(separator + 1);
  } else {
    folder = path;
    const char last = folder.back();
    if (last != '/' && last != '\\') folder += '/';
  }
  std::vector<std::string> names;
  listFolder(folder, &names);
  // A file whose name holds the wildcards themselves is that file.
  if (pattern && std::find(names.begin(), names.end(), wanted) != names.end()) {
    return InputKind::kFile;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (pattern ? !matchesPattern(name, wanted) : !hasReadableEnding(name)) {
      continue;
    }
    if (!isFolder(folder + name)) tiles->push_back(folder + name);
  }
  return tiles->empty() ? InputKind::kEmpty : InputKind::kTiles;
}
