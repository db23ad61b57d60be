// Where a mailbox's output goes, derived from its path and the chosen target folder.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace qc {

enum class PathStyle {
  Windows,  // "\" separates; the first three characters (the drive, "C:\") are dropped
  Posix,    // "/" separates; the output folder follows the file's canonical path
};

#ifdef _WIN32
inline constexpr PathStyle kNativePathStyle = PathStyle::Windows;
#else
inline constexpr PathStyle kNativePathStyle = PathStyle::Posix;
#endif

struct MailboxPaths {
  std::string path;                 // the file to open: the list row (trimmed on Windows)
  std::string canonicalPath;        // the file the path leads to, links and ".." resolved
  std::string fileName;             // text after the last separator of `path`
  std::string MailboxName;          // fileName without ".mbox"/".MBOX" (see MailboxNameOf)
  std::string MailboxOutputFolder;  // TargetFolder + canonicalPath without its root
};

// `targetFolder` ends in the separator. On Windows the row is trimmed of spaces and the output
// folder follows it as text. On POSIX the row is the file's name exactly as given, made absolute
// but not rewritten ("link/../x.mbx" is whatever the system opens under that name), and the
// output folder follows the canonical path of the file it names, so it never lies outside the
// target folder and two different files never share one. Throws qc::Error for a blank row.
MailboxPaths DeriveMailboxPaths(std::string_view row, std::string_view targetFolder,
                                PathStyle style = kNativePathStyle);

// The file name with every ".mbox", then every ".MBOX" removed (exact case only); the whole file
// name when nothing would be left.
std::string MailboxNameOf(std::string_view fileName);

// Hands out output folders within one run so that a later, different mailbox never writes into
// an earlier one's folder: it gets the folder name followed by " (2)", " (3)" and so on. The same
// mailbox (by its canonical path) listed twice keeps its one folder.
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
