#include "bench/mailbox_gen.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace qc::bench {

namespace {

// xoshiro256**: fast, and its sequence is fixed by its definition (unlike the standard
// distributions, whose results differ between library implementations).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) {
    for (auto& s : s_) {
      seed += 0x9E3779B97F4A7C15ull;
      std::uint64_t z = seed;
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
      s = z ^ (z >> 31);
    }
  }

  std::uint64_t next() {
    const std::uint64_t result = rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = rotl(s_[3], 45);
    return result;
  }

  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  int between(int lo, int hi) {
    return lo + static_cast<int>(below(static_cast<std::size_t>(hi - lo + 1)));
  }
  double real() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
  bool chance(double p) { return real() < p; }

  template <typename T, std::size_t N>
  const T& pick(const std::array<T, N>& items) {
    return items[below(N)];
  }

 private:
  static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  std::array<std::uint64_t, 4> s_{};
};

using Words = std::string_view;

constexpr auto kWords = std::to_array<Words>({
    "the",       "a",         "to",        "of",       "and",      "in",        "for",
    "on",        "with",      "that",      "this",     "is",       "are",       "was",
    "be",        "we",        "you",       "it",       "our",      "your",      "will",
    "can",       "have",      "has",       "not",      "all",      "at",        "by",
    "from",      "as",        "an",        "or",       "if",       "about",     "after",
    "before",    "next",      "week",      "month",    "today",    "tomorrow",  "meeting",
    "project",   "report",    "invoice",   "order",    "shipment", "delivery",  "customer",
    "team",      "budget",    "plan",      "schedule", "review",   "update",    "draft",
    "contract",  "price",     "offer",     "quarter",  "numbers",  "figures",   "agenda",
    "minutes",   "office",    "warehouse", "pallets",  "truck",    "carrier",   "customs",
    "papers",    "please",    "thanks",    "again",    "still",    "already",   "soon",
    "late",      "early",     "new",       "old",      "final",    "first",     "second",
    "last",      "small",     "large",     "short",    "long",     "good",      "better",
    "clear",     "open",      "closed",    "ready",    "sent",     "received",  "checked",
    "signed",    "attached",  "changed",   "moved",    "booked",   "confirmed", "cancelled",
    "discussed", "agreed",    "expected",  "needed",   "missing",  "correct",   "wrong",
    "morning",   "afternoon", "evening",   "Monday",   "Tuesday",  "Wednesday", "Thursday",
    "Friday",    "Hamburg",   "Rotterdam", "Antwerp",  "Berlin",   "Munich",    "Zurich",
    "finance",   "sales",     "support",   "legal",    "there",    "here",      "when",
    "which",     "because",   "also",      "only",     "just",     "more",      "less",
    "some",      "any",       "each",      "every",    "other",    "same",      "number",
    "copy",      "file",      "list",      "table",
});

// Words that begin a sentence. "From" is not among them: a body line starting with "From "
// followed by a time would start a new message for git mailsplit.
constexpr auto kStarters = std::to_array<Words>({
    "The",       "We",       "Please", "Thanks", "Our",   "This",          "Could", "It",
    "As",        "After",    "Before", "In",     "All",   "Next",          "Let",   "I",
    "Yesterday", "Tomorrow", "Also",   "Maybe",  "Sorry", "Unfortunately", "Good",  "There",
});

constexpr auto kFirstNames = std::to_array<Words>({
    "Anna",  "Martin", "Priya",  "Jan",   "Helene", "Olga",  "Tom",   "Sara",
    "Lukas", "Mia",    "Noah",   "Emma",  "David",  "Julia", "Ahmed", "Chen",
    "Laura", "Pedro",  "Ingrid", "Tariq", "Sofia",  "Marco", "Yuki",  "Kofi",
});

constexpr auto kLastNames = std::to_array<Words>({
    "Berg",   "Keller",  "Raman",  "de Vries", "Dubois", "Smirnova", "Walker", "Lindqvist",
    "Braun",  "Novak",   "Okafor", "Rossi",    "Meyer",  "Schmidt",  "Hansen", "Nakamura",
    "Garcia", "Fischer", "Moreau", "Kowalski", "Haddad", "Silva",    "Jensen", "Weber",
});

constexpr auto kDomains = std::to_array<Words>({
    "northwind-logistics.example",
    "harbor-mail.example",
    "blue-road-freight.example",
    "sgtl.example",
    "bergwerk-consult.example",
    "books.example",
    "fjord-shipping.example",
    "mailbox-east.example",
    "alpine-trade.example",
    "coastline-it.example",
});

