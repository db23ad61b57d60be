// What the run does with one message of a mailbox, on whichever thread does it: write it as a
// message file (.eml, .emlx), import it for a store (.pst), or import it and write it as an
// Outlook .msg file. One job object per thread; each reads the searched mailbox through its own
// read window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "convert/form.h"
#include "convert/message_cutter.h"
#include "convert/read_back.h"
#include "mapi/property.h"
#include "util/failure.h"
#include "util/pending_file.h"

namespace qc {

struct MessageFacts;

// Removes the file a job wrote, for an outcome the run never takes (it was stopped first): a
// stopped run leaves exactly the files it counted. Empty when no file was written; a move
// leaves the source empty, so only the last holder can remove the file. Made for every message,
// so it holds the name rather than a closure that would cost an allocation.
class Withdrawal {
 public:
  Withdrawal() = default;
  Withdrawal(const OutputFolder& folder, std::string name)
      : folder_(&folder), name_(std::move(name)) {}
  Withdrawal(Withdrawal&& other) noexcept
      : folder_(std::exchange(other.folder_, nullptr)), name_(std::move(other.name_)) {}
  Withdrawal& operator=(Withdrawal&& other) noexcept {
    folder_ = std::exchange(other.folder_, nullptr);
    name_ = std::move(other.name_);
    return *this;
  }
  Withdrawal& operator=(std::nullptr_t) noexcept {
    folder_ = nullptr;
    return *this;
  }
  explicit operator bool() const { return folder_ != nullptr; }
  void operator()() const {
    if (folder_) folder_->removeFile(name_);
  }

 private:
  const OutputFolder* folder_ = nullptr;
  std::string name_;
};

struct MessageOutcome {
  bool done = false;                       // written (or imported)
  std::uint64_t bytes = 0;                 // bytes of the message written, or read for the import
  std::optional<Failure> failure;          // why not
  std::unique_ptr<mapi::Message> message;  // the imported message, for a store
  Withdrawal withdraw;
  // What the import kept in another form than the message had, for the run to warn of.
  std::vector<std::string> warnings;
  // The forms that import the message: how many attachments it has.
  std::optional<std::size_t> attachments;
  // When the run is to read its output back: what the message written holds (the forms that
  // import it), or the CRC-32 of its message file's bytes (the others).
  std::optional<ItemDigest> digest;
  std::optional<std::uint32_t> fileCrc;
  // Gathered only when the run asks for them (a manifest, the duplicate check).
  std::shared_ptr<MessageFacts> facts;
  // Not done, for its bytes are those of a message this run already wrote.
  bool duplicate = false;
};

class MessageJob {
 public:
  using ChunkProgress = MessageCutter::ChunkProgress;
  virtual ~MessageJob() = default;
  // Does message j. Failures are returned in the outcome, never thrown, but for what
  // `progress` throws (a stop), which leaves no temporary file behind.
  virtual MessageOutcome run(std::size_t j, const ChunkProgress& progress) = 0;
};

using MessageJobFactory = std::function<std::unique_ptr<MessageJob>()>;

// The message file of `form` in `folder` (email-j.eml, email-j.emlx): the message's bytes, trimmed
// of spaces, then CR LF. With `crcs`, the outcome holds the CRC-32 of the file's bytes.
MessageJobFactory MessageFileJobs(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                                  const OutputFolder& folder, Form form, bool crcs = false);

// The message imported from its bytes in the mailbox, marked read (and has-attachments where it
// has some), handed back for a store. Its text that names no charset and is not UTF-8 is read
// in `fallbackCharset`. With `digests`, the outcome holds the message's digest.
MessageJobFactory ImportJobs(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                             const std::string& fallbackCharset = "windows-1252",
                             bool digests = false);

// The message imported and marked as above, written as Email-j.msg in `folder`.
MessageJobFactory MsgFileJobs(SearchedMailbox mailbox, const std::vector<std::int64_t>& offsets,
                              const OutputFolder& folder,
                              const std::string& fallbackCharset = "windows-1252",
                              bool digests = false);

// The bytes of message j as the message file holds them, without the final CR LF: from its
// separator up to the next one, without the spaces at its end. Read into memory when the message
// is not large, read from the file where it lies otherwise. Throws qc::Error when the mailbox
// no longer holds the message whole (it shrank), as reading a larger one later does.
std::shared_ptr<const mapi::ByteSource> MessageBytes(const SearchedMailbox& mailbox,
                                                     const std::vector<std::int64_t>& offsets,
                                                     std::size_t j);

}  // namespace qc
