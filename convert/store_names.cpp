#include "convert/store_names.h"

#include <cstdio>

#include "util/pending_file.h"
#include "util/system.h"

namespace qc {

std::string StoreTimestamp(const std::tm& local) {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%02d %d.%d.%02d", local.tm_mday, local.tm_mon + 1,
                (local.tm_year + 1900) % 100, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string StoreFileNames::claim(const std::string& folder, const std::string& stem) {
  for (int n = 1;; ++n) {
    const std::string suffix = (n == 1 ? std::string() : " (" + std::to_string(n) + ")") + ".pst";
    // A mailbox name near the limit of a file name still gets its store: the stem is shortened
    // so that the whole name fits (the store's display name stays the mailbox's whole name).
    std::string_view fitted = NamePrefix(stem, kNameMax - suffix.size());
    if (fitted.size() < stem.size()) {
      // A cut that ends in dots or spaces would give "name..pst" or "name .pst".
      while (!fitted.empty() && (fitted.back() == '.' || fitted.back() == ' ')) {
        fitted.remove_suffix(1);
      }
    }
    const std::string path = folder + std::string(fitted) + suffix;
    // Anything at all counts, a dangling link or a name that cannot be looked at included.
    const sys::PathInfo info = sys::Inspect(path, false);
    const bool exists = info.kind != sys::Kind::Missing || info.error != 0;
    if (!exists && claimed_.insert(path).second) return path;
  }
}

}  // namespace qc
