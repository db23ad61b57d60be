#include "mapi/import/header_addresses.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>

#include "mapi/import/gmime_support.h"

namespace qc::mapi::import {

namespace {

// Groups nested deeper than this are not followed.
constexpr int kMostGroupDepth = 4;

// Whether an address without an '@' is one a local mail system could deliver to ("root"),
// rather than a name, an encoded word or the remains of a broken header put where the address
// goes.
bool IsLocalAddress(std::string_view address) {
  if (address.empty() || address.find("=?") != std::string_view::npos) return false;
  return std::all_of(address.begin(), address.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) ||
           std::string_view("!#$%&'*+-/=?^_`{|}~.").find(c) != std::string_view::npos;
  });
}

// A phrase as text: quotes taken off, encoded words decoded.
std::string Phrase(std::string_view text, const RawTextReader& reader) {
  std::string trimmed = Trim(text);
  if (trimmed.size() >= 2 && trimmed.front() == '"' && trimmed.back() == '"') {
    std::string unquoted;
    for (std::size_t i = 1; i + 1 < trimmed.size(); ++i) {
      if (trimmed[i] == '\\' && i + 2 < trimmed.size()) ++i;
      unquoted += trimmed[i];
    }
    trimmed = std::move(unquoted);
  }
  return DecodeHeaderText(trimmed, reader);
}

// The people of an address header, one item each: split at the commas that stand outside
// quotes, angle brackets, comments and groups ("team: a@x, b@x;" is one item). `each` is
// handed every item that is not empty.
template <class Each>
void ForEachAddressItem(std::string_view text, const Each& each) {
  bool quoted = false, group = false;
  int angle = 0, comment = 0;
  std::size_t start = 0;
  // The item up to `end`; the next begins at `next`.
  const auto cut = [&](std::size_t end, std::size_t next) {
    const std::string_view item = text.substr(start, end - start);
    if (item.find_first_not_of(" \t\r\n") != std::string_view::npos) each(item);
    start = next;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      ++i;
    } else if (quoted) {
      quoted = c != '"';
    } else if (c == '"') {
      quoted = true;
    } else if (c == '(') {
      ++comment;
    } else if (c == ')' && comment > 0) {
      --comment;
    } else if (comment > 0) {
    } else if (c == '<') {
      ++angle;
    } else if (c == '>' && angle > 0) {
      --angle;
    } else if (angle > 0) {
    } else if (c == ':' && !group) {
      group = true;
    } else if (c == ';' && group) {
      group = false;
      cut(i + 1, i + 1);
    } else if (c == ',' && !group) {
      cut(i, i + 1);
    }
  }
  if (start < text.size()) cut(text.size(), text.size());
}

int CountAddressItems(std::string_view text) {
  // Most headers name one person: without a comma there is at most one item.
  if (text.find(',') == std::string_view::npos) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos ? 0 : 1;
  }
  int count = 0;
  ForEachAddressItem(text, [&](std::string_view) { ++count; });
  return count;
}

// An item GMime makes nothing of: "Name <broken address>", a bare name, "<>". The address
// only where it is one; the name otherwise stands for it.
MailAddress ReadBrokenItem(std::string_view item, const RawTextReader& reader) {
  MailAddress a;
  const std::size_t open = item.find('<');
  if (open == std::string_view::npos) {
    a.name = Phrase(item, reader);
    return a;
  }
  const std::size_t close = item.find('>', open);
  const std::string inside = Trim(item.substr(
      open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1));
  a.name = Phrase(item.substr(0, open), reader);
  const bool address =
      inside.find('@') != std::string::npos && std::none_of(inside.begin(), inside.end(), IsBlank);
  if (address) {
    a.address = inside;
  } else if (a.name.empty()) {
    a.name = Phrase(inside, reader);
  }
  return a;
}

// What GMime parsed, as the people it names: a group's members, or the group's name where it
// names none; a mailbox whose address is no address has it as its name.
void Collect(InternetAddressList* list, std::vector<MailAddress>& out, const RawTextReader& reader,
             int depth) {
  if (list == nullptr || depth > kMostGroupDepth) return;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_GROUP(address)) {
      InternetAddressList* members =
          internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
      if (members != nullptr && internet_address_list_length(members) > 0) {
        Collect(members, out, reader, depth + 1);
      } else if (const std::string name = GMimeText(internet_address_get_name(address));
                 !name.empty()) {
        out.push_back({name, ""});  // "Undisclosed recipients:;"
      }
    } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      MailAddress a{
          GMimeText(internet_address_get_name(address)),
          GMimeText(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)))};
      if (a.address.find('@') == std::string::npos && !IsLocalAddress(a.address)) {
        if (a.name.empty()) a.name = Phrase(a.address, reader);
        a.address.clear();
      }
      if (!a.name.empty() || !a.address.empty()) out.push_back(std::move(a));
    }
  }
}

// The people of the items of `text` (UTF-8), one by one: GMime's reading of each where it
// has one, our own where not.
void ReadItemByItem(std::string_view text, std::vector<MailAddress>& out,
                    const RawTextReader& reader) {
  ForEachAddressItem(text, [&](std::string_view item) {
    const std::string copy = Trim(item);
    InternetAddressList* list = internet_address_list_parse(LenientParserOptions(), copy.c_str());
    if (list != nullptr && internet_address_list_length(list) > 0) {
      Collect(list, out, reader, 0);
    } else if (MailAddress a = ReadBrokenItem(copy, reader);
               !a.name.empty() || !a.address.empty()) {
      out.push_back(std::move(a));
    }
    if (list != nullptr) g_object_unref(list);
  });
}

