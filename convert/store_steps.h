// The steps of the .pst and .msg forms that go through a message store. The run calls them at
// fixed points, handing over messages already imported from the mailbox's bytes; the
// message-store library fills them in. Every step throws qc::Error on failure, naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mapi/property.h"
#include "util/error.h"

namespace qc {

// A store that can no longer be written (a full disk): no message added to it will be kept,
// and adding more is pointless.
class StoreLost : public Error {
 public:
  using Error::Error;
  // A part completed to make room for the message that found the store lost: it is whole and
  // kept, with the messages before it.
  std::string completedPart;
};

// Where a message added to a store went.
struct StoredAt {
  std::string completedPart;   // a part completed to make room for it, or empty text
  std::string store;           // the data file it is in (its path as the file was opened)
  std::string folder;          // its folder's path in the store ("Work\2003\Projects.mbx")
  std::uint64_t position = 0;  // its place among the folder's messages, from 0
  // Where a reader of the data file finds it: its node and its folder's (0 when not known).
  std::uint32_t messageId = 0;
  std::uint32_t folderId = 0;
};

class StoreSteps {
 public:
  virtual ~StoreSteps() = default;

  // .msg form, before the first mailbox: the run's one temporary store in `targetFolder`
  // ("Temp" and the local time). Returns the path of its file.
  virtual std::string openTemporaryStore(const std::string& targetFolder) = 0;
  // .pst form, per mailbox: the store file `targetFolder` + `mailboxName` + ".pst", displayed
  // as `mailboxName`. A name already taken (by an earlier store of this run, or by any file)
  // is never overwritten: the store gets " (2)", " (3)" ... before ".pst". Returns its path.
  virtual std::string openMailboxStore(const std::string& targetFolder,
                                       const std::string& mailboxName) = 0;
  // Both forms, per mailbox: the folder `storeFolderName` under the top of the store's folders.
  virtual void createMailboxFolder(const std::string& storeFolderName) = 0;
  // One store for many mailboxes: the folder `name` under the folders `parents` (made where
  // missing, shared by the mailboxes below them). A folder of that name already there (another
  // mailbox's) is not shared: this one gets " (2)", " (3)" ... Returns the folder's name.
  virtual std::string createFolderAt(const std::vector<std::string>& parents,
                                     const std::string& name) = 0;
  // .pst form, per message in mailbox order: the message (of `sourceBytes` in the mailbox) into
  // the mailbox's folder. Throws StoreLost when the store cannot be written any more, qc::Error
  // when only the message is refused. When stores are kept below a size and this message would
  // take the store past it, the store is completed first and the message goes on in the next
  // part (" (part 2)", " (part 3)" ...), which gets the same folders. Returns where the message
  // went, and the path of a part completed for it.
  virtual StoredAt addMessage(const mapi::Message& message, std::uint64_t sourceBytes) = 0;
  // Completes the open store's file (.pst form: after a mailbox's last message; .msg form: after
  // the last mailbox). Returns its path: the one the opening gave, or the next free name when
  // another program took that one meanwhile.
  virtual std::string closeStore() = 0;
  // Instead of closing: the mailbox could not be read, so its store is not written at all and
  // its name is free again.
  virtual void dropStore() = 0;
};

}  // namespace qc
