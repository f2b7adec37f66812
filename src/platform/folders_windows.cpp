#include <windows.h>

#include "platform/folders.h"
#include "platform/wide_text_windows.h"

bool listFolder(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  std::wstring pattern = widePath(folder.empty() ? "." : folder.c_str());
  if (pattern.empty()) return false;
  if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    std::string name = utf8FromWide(found.cFileName);
    if (!name.empty() && name != "." && name != "..") names->push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return true;
}

bool isFolder(const std::string& path) {
  const std::wstring wide = widePath(path.c_str());
  if (wide.empty()) return false;
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
