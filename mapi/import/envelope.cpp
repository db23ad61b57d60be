#include "mapi/import/envelope.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "mapi/import/address_props.h"
#include "mapi/import/conversation.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/header_addresses.h"
#include "mapi/import/header_date.h"
#include "mapi/import/header_text.h"
#include "mapi/import/text_decode.h"
#include "mapi/named_ids.h"
#include "util/cp1252.h"
#include "util/per_thread.h"

namespace qc::mapi::import {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// What a header's value (as GMime gives it) says after its last ';', or nothing when it has
// none.
std::optional<std::string> AfterLastSemicolon(const HeaderFields& fields, std::size_t i) {
  const std::string value = fields.value(i);
  const auto semi = value.rfind(';');
  return semi != std::string::npos ? std::optional<std::string>(value.substr(semi + 1))
                                   : std::nullopt;
}

// The date of the last Received header added, the top-most one, written by the server that
// delivered the message to its mailbox: the part after its last ';'.
std::optional<FileTime> LastReceivedTime(const HeaderFields& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (!fields.is(i, "Received")) continue;
    const auto text = AfterLastSemicolon(fields, i);
    return text ? DecodeHeaderDate(*text) : std::nullopt;
  }
  return std::nullopt;
}

// The date of the Date header, the last one where there are more, as GMime's message reads it.
std::optional<FileTime> DateTime(const HeaderFields& fields) {
  for (std::size_t i = fields.size(); i-- > 0;) {
    if (!fields.is(i, "Date")) continue;
    return DecodeHeaderDate(fields.value(i));
  }
  return std::nullopt;
}

// Sent when the Date header says, delivered when the last server to handle the message says;
// each stands in for the other, and the separator line's date for both. The item was created
// and last changed (Outlook's Modified column) when it arrived, not when it was converted.
void SetTimes(PropertyBag& p, std::optional<FileTime> date, std::optional<FileTime> received,
              std::optional<FileTime> separator) {
  using namespace tags;
  const auto sent = date ? date : received ? received : separator;
  const auto delivered = received ? received : sent;
  if (!sent) return;
  p.set(PR_CLIENT_SUBMIT_TIME, *sent);
  p.set(PR_MESSAGE_DELIVERY_TIME, *delivered);
  p.set(PR_CREATION_TIME, *delivered);
  p.set(PR_LAST_MODIFICATION_TIME, *delivered);
}

// The raw values of the headers whose text the envelope reads as written, found in one pass.
struct RawEnvelope {
  const char* subject = nullptr;  // the last, as GMime and mail programs take it
  const char* topic = nullptr;    // Thread-Topic, the first
  std::vector<const char*> keywords;
  std::vector<const char*> from, sender, replyTo, to, cc, bcc;
};

RawEnvelope ReadRawEnvelope(const HeaderFields& fields) {
  RawEnvelope e;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::string_view name = fields.name(i);
    const char* raw = fields.raw(i);
    if (name.empty()) continue;
    const auto is = [&](std::string_view other) { return fields.is(i, other); };
    // Most headers are none of these: their first letter tells, before any comparison.
    switch (g_ascii_tolower(name[0])) {
      case 's':
        if (is("Subject")) e.subject = raw;
        if (is("Sender")) e.sender.push_back(raw);
        break;
      case 'f':
        if (is("From")) e.from.push_back(raw);
        break;
      case 't':
        if (is("To")) e.to.push_back(raw);
        if (is("Thread-Topic") && e.topic == nullptr) e.topic = raw;
        break;
      case 'c':
        if (is("Cc")) e.cc.push_back(raw);
        break;
      case 'b':
        if (is("Bcc")) e.bcc.push_back(raw);
        break;
      case 'r':
        if (is("Reply-To")) e.replyTo.push_back(raw);
        break;
      case 'k':
        if (is("Keywords")) e.keywords.push_back(raw);
        break;
      default:
        break;
    }
  }
  return e;
}

// Keywords (RFC 5322 3.6.5), each header a comma-separated list: Outlook's categories, the
// multi-valued PidNameKeywords. Repeats are dropped, the order kept.
void SetKeywords(const std::vector<const char*>& raw, PropertyBag& p, const RawTextReader& reader) {
  std::vector<std::string> keywords;
  for (const char* header : raw) {
    const std::string value = DecodeHeaderText(header, reader);
    for (std::size_t at = 0; at <= value.size();) {
      const auto comma = std::min(value.find(',', at), value.size());
      std::string keyword;
      for (char c : value.substr(at, comma - at)) {
        const bool blank = IsBlank(c);
        if (blank && (keyword.empty() || keyword.back() == ' ')) continue;
        keyword += blank ? ' ' : c;
      }
      while (!keyword.empty() && keyword.back() == ' ') keyword.pop_back();
      if (!keyword.empty() &&
          std::find(keywords.begin(), keywords.end(), keyword) == keywords.end()) {
        keywords.push_back(std::move(keyword));
      }
      at = comma + 1;
    }
  }
  if (!keywords.empty()) {
    p.setNamed(NamedProp{kPsPublicStrings, std::string("Keywords")}, PropType::MvUnicode,
               std::move(keywords));
  }
}

