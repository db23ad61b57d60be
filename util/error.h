// Errors that carry their context: what was being done, on which path, and the system's reason.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qc {

class Error : public std::runtime_error {
 public:
  // `code` is the operating system's error number, or 0 when the failure is the program's own.
  Error(std::string message, int code = 0) : std::runtime_error(std::move(message)), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

// "<what> '<path>': <reason of errno>", for example "cannot open 'x.mbx': No such file or
// directory".
Error systemError(std::string_view what, std::string_view path, int err);

}  // namespace qc
