#include "mapi/import/streamed_text.h"

#include <glib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "mapi/import/html_text.h"
#include "mapi/import/text_decode.h"
#include "mapi/text.h"
#include "util/error.h"

namespace qc::mapi::import {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 16;

// A UTF-8 sequence is at most this long: a sequence that fails with fewer bytes left may only be
// cut off by the end of a piece, and waits for the next.
constexpr std::size_t kLongestSequence = 4;

// RepairUtf8 over text that arrives in pieces: valid UTF-8 sequences kept, each stray byte read
// as windows-1252; `out` null only checks.
class Utf8Repair {
 public:
  void feed(std::string_view in, bool last, std::string* out) {
    std::string joined;
    if (!carry_.empty()) {
      joined = carry_ + std::string(in);
      carry_.clear();
      in = joined;
    }
    while (!in.empty()) {
      const std::size_t ascii = AsciiPrefix(in);
      if (out != nullptr) out->append(in.substr(0, ascii));
      in.remove_prefix(ascii);
      if (in.empty()) break;
      std::size_t n = 0;
      if (NextUtf8(in, n)) {
        if (out != nullptr) out->append(in.substr(0, n));
      } else if (!last && in.size() < kLongestSequence) {
        carry_.assign(in);
        return;
      } else {
        invalid_ = true;
        if (out != nullptr) AppendWindows1252(*out, static_cast<unsigned char>(in[0]));
      }
      in.remove_prefix(n);
    }
  }
  // Whether any byte was not part of a valid sequence.
  bool invalid() const { return invalid_; }

 private:
  std::string carry_;
  bool invalid_ = false;
};

// g_convert() to UTF-8 over pieces: a character cut by the end of a piece waits for the next; a
// byte sequence the charset does not have, or one cut by the end of the text, is a failure, as
// it is for g_convert().
class IconvReader {
 public:
  explicit IconvReader(const std::string& charset) : cd_(g_iconv_open("UTF-8", charset.c_str())) {
    if (cd_ == reinterpret_cast<GIConv>(-1)) failed_ = true;
  }
  ~IconvReader() {
    if (cd_ != reinterpret_cast<GIConv>(-1)) g_iconv_close(cd_);
  }
  IconvReader(const IconvReader&) = delete;
  IconvReader& operator=(const IconvReader&) = delete;

  void feed(std::string_view in, bool last, std::string& out) {
    if (failed_) return;
    std::string input = carry_ + std::string(in);
    carry_.clear();
    gchar* from = input.data();
    gsize left = input.size();
    char buffer[16384];
    while (left > 0) {
      gchar* to = buffer;
      gsize room = sizeof buffer;
      const gsize done = g_iconv(cd_, &from, &left, &to, &room);
      out.append(buffer, static_cast<std::size_t>(to - buffer));
      if (done != static_cast<gsize>(-1)) continue;
      if (errno == E2BIG) continue;
      if (errno == EINVAL && !last) {
        carry_.assign(from, left);
        return;
      }
      failed_ = true;
      return;
    }
    if (last) {
      // The shift sequence that ends a stateful charset.
      gchar* to = buffer;
      gsize room = sizeof buffer;
      if (g_iconv(cd_, nullptr, nullptr, &to, &room) == static_cast<gsize>(-1)) failed_ = true;
      out.append(buffer, static_cast<std::size_t>(to - buffer));
    }
  }
  bool failed() const { return failed_; }

 private:
  GIConv cd_;
  std::string carry_;
  bool failed_ = false;
};

// How the bytes become UTF-8, once known for the whole text.
enum class Reading { Windows1252, Utf8, Iconv };

// The bytes of the text in, its form out: charset to UTF-8, then for a body (from HTML, its
// text) line ends and NULs as ToCrlf() makes them, and UTF-16.
class TextConverter {
 public:
  TextConverter(Reading reading, const std::string& iconvName, TextForm form)
      : reading_(reading), form_(form) {
    if (reading_ == Reading::Iconv) iconv_ = std::make_unique<IconvReader>(iconvName);
  }

  void feed(std::string_view in, bool last, Bytes& out) {
    utf8_.clear();
    switch (reading_) {
      case Reading::Windows1252:
        for (const char c : in) AppendWindows1252(utf8_, static_cast<unsigned char>(c));
        break;
      case Reading::Utf8:
        repair_.feed(in, last, &utf8_);
        break;
      case Reading::Iconv:
        converted_.clear();
        iconv_->feed(in, last, converted_);
        repair_.feed(converted_, last, &utf8_);
        break;
    }
    if (form_ == TextForm::Utf8) {
      out.insert(out.end(), utf8_.begin(), utf8_.end());
      return;
    }
    std::string_view text = utf8_;
    if (form_ == TextForm::HtmlBody) {
      html_.clear();
      htmlText_.feed(utf8_, last, html_);
      text = html_;
    }
    lines_.clear();
    lines_.reserve(text.size() + text.size() / 32);
    for (const char c : text) {
      if (c == '\n' && !(started_ && previous_ == '\r')) lines_ += '\r';
      if (c != '\0') lines_ += c;
      previous_ = c;
      started_ = true;
    }
    AppendUtf16Le(out, lines_);
  }
  bool failed() const { return iconv_ && iconv_->failed(); }

