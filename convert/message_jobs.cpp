#include "convert/message_jobs.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "mapi/import/library_messages.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"
#include "util/error.h"

namespace qc {

namespace {

// The read flag, and has-attachments kept only where the message has some.
constexpr std::int32_t kMessageFlags = 17;

// Messages up to this size are read whole, in one read, and imported from memory: the import
// and the writer go over a message's bytes several times (its start, the parse, each body and
// attachment), and each of those would be reads of the file.
constexpr std::int64_t kReadWhole = std::int64_t{1} << 20;

Failure MessageFailure(const SearchedMailbox& mailbox, const std::vector<std::int64_t>& offsets,
                       std::size_t j, const std::exception& e) {
  const auto* error = dynamic_cast<const Error*>(&e);
  return Failure::AtMessage({j, offsets.at(j), mailbox.file->path()}, e.what(),
                            error ? error->code() : 0);
}

Error Shrank(const MailboxFile& file, std::int64_t messageEnd) {
  return Error("the mailbox shrank during the run to " + std::to_string(file.size()) +
               " bytes and no longer holds the message whole (it ended at byte " +
               std::to_string(messageEnd) + ")");
}

// A range of the searched mailbox file, read where it lies: the import parses it in place and
// attachments decode from it when they are written. Holds the file open while anything reads.
class MailboxSlice final : public mapi::ByteSource {
 public:
  MailboxSlice(std::shared_ptr<const MailboxFile> file, std::int64_t start, std::int64_t size)
      : file_(std::move(file)), start_(start), size_(size) {}
  std::uint64_t size() const override { return static_cast<std::uint64_t>(size_); }
  // The file ending before the slice does (it shrank) is an error: a message cut short must
  // not be imported as if it were whole.
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= size()) return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size() - offset));
    const std::size_t got = file_->readAt(start_ + static_cast<std::int64_t>(offset), out, n);
    if (got < n) throw Shrank(*file_, start_ + size_);
    return got;
  }

 private:
  std::shared_ptr<const MailboxFile> file_;
  std::int64_t start_;
  std::int64_t size_;
};

// A message read whole into memory. Its buffer is not cleared first: the read fills it.
class MessageInMemory final : public mapi::ByteSource {
 public:
  explicit MessageInMemory(std::size_t capacity)
      : bytes_(std::make_unique_for_overwrite<std::uint8_t[]>(capacity)) {}
  std::uint8_t* buffer() { return bytes_.get(); }
  void setSize(std::size_t size) { size_ = size; }

  std::uint64_t size() const override { return size_; }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= size_) return 0;
    n = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    std::memcpy(out, bytes_.get() + offset, n);
    return n;
  }
  const std::uint8_t* data() const override { return bytes_.get(); }

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::size_t size_ = 0;
};

class MessageFileJob final : public MessageJob {
 public:
  MessageFileJob(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                 const OutputFolder& folder, Form form, bool crc)
      : mailbox_(mailbox),
        offsets_(offsets),
        cutter_(std::move(mailbox), offsets),
        folder_(folder),
        form_(form),
        crc_(crc) {
    if (crc) cutter_.computeCrc();
  }

  MessageOutcome run(std::size_t j, const ChunkProgress& progress) override {
    MessageOutcome outcome;
    try {
      CutResult cut = cutter_.write(j, folder_, MessageFileName(form_, j), progress);
      outcome.done = true;
      outcome.bytes = cut.bytes;
      if (crc_) outcome.fileCrc = cut.crc;
      outcome.withdraw = Withdrawal(folder_, std::move(cut.name));
    } catch (const Error& e) {
      outcome.failure = MessageFailure(mailbox_, offsets_, j, e);
    }
    return outcome;
  }

 private:
  SearchedMailbox mailbox_;
  const std::vector<std::int64_t>& offsets_;
  MessageCutter cutter_;
  const OutputFolder& folder_;
  Form form_;
  bool crc_;
};

class ImportJob : public MessageJob {
 public:
  ImportJob(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
            mapi::ImportOptions options, bool digest)
      : mailbox_(std::move(mailbox)), offsets_(offsets), options_(options), digest_(digest) {}

