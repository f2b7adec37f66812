#include <windows.h>

#include <string>

#include "platform/replacement_lock.h"
#include "platform/wide_text_windows.h"

namespace {

// The folder's full path, in lower case: the spellings of one folder give
// one name.
std::wstring folderKey(const std::string& path) {
  std::wstring wide = widePath(path.c_str());
  size_t separator = wide.find_last_of(L"\\/");
  std::wstring folder =
      separator == std::wstring::npos ? L"." : wide.substr(0, separator + 1);
  DWORD length = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
  if (length == 0) return folder;
  std::wstring full(length, L'\0');
  length = GetFullPathNameW(folder.c_str(), length, &full[0], nullptr);
  full.resize(length);
  if (!full.empty()) {
    CharLowerBuffW(&full[0], static_cast<DWORD>(full.size()));
  }
  return full;
}

}  // namespace

bool lockReplacement(const std::string& path, ReplacementLock* lock) {
  *lock = ReplacementLock();
  // A folder cannot be locked as a file can: a named mutex per folder,
  // named by a hash of its path (a name has no backslashes past its
  // prefix), stands for it.
  uint64_t hash = 14695981039346656037u;
  for (wchar_t unit : folderKey(path)) {
    hash = (hash ^ static_cast<uint16_t>(unit)) * 1099511628211u;
  }
  wchar_t name[64];
  swprintf(name, sizeof name / sizeof name[0], L"Local\\quillorn-%016llx",
           static_cast<unsigned long long>(hash));
  HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
  if (mutex == nullptr) return false;
  // An abandoned mutex (its run ended while holding it) is taken as well.
  DWORD waited = WaitForSingleObject(mutex, INFINITE);
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    CloseHandle(mutex);
    return false;
  }
  lock->handle = reinterpret_cast<intptr_t>(mutex);
  return true;
}

void unlockReplacement(ReplacementLock* lock) {
  if (lock->handle == -1) return;
  HANDLE mutex = reinterpret_cast<HANDLE>(lock->handle);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  lock->handle = -1;
}
