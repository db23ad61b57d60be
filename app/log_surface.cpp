#include "app/log_surface.h"

#include <array>

namespace qc::app {

namespace {
// Windows-1252 differs from Latin-1 only in 0x80..0x9F; unassigned bytes stay as they are.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
}  // namespace

QString FromCp1252(std::string_view bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text.append(b >= 0x80 && b < 0xA0 ? QChar(kHighControls[b - 0x80]) : QChar(b));
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
