#include "platform/wide_text_windows.h"

#include <windows.h>

std::string utf8FromWide(const wchar_t* text) {
  int length =
      WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &narrow[0], length, nullptr,
                      nullptr);
  narrow.resize(static_cast<size_t>(length - 1));
  return narrow;
}

std::wstring widePath(const char* path) {
  int length = MultiByteToWideChar(CP_UTF8, 0, path, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path, -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return wide;
}
