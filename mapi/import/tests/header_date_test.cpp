// The import reads the common form of a header's date itself; what it reads must be what GMime
// reads, for every form and every date, real or not.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "mapi/import/envelope.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/header_date.h"

namespace qc::mapi::testing {
namespace {

std::optional<FileTime> GMimeDate(const std::string& text) {
  GDateTime* date = g_mime_utils_header_decode_date(text.c_str());
  const auto time = import::ToFileTime(date);
  if (date) g_date_time_unref(date);
  return time;
}

template <class T>
const T& Pick(std::mt19937& random, const std::vector<T>& from) {
  return from[random() % from.size()];
}

TEST(HeaderDate, ReadAsGMimeReadsIt) {
  import::EnsureGMimeInitialized();
  const std::vector<std::string> weekdays = {"", "Tue, ", "tue,", "Tuesday, ", "Tux, ", "Mon "};
  const std::vector<std::string> days = {"5", "05", "0", "29", "30", "31", "32", "x"};
  const std::vector<std::string> months = {"Feb", "feb", "FEBRUARY", "Mar", "Dec", "Fe", "Foo"};
  const std::vector<std::string> years = {"2024", "2023", "2000",  "1900", "24",
                                          "69",   "70",   "99",    "1968", "1969",
                                          "9998", "9999", "10000", "0",    "99999999999"};
  const std::vector<std::string> times = {"10:11:12", "23:59:59",    "00:00:00", "10:11",
                                          "10",       "24:00:00",    "10:60:00", "10:11:60",
                                          "1:2:3",    "10:11:12:13", "10::",     "1a:00"};
  const std::vector<std::string> zones = {
      "",       " +0100", " -0100",       " +0000", " -0000",  " +0530",   " -1159",
      " +2359", " +2400", " +0160",       " +01a0", " +100",   " +01000",  " GMT",
      " EST",   " (UTC)", " +0100 (CET)", " UT",    " +0100x", " x +0100", "  +0200"};
  const std::vector<std::string> joins = {" ", "  ", "-", "\t", " ,", "/"};
  std::mt19937 random(3);
  int read = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string& join = Pick(random, joins);
    const std::string text = Pick(random, weekdays) + Pick(random, days) + join +
                             Pick(random, months) + join + Pick(random, years) + " " +
                             Pick(random, times) + Pick(random, zones);
    const auto expected = GMimeDate(text);
    ASSERT_EQ(import::DecodeHeaderDate(text), expected) << text;
    read += expected.has_value();
  }
  EXPECT_GT(read, 2000);
  for (const std::string text : {"", " ", "Tue, 05 Mar 2024 10:11:12 +0100", "Tue,", "05 Mar 2024",
                                 "Tue, 05 Mar 2024 10:11:12 +0100\r\n"}) {
    EXPECT_EQ(import::DecodeHeaderDate(text), GMimeDate(text)) << text;
  }
  EXPECT_EQ(import::DecodeHeaderDate(std::string("05 Mar 2024 10:11:12\0 +0100", 27)),
            GMimeDate("05 Mar 2024 10:11:12"));
}

TEST(HeaderDate, UtcTimeIsGLibsDate) {
  std::mt19937 random(4);
  for (int round = 0; round < 20000; ++round) {
    const int year = static_cast<int>(random() % 10002);
    const int month = static_cast<int>(random() % 14);
    const int day = static_cast<int>(random() % 33);
    const int hour = static_cast<int>(random() % 25);
    const int minute = static_cast<int>(random() % 61);
    const int second = static_cast<int>(random() % 61);
    GDateTime* date = g_date_time_new_utc(year, month, day, hour, minute, second);
    const auto expected = import::ToFileTime(date);
    if (date) g_date_time_unref(date);
    ASSERT_EQ(import::UtcTime(year, month, day, hour, minute, second), expected)
        << year << "-" << month << "-" << day << " " << hour << ":" << minute << ":" << second;
  }
}

}  // namespace
}  // namespace qc::mapi::testing