struct Attachment {
  Words type;
  Words extension;
};

constexpr std::array<Attachment, 6> kAttachments = {{
    {"application/pdf", "pdf"},
    {"image/jpeg", "jpg"},
    {"image/png", "png"},
    {"application/zip", "zip"},
    {"application/vnd.openxmlformats-officedocument.wordprocessingml.document", "docx"},
    {"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet", "xlsx"},
}};

constexpr std::array<const char*, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kWrap = 72;

// A point in time broken down for the separator line and the Date header.
struct Stamp {
  const char* day;
  const char* month;
  int dayOfMonth, year, hour, minute, second;
};

Stamp MakeStamp(std::int64_t seconds) {
  using namespace std::chrono;
  const sys_seconds t{std::chrono::seconds{seconds}};
  const auto days = floor<std::chrono::days>(t);
  const year_month_day ymd{days};
  const hh_mm_ss hms{t - days};
  return {kDayNames[weekday{days}.c_encoding()],
          kMonthNames[static_cast<unsigned>(ymd.month()) - 1],
          static_cast<int>(static_cast<unsigned>(ymd.day())),
          static_cast<int>(ymd.year()),
          static_cast<int>(hms.hours().count()),
          static_cast<int>(hms.minutes().count()),
          static_cast<int>(hms.seconds().count())};
}

// Buffered output that counts what it wrote and ends lines the current message's way.
class Output {
 public:
  explicit Output(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
    if (!file_) fail("cannot create");
    buffer_.reserve(kFlushAt + 4096);
  }
  ~Output() {
    if (file_) std::fclose(file_);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void setEol(std::string_view eol) { eol_ = eol; }
  std::int64_t written() const { return flushed_ + static_cast<std::int64_t>(buffer_.size()); }

  void line(std::string_view text = {}) {
    buffer_.append(text);
    buffer_.append(eol_);
    if (buffer_.size() >= kFlushAt) flush();
  }
  template <typename... Args>
  void linef(const char* format, Args... args) {
    char text[512];
    const int n = std::snprintf(text, sizeof text, format, args...);
    line(std::string_view(text, static_cast<std::size_t>(std::clamp(n, 0, 511))));
  }

  void close() {
    flush();
    if (std::fclose(file_) != 0) {
      file_ = nullptr;
      fail("cannot write");
    }
    file_ = nullptr;
  }

 private:
  static constexpr std::size_t kFlushAt = std::size_t{1} << 20;

  void flush() {
    if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size())
      fail("cannot write");
    flushed_ += static_cast<std::int64_t>(buffer_.size());
    buffer_.clear();
  }
  [[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string(what) + " '" + path_ + "': " + std::strerror(errno));
  }

  std::string path_;
  std::FILE* file_;
  std::string buffer_;
  std::string_view eol_ = "\r\n";
  std::int64_t flushed_ = 0;
};

// Fills lines of running text, wrapped like a mail program wraps them.
class TextWriter {
 public:
  TextWriter(Output& out, Rng& rng, std::string_view prefix)
      : out_(out), rng_(rng), prefix_(prefix) {}

  // Paragraphs until at least `bytes` are written (one paragraph at the least).
  void paragraphs(std::int64_t bytes) {
    const std::int64_t start = out_.written();
    do {
      paragraph();
      out_.line(prefix_.empty() ? std::string_view{} : std::string_view(">"));
    } while (out_.written() - start < bytes);
  }

  void paragraph() {
    const int sentences = rng_.between(1, 5);
    for (int s = 0; s < sentences; ++s) sentence();
    endLine();
  }

 private:
  void sentence() {
    word(rng_.pick(kStarters));
    const int words = rng_.between(4, 16);
    for (int w = 1; w < words; ++w) {
      std::string_view next = rng_.pick(kWords);
      if (w + 1 == words) {
        const std::size_t end = rng_.below(10);
        const std::string_view mark = end == 0 ? "!" : end == 1 ? "?" : ".";
        tail_.assign(next);
        tail_.append(mark);
        next = tail_;
      } else if (rng_.below(9) == 0) {
        tail_.assign(next);
        tail_.append(",");
        next = tail_;
      }
      word(next);
    }
  }

  void word(std::string_view w) {
    if (!line_.empty() && line_.size() + 1 + w.size() > kWrap) endLine();
    if (line_.empty()) {
      line_.assign(prefix_);
    } else {
      line_.push_back(' ');
    }
    line_.append(w);
  }

