// The columns of the tables Outlook puts in a new store (without PidTagLtpRowId and
// PidTagLtpRowVer, which every table has): the templates, and the wider tables of the folders
// it creates itself.
#pragma once

#include <cstdint>
#include <vector>

namespace qc::mapi::pst::columns {

using Tags = std::vector<std::uint32_t>;

const Tags& Hierarchy();      // a folder's subfolders
const Tags& Contents();       // a folder's messages
const Tags& AssocContents();  // a folder's hidden (associated) messages
const Tags& RootAssocContents();
const Tags& SearchContents();
const Tags& ReceiveFolders();
const Tags& OutgoingQueue();
const Tags& Attachments();
const Tags& Recipients();
const Tags& ChangeHistory();
const Tags& Tombstones();
const Tags& TombstoneDates();
const Tags& TopHierarchy();  // "Top of Outlook data file"
const Tags& MailContents();  // mail folders: the contents columns of Outlook's views
const Tags& SearchRootHierarchy();
const Tags& CommonViewsAssocContents();
const Tags& MessageAttachments();  // the attachment table of a message, beyond the template

}  // namespace qc::mapi::pst::columns
