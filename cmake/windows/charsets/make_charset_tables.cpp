// Writes the charset tables of the Windows build from the C library's own converters (glibc's
// iconv, on the Linux machine that cross-builds), so that the Windows program reads every label
// the Linux program reads, and reads it the same way: Windows' code pages are fewer (no
// ISO-8859-10, 14 or 16, no UTF-7 under Wine) and differ in places from glibc's tables.
//
// usage: make_charset_tables OUTPUT.h < NAMES   (NAMES: `iconv -l`, the labels to try)
//
// Kept: every single-byte charset whose bytes read one character each, without state; the
// double-byte charsets of Chinese, Japanese and Korean mail (with EUC-JP's three-byte part and
// GB18030's four-byte part); and the labels of ISO-2022-JP, ISO-2022-KR and UTF-7, which are
// read by code over those tables. Each table is written once, under all its labels.
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t kInvalid = 0xFFFF;
constexpr std::uint16_t kMore = 0xFFFE;  // a lead byte: the character needs more bytes

enum class Read { One, Invalid, More, Many };

// One sequence through the converter: one character from all of its bytes, or why not. A
// character beyond the BMP is given as its code point in `wide` and 0 in `out`.
Read Convert(iconv_t cd, const std::vector<unsigned char>& in, std::uint16_t& out,
             std::uint32_t* wide = nullptr) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* inp = reinterpret_cast<char*>(const_cast<unsigned char*>(in.data()));
  std::size_t inLeft = in.size();
  char buffer[16];
  char* outp = buffer;
  std::size_t outLeft = sizeof buffer;
  const std::size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
  if (r == static_cast<std::size_t>(-1)) {
    if (errno == EINVAL && inLeft == in.size()) return Read::More;
    return Read::Invalid;
  }
  // Flushing a stateful converter may add what it held back.
  iconv(cd, nullptr, nullptr, &outp, &outLeft);
  if (outp - buffer == 0) return Read::Invalid;
  if (outp - buffer == 4 && wide != nullptr) {
    const auto unit = [&](int i) {
      return static_cast<std::uint32_t>(static_cast<unsigned char>(buffer[i]) |
                                        (static_cast<unsigned char>(buffer[i + 1]) << 8));
    };
    const std::uint32_t hi = unit(0), lo = unit(2);
    if (hi >= 0xD800 && hi <= 0xDBFF && lo >= 0xDC00 && lo <= 0xDFFF) {
      *wide = 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00);
      out = 0;
      return Read::One;
    }
  }
  if (outp - buffer != 2) return Read::Many;  // more than one UTF-16 unit
  out = static_cast<std::uint16_t>(static_cast<unsigned char>(buffer[0]) |
                                   (static_cast<unsigned char>(buffer[1]) << 8));
  if (out >= 0xD800 && out <= 0xDFFF) return Read::Invalid;
  if (out == kInvalid || out == kMore) return Read::Invalid;
  return Read::One;
}

struct Tables {
  std::vector<std::uint16_t> single;  // 256
  std::vector<std::uint16_t> dbcs;    // 128 x 256, lead bytes 0x80-0xFF
  std::vector<std::uint16_t> triple;  // EUC-JP 0x8F: 128 x 128, second and third bytes 0x80-0xFF
  std::vector<std::uint16_t> quad;    // GB18030: 4 x 10 x 126 x 10, first bytes 0x81-0x84
  std::vector<std::uint32_t> wide;    // two-byte characters beyond the BMP: cells 0xD800 + n
  bool operator<(const Tables& o) const {
    return std::tie(single, dbcs, triple, quad, wide) <
           std::tie(o.single, o.dbcs, o.triple, o.quad, o.wide);
  }
};

iconv_t Open(const std::string& name) {
  return iconv_open("UTF-16LE", name.c_str());
}

