#include "mapi/import/part_split.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace qc::mapi::import {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 16;

// White space as GMime's parser allows it after a boundary.
bool IsLwsp(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A line of the multipart, as much of it as a boundary line can be.
struct Line {
  std::uint64_t start = 0;
  std::uint64_t next = 0;  // where the line after it begins
  std::string head;        // its first bytes, without the LF
  bool restBlank = true;   // what lies past the head is white space
  char last = 0;           // its last byte before the LF
};

// Calls `onLine` for each line of [from, end) until it returns false. Only lines that begin
// with "--" are looked at past their first bytes.
template <class OnLine>
void ForEachLine(const ByteSource& bytes, std::uint64_t from, std::uint64_t end,
                 std::size_t headBytes, const OnLine& onLine) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
  char* const piece = buffer.get();
  Line line;
  line.start = from;
  bool open = false;  // bytes of `line` were seen
  for (std::uint64_t at = from; at < end;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end - at));
    const std::size_t got = bytes.read(at, reinterpret_cast<std::uint8_t*>(piece), want);
    if (got == 0) break;
    const char* p = piece;
    const char* const stop = p + got;
    while (p < stop) {
      const char* newline = static_cast<const char*>(std::memchr(p, '\n', stop - p));
      const char* lineEnd = newline != nullptr ? newline : stop;
      if (lineEnd > p) {
        const std::size_t n = static_cast<std::size_t>(lineEnd - p);
        const std::size_t take = std::min(n, headBytes - std::min(headBytes, line.head.size()));
        line.head.append(p, take);
        if (line.restBlank && take < n && line.head.starts_with("--")) {
          line.restBlank = std::all_of(p + take, lineEnd, IsLwsp);
        }
        line.last = lineEnd[-1];
        open = true;
      }
      if (newline == nullptr) break;
      line.next = at + static_cast<std::uint64_t>(newline - piece) + 1;
      if (!onLine(line)) return;
      line = Line{};
      line.start = at + static_cast<std::uint64_t>(newline - piece) + 1;
      open = false;
      p = newline + 1;
    }
    at += got;
    if (at >= end && open) {
      line.next = at;
      onLine(line);
    }
  }
}

enum class Mark { None, Boundary, Last };

Mark MarkOf(const Line& line, std::string_view boundary, std::string_view last) {
  const std::string_view head(line.head);
  const auto blankAfter = [&](std::size_t n) {
    return line.restBlank &&
           std::all_of(head.begin() + static_cast<std::ptrdiff_t>(n), head.end(), IsLwsp);
  };
  if (head.starts_with(last) && blankAfter(last.size())) return Mark::Last;
  if (head.starts_with(boundary) && blankAfter(boundary.size())) return Mark::Boundary;
  return Mark::None;
}

}  // namespace

bool HasBoundaryLine(std::string_view text, std::string_view boundary) {
  const std::string open = "--" + std::string(boundary);
  const std::string last = open + "--";
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    Line line;
    line.head = text.substr(0, end);
    if (MarkOf(line, open, last) != Mark::None) return true;
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return false;
}

std::size_t CountDashLines(const ByteSource& bytes, std::uint64_t from, std::uint64_t end,
                           std::size_t most) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kPiece);
  char* const piece = buffer.get();
  std::size_t count = 0;
  int column = 0;  // 0 at the start of a line, 1 after a first '-', 2 elsewhere in a line
  for (std::uint64_t at = from; at < end;) {
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, end - at));
    const std::size_t got = bytes.read(at, reinterpret_cast<std::uint8_t*>(piece), want);
    if (got == 0) break;
    at += got;
    for (std::size_t i = 0; i < got;) {
      const char c = piece[i];
      if (column == 2) {
        const void* newline = std::memchr(piece + i, '\n', got - i);
        if (newline == nullptr) break;
        i = static_cast<std::size_t>(static_cast<const char*>(newline) - piece) + 1;
        column = 0;
        continue;
      }
      if (column == 1 && c == '-' && ++count > most) return count;
      column = c == '\n' ? 0 : column == 0 && c == '-' ? 1 : 2;
      ++i;
    }
  }
  return count;
}

