// What a front end asks of a conversion run: the form, the mailboxes in order and the folder that
// receives the results.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "convert/form.h"
#include "mapi/import/charset_labels.h"

namespace qc {

// Where an Outlook data file stops being one Outlook takes well. Outlook (2010 on) warns when a
// Unicode data file passes 47.5 GB and stops it growing at 50 GB (MaxLargeFileSize, 51,200 MB;
// 20 GB in Outlook 2003 and 2007); Microsoft advises at most 100,000 items in one folder.
struct OutlookLimits {
  std::uint64_t fileBytes = 51002736640;  // 47.5 x 1024^3 bytes
  std::int64_t folderItems = 100000;
};

struct RunRequest {
  Form form = Form::EML;
  // The mailboxes as the list holds them, one row each; blank rows name no file.
  std::vector<std::string> mailboxes;
  std::string targetFolder;
  // The charset the .pst and .msg forms read text in that names none and is not UTF-8.
  std::string fallbackCharset = std::string(mapi::import::kDefaultFallbackCharset);
  // .pst form: every mailbox into this one data file (TargetFolder/NAME.pst, displayed as NAME),
  // each a folder nested under folders named after the directories between the mailboxes' common
  // parent and the mailbox. Empty: a data file per mailbox.
  std::string singleStore;
  // Each message's facts (MessageFacts) are gathered for the observers: a manifest lists them.
  bool messageFacts = false;
  // A message whose bytes, less its separator line, are those of a message already written in
  // this run is not written again.
  bool skipDuplicates = false;
  // .pst form: a store past these is warned of. None: no such warnings.
  std::optional<OutlookLimits> outlookLimits = std::nullopt;
  // Every message written is read back (its file when the mailbox is done, its data file when
  // that is complete) and compared with what was written; a difference fails the message.
  bool verify = false;
};

}  // namespace qc
