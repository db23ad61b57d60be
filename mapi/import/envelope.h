// The properties a message takes from its header: subject, addresses, dates, identifiers,
// importance and sensitivity (MS-OXCMAIL 2.2.3).
#pragma once

#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "mapi/import/header_fields.h"
#include "mapi/import/header_text.h"
#include "mapi/property.h"

namespace qc::mapi::import {

// Sets the header-derived properties of `out` from a parsed message, its text read by `reader`.
// `separatorDate` is the date of the mailbox's separator line, the last resort for a message
// whose headers date it nowhere.
void MapEnvelope(GMimeMessage* message, Message& out, const RawTextReader& reader,
                 std::optional<FileTime> separatorDate = std::nullopt);
// The same from a message's header fields; `parsed` is GMime's message when GMime parsed them,
// null when the import split them itself.
void MapEnvelope(const HeaderFields& fields, GMimeMessage* parsed, Message& out,
                 const RawTextReader& reader, std::optional<FileTime> separatorDate);

// The date on a mailbox separator line ("From ???@??? Mon Jan 01 00:00:00 2024", or an mbox
// envelope line "From ann@example.org  Wed Sep 11 19:43:23 2002"), read as UTC since such lines
// name no zone; nothing when the line holds no such date.
std::optional<FileTime> SeparatorDate(std::string_view line);

// {prefix, normalized}: "RE: Lunch" gives {"RE: ", "Lunch"}. A prefix is one to three
// characters, none a digit or space, followed by ": " (MS-OXCMAIL 2.2.3.2.6.1).
std::pair<std::string, std::string> SplitSubject(std::string_view subject);

// FILETIME of a date, or nothing when there is none or it lies before 1601.
std::optional<FileTime> ToFileTime(GDateTime* date);

}  // namespace qc::mapi::import