  MessageOutcome run(std::size_t j, const ChunkProgress&) override {
    MessageOutcome outcome;
    // What the mail libraries say while the message is imported and written is said of it.
    const mapi::LibraryMessageScope libraries(&outcome.warnings);
    try {
      const auto bytes = MessageBytes(mailbox_, offsets_, j);
      outcome.bytes = bytes->size();
      outcome.message = mapi::ImportRfc822(bytes, options_, &outcome.warnings);
      mapi::SetMessageFlags(*outcome.message, kMessageFlags);
      outcome.attachments = outcome.message->attachments.size();
      if (digest_) outcome.digest = DigestOf(*outcome.message);
      finish(j, outcome);
      outcome.done = true;
    } catch (const std::exception& e) {
      outcome.message.reset();
      outcome.warnings.clear();
      outcome.failure = MessageFailure(mailbox_, offsets_, j, e);
    }
    return outcome;
  }

 protected:
  virtual void finish(std::size_t, MessageOutcome&) {}

 private:
  SearchedMailbox mailbox_;
  const std::vector<std::int64_t>& offsets_;
  mapi::ImportOptions options_;
  bool digest_;
};

class MsgFileJob final : public ImportJob {
 public:
  MsgFileJob(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
             const OutputFolder& folder, const std::string& fallbackCharset, bool digest)
      : ImportJob(std::move(mailbox), offsets,
                  mapi::ImportOptions{.rtfBody = true, .fallbackCharset = fallbackCharset}, digest),
        folder_(folder) {}

 private:
  void finish(std::size_t j, MessageOutcome& outcome) override {
    std::string name = MessageFileName(Form::MSG, j);
    mapi::msg::WriteMsgFile(*outcome.message, folder_, name);
    outcome.message.reset();  // written; nothing more to do with it
    outcome.withdraw = Withdrawal(folder_, std::move(name));
  }

  const OutputFolder& folder_;
};

}  // namespace

std::shared_ptr<const mapi::ByteSource> MessageBytes(const SearchedMailbox& mailbox,
                                                     const std::vector<std::int64_t>& offsets,
                                                     std::size_t j) {
  const std::int64_t start = offsets.at(j);
  std::int64_t end = j + 1 < offsets.size() ? offsets[j + 1] : mailbox.end;
  // Spaces at the end are not part of the message file either.
  if (end - start <= kReadWhole) {
    const auto size = static_cast<std::size_t>(std::max<std::int64_t>(end - start, 0));
    auto message = std::make_shared<MessageInMemory>(size);
    std::uint8_t* bytes = message->buffer();
    if (mailbox.file->readAt(start, bytes, size) < size) throw Shrank(*mailbox.file, end);
    std::size_t kept = size;
    while (kept > 0 && bytes[kept - 1] == ' ') --kept;
    message->setSize(kept);
    return message;
  }
  // The few bytes before the end of a larger message tell where they begin.
  std::uint8_t tail[256];
  while (end > start) {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(end - start, sizeof tail));
    const std::size_t got = mailbox.file->readAt(end - static_cast<std::int64_t>(want), tail, want);
    if (got < want) throw Shrank(*mailbox.file, end);
    std::size_t keep = want;
    while (keep > 0 && tail[keep - 1] == ' ') --keep;
    end -= static_cast<std::int64_t>(want - keep);
    if (keep > 0) break;
  }
  return std::make_shared<MailboxSlice>(mailbox.file, start, end - start);
}

MessageJobFactory MessageFileJobs(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                                  const OutputFolder& folder, Form form, bool crcs) {
  return [=, &offsets, &folder] {
    return std::make_unique<MessageFileJob>(mailbox, offsets, folder, form, crcs);
  };
}

MessageJobFactory ImportJobs(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                             const std::string& fallbackCharset, bool digests) {
  // Outlook's data files keep no RTF beside the HTML or text body; making it would cost a
  // sixth of the import for bytes no reader of the store needs.
  const mapi::ImportOptions options{.rtfBody = false, .fallbackCharset = fallbackCharset};
  return [=, &offsets] { return std::make_unique<ImportJob>(mailbox, offsets, options, digests); };
}

MessageJobFactory MsgFileJobs(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                              const OutputFolder& folder, const std::string& fallbackCharset,
                              bool digests) {
  return [=, &offsets, &folder] {
    return std::make_unique<MsgFileJob>(mailbox, offsets, folder, fallbackCharset, digests);
  };
}

}  // namespace qc
