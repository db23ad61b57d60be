#include "convert/message_facts.h"

#include <glib.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "mapi/import/gmime_support.h"
#include "mapi/import/header_text.h"
#include "util/error.h"

namespace qc {

namespace {

// The headers of a message are read from at most this much of its start; the rest of a
// header block this long is no header a person reads.
constexpr std::size_t kHeadBytes = 64 << 10;

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

bool NameIs(std::string_view name, std::string_view wanted) {
  return name.size() == wanted.size() &&
         std::equal(name.begin(), name.end(), wanted.begin(),
                    [](char a, char b) { return g_ascii_tolower(a) == g_ascii_tolower(b); });
}

std::string Unfolded(std::string_view raw) {
  std::string out;
  out.reserve(raw.size());
  for (const char c : raw) {
    if (c != '\r' && c != '\n') out += c;
  }
  return std::string(Trim(out));
}

std::string IsoDate(const std::string& value) {
  mapi::import::EnsureGMimeInitialized();
  GDateTime* date = g_mime_utils_header_decode_date(value.c_str());
  if (!date) return {};
  gchar* text = g_date_time_format(date, "%Y-%m-%dT%H:%M:%S%:z");
  g_date_time_unref(date);
  std::string iso = text ? text : "";
  g_free(text);
  return iso;
}

// Feeds the message's bytes, as its message file holds them, to the two hashes and keeps the
// start of them for the headers.
class FactsSink {
 public:
  void add(const char* data, std::size_t n) {
    whole_.update(data, n);
    if (head_.size() < kHeadBytes) head_.append(data, std::min(n, kHeadBytes - head_.size()));
    if (!pastSeparator_) {
      const auto* end = static_cast<const char*>(std::memchr(data, '\n', n));
      if (!end) return;
      pastSeparator_ = true;
      const auto skipped = static_cast<std::size_t>(end + 1 - data);
      data += skipped;
      n -= skipped;
    }
    body_.update(data, n);
  }
  void addSpaces(std::int64_t count) {
    static const std::array<char, 1024> kSpaces = [] {
      std::array<char, 1024> a{};
      a.fill(' ');
      return a;
    }();
    while (count > 0) {
      const auto n = static_cast<std::size_t>(std::min<std::int64_t>(count, kSpaces.size()));
      add(kSpaces.data(), n);
      count -= static_cast<std::int64_t>(n);
    }
  }
  Sha256& whole() { return whole_; }
  Sha256& body() { return body_; }
  const std::string& head() const { return head_; }

 private:
  Sha256 whole_;
  Sha256 body_;
  std::string head_;
  bool pastSeparator_ = false;
};

}  // namespace

Sha256::Sha256() : checksum_(g_checksum_new(G_CHECKSUM_SHA256)) {}

Sha256::~Sha256() {
  g_checksum_free(static_cast<GChecksum*>(checksum_));
}

void Sha256::update(const void* data, std::size_t size) {
  auto* bytes = static_cast<const guchar*>(data);
  // GChecksum takes a signed length; feed it in pieces it can always take.
  constexpr std::size_t kPiece = std::size_t{1} << 30;
  while (size > 0) {
    const std::size_t n = std::min(size, kPiece);
    g_checksum_update(static_cast<GChecksum*>(checksum_), bytes, static_cast<gssize>(n));
    bytes += n;
    size -= n;
  }
}

std::string Sha256::digest() {
  std::array<guint8, 32> out{};
  gsize length = out.size();
  g_checksum_get_digest(static_cast<GChecksum*>(checksum_), out.data(), &length);
  return std::string(reinterpret_cast<const char*>(out.data()), length);
}

std::string Sha256::Hex(std::string_view digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(digest.size() * 2);
  for (const char c : digest) {
    const auto b = static_cast<unsigned char>(c);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

HeaderFacts ReadHeaderFacts(std::string_view head, const std::string& fallbackCharset) {
  // The separator line is the mailbox's, not a header.
  const std::size_t first = head.find('\n');
  head = first == std::string_view::npos ? std::string_view() : head.substr(first + 1);

  const mapi::import::RawTextReader reader([] { return std::vector<std::string>(); },
                                           fallbackCharset);
  std::optional<std::string_view> messageId, subject, date;
  std::size_t pos = 0;
  while (pos < head.size()) {
    std::size_t end = head.find('\n', pos);
    if (end == std::string_view::npos) end = head.size();
    if (Trim(head.substr(pos, end - pos)).empty()) break;  // the blank line ends the headers
    // A header runs on over the lines that begin with a blank.
    std::size_t next = end;
    while (next + 1 < head.size() && (head[next + 1] == ' ' || head[next + 1] == '\t')) {
      const std::size_t more = head.find('\n', next + 1);
      next = more == std::string_view::npos ? head.size() : more;
    }
    const std::string_view line = head.substr(pos, next - pos);
    pos = next + 1;
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view name = Trim(line.substr(0, colon));
    const std::string_view value = line.substr(colon + 1);
    if (NameIs(name, "Message-ID")) {
      if (!messageId) messageId = value;
    } else if (NameIs(name, "Subject")) {
      subject = value;  // the last, as the import takes it
    } else if (NameIs(name, "Date")) {
      if (!date) date = value;
    }
  }
  HeaderFacts facts;
  if (messageId) facts.messageId = reader.read(Unfolded(*messageId));
  if (subject) facts.subject = mapi::import::DecodeHeaderText(*subject, reader);
  if (date) facts.date = IsoDate(reader.read(Unfolded(*date)));
  return facts;
}

MessageFacts ReadMessageFacts(ByteWindow& window, const SearchedMailbox& mailbox,
                              const std::vector<std::int64_t>& offsets, std::size_t j,
                              const std::string& fallbackCharset) {
  const std::int64_t start = offsets.at(j);
  const std::int64_t end = j + 1 < offsets.size() ? offsets[j + 1] : mailbox.end;
  MessageFacts facts;
  facts.offset = start;
  facts.length = std::max<std::int64_t>(end - start, 0);

  // The bytes as the message cutter writes them: spaces at both ends dropped, then CR LF.
  FactsSink sink;
  WalkTrimmed(window, *mailbox.file, start, end,
              [&](std::int64_t spaces, const char* text, std::size_t size, bool, std::int64_t) {
                sink.addSpaces(spaces);
                sink.add(text, size);
              });
  sink.add("\r\n", 2);

  facts.sha256 = Sha256::Hex(sink.whole().digest());
  facts.bodyKey = sink.body().digest();
  HeaderFacts headers = ReadHeaderFacts(sink.head(), fallbackCharset);
  facts.messageId = std::move(headers.messageId);
  facts.subject = std::move(headers.subject);
  facts.date = std::move(headers.date);
  return facts;
}

}  // namespace qc
