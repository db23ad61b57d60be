// Shell and path helpers shared by the main window and the conversion.
#pragma once

#include <string>
#include <string_view>

namespace qc {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The text after the last `separator` of `path`: all of it when there is none, empty text when
// the path ends in a separator. An empty path has no name part: throws qc::Error.
std::string GetFileNamePart(std::string_view path, char separator = kPathSeparator);

// `path` with `separator` appended unless it already ends in one.
std::string AddSeparator(std::string_view path, char separator = kPathSeparator);

// Leading and trailing space characters (0x20 only) removed.
std::string_view TrimSpaces(std::string_view text);

// The file name a user typed or listed, as the system will open it. On Windows no file name
// begins or ends in a space, so spaces around it are typing noise and removed; elsewhere they may
// belong to the name and are kept.
std::string_view FileNameFieldText(std::string_view text);

}  // namespace qc
