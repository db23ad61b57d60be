// What a front end asks of a conversion run: the form, the mailboxes in order and the folder that
// receives the results.
#pragma once

#include <string>
#include <vector>

#include "convert/form.h"
#include "mapi/import/charset_labels.h"

namespace qc {

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
};

}  // namespace qc
