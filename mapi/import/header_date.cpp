#include "mapi/import/header_date.h"

#include <gmime/gmime.h>

#include <array>
#include <cstdint>
#include <limits>
#include <string_view>

#include "mapi/import/envelope.h"

namespace qc::mapi::import {

namespace {

constexpr std::array<std::string_view, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days from 1970-01-01 to the date, in the proleptic Gregorian calendar.
std::int64_t DaysSinceEpoch(int year, int month, int day) {
  const int y = year - (month <= 2 ? 1 : 0);
  const int era = y / 400;  // years are positive here
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return std::int64_t{era} * 146097 + dayOfEra - 719468;
}

// Whether `token` starts with `name` (three letters), in any case, as GMime's day and month
// names are matched.
bool StartsWithName(std::string_view token, std::string_view name) {
  return token.size() >= 3 && g_ascii_strncasecmp(token.data(), name.data(), 3) == 0;
}

// GMime's decode_int: digits only, and no overflow; -1 otherwise.
int DecodeInt(std::string_view digits) {
  int value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return -1;
    if (value > (std::numeric_limits<int>::max() - (c - '0')) / 10) return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// GMime's get_time: hours, minutes and seconds apart by colons, each part optional.
bool ClockTime(std::string_view text, int& hour, int& minute, int& second) {
  hour = minute = second = 0;
  int* value = &hour;
  int most = 23;
  int colons = 0;
  for (const char c : text) {
    if (c == ':') {
      if (++colons == 1) {
        value = &minute;
        most = 59;
      } else if (colons == 2) {
        value = &second;
        most = 60;
      } else {
        return false;
      }
    } else if (c < '0' || c > '9') {
      return false;
    } else {
      *value = *value * 10 + (c - '0');
      if (*value > most) return false;
    }
  }
  return true;
}

// The date's words as GMime's datetok cuts them: blanks before a word skipped, a word ended by
// any of "-/,", a blank or a line end, which is then passed over.
class DateWords {
 public:
  explicit DateWords(std::string_view text) {
    for (std::size_t start = 0; start < text.size();) {
      while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
      if (start == text.size()) break;
      std::size_t end = start + 1;
      while (end < text.size() && !IsSeparator(text[end])) ++end;
      if (count_ < words_.size()) words_[count_] = text.substr(start, end - start);
      ++count_;
      start = end + 1;
    }
  }
  std::size_t size() const { return count_; }
  std::string_view operator[](std::size_t i) const { return words_[i]; }
  std::size_t kept() const { return words_.size(); }

 private:
  static bool IsSeparator(char c) {
    return c == '-' || c == '/' || c == ',' || c == '\t' || c == '\r' || c == '\n' || c == ' ';
  }
  std::array<std::string_view, 8> words_;
  std::size_t count_ = 0;
};

// The date GMime's RFC 822 reading finds, where it finds one with a numeric zone or none and
// GLib takes it as a date that exists; nothing where GMime must decide.
std::optional<FileTime> CommonDate(std::string_view text) {
  const DateWords words(text);
  std::size_t i = 0;
  const auto next = [&]() -> std::optional<std::string_view> {
    if (i >= words.size() || i >= words.kept()) return std::nullopt;
    return words[i++];
  };
  auto word = next();
  if (!word) return std::nullopt;
  for (const std::string_view day : kDays) {
    if (StartsWithName(*word, day)) {
      word = next();
      break;
    }
  }
  if (!word) return std::nullopt;
  const int day = DecodeInt(*word);
  if (day < 1 || day > 31) return std::nullopt;
  if (!(word = next())) return std::nullopt;
  int month = 0;
  for (std::size_t m = 0; m < kMonths.size() && month == 0; ++m) {
    if (StartsWithName(*word, kMonths[m])) month = static_cast<int>(m) + 1;
  }
  if (month == 0 || !(word = next())) return std::nullopt;
  int year = DecodeInt(*word);
  if (year < 0) return std::nullopt;
  if (year < 100) year += year < 70 ? 2000 : 1900;
  // Before 1969 GMime tries its other reading; near the end of year 9999 a zone's offset may
  // carry the instant past what GLib holds.
  if (year < 1969 || year > 9998) return std::nullopt;
  int hour = 0, minute = 0, second = 0;
  if (!(word = next()) || !ClockTime(*word, hour, minute, second)) return std::nullopt;
  std::int64_t offset = 0;  // without a zone, GMime takes UTC
  if (i < words.size()) {
    // "+hhmm" or "-hhmm", whatever follows; any other zone is GMime's to read.
    if (i >= words.kept()) return std::nullopt;
    const std::string_view zone = words[i];
    if (zone.size() != 5 || (zone[0] != '+' && zone[0] != '-')) return std::nullopt;
    const int hhmm = DecodeInt(zone.substr(1));
    if (hhmm < 0 || hhmm / 100 >= 24 || hhmm % 100 >= 60) return std::nullopt;
    offset = (zone[0] == '-' ? -1 : 1) * (std::int64_t{hhmm / 100} * 3600 + (hhmm % 100) * 60);
  }
  const auto local = UtcTime(year, month, day, hour, minute, second);
  if (!local) return std::nullopt;
  return FileTime{local->ticks - static_cast<std::uint64_t>(offset * 10000000)};
}

}  // namespace

std::optional<FileTime> UtcTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
  const auto days =
      g_date_get_days_in_month(static_cast<GDateMonth>(month), static_cast<GDateYear>(year));
  if (day < 1 || day > days || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
      second > 59) {
    return std::nullopt;
  }
  constexpr std::int64_t kUnixEpochIn1601Seconds = 11644473600;
  const std::int64_t seconds = DaysSinceEpoch(year, month, day) * 86400 + hour * 3600 +
                               minute * 60 + second + kUnixEpochIn1601Seconds;
  if (seconds < 0) return std::nullopt;
  return FileTime{static_cast<std::uint64_t>(seconds) * 10000000u};
}

std::optional<FileTime> DecodeHeaderDate(const std::string& text) {
  // GMime reads the text as a C string, to its first NUL.
  if (auto date = CommonDate(std::string_view(text.c_str()))) return date;
  GDateTime* date = g_mime_utils_header_decode_date(text.c_str());
  const auto time = ToFileTime(date);
  if (date) g_date_time_unref(date);
  return time;
}

}  // namespace qc::mapi::import
