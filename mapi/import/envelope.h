// The properties a message takes from its header: subject, addresses, dates, identifiers,
// importance and sensitivity (MS-OXCMAIL 2.2.3).
#pragma once

#include <gmime/gmime.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "mapi/property.h"

namespace qc::mapi::import {

// Sets the header-derived properties of `out` from a parsed message.
void MapEnvelope(GMimeMessage* message, Message& out);

// {prefix, normalized}: "RE: Lunch" gives {"RE: ", "Lunch"}. A prefix is one to three
// characters, none a digit or space, followed by ": " (MS-OXCMAIL 2.2.3.2.6.1).
std::pair<std::string, std::string> SplitSubject(std::string_view subject);

// FILETIME of a date, or nothing when there is none or it lies before 1601.
std::optional<FileTime> ToFileTime(GDateTime* date);

}  // namespace qc::mapi::import