// PR_IMPORTANCE: 0 low, 1 normal, 2 high; from Importance, else X-Priority, else Priority.
std::int32_t Importance(const HeaderFields& fields, const std::string& priority) {
  const std::string importance = Lower(fields.first("Importance"));
  if (importance == "high") return 2;
  if (importance == "low") return 0;
  if (importance == "normal") return 1;
  const std::string xPriority = fields.first("X-Priority");
  if (!xPriority.empty() && std::isdigit(static_cast<unsigned char>(xPriority[0]))) {
    const char level = xPriority[0];
    return level <= '2' ? 2 : level >= '4' ? 0 : 1;
  }
  if (priority == "urgent") return 2;
  if (priority == "non-urgent") return 0;
  return 1;
}

// PR_PRIORITY: 1 urgent, 0 normal, -1 not urgent; from Priority, else following the importance.
std::int32_t Priority(const std::string& priority, std::int32_t importance) {
  if (priority == "urgent") return 1;
  if (priority == "non-urgent") return -1;
  if (priority == "normal") return 0;
  return importance - 1;
}

// PR_SENSITIVITY: 0 none, 1 personal, 2 private, 3 confidential.
std::int32_t Sensitivity(const HeaderFields& fields) {
  const std::string value = Lower(fields.first("Sensitivity"));
  if (value == "personal") return 1;
  if (value == "private") return 2;
  if (value == "company-confidential") return 3;
  return 0;
}

// Identifiers keep their angle brackets as the header wrote them; folding white space goes.
std::string Identifier(const std::string& value) {
  std::string out;
  for (char c : value) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += c;
  }
  return Utf8OrWindows1252(out);
}

}  // namespace

std::pair<std::string, std::string> SplitSubject(std::string_view subject) {
  std::size_t chars = 0;
  for (std::size_t i = 0; i < subject.size() && chars <= 3; ++i) {
    const auto c = static_cast<unsigned char>(subject[i]);
    if ((c & 0xC0) == 0x80) continue;  // continuation byte of a UTF-8 sequence
    if (c == ':') {
      if (chars == 0 || i + 1 >= subject.size() || subject[i + 1] != ' ') break;
      return {std::string(subject.substr(0, i + 2)), std::string(subject.substr(i + 2))};
    }
    if (std::isdigit(c) || std::isspace(c)) break;
    ++chars;
  }
  return {std::string(), std::string(subject)};
}

std::optional<FileTime> SeparatorDate(std::string_view line) {
  static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (!line.starts_with("From ")) return std::nullopt;
  std::vector<std::string_view> words;
  for (std::size_t at = 5; at < line.size();) {
    const auto start = line.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    const auto end = std::min(line.find_first_of(" \t\r\n", start), line.size());
    words.push_back(line.substr(start, end - start));
    at = end;
  }
  const auto number = [](std::string_view text, int& out) {
    if (text.empty() || text.size() > 4) return false;
    out = 0;
    for (char c : text) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
      out = out * 10 + (c - '0');
    }
    return true;
  };
  // "Mon Jan 01 00:00:00 2024": a month, the day, the time and, after an optional zone, the
  // year; the address before it may hold anything.
  for (std::size_t i = 0; i + 3 < words.size(); ++i) {
    const auto month = std::find(std::begin(kMonths), std::end(kMonths), words[i]);
    int day = 0, hour = 0, minute = 0, second = 0, year = 0;
    if (month == std::end(kMonths) || !number(words[i + 1], day)) continue;
    const std::string_view clock = words[i + 2];
    if (clock.size() < 5 || clock[2] != ':' || !number(clock.substr(0, 2), hour) ||
        !number(clock.substr(3, 2), minute)) {
      continue;
    }
    if (clock.size() >= 8 && (clock[5] != ':' || !number(clock.substr(6, 2), second))) continue;
    if (!number(words[i + 3], year) && (i + 4 >= words.size() || !number(words[i + 4], year))) {
      continue;
    }
    return UtcTime(year, static_cast<int>(month - kMonths) + 1, day, hour, minute, second);
  }
  return std::nullopt;
}

