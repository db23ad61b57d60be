#include "convert/message_cutter.h"

#include <algorithm>
#include <array>

#include "util/error.h"

namespace qc {

namespace {

std::string MessageContext(std::size_t j, std::int64_t offset, const std::string& mailbox) {
  return "message " + std::to_string(j + 1) + " (offset " + std::to_string(offset) + ") of '" +
         mailbox + "'";
}

// Writes runs of held-back spaces; they are kept only when more text follows them.
void WriteSpaces(PendingFile& out, std::int64_t count) {
  static const std::array<char, 4096> kSpaces = [] {
    std::array<char, 4096> a{};
    a.fill(' ');
    return a;
  }();
  while (count > 0) {
    const auto n = std::min<std::int64_t>(count, static_cast<std::int64_t>(kSpaces.size()));
    out.write(kSpaces.data(), static_cast<std::size_t>(n));
    count -= n;
  }
}

}  // namespace

MessageCutter::MessageCutter(const std::string& mailboxPath,
                             const std::vector<std::int64_t>& offsets)
    : file_(mailboxPath), window_(file_), offsets_(offsets) {}

CutResult MessageCutter::write(std::size_t j, const OutputFolder& folder,
                               std::string_view extension, const ChunkProgress& progress) {
  const std::int64_t start = offsets_.at(j);
  const bool last = j + 1 >= offsets_.size();
  const std::int64_t end = last ? -1 : offsets_[j + 1];  // -1: up to the end of the file

  try {
    auto first = window_.at(start, 1);
    if (first.empty()) {
      throw Error("it starts past the end of the mailbox, which is now " +
                  std::to_string(file_.size()) + " bytes long (the file shrank)");
    }
    PendingFile out(folder, "email-" + std::to_string(j) + std::string(extension));
    static constexpr char kLineEnd[] = "\r\n";

    std::int64_t pos = start;
    std::int64_t heldSpaces = 0;  // trailing spaces seen but not yet written
    bool leading = true;
    bool cutShort = false;
    bool ended = false;
    for (;;) {
      const auto bytes = window_.at(pos, 1);
      if (bytes.empty()) {  // the end of the file
        cutShort = !last && pos < end;
        break;
      }
      std::size_t n = bytes.size();
      if (!last) n = static_cast<std::size_t>(std::min<std::int64_t>(end - pos, n));
      const char* data = reinterpret_cast<const char*>(bytes.data());
      std::size_t from = 0;
      if (leading) {
        while (from < n && data[from] == ' ') ++from;
        leading = from == n;
      }
      std::size_t to = n;
      while (to > from && data[to - 1] == ' ') --to;
      pos += static_cast<std::int64_t>(n);
      ended = !last && pos >= end;

      PendingFile::Piece pieces[2];
      std::size_t count = 0;
      if (to > from) {
        WriteSpaces(out, heldSpaces);
        heldSpaces = 0;
        pieces[count++] = {data + from, to - from};
      }
      heldSpaces += static_cast<std::int64_t>(n - to);
      if (ended) pieces[count++] = {kLineEnd, 2};  // most messages: one write for all
      out.write(pieces, count);
      if (ended) break;
      if (progress) progress(pos - start);
    }
    if (!ended) out.write(kLineEnd, 2);
    CutResult result{out.finalPath(), out.bytesWritten(), cutShort};
    out.commit();
    return result;
  } catch (const Error& e) {
    throw Error(MessageContext(j, start, file_.path()) + ": " + e.what(), e.code());
  }
}

}  // namespace qc
