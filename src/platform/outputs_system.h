// What outputs.cpp needs from each system to finish or abandon an output;
// outputs_posix.cpp and outputs_windows.cpp implement it, outputs.cpp the
// hidden names' letters. Not for other users.
#ifndef QUILLORN_PLATFORM_OUTPUTS_SYSTEM_H_
#define QUILLORN_PLATFORM_OUTPUTS_SYSTEM_H_

#include <cstdint>
#include <cstdio>
#include <string>

// Renames from over to, replacing to; reason says why not.
bool renameOver(const std::string& from, const std::string& to,
                std::string* reason);

// Makes a hidden hard link to path beside it (".name.XXXXXX"), named in
// *linkPath, so that path's content outlives a rename over path.
bool linkAside(const std::string& path, std::string* linkPath,
               std::string* reason);

// The next letter or digit of a hidden name's random part, from a seed the
// caller keeps between calls.
char nameLetter(uint64_t* seed);

// Removes path; true also when it is already gone.
bool removePath(const std::string& path, std::string* reason);

// Cuts the file at path to no bytes.
bool emptyPath(const std::string& path);

// Cuts the stream's file (flushed) at the stream's position.
bool cutAtPosition(FILE* stream, std::string* reason);

#endif  // QUILLORN_PLATFORM_OUTPUTS_SYSTEM_H_
