// The message-store library as the program uses it: create an Outlook data file, add folders,
// add messages from RFC 822 bytes (or from the property model), close it; or write one message
// as an Outlook .msg file. The import turns the bytes into the property model here, and the
// format writers below (pst/, msg/) only ever see the model.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/property.h"
#include "mapi/pst/messaging/pst_store.h"
#include "mapi/sink.h"

namespace qc::mapi {

using pst::FixedSources;
using pst::FolderId;
using pst::StoreError;
using pst::StoreOptions;

// The message of RFC 822 bytes as Outlook keeps it in a data file: no RTF body beside the HTML
// or text, PR_MESSAGE_FLAGS set as SetMessageFlags() does. The import's warnings go to
// `warnings`, when given.
std::unique_ptr<Message> ImportForStore(std::shared_ptr<const ByteSource> bytes, std::int32_t flags,
                                        std::vector<std::string>* warnings = nullptr);
std::unique_ptr<Message> ImportForStore(std::string_view bytes, std::int32_t flags,
                                        std::vector<std::string>* warnings = nullptr);

// An Outlook data file being written: see pst::PstStore for what each step guarantees (a file
// under a temporary name until close(), nothing left under the final name after a failure).
class StoreFile {
 public:
  // A store file at `path`. Throws StoreError.
  static std::unique_ptr<StoreFile> Create(const std::string& path, std::string displayName,
                                           StoreOptions options = {});
  // A store written to any sink (memory, for tests); `path` only names it in errors.
  StoreFile(PositionedSink& sink, std::string displayName, StoreOptions options = {},
            std::string path = {});

  // A mail folder under the top of the folder tree, or under `parent`. Throws StoreError.
  FolderId addFolder(const std::string& name, std::optional<FolderId> parent = {});
  // The folder named `name` (taken whole) right under the top of the tree, or under `parent`.
  std::optional<FolderId> childFolder(std::string_view name,
                                      std::optional<FolderId> parent = {}) const;
  // A folder by its path ("Inbox\Sub", or "\\Store\Inbox" as Outlook writes it).
  std::optional<FolderId> findFolder(std::string_view path) const;

  // Adds a message of the model; returns its number. Throws StoreError.
  std::uint64_t addMessage(FolderId folder, const Message& message);
  // Imports RFC 822 bytes as ImportForStore() does and adds the message, which is returned.
  std::unique_ptr<Message> addMessageFromRfc822(FolderId folder,
                                                std::shared_ptr<const ByteSource> bytes,
                                                std::int32_t flags,
                                                std::vector<std::string>* warnings = nullptr);
  std::unique_ptr<Message> addMessageFromRfc822(FolderId folder, std::string_view bytes,
                                                std::int32_t flags,
                                                std::vector<std::string>* warnings = nullptr);

  std::uint64_t messageCount() const { return store_->messageCount(); }
  // The node identifier of the message added last, as a reader of the file finds it.
  std::uint32_t lastMessageId() const { return store_->lastMessageId(); }
  // About the size of the file if it were closed after `more` bytes more were written.
  std::uint64_t sizeWith(std::uint64_t more) const { return store_->sizeWith(more); }
  // A write failed: nothing more can be added, and close() fails; the file is not kept.
  bool broken() const { return store_->broken(); }
  // The file's path; after close(), the name it was given.
  const std::string& path() const { return store_->path(); }
  const std::string& displayName() const { return store_->displayName(); }

  // Completes the file and renames it into place. Throws StoreError.
  void close();

  // The writer itself, for what the steps above do not cover (its model, for tests).
  pst::PstStore& writer() { return *store_; }
  const pst::PstStore& writer() const { return *store_; }

 private:
  explicit StoreFile(std::unique_ptr<pst::PstStore> store) : store_(std::move(store)) {}
  std::unique_ptr<pst::PstStore> store_;
};

// Imports RFC 822 bytes as a .msg file carries a message (with its RTF body), sets
// PR_MESSAGE_FLAGS, hands the import's warnings to `onWarnings` (when given) before anything is
// written, and writes the message to `path` under a temporary name, renamed when complete. A
// file already at `path` is replaced only when `replace` is true. Returns the message written.
// Throws qc::Error.
std::unique_ptr<Message> WriteMsgFromRfc822(
    std::shared_ptr<const ByteSource> bytes, const std::string& path, std::int32_t flags,
    bool replace = true,
    const std::function<void(const std::vector<std::string>&)>& onWarnings = {});

}  // namespace qc::mapi
