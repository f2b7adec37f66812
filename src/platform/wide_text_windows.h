// Conversions between the tool's UTF-8 and the UTF-16 that Windows speaks.
// Windows builds only.
#ifndef QUILLORN_PLATFORM_WIDE_TEXT_WINDOWS_H_
#define QUILLORN_PLATFORM_WIDE_TEXT_WINDOWS_H_

#include <string>

// UTF-8 for a UTF-16 string from Windows ("" when it cannot be converted).
std::string utf8FromWide(const wchar_t* text);

// UTF-16 for a UTF-8 path, as the wide Windows calls want it ("" when it
// cannot be converted).
std::wstring widePath(const char* path);

#endif  // QUILLORN_PLATFORM_WIDE_TEXT_WINDOWS_H_
