#include "mapi/import/charset_labels.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>

namespace qc::mapi::import {

namespace {

// What a label is read as: a converter's name, or one of these.
constexpr const char* kAscii = "";  // names nothing worth following: the text is guessed
constexpr const char* kLatin = "=windows-1252";
constexpr const char* kUtf8 = "=utf-8";

struct Entry {
  const char* label;  // lower case, '-' for '_'
  const char* reading;
};

// Labels of the Encoding Standard that browsers and mail programs share, the names the C
// library and IANA give the same charsets, and what old mail programs wrote for them. Where
// a label's charset has a superset its writers used (Windows' code pages), the superset reads
// it: it reads every text of the label alike and more besides.
// clang-format off
constexpr Entry kLabels[] = {
    // UTF-8, and ASCII (which says nothing: the text is read as if it named no charset)
    {"utf-8", kUtf8}, {"utf8", kUtf8}, {"unicode-1-1-utf-8", kUtf8}, {"unicode11utf8", kUtf8},
    {"unicode20utf8", kUtf8}, {"x-unicode20utf8", kUtf8}, {"unicode-2-0-utf-8", kUtf8},
    {"uft-8", kUtf8}, {"uft8", kUtf8}, {"utf-8-bom", kUtf8}, {"us-ascii", kAscii},
    {"ascii", kAscii}, {"ansi-x3.4-1968", kAscii}, {"iso646-us", kAscii},
    {"iso-646.irv:1991", kAscii}, {"cp367", kAscii}, {"ibm367", kAscii}, {"csascii", kAscii},
    {"iso-ir-6", kAscii}, {"us", kAscii}, {"7bit", kAscii}, {"8bit", kAscii},
    // Latin-1 as windows-1252, as every mail program reads it
    {"iso-8859-1", kLatin}, {"iso8859-1", kLatin}, {"iso-8859-1:1987", kLatin},
    {"iso88591", kLatin}, {"latin1", kLatin}, {"latin-1", kLatin}, {"l1", kLatin},
    {"cp819", kLatin}, {"ibm819", kLatin}, {"csisolatin1", kLatin}, {"iso-ir-100", kLatin},
    {"windows-1252", kLatin}, {"cp1252", kLatin}, {"x-cp1252", kLatin}, {"ansi", kLatin},
    {"x-user-defined", kLatin}, {"x-ansi", kLatin},
    // The other ISO 8859 parts and Windows' code pages, each as its own table
    {"iso-8859-2", "ISO-8859-2"}, {"iso-8859-3", "ISO-8859-3"}, {"iso-8859-4", "ISO-8859-4"},
    {"iso-8859-5", "ISO-8859-5"}, {"iso-8859-6", "ISO-8859-6"}, {"iso-8859-7", "ISO-8859-7"},
    {"iso-8859-8", "ISO-8859-8"}, {"iso-8859-9", "ISO-8859-9"}, {"iso-8859-10", "ISO-8859-10"},
    {"iso-8859-11", "ISO-8859-11"}, {"iso-8859-13", "ISO-8859-13"}, {"iso-8859-14", "ISO-8859-14"},
    {"iso-8859-15", "ISO-8859-15"}, {"iso-8859-16", "ISO-8859-16"}, {"windows-1250", "CP1250"},
    {"windows-1251", "CP1251"}, {"windows-1253", "CP1253"}, {"windows-1254", "CP1254"},
    {"windows-1255", "CP1255"}, {"windows-1256", "CP1256"}, {"windows-1257", "CP1257"},
    {"windows-1258", "CP1258"}, {"latin2", "ISO-8859-2"}, {"l2", "ISO-8859-2"},
    {"csisolatin2", "ISO-8859-2"}, {"iso-ir-101", "ISO-8859-2"}, {"latin3", "ISO-8859-3"},
    {"l3", "ISO-8859-3"}, {"csisolatin3", "ISO-8859-3"}, {"latin4", "ISO-8859-4"},
    {"l4", "ISO-8859-4"}, {"csisolatin4", "ISO-8859-4"}, {"cyrillic", "ISO-8859-5"},
    {"csisolatincyrillic", "ISO-8859-5"}, {"arabic", "ISO-8859-6"}, {"asmo-708", "ISO-8859-6"},
    {"ecma-114", "ISO-8859-6"}, {"csisolatinarabic", "ISO-8859-6"}, {"iso-8859-6-e", "ISO-8859-6"},
    {"iso-8859-6-i", "ISO-8859-6"}, {"greek", "ISO-8859-7"}, {"greek8", "ISO-8859-7"},
    {"ecma-118", "ISO-8859-7"}, {"elot-928", "ISO-8859-7"}, {"csisolatingreek", "ISO-8859-7"},
    {"sun-eu-greek", "ISO-8859-7"}, {"hebrew", "ISO-8859-8"}, {"visual", "ISO-8859-8"},
    {"iso-8859-8-e", "ISO-8859-8"}, {"iso-8859-8-i", "ISO-8859-8"}, {"logical", "ISO-8859-8"},
    {"csisolatinhebrew", "ISO-8859-8"}, {"csiso88598i", "ISO-8859-8"}, {"latin5", "ISO-8859-9"},
    {"l5", "ISO-8859-9"}, {"csisolatin5", "ISO-8859-9"}, {"latin6", "ISO-8859-10"},
    {"l6", "ISO-8859-10"}, {"csisolatin6", "ISO-8859-10"}, {"latin7", "ISO-8859-13"},
    {"l7", "ISO-8859-13"}, {"latin8", "ISO-8859-14"}, {"l8", "ISO-8859-14"},
    {"latin9", "ISO-8859-15"}, {"l9", "ISO-8859-15"}, {"latin-9", "ISO-8859-15"},
    {"csisolatin9", "ISO-8859-15"}, {"latin10", "ISO-8859-16"}, {"l10", "ISO-8859-16"},
    // Cyrillic
    {"koi8-r", "KOI8-R"}, {"koi8r", "KOI8-R"}, {"koi8", "KOI8-R"}, {"koi", "KOI8-R"},
    {"cskoi8r", "KOI8-R"}, {"x-koi8-r", "KOI8-R"}, {"koi8-u", "KOI8-U"}, {"koi8u", "KOI8-U"},
    {"koi8-ru", "KOI8-RU"}, {"koi8-t", "KOI8-T"}, {"x-mac-cyrillic", "MAC-CYRILLIC"},
    {"x-mac-ukrainian", "MAC-CYRILLIC"}, {"maccyrillic", "MAC-CYRILLIC"},
    {"mac-cyrillic", "MAC-CYRILLIC"}, {"ms-cyrl", "CP1251"}, {"pt154", "PT154"},
    // Windows' single-byte code pages under other names
    {"ms-ee", "CP1250"}, {"ms-greek", "CP1253"}, {"ms-turk", "CP1254"}, {"ms-hebr", "CP1255"},
    {"ms-arab", "CP1256"}, {"windows-874", "CP874"}, {"dos-874", "CP874"}, {"cp874", "CP874"},
    {"x-windows-874", "CP874"}, {"tis-620", "TIS-620"}, {"tis620", "TIS-620"},
    {"tis620.2533-0", "TIS-620"}, {"tis-620-2533", "TIS-620"}, {"viscii", "VISCII"},
    {"armscii-8", "ARMSCII-8"}, {"georgian-ps", "GEORGIAN-PS"},
    // Macintosh
    {"macintosh", "MACINTOSH"}, {"mac", "MACINTOSH"}, {"csmacintosh", "MACINTOSH"},
    {"x-mac-roman", "MACINTOSH"}, {"macroman", "MACINTOSH"}, {"mac-roman", "MACINTOSH"},
    {"x-mac-ce", "MAC-CENTRALEUROPE"}, {"x-mac-centraleurope", "MAC-CENTRALEUROPE"},
    {"mac-centraleurope", "MAC-CENTRALEUROPE"}, {"maccentraleurope", "MAC-CENTRALEUROPE"},
    {"x-mac-icelandic", "MAC-IS"}, {"mac-is", "MAC-IS"}, {"macicelandic", "MAC-IS"},
    // Chinese: gb2312 and GBK as GB18030, which reads both as their writers' programs did
    {"gb2312", "GB18030"}, {"gb-2312", "GB18030"}, {"gb-2312-80", "GB18030"},
    {"csgb2312", "GB18030"}, {"chinese", "GB18030"}, {"csiso58gb231280", "GB18030"},
    {"iso-ir-58", "GB18030"}, {"gbk", "GB18030"}, {"x-gbk", "GB18030"}, {"cp936", "GB18030"},
    {"ms936", "GB18030"}, {"windows-936", "GB18030"}, {"euc-cn", "GB18030"}, {"euccn", "GB18030"},
    {"x-euc-cn", "GB18030"}, {"gb18030", "GB18030"}, {"x-mac-chinesesimp", "GB18030"},
    {"big5", "BIG5"}, {"big-5", "BIG5"}, {"big5-hkscs", "BIG5"}, {"big5hkscs", "BIG5"},
    {"cn-big5", "BIG5"}, {"csbig5", "BIG5"}, {"x-x-big5", "BIG5"}, {"x-big5", "BIG5"},
    {"cp950", "BIG5"}, {"ms950", "BIG5"}, {"windows-950", "BIG5"}, {"x-mac-chinesetrad", "BIG5"},
    // Japanese: Shift_JIS as code page 932, as Windows and the Macintosh wrote it
    {"shift-jis", "CP932"}, {"shiftjis", "CP932"}, {"sjis", "CP932"}, {"x-sjis", "CP932"},
    {"ms-kanji", "CP932"}, {"csshiftjis", "CP932"}, {"windows-31j", "CP932"}, {"cp932", "CP932"},
    {"ms932", "CP932"}, {"x-ms-cp932", "CP932"}, {"windows-932", "CP932"},
    {"x-mac-japanese", "CP932"}, {"shift-jis-2004", "CP932"}, {"euc-jp", "EUC-JP"},
    {"eucjp", "EUC-JP"}, {"x-euc-jp", "EUC-JP"}, {"x-euc", "EUC-JP"},
    {"cseucpkdfmtjapanese", "EUC-JP"}, {"iso-2022-jp", "ISO-2022-JP"},
    {"csiso2022jp", "ISO-2022-JP"}, {"iso-2022-jp-1", "ISO-2022-JP"},
    {"iso-2022-jp-2", "ISO-2022-JP"}, {"iso-2022-jp-3", "ISO-2022-JP"}, {"jis", "ISO-2022-JP"},
    {"x-jis", "ISO-2022-JP"},
    // Korean: EUC-KR and its Microsoft names as code page 949
    {"euc-kr", "CP949"}, {"euckr", "CP949"}, {"x-euc-kr", "CP949"}, {"cseuckr", "CP949"},
    {"ks-c-5601-1987", "CP949"}, {"ks-c-5601-1989", "CP949"}, {"ks-c-5601", "CP949"},
    {"ksc5601", "CP949"}, {"ksc-5601", "CP949"}, {"korean", "CP949"}, {"csksc56011987", "CP949"},
    {"iso-ir-149", "CP949"}, {"windows-949", "CP949"}, {"cp949", "CP949"}, {"uhc", "CP949"},
    {"x-windows-949", "CP949"}, {"ms949", "CP949"}, {"x-mac-korean", "CP949"},
    {"iso-2022-kr", "ISO-2022-KR"}, {"csiso2022kr", "ISO-2022-KR"},
    // Unicode in other forms
    {"utf-7", "UTF-7"}, {"utf7", "UTF-7"}, {"x-utf-7", "UTF-7"}, {"x-utf7", "UTF-7"},
    {"unicode-1-1-utf-7", "UTF-7"}, {"csunicode11utf7", "UTF-7"}, {"unicode-2-0-utf-7", "UTF-7"},
    {"x-unicode20utf7", "UTF-7"}, {"utf-16", "UTF-16"}, {"utf16", "UTF-16"},
    {"utf-16le", "UTF-16LE"}, {"utf-16be", "UTF-16BE"}, {"unicode", "UTF-16LE"},
    {"unicodefeff", "UTF-16LE"}, {"ucs-2", "UTF-16LE"}, {"csunicode", "UTF-16LE"},
    {"iso-10646-ucs-2", "UTF-16LE"}, {"unicodefffe", "UTF-16BE"},
};
// clang-format on

// The DOS code pages the C library reads, by number.
constexpr std::array<int, 16> kDosCodePages = {437, 737, 775, 850, 852, 855, 857, 860,
                                               861, 862, 863, 864, 865, 866, 869, 1125};

const std::unordered_map<std::string_view, const char*>& Labels() {
  static const auto* labels = [] {
    auto* map = new std::unordered_map<std::string_view, const char*>();
    for (const Entry& e : kLabels) map->emplace(e.label, e.reading);
    return map;
  }();
  return *labels;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The label in lower case, without quotes or blanks around it, '-' for '_', cut at what can
// be no part of a label (the parameters or the header that followed it).
std::string Clean(std::string_view label) {
  std::string out;
  for (const char c : label) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\'' || c == '`' || u <= ' ') {
      if (out.empty()) continue;
      break;
    }
    if (c == ';' || c == ',' || c == '(' || c == '<' || c == '>' || u >= 0x80) break;
    out += c == '_' ? '-' : static_cast<char>(std::tolower(u));
  }
  while (!out.empty() && (out.back() == '.' || out.back() == '-')) out.pop_back();
  // charset="charset=us-ascii": the parameter written twice.
  if (out.starts_with("charset=")) out.erase(0, 8);
  return out;
}

// "123" at the start of `text` and nothing after it, as a number; -1 otherwise.
int WholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return -1;
  int n = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::string_view AfterPrefix(std::string_view text, std::initializer_list<std::string_view> of) {
  for (const std::string_view p : of) {
    if (text.starts_with(p)) return text.substr(p.size());
  }
  return {};
}

// The forms the tables do not list one by one: "iso8859-2", "iso-8859-2:1987", "windows1251",
// "cp-1251", "win-1251", "ibm866", "cp-866".
std::string Patterned(std::string_view clean) {
  if (auto rest = AfterPrefix(clean, {"iso-8859-", "iso8859-", "iso-8859", "iso8859", "8859-"});
      !rest.empty()) {
    rest = rest.substr(0, rest.find(':'));
    const int part = WholeNumber(rest);
    if (part == 1) return kLatin;
    if (part >= 2 && part <= 16 && part != 12) return "ISO-8859-" + std::to_string(part);
    return {};
  }
  if (auto rest = AfterPrefix(clean, {"windows-", "windows", "win-", "win", "x-cp-", "x-cp", "cp-",
                                      "cp", "ms-", "ms", "ibm-", "ibm", "dos-"});
      !rest.empty()) {
    const int page = WholeNumber(rest);
    if (page == 1252) return kLatin;
    if (page >= 1250 && page <= 1258) return "CP" + std::to_string(page);
    if (std::find(kDosCodePages.begin(), kDosCodePages.end(), page) != kDosCodePages.end()) {
      return "CP" + std::to_string(page);
    }
  }
  return {};
}

// A known label followed by what a broken program wrote after it ("utf-8return-path:"): the
// longest one the text starts with, of four letters at least, where a number in it does not
// go on.
const char* LongestLabelBefore(std::string_view clean) {
  const char* found = nullptr;
  std::size_t longest = 0;
  for (const Entry& e : kLabels) {
    const std::string_view label = e.label;
    if (label.size() < 4 || label.size() <= longest || label.size() >= clean.size() ||
        !clean.starts_with(label)) {
      continue;
    }
    if (IsDigit(label.back()) && IsDigit(clean[label.size()])) continue;
    found = e.reading;
    longest = label.size();
  }
  return found;
}

CharsetLabel FromReading(std::string_view reading) {
  if (reading.empty()) return {CharsetKind::None, {}, true};
  if (reading == kLatin) return {CharsetKind::Windows1252, {}, true};
  if (reading == kUtf8) return {CharsetKind::Utf8, {}, true};
  return {CharsetKind::Iconv, std::string(reading), true};
}

}  // namespace

