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
  // Whether anyone sees the log: the finder makes its texts (several per separator found, so
  // hundreds of thousands for a large mailbox) only when someone does.
  virtual bool shown() const { return true; }
};

class NullLog final : public LogSink {
 public:
  void clear() override {}
  void writeLine(std::string_view) override {}
  void write(std::string_view) override {}
  bool shown() const override { return false; }
};

}  // namespace qc
