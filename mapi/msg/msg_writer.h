// Writes a message as an Outlook .msg file: a Compound File whose storages and streams hold the
// message's properties, recipients and attachments, embedded messages included.
#pragma once

#include <string>

#include "mapi/cfb/compound_file.h"
#include "mapi/property.h"

namespace qc::mapi::msg {

// The whole file, to a sink. Throws qc::Error.
void WriteMsg(const Message& message, Sink& sink);

// The whole file under `path`, written under a temporary name and renamed when complete; on
// failure nothing stands under `path` that was not there before. Throws qc::Error.
void WriteMsgFile(const Message& message, const std::string& path);

}  // namespace qc::mapi::msg