std::vector<PartRange> SplitMultipart(const ByteSource& bytes, std::uint64_t from,
                                      std::uint64_t end, std::string_view boundary) {
  const std::string open = "--" + std::string(boundary);
  const std::string last = open + "--";
  std::vector<PartRange> parts;
  bool inParts = false;  // past the first boundary line
  bool closed = false;   // past the last
  std::uint64_t partStart = 0;
  ForEachLine(bytes, from, end, last.size() + 64, [&](const Line& line) {
    const Mark mark = MarkOf(line, open, last);
    if (mark == Mark::None) return true;
    if (inParts && line.start > partStart) {
      parts.push_back({partStart, line.start, true, line.last == '\r'});
    }
    inParts = true;
    partStart = line.next;
    closed = mark == Mark::Last;
    return !closed;
  });
  if (inParts && !closed && end > partStart) parts.push_back({partStart, end, false, false});
  return parts;
}

struct PartFrames {
  std::string before;     // a multipart header and its first boundary line
  std::string afterLf;    // its closing boundary line, ending in LF
  std::string afterCrlf;  // and in CR LF
};

namespace {

// A part's bytes between a header and boundary line made up for it and its own closing line.
class FramedPart final : public ByteSource {
 public:
  FramedPart(std::shared_ptr<const ByteSource> bytes, PartRange part,
             std::shared_ptr<const PartFrames> frames)
      : bytes_(std::move(bytes)), part_(part), frames_(std::move(frames)) {}

  std::uint64_t size() const override {
    return frames_->before.size() + (part_.end - part_.start) + after().size();
  }

  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    const std::string& before = frames_->before;
    const std::uint64_t middle = part_.end - part_.start;
    std::size_t done = 0;
    while (done < n) {
      const std::uint64_t at = offset + done;
      std::size_t got = 0;
      if (at < before.size()) {
        got = Copy(before, at, out + done, n - done);
      } else if (at < before.size() + middle) {
        const std::uint64_t into = at - before.size();
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(n - done, middle - into));
        got = bytes_->read(part_.start + into, out + done, want);
      } else if (at < size()) {
        got = Copy(after(), at - before.size() - middle, out + done, n - done);
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  const std::string& after() const {
    static const std::string none;
    return !part_.bounded ? none : part_.crlf ? frames_->afterCrlf : frames_->afterLf;
  }

  static std::size_t Copy(const std::string& from, std::uint64_t at, std::uint8_t* out,
                          std::size_t n) {
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(n, from.size() - at));
    std::memcpy(out, from.data() + at, count);
    return count;
  }

  std::shared_ptr<const ByteSource> bytes_;
  PartRange part_;
  std::shared_ptr<const PartFrames> frames_;
};

// The boundary as a quoted parameter value.
std::string Quoted(std::string_view boundary) {
  std::string out = "\"";
  for (const char c : boundary) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + '"';
}

}  // namespace

std::shared_ptr<const PartFrames> FramesFor(std::string_view boundary) {
  const std::string open = "--" + std::string(boundary);
  auto frames = std::make_shared<PartFrames>();
  frames->before =
      "Content-Type: multipart/mixed; boundary=" + Quoted(boundary) + "\r\n\r\n" + open + "\r\n";
  frames->afterLf = open + "--\n";
  frames->afterCrlf = open + "--\r\n";
  return frames;
}

std::shared_ptr<const ByteSource> PartAlone(std::shared_ptr<const ByteSource> bytes,
                                            const PartRange& part,
                                            std::shared_ptr<const PartFrames> frames) {
  return std::make_shared<FramedPart>(std::move(bytes), part, std::move(frames));
}

}  // namespace qc::mapi::import
