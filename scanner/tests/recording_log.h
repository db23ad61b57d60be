// A finder log that keeps what was written since the last clear, line by line, so tests can
// compare it with what the File Reader window would show.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "scanner/log_sink.h"

namespace qc::test {

class RecordingLog final : public LogSink {
 public:
  // One entry per line; text written without a line break extends the last entry until the
  // next writeLine ends it.
  std::vector<std::string> lines;
  int clears = 0;

  void clear() override {
    lines.clear();
    lineOpen_ = false;
    ++clears;
  }
  void writeLine(std::string_view text) override {
    current().append(text);
    lineOpen_ = false;
  }
  void write(std::string_view text) override {
    current().append(text);
    lineOpen_ = true;
  }

 private:
  std::string& current() {
    if (!lineOpen_) lines.emplace_back();
    return lines.back();
  }
  bool lineOpen_ = false;
};

}  // namespace qc::test
