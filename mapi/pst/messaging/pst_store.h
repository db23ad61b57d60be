// The store API: an Outlook data file (.pst) written from scratch, as the conversion needs it.
// Create a store with a display name, add mail folders under the top of its folder tree, find
// them again by path, add messages of the property model, close.
// Messages are written as they come; close() writes the folders, the B-trees and the header and
// gives the file its final name. Until then the file has a temporary name, and a store that is
// destroyed without close() (after a failure) leaves nothing under the final name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/file_sink.h"
#include "mapi/property.h"
#include "mapi/sink.h"
#include "mapi/store.h"
#include "util/error.h"

namespace qc::mapi::pst {

// A failure of the store: what, on which file, and for which message (0-based, in the order
// the messages were added) when a message was being added. The text counts messages from 1,
// as people do.
class StoreError : public Error {
 public:
  StoreError(std::string message, std::string path, std::optional<std::uint64_t> messageNumber,
             int code = 0)
      : Error(std::move(message), code), path_(std::move(path)), messageNumber_(messageNumber) {}
  const std::string& path() const { return path_; }
  std::optional<std::uint64_t> messageNumber() const { return messageNumber_; }

 private:
  std::string path_;
  std::optional<std::uint64_t> messageNumber_;
};

// Where times and identifiers come from; tests inject fixed ones so that stores compare byte
// for byte.
struct StoreOptions {
  std::function<FileTime()> clock;  // default: the system clock
  std::function<Guid()> newGuid;    // default: random (record keys, search keys)
  // Whether close() may replace a file already at the store's path. Off, closing fails with
  // EEXIST rather than touch what is there, unless `pathWhenTaken` is given.
  bool replaceExisting = true;
  // With replaceExisting off: another path in the same folder for the store, asked when its
  // path was taken by someone else while the store was written (another run into the same
  // folder). Asked again as long as the paths it gives are taken; path() names the one used.
  std::function<std::string()> pathWhenTaken;
};

// Sources that make a store the same byte for byte on every run and every system: the clock
// stopped at `when`, GUIDs counted from 1.
StoreOptions FixedSources(FileTime when);

using FolderId = std::uint32_t;  // the folder's node identifier

// The store of the property model (its folder tree and its named-property map) written as an
// Outlook data file.
class PstStore {
 public:
  // A store file at `path`. Throws StoreError.
  static std::unique_ptr<PstStore> Create(const std::string& path, std::string displayName,
                                          StoreOptions options = {});
  // A store written to any sink (memory, for tests); `path` only names it in errors.
  PstStore(PositionedSink& sink, std::string displayName, StoreOptions options = {},
           std::string path = {});
  ~PstStore();
  PstStore(const PstStore&) = delete;
  PstStore& operator=(const PstStore&) = delete;

  const std::string& displayName() const { return model_.displayName(); }
  // The model: the folder tree below the top of the store, and the named-property map.
  const Store& model() const { return model_; }
  const std::string& path() const { return path_; }

  // A mail folder (container class IPF.Note) under the top of the folder tree, or under
  // `parent`. Throws StoreError when the parent already has a folder of that name.
  FolderId addMailFolder(const std::string& name, std::optional<FolderId> parent = {});
  // A folder by its path below the top of the folder tree: "Inbox", "Inbox\Sub", or with the
  // store's display name in front as Outlook writes it: "\\Store\Inbox". Names compare
  // without regard to ASCII case.
  std::optional<FolderId> findFolder(std::string_view path) const;
  // The folder named `name` right under the top of the folder tree, or under `parent`: the name
  // is taken whole, separators and all (a mailbox named a\b.mbx on POSIX gives one folder).
  std::optional<FolderId> childFolder(std::string_view name,
                                      std::optional<FolderId> parent = {}) const;

  // Adds a message; returns its number. A message the file cannot hold is refused with a
  // StoreError before anything of it is written, and the store stays usable; a failure to
  // write (a full disk) leaves the store unusable.
  std::uint64_t addMessage(FolderId folder, const Message& message);
  std::uint64_t messageCount() const { return messages_; }
  // The node identifier of the message added last (0 before the first): where a reader of the
  // file finds it.
  std::uint32_t lastMessageId() const { return lastMessageId_; }
  // About the size of the file if it were closed after `more` bytes more were written: the file
  // ends where the allocation map range of its last byte ends.
  std::uint64_t sizeWith(std::uint64_t more) const;
  // A write failed: nothing more can be added, and close() fails; the file is not kept.
  bool broken() const { return broken_; }

  // Completes the file and, for a store file, puts it on the disk and renames it into place
  // (path() then names the file written). Throws StoreError.
  void close();

 private:
  class Impl;
  void fail(const std::exception& e, std::optional<std::uint64_t> message);
  std::optional<FolderId> idOf(const Folder* folder) const;

  std::unique_ptr<FileSink> file_;
  Store model_;
  std::string path_;
  std::unique_ptr<Impl> impl_;
  std::uint64_t messages_ = 0;
  std::uint32_t lastMessageId_ = 0;
  bool broken_ = false;
  bool closed_ = false;
};

// A whole store of the model, its folders' messages pulled from their sources one at a time,
// written to `path`. Throws StoreError.
void WritePstFile(const Store& store, const std::string& path, StoreOptions options = {});

}  // namespace qc::mapi::pst
