// The finder's log as the File Reader window draws it: lines of text from the top left of the
// window's own surface. Only the lines the window could show are kept, so the log does not grow
// with the mailbox.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "scanner/log_sink.h"

namespace qc::app {

class LogSurface final : public LogSink {
 public:
  static constexpr std::size_t kMaxLines = 64;

  void clear() override;
  void writeLine(std::string_view text) override;
  void write(std::string_view text) override;

  // The lines as the window draws them (bytes read as Windows-1252 characters).
  QStringList lines() const;
  // Called after every change, so the window can schedule a repaint.
  void setChanged(std::function<void()> changed) { changed_ = std::move(changed); }

 private:
  void append(std::string_view text);
  void newLine();

  std::deque<std::string> lines_{std::string()};
  std::function<void()> changed_;
};

QString FromCp1252(std::string_view bytes);

}  // namespace qc::app
