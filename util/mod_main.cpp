#include "util/mod_main.h"

#include <cerrno>
#include <vector>

#include "util/system.h"

namespace qc {

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

}  // namespace

bool EnsureFolderPath(std::string_view path, std::string* why) {
  std::string folder(path);
  while (folder.size() > 1 && IsSeparator(folder.back()) &&
         !(folder.size() == 3 && folder[1] == ':')) {
    folder.pop_back();
  }
  // Every folder on the way, shortest first: "/a", "/a/b", "/a/b/c".
  std::vector<std::string> steps;
  for (std::size_t i = 1; i < folder.size(); ++i) {
    if (IsSeparator(folder[i]) && !IsSeparator(folder[i - 1])) steps.push_back(folder.substr(0, i));
  }
  steps.push_back(folder);

  const auto fail = [&](const std::string& at, int error) {
    if (why) {
      std::string text = "cannot create the folder '" + folder + "': " + sys::ErrorText(error);
      if (at != folder && sys::Inspect(at).kind == sys::Kind::File) {
        text += " ('" + at + "' is a file)";
      }
      *why = std::move(text);
    }
    return false;
  };
  // The deepest folder that exists already; the ones after it are made in order. (The first
  // steps of a network path, "\\server", cannot be looked at as folders; they are never made.)
  std::size_t first = steps.size();
  while (first > 0) {
    const sys::PathInfo info = sys::Inspect(steps[first - 1]);
    if (info.kind == sys::Kind::Folder) break;
    if (info.kind != sys::Kind::Missing) return fail(steps[first - 1], ENOTDIR);
    if (info.error != 0 && first == steps.size()) return fail(folder, info.error);
    --first;
  }
  for (std::size_t i = first; i < steps.size(); ++i) {
    const int error = sys::CreateFolder(steps[i]);
    if (error == 0) continue;
    // Made meanwhile by someone else is as good as made here.
    const sys::Kind now = sys::Inspect(steps[i]).kind;
    if (error == EEXIST && now == sys::Kind::Folder) continue;
    return fail(steps[i], error == EEXIST ? ENOTDIR : error);
  }
  return true;
}

}  // namespace qc
