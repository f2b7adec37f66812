// What the Windows files share with the Windows outputs: the system's error
// texts and files' identities. Windows builds only; not for other users.
#ifndef QUILLORN_PLATFORM_FILES_WINDOWS_H_
#define QUILLORN_PLATFORM_FILES_WINDOWS_H_

#include <windows.h>

#include <string>

#include "platform/files.h"

// The system's text for GetLastError(), without its closing line end.
std::string windowsError();

// Records reason as file's failure, the system's; returns false.
bool failWith(FileStream* file, const std::string& reason);

// The system's identity of an open file: volume and index (the C runtime's
// st_ino is always 0 here).
bool fileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION* identity);

// True when both identities are of the same file.
bool sameIdentity(const BY_HANDLE_FILE_INFORMATION& a,
                  const BY_HANDLE_FILE_INFORMATION& b);

// A handle for asking about path, without reading or writing it.
HANDLE probe(const std::wstring& path);

#endif  // QUILLORN_PLATFORM_FILES_WINDOWS_H_
