// The names in a folder, for runs that must know what else lies beside
// their outputs.
#ifndef QUILLORN_PLATFORM_FOLDERS_H_
#define QUILLORN_PLATFORM_FOLDERS_H_

#include <string>
#include <vector>

// The names of the entries of folder ("" for the current one), without "."
// and "..", in no particular order, as UTF-8. False when the folder cannot
// be read (names then empty).
bool listFolder(const std::string& folder, std::vector<std::string>* names);

#endif  // QUILLORN_PLATFORM_FOLDERS_H_