  void endLine() {
    if (line_.empty()) return;
    out_.line(line_);
    line_.clear();
  }

  Output& out_;
  Rng& rng_;
  std::string_view prefix_;
  std::string line_;
  std::string tail_;
};

struct Person {
  std::string name;
  std::string address;
};

Person MakePerson(Rng& rng) {
  const std::string_view first = rng.pick(kFirstNames);
  const std::string_view last = rng.pick(kLastNames);
  std::string local(first);
  local += '.';
  for (char c : last) {
    if (c != ' ') local += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  for (auto& c : local) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return {std::string(first) + " " + std::string(last),
          local + "@" + std::string(rng.pick(kDomains))};
}

// What one message will hold, decided before anything is written so that sizes can be planned.
struct Plan {
  bool attach = false;
  bool html = false;
  bool crlf = true;
  bool reply = false;
  double text = 0;     // planned bytes of running text
  double markup = 0;   // planned bytes of the HTML alternative
  double encoded = 0;  // planned bytes of base64
  double total() const { return kHeaderBytes + text + markup + encoded; }

  static constexpr double kHeaderBytes = 900;  // headers and MIME framing, roughly
};

std::vector<Plan> MakePlans(const MailboxOptions& options, Rng& rng) {
  std::vector<Plan> plans(static_cast<std::size_t>(options.count));
  std::vector<double> weights(plans.size(), 0.0);
  double fixed = 0;
  double weightSum = 0;
  for (std::size_t i = 0; i < plans.size(); ++i) {
    Plan& p = plans[i];
    p.attach = rng.chance(options.attachShare);
    p.html = rng.chance(options.htmlShare);
    p.crlf = rng.chance(options.crlfShare);
    p.reply = rng.chance(0.35);
    // Most mails are short; a few run long. Log-uniform between 150 bytes and 3 KB.
    p.text = 150.0 * std::exp(rng.real() * std::log(20.0));
    if (p.html) p.markup = p.text * 1.6;
    fixed += p.total();
    if (p.attach) {
      // Pareto-like attachment sizes: many small files, a few of some megabytes.
      weights[i] = std::min(2000.0, 1.0 / (1.0 - rng.real()));
      weightSum += weights[i];
    }
  }
  // The attachments take what the text leaves of the target size; with no room left they stay
  // small and the writer scales every message down to fit.
  const double left = static_cast<double>(options.size) - fixed;
  for (std::size_t i = 0; i < plans.size(); ++i) {
    if (!plans[i].attach) continue;
    plans[i].encoded = left > 0 ? left * weights[i] / weightSum : 2048.0;
  }
  return plans;
}

// The parts of one message that its headers and its body both refer to.
struct Letter {
  std::int64_t number;
  std::uint64_t id;
  bool reply;
  Stamp when;
  Person from;
  Person to;
};

class MailboxWriter {
 public:
  MailboxWriter(Output& out, Rng& rng) : out_(out), rng_(rng) {}

  void message(std::int64_t number, const Plan& plan, double target, std::int64_t when) {
    out_.setEol(plan.crlf ? "\r\n" : "\n");
    const std::int64_t start = out_.written();
    const Stamp s = MakeStamp(when);
    out_.linef("From ???@??? %s %s %02d %02d:%02d:%02d %d", s.day, s.month, s.dayOfMonth, s.hour,
               s.minute, s.second, s.year);
    Person from = MakePerson(rng_);
    Person to = MakePerson(rng_);
    const Letter letter{number, rng_.next(), plan.reply, s, std::move(from), std::move(to)};
    headers(letter);

    // Whatever the headers took is taken from the body parts, in proportion.
    const double body = std::max(200.0, target - static_cast<double>(out_.written() - start));
    const double planned = std::max(1.0, plan.text + plan.markup + plan.encoded);
    const double scale = body / planned;
    const auto text = static_cast<std::int64_t>(plan.text * scale);
    const auto markup = static_cast<std::int64_t>(plan.markup * scale);
    const auto encoded = static_cast<std::int64_t>(plan.encoded * scale);

    const std::string mixed = Boundary("Part", letter.number, letter.id >> 32);
    if (plan.attach) {
      out_.linef("Content-Type: multipart/mixed; boundary=\"%s\"", mixed.c_str());
      out_.line();
      out_.line("This is a multi-part message in MIME format.");
      out_.line();
      out_.linef("--%s", mixed.c_str());
    }
    if (plan.html) {
      alternative(letter, text, markup);
    } else {
      plainPart(letter, text);
    }
    if (plan.attach) {
      out_.linef("--%s", mixed.c_str());
      attachment(number, encoded);
      out_.linef("--%s--", mixed.c_str());
    }
    // A blank line ends every message, so the next separator always follows a line break.
    out_.line();
  }

 private:
  static std::string Boundary(const char* kind, std::int64_t number, std::uint64_t bits) {
    char text[64];
    std::snprintf(text, sizeof text, "----=_%s_%lld_%08llx", kind, static_cast<long long>(number),
                  static_cast<unsigned long long>(bits & 0xFFFFFFFFu));
    return text;
  }

  void headers(const Letter& letter) {
    const Stamp& s = letter.when;
    char date[64];
    std::snprintf(date, sizeof date, "%s, %02d %s %d %02d:%02d:%02d +0100", s.day, s.dayOfMonth,
                  s.month, s.year, s.hour, s.minute, s.second);
    const std::string& sender = letter.from.address;
    const std::string domain = sender.substr(sender.find('@') + 1);
    const auto id = static_cast<unsigned long long>(letter.id);

    out_.linef("Return-Path: <%s>", sender.c_str());
    out_.linef("Received: from mail.%s (mail.%s [192.0.2.%d])", domain.c_str(), domain.c_str(),
               static_cast<int>(rng_.below(250)) + 2);
    out_.linef("\tby mx1.harbor-mail.example with ESMTPS id %016llX", id);
    out_.linef("\tfor <%s>; %s", letter.to.address.c_str(), date);
    out_.linef("Date: %s", date);
    out_.linef("From: %s <%s>", letter.from.name.c_str(), sender.c_str());
    out_.linef("To: %s <%s>", letter.to.name.c_str(), letter.to.address.c_str());
    if (rng_.chance(0.25)) {
      const Person cc = MakePerson(rng_);
      out_.linef("Cc: %s <%s>", cc.name.c_str(), cc.address.c_str());
    }
    subject(letter.reply);
    out_.linef("Message-ID: <%016llx.%lld@%s>", id, static_cast<long long>(letter.number),
               domain.c_str());
    if (letter.reply) {
      out_.linef("In-Reply-To: <%016llx@%s>", static_cast<unsigned long long>(rng_.next()),
                 std::string(rng_.pick(kDomains)).c_str());
    }
    out_.line("MIME-Version: 1.0");
    out_.line("X-Mailer: Quillon 4.2");
  }

  void subject(bool reply) {
    std::string text = reply ? "Re: " : rng_.chance(0.05) ? "Fwd: " : "";
    text += rng_.pick(kStarters);
    const int words = rng_.between(2, 7);
    for (int w = 0; w < words; ++w) {
      text += ' ';
      text += rng_.pick(kWords);
    }
    out_.linef("Subject: %s", text.c_str());
  }

  void textBody(const Letter& letter, std::int64_t bytes) {
    const std::int64_t own = letter.reply ? bytes * 2 / 3 : bytes;
    const std::string& greeted = letter.to.name;
    out_.linef("Hello %s,", greeted.substr(0, greeted.find(' ')).c_str());
    out_.line();
    TextWriter(out_, rng_, "").paragraphs(own);
    out_.line("Regards,");
    out_.line(letter.from.name);
    if (letter.reply) {
      const Stamp& s = letter.when;
      out_.line();
      out_.linef("On %s, %02d %s %d, %s wrote:", s.day, s.dayOfMonth, s.month, s.year,
                 letter.to.name.c_str());
      TextWriter(out_, rng_, "> ").paragraphs(bytes - own);
    }
    out_.line();
    out_.line("-- ");
    out_.line(letter.from.name);
    out_.line(letter.from.address);
  }

  void plainPart(const Letter& letter, std::int64_t bytes) {
    out_.line("Content-Type: text/plain; charset=us-ascii; format=flowed");
    out_.line("Content-Transfer-Encoding: 7bit");
    out_.line();
    textBody(letter, bytes);
  }

  void alternative(const Letter& letter, std::int64_t text, std::int64_t markup) {
    const std::string boundary = Boundary("Alt", letter.number, letter.id);
    out_.linef("Content-Type: multipart/alternative; boundary=\"%s\"", boundary.c_str());
    out_.line();
    out_.linef("--%s", boundary.c_str());
    plainPart(letter, text);
    out_.linef("--%s", boundary.c_str());
    out_.line("Content-Type: text/html; charset=us-ascii");
    out_.line("Content-Transfer-Encoding: 7bit");
    out_.line();
    out_.line("<!DOCTYPE html>");
    out_.line("<html><head><meta charset=\"us-ascii\"></head>");
    out_.line("<body style=\"font-family: Arial, sans-serif; font-size: 14px;\">");
    const std::int64_t start = out_.written();
    TextWriter html(out_, rng_, "");
    do {
      if (rng_.chance(0.2)) out_.line("<h3>Summary</h3>");
      out_.line("<p>");
      html.paragraph();
      out_.line("</p>");
    } while (out_.written() - start < markup);
    out_.line("</body></html>");
    out_.linef("--%s--", boundary.c_str());
    out_.line();
  }

  void attachment(std::int64_t number, std::int64_t bytes) {
    const Attachment& kind = rng_.pick(kAttachments);
    out_.linef("Content-Type: %.*s; name=\"file-%lld.%.*s\"", static_cast<int>(kind.type.size()),
               kind.type.data(), static_cast<long long>(number),
               static_cast<int>(kind.extension.size()), kind.extension.data());
    out_.line("Content-Transfer-Encoding: base64");
    out_.linef("Content-Disposition: attachment; filename=\"file-%lld.%.*s\"",
               static_cast<long long>(number), static_cast<int>(kind.extension.size()),
               kind.extension.data());
    out_.line();
    // Lines of 76 characters; the last one a multiple of 4 long, so the data stays valid base64.
    char line[76];
    std::int64_t left = std::max<std::int64_t>(bytes, 4);
    while (left > 0) {
      const std::size_t n =
          left >= 76 ? 76
                     : std::max<std::size_t>(4, static_cast<std::size_t>(left) & ~std::size_t{3});
      for (std::size_t i = 0; i < n; i += 10) {
        std::uint64_t bits = rng_.next();
        for (std::size_t k = i; k < std::min(n, i + 10); ++k, bits >>= 6)
          line[k] = kBase64[bits & 63];
      }
      out_.line(std::string_view(line, n));
      left -= static_cast<std::int64_t>(n) + 2;
    }
    out_.line();
  }

  Output& out_;
  Rng& rng_;
};

}  // namespace

