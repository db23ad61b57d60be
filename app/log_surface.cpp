#include "app/log_surface.h"

#include "util/cp1252.h"

namespace qc::app {

QString FromCp1252(std::string_view bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (char c : bytes) {
    // The five bytes the code page leaves undefined are drawn as the controls of their value.
    text.append(QChar(kWindows1252[static_cast<std::uint8_t>(c)]));
  }
  return text;
}

void LogSurface::clear() {
  lines_.assign(1, std::string());
  if (changed_) changed_();
}

void LogSurface::writeLine(std::string_view text) {
  append(text);
  newLine();
  if (changed_) changed_();
}

void LogSurface::write(std::string_view text) {
  append(text);
  if (changed_) changed_();
}

void LogSurface::append(std::string_view text) {
  // A text carrying its own CR LF breaks the line there, as drawing it would. The finder logs
  // every find, so whole runs of text are appended at once.
  while (!text.empty()) {
    const std::size_t end = text.find("\r\n");
    lines_.back().append(text.substr(0, end));
    if (end == std::string_view::npos) return;
    newLine();
    text.remove_prefix(end + 2);
  }
}

void LogSurface::newLine() {
  lines_.emplace_back();
  while (lines_.size() > kMaxLines) lines_.pop_front();
}

QStringList LogSurface::lines() const {
  QStringList out;
  for (const auto& line : lines_) out << FromCp1252(line);
  return out;
}

}  // namespace qc::app
