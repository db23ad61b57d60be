// Where a mailbox's output goes, derived from its path and the chosen target folder.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace qc {

enum class PathStyle {
  Windows,  // "\" separates; the first three characters (the drive, "C:\") are dropped
  Posix,    // "/" separates; the path is made absolute and its leading "/" is dropped
};

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

struct MailboxPaths {
  std::string path;                 // the list row, trimmed (made absolute on POSIX)
  std::string fileName;             // text after the last separator
  std::string MailboxName;          // fileName without ".mbox"/".MBOX"
  std::string MailboxOutputFolder;  // TargetFolder + path without its root; no final separator
};

// `targetFolder` ends in the separator. Throws qc::Error for an empty path.
MailboxPaths DeriveMailboxPaths(std::string_view row, std::string_view targetFolder,
                                PathStyle style = kNativePathStyle);

// The file name with every ".mbox", then every ".MBOX" removed (exact case only).
std::string MailboxNameOf(std::string_view fileName);

// Hands out output folders within one run so that a later, different mailbox never writes into
// an earlier one's folder: it gets the folder name followed by " (2)", " (3)" and so on. The same
// mailbox path listed twice keeps its one folder.
class OutputFolderClaims {
 public:
  explicit OutputFolderClaims(PathStyle style = kNativePathStyle) : style_(style) {}
  std::string claim(const std::string& folder, const std::string& mailboxPath);

 private:
  std::string key(std::string_view text) const;

  PathStyle style_;
  std::map<std::string, std::string> owners_;  // folder key -> mailbox key
};

}  // namespace qc
