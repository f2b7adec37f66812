#include <dirent.h>
#include <sys/stat.h>

#include "platform/folders.h"

bool listFolder(const std::string& folder, std::vector<std::string>* names) {
  names->clear();
  DIR* entries = opendir(folder.empty() ? "." : folder.c_str());
  if (entries == nullptr) return false;
  while (const dirent* entry = readdir(entries)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names->push_back(name);
  }
  closedir(entries);
  return true;
}

bool isFolder(const std::string& path) {
  struct stat status;
  return !path.empty() && stat(path.c_str(), &status) == 0 &&
         S_ISDIR(status.st_mode);
}