MailboxSummary WriteMailbox(const std::string& path, const MailboxOptions& options) {
  if (options.count < 1) throw std::invalid_argument("the message count must be at least 1");
  if (options.size / options.count < 1200) {
    throw std::invalid_argument("the size leaves less than 1200 bytes per message");
  }
  for (double share : {options.attachShare, options.htmlShare, options.crlfShare}) {
    if (!(share >= 0.0 && share <= 1.0)) throw std::invalid_argument("shares lie between 0 and 1");
  }
  Rng rng(options.seed);
  const std::vector<Plan> plans = MakePlans(options, rng);
  double plannedLeft = 0;
  for (const Plan& p : plans) plannedLeft += p.total();

  Output out(path);
  MailboxWriter writer(out, rng);
  // 2024-01-01 00:00:00; messages arrive between 20 seconds and 90 minutes apart.
  std::int64_t when = 1704067200;
  for (std::size_t i = 0; i < plans.size(); ++i) {
    // Each message gets its share of what is left, so early deviations are made up later and the
    // file ends close to the requested size.
    const double left = static_cast<double>(options.size - out.written());
    const double target = plans[i].total() * left / plannedLeft;
    plannedLeft -= plans[i].total();
    writer.message(static_cast<std::int64_t>(i), plans[i], target, when);
    when += 20 + static_cast<std::int64_t>(rng.below(5400));
  }
  const std::int64_t bytes = out.written();
  out.close();
  return {bytes, options.count};
}

std::int64_t ParseSize(const std::string& text) {
  std::size_t used = 0;
  long long value = 0;
  try {
    value = std::stoll(text, &used);
  } catch (const std::exception&) {
    throw std::invalid_argument("not a size: '" + text + "'");
  }
  const std::string suffix = text.substr(used);
  int shift = 0;
  if (suffix == "k" || suffix == "K" || suffix == "KiB") {
    shift = 10;
  } else if (suffix == "M" || suffix == "MiB") {
    shift = 20;
  } else if (suffix == "G" || suffix == "GiB") {
    shift = 30;
  } else if (!suffix.empty()) {
    throw std::invalid_argument("unknown size suffix in '" + text + "' (use k, M or G)");
  }
  if (value < 0 || value > (std::int64_t{1} << (62 - shift))) {
    throw std::invalid_argument("size out of range: '" + text + "'");
  }
  return static_cast<std::int64_t>(value) << shift;
}

}  // namespace qc::bench