bool SingleByte(const std::string& name, Tables& t) {
  iconv_t cd = Open(name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  t.single.assign(256, kInvalid);
  bool ok = true;
  for (int b = 0; b < 256 && ok; ++b) {
    std::uint16_t c = 0;
    const Read r = Convert(cd, {static_cast<unsigned char>(b)}, c);
    if (r == Read::More || r == Read::Many) ok = false;
    if (r == Read::One) t.single[b] = c;
  }
  // Stateless: the bytes read together give what they give one by one (CP1258 and TCVN join a
  // letter and the mark after it; such charsets stay with Windows' own reading).
  if (ok) {
    std::vector<unsigned char> all;
    std::u16string expected;
    for (int b = 1; b < 256; ++b) {
      if (t.single[b] == kInvalid) continue;
      all.push_back(static_cast<unsigned char>(b));
      expected.push_back(static_cast<char16_t>(t.single[b]));
      all.push_back('a');
      expected.push_back(u'a');
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> out(all.size() * 8);
    char* inp = reinterpret_cast<char*>(all.data());
    std::size_t inLeft = all.size();
    char* outp = out.data();
    std::size_t outLeft = out.size();
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) == static_cast<std::size_t>(-1)) ok = false;
    iconv(cd, nullptr, nullptr, &outp, &outLeft);
    if (ok && std::u16string(reinterpret_cast<char16_t*>(out.data()),
                             static_cast<std::size_t>(outp - out.data()) / 2) != expected) {
      ok = false;
    }
  }
  iconv_close(cd);
  return ok;
}

bool MultiByte(const std::string& name, Tables& t) {
  iconv_t cd = Open(name);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  t.single.assign(256, kInvalid);
  t.dbcs.assign(128 * 256, kInvalid);
  for (int b = 0; b < 256; ++b) {
    std::uint16_t c = 0;
    const Read r = Convert(cd, {static_cast<unsigned char>(b)}, c);
    if (r == Read::One) t.single[b] = c;
    if (r == Read::More) t.single[b] = kMore;
  }
  bool three = false, four = false;
  for (int lead = 0x80; lead < 0x100; ++lead) {
    if (t.single[lead] != kMore) continue;
    for (int trail = 0; trail < 256; ++trail) {
      std::uint16_t c = 0;
      std::uint32_t w = 0;
      const Read r =
          Convert(cd, {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)}, c, &w);
      auto& cell = t.dbcs[(lead - 0x80) * 256 + trail];
      if (r == Read::One && w != 0 && t.wide.size() < 0x800) {
        cell = static_cast<std::uint16_t>(0xD800 + t.wide.size());
        t.wide.push_back(w);
      } else if (r == Read::One && w == 0) {
        cell = c;
      }
      if (r == Read::More) {
        cell = kMore;
        (trail >= 0x30 && trail <= 0x39 ? four : three) = true;
      }
    }
  }
  if (three) {  // EUC-JP: 0x8F and two bytes of JIS X 0212
    t.triple.assign(128 * 128, kInvalid);
    for (int b2 = 0x80; b2 < 0x100; ++b2) {
      for (int b3 = 0x80; b3 < 0x100; ++b3) {
        std::uint16_t c = 0;
        if (Convert(cd, {0x8F, static_cast<unsigned char>(b2), static_cast<unsigned char>(b3)},
                    c) == Read::One) {
          t.triple[(b2 - 0x80) * 128 + (b3 - 0x80)] = c;
        }
      }
    }
  }
  if (four) {  // GB18030: the four-byte sequences of the BMP
    t.quad.assign(4 * 10 * 126 * 10, kInvalid);
    for (int b1 = 0x81; b1 <= 0x84; ++b1)
      for (int b2 = 0x30; b2 <= 0x39; ++b2)
        for (int b3 = 0x81; b3 <= 0xFE; ++b3)
          for (int b4 = 0x30; b4 <= 0x39; ++b4) {
            std::uint16_t c = 0;
            if (Convert(cd,
                        {static_cast<unsigned char>(b1), static_cast<unsigned char>(b2),
                         static_cast<unsigned char>(b3), static_cast<unsigned char>(b4)},
                        c) == Read::One) {
              t.quad[(((b1 - 0x81) * 10 + (b2 - 0x30)) * 126 + (b3 - 0x81)) * 10 + (b4 - 0x30)] = c;
            }
          }
  }
  iconv_close(cd);
  return true;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

