// Every message of a corpus is imported, written as .msg, and read back by readers we did not
// write: msgconvert (turns the .msg back into MIME), olefile and olecfinfo (read the Compound
// File). What msgconvert gives back must agree with GMime's reading of the source: subject,
// sender, recipients, date, body text, attachment names and bytes. Our own checker passes too.
#include <gmime/gmime.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_checker.h"
#include "mapi/msg/msg_writer.h"

namespace qc::mapi {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Have(const char* command) {
  return std::system((std::string("command -v ") + command + " >/dev/null 2>&1").c_str()) == 0;
}

int Shell(const std::string& command, std::string* output = nullptr) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  char buffer[4096];
  std::string text;
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// What a reader makes of a message, in comparable form.
struct Reading {
  std::string subject;
  std::string from;
  std::set<std::string> to, cc;
  std::int64_t date = 0;
  std::string body;
  std::map<std::string, std::string> attachments;  // file name -> bytes
};

std::string Normalised(std::string text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    out += text[i];
  }
  // Trailing spaces of lines and trailing blank lines are not the body's substance.
  std::string trimmed;
  std::size_t start = 0;
  while (start <= out.size()) {
    std::size_t end = out.find('\n', start);
    if (end == std::string::npos) end = out.size();
    std::string line = out.substr(start, end - start);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    trimmed += line + "\n";
    start = end + 1;
  }
  while (!trimmed.empty() && (trimmed.back() == '\n')) trimmed.pop_back();
  return trimmed;
}

// Runs of spaces and tabs as one space: readers refold long headers their own way.
std::string Spaced(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const bool blank = c == ' ' || c == '\t';
    if (blank && (out.empty() || out.back() == ' ')) continue;
    out += blank ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::set<std::string> Addresses(InternetAddressList* list) {
  std::set<std::string> out;
  if (!list) return out;
  for (int i = 0; i < internet_address_list_length(list); ++i) {
    InternetAddress* a = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_MAILBOX(a)) {
      std::string addr = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(a));
      std::transform(addr.begin(), addr.end(), addr.begin(), ::tolower);
      out.insert(addr);
    }
  }
  return out;
}

std::string PartBytes(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return {};
  GMimeStream* memory = g_mime_stream_mem_new();
  g_mime_data_wrapper_write_to_stream(content, memory);
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(memory));
  std::string out(reinterpret_cast<const char*>(bytes->data), bytes->len);
  g_object_unref(memory);
  return out;
}

void Collect(GMimeObject* parent, GMimeObject* part, gpointer data) {
  (void)parent;
  auto* reading = static_cast<Reading*>(data);
  if (!GMIME_IS_PART(part)) return;
  GMimePart* p = GMIME_PART(part);
  const char* filename = g_mime_part_get_filename(p);
  if (filename && *filename) {
    reading->attachments[filename] = PartBytes(p);
  } else if (GMIME_IS_TEXT_PART(part) && reading->body.empty() &&
             g_mime_content_type_is_type(g_mime_object_get_content_type(part), "text", "plain")) {
    char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(part));
    if (text && !g_utf8_validate(text, -1, nullptr)) {
      // 8-bit text that names no character set is windows-1252, for the import as for us.
      char* converted = g_convert(text, -1, "UTF-8", "WINDOWS-1252", nullptr, nullptr, nullptr);
      g_free(text);
      text = converted;
    }
    if (text) reading->body = Normalised(text);
    g_free(text);
  }
}

Reading Read(const std::string& bytes) {
  static const bool ready = [] {
    g_mime_init();
    return true;
  }();
  (void)ready;
  Reading r;
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  // msgconvert writes some headers as raw 8-bit Latin-1 text; read such bytes as that.
  static GMimeParserOptions* options = [] {
    GMimeParserOptions* o = g_mime_parser_options_new();
    const char* charsets[] = {"utf-8", "iso-8859-1", nullptr};
    g_mime_parser_options_set_fallback_charsets(o, charsets);
    return o;
  }();
  GMimeMessage* message = g_mime_parser_construct_message(parser, options);
  if (message) {
    if (const char* s = g_mime_message_get_subject(message)) r.subject = Spaced(s);
    const auto from = Addresses(g_mime_message_get_from(message));
    if (!from.empty()) r.from = *from.begin();
    r.to = Addresses(g_mime_message_get_to(message));
    r.cc = Addresses(g_mime_message_get_cc(message));
    if (GDateTime* date = g_mime_message_get_date(message)) r.date = g_date_time_to_unix(date);
    g_mime_message_foreach(message, Collect, &r);
    g_object_unref(message);
  }
  g_object_unref(parser);
  g_object_unref(stream);
  return r;
}

