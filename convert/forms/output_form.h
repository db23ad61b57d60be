// One output form as the conversion run drives it: a table of operations called at fixed points
// of the run. The run never asks which form it drives; adding a form is one more of these.
//
// The operations that open stores throw qc::Error when the store cannot be made, which stops the
// run; the others throw qc::Error for a failure the run counts and goes on from.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert/form.h"
#include "convert/mailbox_paths.h"
#include "convert/message_jobs.h"
#include "convert/message_writer_pool.h"
#include "convert/run_request.h"
#include "convert/store_steps.h"

namespace qc {

class OutputForm {
 public:
  virtual ~OutputForm() = default;
  virtual Form form() const = 0;

  // Whether store files go straight into the target folder (what killed runs left there is
  // swept first).
  virtual bool writesStores() const { return false; }
  // Before the first mailbox: a store the whole run writes through. Its path, or "" for none.
  virtual std::string openRun(const std::string& /*targetFolder*/) { return {}; }
  // Whether each mailbox gets a store of its own, opened by openMailbox().
  virtual bool storePerMailbox() const { return false; }
  virtual void openMailbox(const std::string& /*targetFolder*/, const MailboxPaths& /*paths*/) {}
  // The mailbox's folder in the store the messages go through, when the form has one.
  virtual void addStoreFolder(const MailboxPaths& /*paths*/) {}

  // Whether messages are written as files into the mailbox's output folder.
  virtual bool writesMessageFiles() const { return true; }
  // The job that does one message on a worker thread; `folder` is the mailbox's output folder
  // (null when the form writes no message files).
  virtual MessageJobFactory jobs(const SearchedMailbox& mailbox,
                                 const std::vector<std::int64_t>& offsets,
                                 const OutputFolder* folder) const = 0;
  // How far the workers may run ahead of the run.
  virtual PoolLead lead() const { return {}; }
  // The run takes a message's outcome, in message order. Throws StoreLost when the mailbox's
  // store can no longer be written, qc::Error when only this message is refused. Returns where
  // the message went in a store (nothing for forms that keep none).
  virtual StoredAt accept(MessageOutcome& /*outcome*/) { return {}; }

  // The mailbox's own store: completed (returns its path), or dropped unwritten.
  virtual std::string closeMailbox() { return {}; }
  virtual void dropMailbox() {}
  // After the last mailbox: completes the run's store (returns its path).
  virtual std::string finishRun() { return {}; }
  // The run was stopped: a store still open is dropped, leaving nothing under its name.
  virtual void dropStores() {}
  // Whether the messages counted as written live in the run's store (its loss loses them).
  virtual bool messagesInRunStore() const { return false; }
};

// The table of the request's form. `stores` serves the forms that go through a message store;
// without it those stop at their first store step.
std::unique_ptr<OutputForm> MakeOutputForm(const RunRequest& request, StoreSteps* stores,
                                           PathStyle style);

std::unique_ptr<OutputForm> MakeEmlForm(const RunRequest& request);
std::unique_ptr<OutputForm> MakeEmlxForm(const RunRequest& request);
std::unique_ptr<OutputForm> MakeMsgForm(StoreSteps* stores, const RunRequest& request);
std::unique_ptr<OutputForm> MakePstForm(StoreSteps* stores, const RunRequest& request);
std::unique_ptr<OutputForm> MakeSingleStoreForm(StoreSteps* stores, const RunRequest& request,
                                                PathStyle style);

}  // namespace qc