bool IsAsciiAlnum(char c) {
  return g_ascii_isalnum(c);
}

// Whether `text`, cut at every `separator`, is parts none empty and each passing `part`.
template <class Part>
bool AllParts(std::string_view text, char separator, const Part& part) {
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(text.find(separator, start), text.size());
    const std::string_view piece = text.substr(start, end - start);
    if (piece.empty() || !part(piece)) return false;
    if (end == text.size()) return true;
    start = end + 1;
  }
}

// A test of a part: whether each of its characters passes `c`.
template <class Char>
auto Each(Char c) {
  return [c](std::string_view text) { return std::all_of(text.begin(), text.end(), c); };
}

// "ann.example+tag@mail.example.org": a local part of letters, digits and "_+-" in dotted
// parts, and a domain of letters, digits and '-' in dotted labels, none an IDN label ("xn--"),
// which GMime would decode.
bool IsPlainAddrSpec(std::string_view text) {
  const std::size_t at = text.find('@');
  if (at == std::string_view::npos) return false;
  const auto localChar = [](char c) { return IsAsciiAlnum(c) || c == '_' || c == '+' || c == '-'; };
  const auto domainChar = [](char c) { return IsAsciiAlnum(c) || c == '-'; };
  const auto label = [&](std::string_view l) {
    const bool idn = l.size() >= 4 && g_ascii_strncasecmp(l.data(), "xn--", 4) == 0;
    return !idn && Each(domainChar)(l);
  };
  return AllParts(text.substr(0, at), '.', Each(localChar)) &&
         AllParts(text.substr(at + 1), '.', label);
}

// One item of a plain header value.
std::optional<MailAddress> PlainAddress(std::string_view raw) {
  while (!raw.empty() && IsBlank(raw.front())) raw.remove_prefix(1);
  while (!raw.empty() && IsBlank(raw.back())) raw.remove_suffix(1);
  MailAddress a;
  if (raw.ends_with('>')) {
    const std::size_t open = raw.find('<');
    if (open == std::string_view::npos) return std::nullopt;
    const std::string_view addr = raw.substr(open + 1, raw.size() - open - 2);
    if (!IsPlainAddrSpec(addr)) return std::nullopt;
    if (open > 0) {
      // Words of letters and digits, one space apart, and one space before the '<'.
      const std::string_view name = raw.substr(0, open);
      if (name.size() < 2 || name.back() != ' ') return std::nullopt;
      const std::string_view words = name.substr(0, name.size() - 1);
      if (!AllParts(words, ' ', Each(IsAsciiAlnum))) return std::nullopt;
      a.name = std::string(words);
    }
    a.address = std::string(addr);
    return a;
  }
  if (!IsPlainAddrSpec(raw)) return std::nullopt;
  a.address = std::string(raw);
  return a;
}

}  // namespace

bool PlainAddresses(std::string_view raw, std::vector<MailAddress>& out) {
  // Plain items hold no comma, so every comma is one between two items.
  const std::size_t had = out.size();
  for (std::size_t start = 0;;) {
    const std::size_t end = std::min(raw.find(',', start), raw.size());
    auto a = PlainAddress(raw.substr(start, end - start));
    if (!a) {
      out.resize(had);
      return false;
    }
    out.push_back(std::move(*a));
    if (end == raw.size()) return true;
    start = end + 1;
  }
}

std::vector<MailAddress> HeaderAddresses(const std::vector<const char*>& raw,
                                         const std::function<InternetAddressList*()>& parsed,
                                         const RawTextReader& reader) {
  std::vector<MailAddress> out;
  if (raw.empty()) return out;
  const bool plain =
      std::none_of(raw.begin(), raw.end(), [](const char* value) { return NeedsDecoding(value); });
  if (plain) {
    // Most headers name their people plainly: read here, without GMime's list and its objects.
    if (std::all_of(raw.begin(), raw.end(),
                    [&](const char* value) { return PlainAddresses(value, out); })) {
      return out;
    }
    out.clear();
    // GMime parsed these headers already; their text tells whether it took every item.
    int items = 0;
    for (const char* value : raw) items += CountAddressItems(value);
    InternetAddressList* list = parsed();
    if (list != nullptr && internet_address_list_length(list) >= items) {
      Collect(list, out, reader, 0);
    } else {
      for (const char* value : raw) ReadItemByItem(value, out, reader);
    }
    return out;
  }
  for (const char* value : raw) {
    const std::string text = Utf8HeaderValue(value, reader);
    InternetAddressList* list = internet_address_list_parse(LenientParserOptions(), text.c_str());
    if (list != nullptr && internet_address_list_length(list) >= CountAddressItems(text)) {
      Collect(list, out, reader, 0);
    } else {
      ReadItemByItem(text, out, reader);
    }
    if (list != nullptr) g_object_unref(list);
  }
  return out;
}

}  // namespace qc::mapi::import