// The corpus: the sample mailbox's messages, messages covering each MIME feature, and
// real-world messages that nobody on the team wrote (Python's e-mail test data).
std::vector<std::pair<std::string, std::string>> Corpus() {
  std::vector<std::pair<std::string, std::string>> corpus;
  const std::string box = ReadAll(fs::path(QC_SOURCE_DIR) / "samples" / "Sample Inbox.mbx");
  const std::string sep = "From ???@???";
  for (std::size_t at = box.find(sep), n = 0; at != std::string::npos; ++n) {
    const std::size_t next = box.find(sep, at + 1);
    corpus.emplace_back("sample message " + std::to_string(n),
                        box.substr(at, next == std::string::npos ? std::string::npos : next - at));
    at = next;
  }
  for (const auto& dir : {fs::path(QC_SOURCE_DIR) / "mapi" / "tests" / "corpus",
                          fs::path("/usr/lib/python3.11/test/test_email/data")}) {
    if (!fs::is_directory(dir)) continue;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir)) {
      const auto name = e.path().filename().string();
      if (e.path().extension() == ".eml" ||
          (name.rfind("msg_", 0) == 0 && e.path().extension() == ".txt")) {
        files.push_back(e.path());
      }
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) corpus.emplace_back(f.filename().string(), ReadAll(f));
  }
  return corpus;
}

TEST(MsgValidation, IndependentReadersAgreeWithTheSource) {
  if (!Have("msgconvert")) GTEST_SKIP() << "msgconvert is not installed";
  const fs::path work =
      fs::temp_directory_path() / ("qc-msg-validation-" + std::to_string(::getpid()));
  fs::create_directories(work);
  const auto corpus = Corpus();
  ASSERT_GT(corpus.size(), 40u);
  std::vector<std::string> msgFiles;
  int compared = 0;
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    const auto& [name, source] = corpus[i];
    SCOPED_TRACE(name);
    const std::string msg = (work / ("m" + std::to_string(i) + ".msg")).string();
    auto item = ImportRfc822(source);
    SetMessageFlags(*item, 17);
    msg::WriteMsgFile(*item, msg);
    msgFiles.push_back(msg);
    const std::string bytes = ReadAll(msg);
    const auto defects = msg::CheckMsg(Bytes(bytes.begin(), bytes.end()));
    EXPECT_TRUE(defects.empty()) << defects.front();

    const std::string back = msg + ".eml";
    std::string output;
    ASSERT_EQ(Shell("msgconvert --outfile " + Quote(back) + " " + Quote(msg), &output), 0)
        << output;
    const Reading want = Read(source);
    const Reading got = Read(ReadAll(back));
    EXPECT_EQ(got.subject, want.subject);
    if (!want.from.empty()) {
      EXPECT_EQ(got.from, want.from);
    }
    EXPECT_EQ(got.to, want.to);
    EXPECT_EQ(got.cc, want.cc);
    if (want.date != 0) {
      EXPECT_EQ(got.date, want.date);
    }
    if (!want.body.empty()) {
      EXPECT_EQ(got.body, want.body);
    }
    for (const auto& [file, content] : want.attachments) {
      const auto it = got.attachments.find(file);
      EXPECT_NE(it, got.attachments.end()) << "attachment " << file;
      if (it != got.attachments.end()) {
        EXPECT_TRUE(it->second == content) << "attachment " << file;
      }
    }
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(corpus.size()));

  // Two Compound File readers that are strict in different ways.
  std::string files;
  for (const auto& f : msgFiles) files += " " + Quote(f);
  // Debian's own Python, where python3-olefile is installed (another python3 may come first).
  if (Shell("/usr/bin/python3 -c 'import olefile'") == 0) {
    std::string out;
    EXPECT_EQ(Shell("/usr/bin/python3 " +
                        Quote(std::string(QC_SOURCE_DIR) + "/mapi/tests/olefile_check.py") + files,
                    &out),
              0)
        << out;
  }
  if (Have("olecfinfo")) {
    for (const auto& f : msgFiles) {
      std::string out;
      EXPECT_EQ(Shell("olecfinfo " + Quote(f), &out), 0) << f << "\n" << out;
    }
  }
  fs::remove_all(work);
}

}  // namespace
}  // namespace qc::mapi
