#include "convert/mailbox_paths.h"

#include <filesystem>
#include <vector>

#include "util/error.h"
#include "util/registry.h"
#include "util/system.h"

namespace qc {

namespace {

void RemoveAll(std::string& text, std::string_view what) {
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at)) {
    text.erase(at, what.size());
  }
}

char SeparatorOf(PathStyle style) {
  return style == PathStyle::Windows ? '\\' : '/';
}

bool IsWindowsSeparator(char c) {
  return c == '\\' || c == '/';
}

// The length of the part of a Windows path that names where it lives: "C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\"; 0 for a relative path.
std::size_t WindowsRootLength(std::string_view path) {
  std::size_t at = 0;
  bool network = false;
  if (path.starts_with("\\\\?\\UNC\\")) {
    at = 8;
    network = true;
  } else if (path.starts_with("\\\\?\\")) {
    at = 4;
  } else if (path.size() >= 2 && IsWindowsSeparator(path[0]) && IsWindowsSeparator(path[1])) {
    at = 2;
    network = true;
  }
  if (network) {  // the server and the share
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      const std::size_t end = path.find_first_of("\\/", at);
      at = end == std::string_view::npos ? path.size() : end + 1;
    }
    return at;
  }
  if (path.size() >= at + 2 && path[at + 1] == ':') {
    return path.size() > at + 2 && IsWindowsSeparator(path[at + 2]) ? at + 3 : at + 2;
  }
  return at;
}

// "." and ".." taken out of a Windows path as text, never above its root, and separators made
// single backslashes: "C:\..\Windows\x.mbx" must not lead out of the output folder.
std::string TidyWindowsPath(std::string_view path) {
  const std::size_t root = WindowsRootLength(path);
  std::string out(path.substr(0, root));
  std::vector<std::string_view> parts;
  std::string_view rest = path.substr(root);
  while (!rest.empty()) {
    const std::size_t end = rest.find_first_of("\\/");
    const std::string_view part = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += '\\';
    out += parts[i];
  }
  return out;
}

// The mailbox path without its first three characters, the drive ("C:\"): the folder the
// mailbox's files go to below the output folder. A network path loses only its two
// backslashes, and the "\\?\" that reaches long paths is no part of any name.
std::string WindowsFolderPart(std::string_view path) {
  if (path.starts_with("\\\\?\\UNC\\")) return std::string(path.substr(8));
  if (path.starts_with("\\\\?\\")) path.remove_prefix(4);
  if (path.starts_with("\\\\")) return std::string(path.substr(2));
  return path.size() > 3 ? std::string(path.substr(3)) : std::string();
}

}  // namespace

std::string MailboxNameOf(std::string_view fileName) {
  const std::string whole(TrimSpaces(fileName));
  std::string name = whole;
  RemoveAll(name, ".mbox");
  RemoveAll(name, ".MBOX");
  // A mailbox named just ".mbox" would give a store and a folder without a name.
  return name.empty() ? whole : name;
}

MailboxPaths DeriveMailboxPaths(std::string_view row, std::string_view targetFolder,
                                PathStyle style) {
  if (TrimSpaces(row).empty()) throw Error("a row of the mailbox list is empty");
  MailboxPaths out;
  std::string rest;
  if (style == PathStyle::Windows) {
    out.path = std::string(TrimSpaces(row));
#ifdef _WIN32
    out.path = sys::AbsolutePath(out.path);  // "Inbox.mbx" is a file of the current folder
#endif
    out.canonicalPath = TidyWindowsPath(out.path);
    rest = WindowsFolderPart(out.canonicalPath);
  } else {
    namespace fs = std::filesystem;
    out.path = fs::absolute(fs::path(std::string(row))).string();
    // The file the system opens under this name: a name that does not resolve (yet) still gets
    // a folder inside the target, from its lexical form.
    std::error_code ec;
    fs::path canonical = fs::weakly_canonical(fs::path(out.path), ec);
    if (ec) canonical = fs::path(out.path).lexically_normal();
    out.canonicalPath = canonical.string();
    const auto first = out.canonicalPath.find_first_not_of('/');
    if (first != std::string::npos) rest = out.canonicalPath.substr(first);
  }
  out.fileName = GetFileNamePart(out.path, SeparatorOf(style));
  out.MailboxName = MailboxNameOf(out.fileName);
  out.MailboxOutputFolder = std::string(targetFolder) + rest;
  return out;
}

std::string OutputFolderClaims::key(std::string_view text) const {
  std::string k(text);
  if (style_ == PathStyle::Windows) {  // the same folder in any letter case
    for (auto& c : k) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return k;
}

std::string OutputFolderClaims::claim(const std::string& folder, const std::string& mailboxPath) {
  const std::string owner = key(mailboxPath);
  std::string candidate = folder;
  for (int n = 2;; ++n) {
    const auto [it, inserted] = owners_.emplace(key(candidate), owner);
    if (inserted || it->second == owner) return candidate;
    candidate = folder + " (" + std::to_string(n) + ")";
  }
}

}  // namespace qc
