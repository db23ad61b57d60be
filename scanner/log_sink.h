// The finder's text log: drawn on the finder window, discarded by the command line.
#pragma once

#include <string_view>

namespace qc {

class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void clear() = 0;                           // erase, start again at the top left
  virtual void writeLine(std::string_view text) = 0;  // text, then a line break
  virtual void write(std::string_view text) = 0;      // text, staying at its end
};

class NullLog final : public LogSink {
 public:
  void clear() override {}
  void writeLine(std::string_view) override {}
  void write(std::string_view) override {}
};

}  // namespace qc
