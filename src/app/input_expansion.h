// An input that is many files: a folder of tiles, or a pattern of them
// ("dem/N4*W12*.hgt"), expanded by the tool itself so that it means the
// same on every system.
#ifndef QUILLORN_APP_INPUT_EXPANSION_H_
#define QUILLORN_APP_INPUT_EXPANSION_H_

#include <string>
#include <vector>

// What an input path names.
enum class InputKind {
  kFile,   // one file (or nothing there): read as it always is
  kTiles,  // a folder or a pattern, with the tiles found
  kEmpty,  // a folder or a pattern without a tile
};

// True when name matches pattern, where "*" stands for any run of
// characters and "?" for any one.
bool matchesPattern(const std::string& name, const std::string& pattern);

// True when path's last component holds "*" or "?".
bool isInputPattern(const std::string& path);

// The tiles path names, sorted by name: every file of a folder (not its
// subfolders) whose ending is one the tool reads, every file a pattern in
// the last component matches. A path that names a file, or that is no
// folder and no pattern, is kFile: tiles is then empty.
InputKind expandInput(const std::string& path, std::vector<std::string>* tiles);

#endif  // QUILLORN_APP_INPUT_EXPANSION_H_
