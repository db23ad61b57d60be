#include "util/mod_main.h"

#include <filesystem>
#include <system_error>

namespace qc {

bool EnsureFolderPath(std::string_view path, std::string* why) {
  namespace fs = std::filesystem;
  const fs::path folder{std::string(path)};
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!ec && fs::is_directory(folder, ec)) return true;
  if (why) {
    if (!ec) ec = std::make_error_code(std::errc::not_a_directory);
    // Name the part of the path that is in the way, not just the whole path.
    fs::path blocker = folder;
    for (fs::path probe = folder; !probe.empty() && probe != probe.parent_path();
         probe = probe.parent_path()) {
      std::error_code probe_ec;
      if (fs::exists(probe, probe_ec)) {
        blocker = probe;
        break;
      }
    }
    std::string text = "cannot create the folder '" + folder.string() + "': " + ec.message();
    if (blocker != folder && !fs::is_directory(blocker))
      text += " ('" + blocker.string() + "' is a file)";
    *why = std::move(text);
  }
  return false;
}

}  // namespace qc
