// The names in a folder, for runs that must know what else lies beside
// their outputs, and for inputs that are a folder of tiles.
#ifndef QUILLORN_PLATFORM_FOLDERS_H_
#define QUILLORN_PLATFORM_FOLDERS_H_

#include <string>
#include <vector>

// The names of the entries of folder ("" for the current one), without "."
// and "..", in no particular order, as UTF-8. False when the folder cannot
// be read (names then empty).
bool listFolder(const std::string& folder, std::vector<std::string>* names);

// True when path names a folder (a link to one included).
bool isFolder(const std::string& path);

#endif  // QUILLORN_PLATFORM_FOLDERS_H_
