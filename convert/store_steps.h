// The steps of the .pst and .msg forms that go through a message store. The run calls them at
// fixed points; the message-store library fills them in. Every step throws qc::Error on failure.
#pragma once

#include <string>

namespace qc {

class StoreSteps {
 public:
  virtual ~StoreSteps() = default;

  // .msg form, before the first mailbox: the run's one temporary store in `targetFolder`.
  virtual void openTemporaryStore(const std::string& targetFolder) = 0;
  // .pst form, per mailbox: the store file `targetFolder` + `mailboxName` + ".pst".
  virtual void openMailboxStore(const std::string& targetFolder,
                                const std::string& mailboxName) = 0;
  // Both forms, per mailbox: the folder `storeFolderName` under the store's root.
  virtual void createMailboxFolder(const std::string& storeFolderName) = 0;
  // .pst form, per message: imports the intermediate file into the folder and deletes the file.
  virtual void importMessage(const std::string& emlPath) = 0;
  // .msg form, per message: imports the intermediate file, writes `msgPath`, deletes the file.
  virtual void saveMessageAsMsg(const std::string& emlPath, const std::string& msgPath) = 0;
  // .pst form, after a mailbox's last message.
  virtual void closeMailboxStore() = 0;
  // .msg form, after the last mailbox.
  virtual void closeTemporaryStore() = 0;
};

}  // namespace qc
