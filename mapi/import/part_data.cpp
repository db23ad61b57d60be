#include "mapi/import/part_data.h"

#include <algorithm>
#include <array>

#include "mapi/import/base64_decoder.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/source_stream.h"
#include "util/error.h"

namespace qc::mapi::import {

namespace {

class DecodedPart final : public ByteSource {
 public:
  // `encoded`: a stream of the part's bytes of its own, for no one else moves its position.
  DecodedPart(GPtr<GMimeStream> encoded, GMimeContentEncoding encoding)
      : encoded_(std::move(encoded)), encoding_(encoding) {
    restart();
    std::array<std::uint8_t, 1 << 16> scratch;
    while (const std::size_t n = decode(scratch.data(), scratch.size())) size_ += n;
    close();  // a message may have many attachments: no decoder waits for each
  }

  std::uint64_t size() const override { return size_; }

  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= size_) return 0;
    if (!open_ || offset < position_) restart();
    std::array<std::uint8_t, 1 << 14> scratch;
    while (position_ < offset) {
      const auto skip =
          static_cast<std::size_t>(std::min<std::uint64_t>(scratch.size(), offset - position_));
      if (decode(scratch.data(), skip) == 0) return 0;
    }
    const std::size_t got =
        decode(out, static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset)));
    if (position_ >= size_) close();
    return got;
  }

 private:
  bool base64() const { return encoding_ == GMIME_CONTENT_ENCODING_BASE64; }

  void restart() const {
    if (g_mime_stream_reset(encoded_.get()) != 0) fail();
    if (base64()) {
      base64_ = Base64Decoder();
      waiting_.clear();
      waitingAt_ = 0;
    } else {
      decoded_ = NewDecodingStream(encoded_.get(), encoding_);
    }
    position_ = 0;
    open_ = true;
  }

  void close() const {
    decoded_.reset();
    waiting_ = Bytes();
    open_ = false;
  }

  // The next up to n decoded bytes; fewer only where the content ends.
  std::size_t decode(std::uint8_t* out, std::size_t n) const {
    const std::size_t done = base64() ? decodeBase64(out, n) : decodeByGMime(out, n);
    position_ += done;
    return done;
  }

  std::size_t decodeByGMime(std::uint8_t* out, std::size_t n) const {
    std::size_t done = 0;
    while (done < n && !g_mime_stream_eos(decoded_.get())) {
      const ssize_t got =
          g_mime_stream_read(decoded_.get(), reinterpret_cast<char*>(out + done), n - done);
      if (got < 0) fail();
      done += static_cast<std::size_t>(got);
    }
    return done;
  }

  // Base64 is decoded here, as GMime's filter would decode it, a piece of the encoded bytes at
  // a time: what a piece gives beyond what was asked for waits for the next call.
  std::size_t decodeBase64(std::uint8_t* out, std::size_t n) const {
    std::size_t done = 0;
    while (done < n) {
      if (waitingAt_ == waiting_.size()) {
        if (g_mime_stream_eos(encoded_.get())) break;
        std::array<char, 1 << 14> piece;
        const ssize_t got = g_mime_stream_read(encoded_.get(), piece.data(), piece.size());
        if (got < 0) fail();
        if (got == 0) break;
        waiting_.resize(static_cast<std::size_t>(got) + 3);
        waiting_.resize(base64_.step(piece.data(), static_cast<std::size_t>(got), waiting_.data()));
        waitingAt_ = 0;
        continue;
      }
      const std::size_t take = std::min(n - done, waiting_.size() - waitingAt_);
      std::copy_n(waiting_.data() + waitingAt_, take, out + done);
      waitingAt_ += take;
      done += take;
    }
    return done;
  }

  [[noreturn]] void fail() const {
    RethrowReadFailure(encoded_.get());
    throw Error("cannot read the data of an attachment from its message");
  }

  GPtr<GMimeStream> encoded_;
  GMimeContentEncoding encoding_;
  std::uint64_t size_ = 0;
  mutable bool open_ = false;
  mutable std::uint64_t position_ = 0;
  mutable GPtr<GMimeStream> decoded_;  // GMime's decoding of encodings other than base64
  mutable Base64Decoder base64_;
  mutable Bytes waiting_;  // decoded base64 not yet read
  mutable std::size_t waitingAt_ = 0;
};

}  // namespace

std::shared_ptr<const ByteSource> PartData(GMimePart* part) {
  EncodedContent content = EncodedContentOf(part);
  if (!content.stream) return std::make_shared<MemorySource>(Bytes());
  return std::make_shared<DecodedPart>(std::move(content.stream), content.encoding);
}

std::shared_ptr<const ByteSource> AttachmentData(GMimePart* part, std::uint64_t& held) {
  // Decoding never gives more bytes than the part takes encoded.
  const std::uint64_t most = EncodedSizeOf(part);
  if (most > kHeldAttachmentBytes - std::min(held, kHeldAttachmentBytes)) return PartData(part);
  Bytes bytes = DecodedContent(part);
  held += bytes.size();
  return std::make_shared<MemorySource>(std::move(bytes));
}

}  // namespace qc::mapi::import
