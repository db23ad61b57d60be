#include "util/error.h"

#include "util/system.h"

namespace qc {

Error systemError(std::string_view what, std::string_view path, int err) {
  std::string text(what);
  text += " '";
  text += path;
  text += "': ";
  text += sys::ErrorText(err);
  return Error(std::move(text), err);
}

}  // namespace qc