 private:
  Reading reading_;
  TextForm form_;
  Utf8Repair repair_;
  std::unique_ptr<IconvReader> iconv_;
  HtmlToTextStream htmlText_;
  std::string converted_;
  std::string utf8_;
  std::string html_;
  std::string lines_;
  char previous_ = 0;
  bool started_ = false;
};

class StreamedTextSource final : public ByteSource {
 public:
  StreamedTextSource(std::shared_ptr<const ByteSource> decoded, std::string_view charset,
                     TextForm form, std::string_view fallback)
      : decoded_(std::move(decoded)), form_(form) {
    const CharsetReading reading = ReadingOf(charset, iconvName_);
    reading_ = reading == CharsetReading::Windows1252 ? Reading::Windows1252
               : reading == CharsetReading::Iconv     ? Reading::Iconv
                                                      : Reading::Utf8;
    // A guess is UTF-8 when the whole text is, and so is what follows a charset the text turns
    // out not to fit: one pass tells, and counts the size on the way when it was right.
    const bool guess = reading == CharsetReading::Guess;
    bool invalid = false;
    bool failed = false;
    size_ = count(guess || reading_ == Reading::Iconv ? &invalid : nullptr, &failed);
    if (!failed && !(guess && invalid)) return;
    if (!invalid) {
      reading_ = Reading::Utf8;
      size_ = count(nullptr, nullptr);
      return;
    }
    // Not UTF-8: the fallback charset, or windows-1252 where the text does not fit that.
    const CharsetReading second = ReadingOf(fallback, iconvName_);
    reading_ = second == CharsetReading::Iconv  ? Reading::Iconv
               : second == CharsetReading::Utf8 ? Reading::Utf8
                                                : Reading::Windows1252;
    size_ = count(nullptr, &failed);
    if (failed) {
      reading_ = Reading::Windows1252;
      size_ = count(nullptr, nullptr);
    }
  }

  std::uint64_t size() const override { return size_; }

  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= size_) return 0;
    if (!converter_ || offset < pendingAt_) restart();
    std::size_t done = 0;
    while (done < n && offset + done < size_) {
      const std::uint64_t at = offset + done;
      if (at < pendingAt_ + pending_.size()) {
        const auto from = static_cast<std::size_t>(at - pendingAt_);
        const std::size_t k = std::min(n - done, pending_.size() - from);
        std::memcpy(out + done, pending_.data() + from, k);
        done += k;
        continue;
      }
      pendingAt_ += pending_.size();
      pending_.clear();
      if (!produce()) break;
    }
    return done;
  }

 private:
  // The size of the converted text; `invalid` learns whether the bytes are all valid UTF-8,
  // `failed` whether iconv could not convert them.
  std::uint64_t count(bool* invalid, bool* failed) const {
    TextConverter converter(reading_, iconvName_, form_);
    Utf8Repair check;
    std::string piece(kPiece, '\0');
    Bytes out;
    std::uint64_t total = 0;
    for (std::uint64_t at = 0;;) {
      const std::size_t got = next(at, piece);
      const bool last = got == 0 || at + got >= decoded_->size();
      const std::string_view in(piece.data(), got);
      if (invalid != nullptr) check.feed(in, last, nullptr);
      converter.feed(in, last, out);
      total += out.size();
      out.clear();
      at += got;
      if (last) break;
    }
    if (invalid != nullptr) *invalid = check.invalid();
    if (failed != nullptr) *failed = converter.failed();
    return total;
  }

  std::size_t next(std::uint64_t at, std::string& piece) const {
    if (at >= decoded_->size()) return 0;
    return decoded_->read(at, reinterpret_cast<std::uint8_t*>(piece.data()), piece.size());
  }

  void restart() const {
    converter_ = std::make_unique<TextConverter>(reading_, iconvName_, form_);
    inputAt_ = 0;
    pending_.clear();
    pendingAt_ = 0;
    ended_ = false;
  }

  // Converts the next piece of input; false when there is no more.
  bool produce() const {
    if (ended_) return false;
    piece_.resize(kPiece);
    const std::size_t got = next(inputAt_, piece_);
    ended_ = got == 0 || inputAt_ + got >= decoded_->size();
    converter_->feed(std::string_view(piece_.data(), got), ended_, pending_);
    inputAt_ += got;
    return true;
  }

  std::shared_ptr<const ByteSource> decoded_;
  TextForm form_;
  std::string iconvName_;
  Reading reading_ = Reading::Utf8;
  std::uint64_t size_ = 0;
  // Where the reading stands: the converter, how far into `decoded_` it has read, and the
  // output it has made that was not yet read past, which begins at pendingAt_.
  mutable std::unique_ptr<TextConverter> converter_;
  mutable std::uint64_t inputAt_ = 0;
  mutable std::string piece_;
  mutable Bytes pending_;
  mutable std::uint64_t pendingAt_ = 0;
  mutable bool ended_ = false;
};

}  // namespace

std::shared_ptr<const ByteSource> StreamedText(std::shared_ptr<const ByteSource> decoded,
                                               std::string_view charset, TextForm form,
                                               std::string_view fallback) {
  return std::make_shared<StreamedTextSource>(std::move(decoded), charset, form, fallback);
}

bool IsValidUtf8Source(const ByteSource& bytes) {
  Utf8Repair check;
  std::string piece(kPiece, '\0');
  for (std::uint64_t at = 0;;) {
    const std::size_t got =
        at < bytes.size() ? bytes.read(at, reinterpret_cast<std::uint8_t*>(piece.data()), kPiece)
                          : 0;
    const bool last = got == 0 || at + got >= bytes.size();
    check.feed(std::string_view(piece.data(), got), last, nullptr);
    if (check.invalid()) return false;
    at += got;
    if (last) return true;
  }
}

}  // namespace qc::mapi::import
