// What the Win32 side of the system layer offers the program's other Win32 code: UTF-8 and
// UTF-16 text, the system's form of a path, and its error codes in the errno space.
#pragma once

#ifdef _WIN32

#include <windows.h>

#include <string>
#include <string_view>

namespace qc::sys::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// `path` as the system takes it: made absolute, with "\\?\" (or "\\?\UNC\" for a network path)
// in front, so that no length limit applies; a path already written that way, or a device
// ("\\.\..."), as it is.
std::wstring SystemPath(const std::string& path);

// A Win32 error code in the errno space (see system.h).
int ErrorFromWin32(DWORD code);
// The same for GetLastError().
int LastError();

}  // namespace qc::sys::win32

#endif
