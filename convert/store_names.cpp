#include "convert/store_names.h"

#include <sys/stat.h>

#include <cstdio>

namespace qc {

std::string StoreTimestamp(const std::tm& local) {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%02d %d.%d.%02d", local.tm_mday, local.tm_mon + 1,
                (local.tm_year + 1900) % 100, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string StoreFileNames::claim(const std::string& folder, const std::string& stem) {
  for (int n = 1;; ++n) {
    const std::string path =
        folder + stem + (n == 1 ? std::string() : " (" + std::to_string(n) + ")") + ".pst";
    struct stat st {};
    const bool exists = ::lstat(path.c_str(), &st) == 0;
    if (!exists && claimed_.insert(path).second) return path;
  }
}

}  // namespace qc
