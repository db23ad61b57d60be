// Writes a message as an Outlook .msg file: a Compound File whose storages and streams hold the
// message's properties, recipients and attachments, embedded messages included.
#pragma once

#include <string>

#include "mapi/cfb/compound_file.h"
#include "mapi/property.h"
#include "util/pending_file.h"

namespace qc::mapi::msg {

// The whole file, to a sink. Throws qc::Error.
void WriteMsg(const Message& message, Sink& sink);

// The whole file under `path`, written under a temporary name and renamed when complete, and
// on the disk when this returns; on failure nothing stands under `path` that was not there
// before. A file already at `path` is replaced only when `replace` is true; otherwise writing
// fails with EEXIST. Throws qc::Error.
void WriteMsgFile(const Message& message, const std::string& path, bool replace = true);
// The same for a file `name` of `folder`, left for the folder's flush() to put on the disk with
// the others.
void WriteMsgFile(const Message& message, const OutputFolder& folder, std::string name);

}  // namespace qc::mapi::msg
