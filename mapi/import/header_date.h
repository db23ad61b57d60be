// Dates of a message's header, read as GMime reads them, without making GLib's date and time
// zone objects for the common form.
#pragma once

#include <optional>
#include <string>

#include "mapi/property.h"

namespace qc::mapi::import {

// The instant of a date and clock time in UTC, taken as GLib's g_date_time_new_utc takes them:
// nothing for one that does not exist (the 30th of February, a 60th second, a year outside
// 1-9999).
std::optional<FileTime> UtcTime(int year, int month, int day, int hour, int minute, int second);

// What g_mime_utils_header_decode_date makes of `text`, as a FILETIME. The common form
// ("Tue, 05 Mar 2024 10:11:12 +0100", with or without the day of the week, the seconds or the
// zone) is read here; any other is left to GMime.
std::optional<FileTime> DecodeHeaderDate(const std::string& text);

}  // namespace qc::mapi::import