template <class T>
void WriteArray(std::ostream& out, const std::string& name, const std::vector<T>& v) {
  out << "static const " << (sizeof(T) == 2 ? "unsigned short " : "unsigned int ") << name << "["
      << v.size() << "] = {";
  for (std::size_t i = 0; i < v.size(); ++i) out << (i == 0 ? "\n" : i % 16 ? "," : ",\n") << v[i];
  out << "};\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_charset_tables OUTPUT.h < NAMES\n";
    return 2;
  }
  std::set<std::string> names;
  for (std::string word; std::cin >> word;) {
    while (!word.empty() && (word.back() == ',' || word.back() == '/')) word.pop_back();
    if (!word.empty()) names.insert(word);
  }
  // The double-byte charsets kept, and the kinds of decoder each needs.
  const std::map<std::string, int> kMultiByte = {
      {"EUC-CN", 1}, {"GBK", 1},   {"GB18030", 3}, {"BIG5", 1},   {"CP950", 1},
      {"SJIS", 1},   {"CP932", 1}, {"EUC-JP", 2},  {"EUC-KR", 1}, {"UHC", 1}};
  std::map<Tables, std::pair<int, std::vector<std::string>>> kept;  // table -> kind, labels
  for (const auto& [name, kind] : kMultiByte) {
    Tables t;
    if (!MultiByte(name, t)) {
      std::cerr << "make_charset_tables: the C library has no " << name << "\n";
      return 1;
    }
    kept[t] = {kind, {}};
  }
  std::size_t single = 0;
  for (const std::string& name : names) {
    Tables t;
    if (SingleByte(name, t)) {
      auto& entry = kept[t];
      if (entry.second.empty()) ++single;
      entry.second.push_back(Lower(name));
      continue;
    }
    Tables m;
    if (MultiByte(name, m)) {
      auto it = kept.find(m);
      if (it != kept.end() && it->second.first != 0) it->second.second.push_back(Lower(name));
    }
  }
  std::ostringstream out;
  out << "/* Written by make_charset_tables from the C library's converters; not edited by hand. "
         "*/\n";
  std::ostringstream list;
  int n = 0;
  for (const auto& [t, entry] : kept) {
    const auto& [kind, labels] = entry;
    if (labels.empty()) continue;
    const std::string id = "qc_cs" + std::to_string(n++);
    WriteArray(out, id + "_1", t.single);
    if (!t.dbcs.empty()) WriteArray(out, id + "_2", t.dbcs);
    if (!t.triple.empty()) WriteArray(out, id + "_3", t.triple);
    if (!t.quad.empty()) WriteArray(out, id + "_4", t.quad);
    if (!t.wide.empty()) WriteArray(out, id + "_w", t.wide);
    std::string joined = "|";
    for (const auto& l : labels) joined += l + "|";
    list << "  {\"" << joined << "\", " << kind << ", " << id << "_1, "
         << (t.dbcs.empty() ? "0" : id + "_2") << ", " << (t.triple.empty() ? "0" : id + "_3")
         << ", " << (t.quad.empty() ? "0" : id + "_4") << ", " << (t.wide.empty() ? "0" : id + "_w")
         << "},\n";
  }
  out << "static const struct qc_charset qc_charsets[] = {\n" << list.str() << "};\n";
  std::ofstream file(argv[1]);
  file << out.str();
  if (!file.flush()) {
    std::cerr << "make_charset_tables: cannot write " << argv[1] << "\n";
    return 1;
  }
  std::cerr << "make_charset_tables: " << n << " tables (" << single << " single-byte)\n";
  return 0;
}
