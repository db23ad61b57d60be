#include "convert/mailbox_paths.h"

#include <filesystem>

#include "util/error.h"
#include "util/registry.h"

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
    out.canonicalPath = out.path;
    rest = out.path.size() > 3 ? out.path.substr(3) : std::string();
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