CharsetLabel ReadCharsetLabel(std::string_view label) {
  std::string clean = Clean(label);
  if (clean.empty()) return {};
  for (int pass = 0; pass < 2; ++pass) {
    if (const auto it = Labels().find(clean); it != Labels().end()) return FromReading(it->second);
    if (std::string patterned = Patterned(clean); !patterned.empty()) {
      return FromReading(patterned);
    }
    // "x-koi8-r", "x-iso-8859-2": the experimental prefix before a label of its own.
    if (!clean.starts_with("x-")) break;
    clean.erase(0, 2);
  }
  if (const char* reading = LongestLabelBefore(Clean(label))) return FromReading(reading);
  return {CharsetKind::None, {}, false};
}

bool IsSingleByteCharset(std::string_view label) {
  const CharsetLabel read = ReadCharsetLabel(label);
  if (read.kind == CharsetKind::Windows1252) return true;
  if (read.kind != CharsetKind::Iconv) return false;
  static constexpr std::string_view kWider[] = {"GB18030",     "BIG5",        "CP932",
                                                "EUC-JP",      "ISO-2022-JP", "CP949",
                                                "ISO-2022-KR", "UTF-7",       "UTF-16"};
  return std::none_of(std::begin(kWider), std::end(kWider),
                      [&](std::string_view wide) { return read.iconvName.starts_with(wide); });
}

std::vector<std::vector<std::string>> CharsetLabelGroups() {
  std::vector<std::vector<std::string>> groups;
  std::vector<std::string_view> readings;
  for (const Entry& e : kLabels) {
    if (std::string_view(e.reading).empty()) continue;  // ASCII: names no charset
    const auto at = std::find(readings.begin(), readings.end(), e.reading);
    if (at == readings.end()) {
      readings.push_back(e.reading);
      groups.push_back({e.label});
    } else {
      groups[static_cast<std::size_t>(at - readings.begin())].push_back(e.label);
    }
  }
  // Each group's first label is its usual name, but Latin-1's, which is read as windows-1252.
  for (std::size_t i = 0; i < groups.size(); ++i) {
    if (readings[i] != kLatin) continue;
    auto& group = groups[i];
    const auto at = std::find(group.begin(), group.end(), "windows-1252");
    if (at != group.end()) std::rotate(group.begin(), at, at + 1);
  }
  return groups;
}

bool IsUsableFallback(std::string_view label) {
  const CharsetLabel read = ReadCharsetLabel(label);
  return read.known && read.kind != CharsetKind::None;
}

}  // namespace qc::mapi::import