std::optional<FileTime> ToFileTime(GDateTime* date) {
  if (date == nullptr) return std::nullopt;
  constexpr std::int64_t kUnixEpochIn1601Seconds = 11644473600;
  const std::int64_t seconds = g_date_time_to_unix(date) + kUnixEpochIn1601Seconds;
  if (seconds < 0) return std::nullopt;
  return FileTime{static_cast<std::uint64_t>(seconds) * 10000000u +
                  static_cast<std::uint64_t>(g_date_time_get_microsecond(date)) * 10u};
}

// Each thread's list for the addresses of one kind, emptied for each use: a list is an object of
// GLib's, whose making and unmaking cost more than filling it.
namespace {
struct ReusedAddressList {
  GPtr<InternetAddressList> list{internet_address_list_new()};
};
}  // namespace

void MapEnvelope(const HeaderFields& fields, GMimeMessage* parsed, Message& out,
                 const RawTextReader& reader, std::optional<FileTime> separatorDate) {
  using namespace tags;
  PropertyBag& p = out.props;

  const RawEnvelope raw = ReadRawEnvelope(fields);
  const std::string subject = raw.subject ? DecodeHeaderText(raw.subject, reader) : std::string();
  auto [prefix, normalized] = SplitSubject(subject);
  p.set(PR_SUBJECT_W, subject);
  p.set(PR_SUBJECT_PREFIX_W, std::move(prefix));
  p.set(PR_NORMALIZED_SUBJECT_W, std::move(normalized));

  const auto addresses = [&](const std::vector<const char*>& headers, GMimeAddressType type) {
    // GMime's message parsed each kind into a list as its headers came; without the message,
    // a list is filled the same way, and only when it is read.
    InternetAddressList* filled = nullptr;
    const auto list = [&]() -> InternetAddressList* {
      if (parsed != nullptr) return g_mime_message_get_addresses(parsed, type);
      filled = PerThread<ReusedAddressList>().list.get();
      internet_address_list_clear(filled);
      for (const char* value : headers) {
        internet_address_list_append_parse(filled, LenientParserOptions(), value);
      }
      return filled;
    };
    auto people = HeaderAddresses(headers, list, reader);
    if (filled != nullptr) internet_address_list_clear(filled);
    return people;
  };
  const auto from = addresses(raw.from, GMIME_ADDRESS_TYPE_FROM);
  const auto sender = addresses(raw.sender, GMIME_ADDRESS_TYPE_SENDER);
  if (!from.empty()) SetSentRepresenting(p, from.front());
  if (!sender.empty()) {
    SetSender(p, sender.front());
  } else if (!from.empty()) {
    SetSender(p, from.front());
  }
  SetReplyRecipients(p, addresses(raw.replyTo, GMIME_ADDRESS_TYPE_REPLY_TO));
  AddRecipients(out, addresses(raw.to, GMIME_ADDRESS_TYPE_TO), 1);
  AddRecipients(out, addresses(raw.cc, GMIME_ADDRESS_TYPE_CC), 2);
  AddRecipients(out, addresses(raw.bcc, GMIME_ADDRESS_TYPE_BCC), 3);

  SetTimes(p, DateTime(fields), LastReceivedTime(fields), separatorDate);

  // Each identifier header is read by two properties and the conversation.
  const ThreadIds ids{fields.first("Message-ID"), fields.first("In-Reply-To"),
                      fields.first("References")};
  if (auto id = Identifier(ids.messageId); !id.empty()) {
    p.set(PR_INTERNET_MESSAGE_ID_W, std::move(id));
  }
  if (auto id = Identifier(ids.inReplyTo); !id.empty()) {
    p.set(PR_IN_REPLY_TO_ID_W, std::move(id));
  }
  if (auto refs = Identifier(ids.references); !refs.empty()) {
    p.set(PR_INTERNET_REFERENCES_W, std::move(refs));
  }

  SetConversation(fields, ids, p, raw.topic ? DecodeHeaderText(raw.topic, reader) : std::string());
  SetKeywords(raw.keywords, p, reader);

  const std::string priority = Lower(fields.first("Priority"));
  const std::int32_t importance = Importance(fields, priority);
  p.set(PR_IMPORTANCE, importance);
  p.set(PR_PRIORITY, Priority(priority, importance));
  p.set(PR_SENSITIVITY, Sensitivity(fields));
}

void MapEnvelope(GMimeMessage* message, Message& out, const RawTextReader& reader,
                 std::optional<FileTime> separatorDate) {
  MapEnvelope(HeaderFields::Of(GMIME_OBJECT(message)), message, out, reader, separatorDate);
}

}  // namespace qc::mapi::import
