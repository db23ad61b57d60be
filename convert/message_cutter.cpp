#include "convert/message_cutter.h"

#include <algorithm>
#include <array>

#include "mapi/crc32.h"
#include "util/error.h"

namespace qc {

namespace {

const std::uint8_t* Bytes(const char* text) {
  return reinterpret_cast<const std::uint8_t*>(text);
}

// Writes runs of held-back spaces; they are kept only when more text follows them.
void WriteSpaces(PendingFile& out, std::int64_t count, std::uint32_t* crc) {
  static const std::array<char, 4096> kSpaces = [] {
    std::array<char, 4096> a{};
    a.fill(' ');
    return a;
  }();
  while (count > 0) {
    const auto n = std::min<std::int64_t>(count, static_cast<std::int64_t>(kSpaces.size()));
    out.write(kSpaces.data(), static_cast<std::size_t>(n));
    if (crc) *crc = mapi::Crc32(Bytes(kSpaces.data()), static_cast<std::size_t>(n), *crc);
    count -= n;
  }
}

}  // namespace

void WalkTrimmed(ByteWindow& window, const MailboxFile& file, std::int64_t start, std::int64_t end,
                 const TrimmedPiece& piece) {
  std::int64_t pos = start;
  std::int64_t heldSpaces = 0;  // trailing spaces seen but not yet given
  bool leading = true;
  while (pos < end) {
    const auto bytes = window.at(pos, 1);
    if (bytes.empty()) {  // the file ends before the message does
      throw Error("the mailbox shrank during the run to " + std::to_string(file.size()) +
                  " bytes and no longer holds the message whole (it ended at byte " +
                  std::to_string(end) + ")");
    }
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(end - pos, bytes.size()));
    const char* data = reinterpret_cast<const char*>(bytes.data());
    std::size_t from = 0;
    if (leading) {
      while (from < n && data[from] == ' ') ++from;
      leading = from == n;
    }
    std::size_t to = n;
    while (to > from && data[to - 1] == ' ') --to;
    pos += static_cast<std::int64_t>(n);
    std::int64_t spaces = 0;
    if (to > from) {
      spaces = heldSpaces;
      heldSpaces = 0;
    }
    heldSpaces += static_cast<std::int64_t>(n - to);
    piece(spaces, data + from, to > from ? to - from : 0, pos >= end, pos - start);
  }
}

MessageCutter::MessageCutter(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                             std::size_t readSize)
    : mailbox_(std::move(mailbox)), window_(*mailbox_.file, readSize), offsets_(offsets) {}

CutResult MessageCutter::write(std::size_t j, const OutputFolder& folder, std::string name,
                               const ChunkProgress& progress) {
  const std::int64_t start = offsets_.at(j);
  const std::int64_t end = j + 1 < offsets_.size() ? offsets_[j + 1] : mailbox_.end;

  PendingFile out(folder, name);
  static constexpr char kLineEnd[] = "\r\n";
  std::uint32_t crc = 0;
  std::uint32_t* const sum = crc_ ? &crc : nullptr;

  WalkTrimmed(window_, *mailbox_.file, start, end,
              [&](std::int64_t spaces, const char* text, std::size_t size, bool last,
                  std::int64_t readSoFar) {
                WriteSpaces(out, spaces, sum);
                PendingFile::Piece pieces[2];
                std::size_t count = 0;
                if (size > 0) pieces[count++] = {text, size};
                if (last) pieces[count++] = {kLineEnd, 2};  // most messages: one write for all
                out.write(pieces, count);
                for (std::size_t k = 0; sum && k < count; ++k) {
                  crc = mapi::Crc32(static_cast<const std::uint8_t*>(pieces[k].data),
                                    pieces[k].size, crc);
                }
                if (!last && progress) progress(readSoFar);
              });
  if (start >= end) {
    out.write(kLineEnd, 2);  // an empty message still ends its line
    if (sum) crc = mapi::Crc32(Bytes(kLineEnd), 2, crc);
  }
  out.commit();
  return {std::move(name), out.bytesWritten(), crc};
}

}  // namespace qc
