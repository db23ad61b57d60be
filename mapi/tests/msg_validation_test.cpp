// Every message of a corpus is imported, written as .msg, and read back by readers we did not
// write: msgconvert (turns the .msg back into MIME), olefile and olecfinfo (read the Compound
// File). What msgconvert gives back must agree with the reading of the source (corpus.h):
// subject, sender, To and Cc, date, plain text, HTML, attachment names and bytes (msgconvert
// drops Bcc and Reply-To, and inline-ness; corpus_msgreader.js checks those). Our own checker
// passes too.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "mapi/check/msg/msg_checker.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/tests/corpus.h"

namespace qc::mapi {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
TEST(MsgValidation, IndependentReadersAgreeWithTheSource) {
  GTEST_SKIP() << "the independent readers are Linux programs; the Windows build's .msg files are "
                  "compared byte for byte with the Linux build's instead";
}
#else
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

TEST(MsgValidation, IndependentReadersAgreeWithTheSource) {
  if (!Have("msgconvert")) GTEST_SKIP() << "msgconvert is not installed";
  const fs::path work =
      fs::temp_directory_path() / ("qc-msg-validation-" + std::to_string(::getpid()));
  fs::create_directories(work);
  const auto corpus = testing::Corpus();
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
    // msgconvert's MIME is read by the same rules as the source.
    const testing::Expected want = testing::ReadSource(source);
    const testing::Expected got = testing::ReadSource(ReadAll(back));
    EXPECT_EQ(got.subject, want.subject);
    if (!want.from.empty()) {
      EXPECT_EQ(got.from, want.from);
    }
    EXPECT_EQ(got.to, want.to);
    EXPECT_EQ(got.cc, want.cc);
    if (want.date) {
      EXPECT_EQ(got.date, want.date);
    }
    if (want.text) {
      EXPECT_EQ(got.text.value_or(""), *want.text);  // msgconvert leaves out an empty body
    }
    // msgconvert labels PR_HTML as UTF-8 whatever PR_INTERNET_CPID says.
    const auto* codePage = item->props.get<std::int32_t>(tags::PR_INTERNET_CPID);
    if (want.html && codePage && (*codePage == 65001 || *codePage == 20127)) {
      EXPECT_EQ(got.html, want.html);
    }
    for (const auto& a : want.attachments) {
      if (a.name.empty() || a.embedded) continue;
      const auto it = std::find_if(got.attachments.begin(), got.attachments.end(),
                                   [&a](const auto& g) { return g.name == a.name; });
      EXPECT_NE(it, got.attachments.end()) << "attachment " << a.name;
      if (it != got.attachments.end()) {
        EXPECT_TRUE(it->bytes == a.bytes) << "attachment " << a.name;
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

#endif

}  // namespace
}  // namespace qc::mapi
