// Whatever a mailbox holds, the import gives an item: broken structure, junk, depth, and the
// real-world messages of Python's email test suite. Only an unreadable file is an error.
#include <algorithm>
#include <filesystem>
#include <random>

#include "mapi/import/tests/import_test_support.h"
#include "mapi/named_ids.h"
#include "util/error.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;
namespace fs = std::filesystem;

// Depth of the chain of embedded messages under `m`.
int EmbeddedDepth(const Message& m) {
  int depth = 0;
  for (const Message* at = &m; !at->attachments.empty() && at->attachments[0].embedded;) {
    at = at->attachments[0].embedded.get();
    ++depth;
  }
  return depth;
}

void ExpectItem(const Message& m) {
  const std::string messageClass = Str(m.props, PR_MESSAGE_CLASS_W);
  EXPECT_TRUE(messageClass.starts_with("IPM.Note") || messageClass.starts_with("REPORT.IPM.Note."))
      << messageClass;
  EXPECT_NE(m.props.find(PR_BODY_W), nullptr);
  EXPECT_EQ(m.props.get<bool>(PR_HASATTACH) && *m.props.get<bool>(PR_HASATTACH),
            !m.attachments.empty());
}

TEST(ImportFile, UnreadableFilesAreErrorsNamingThePath) {
  const std::string missing = "/nonexistent/dir/no such.eml";
  try {
    ImportRfc822File(missing);
    FAIL() << "no error";
  } catch (const qc::Error& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
  }
  EXPECT_THROW(ImportRfc822File(fs::temp_directory_path().string()), qc::Error);

  const fs::path file = fs::temp_directory_path() / "qc import test.eml";
  { std::ofstream(file, std::ios::binary) << "Subject: from a file\n\nbody\n"; }
  EXPECT_EQ(Str(ImportRfc822File(file.string())->props, PR_SUBJECT_W), "from a file");
  fs::remove(file);
}

TEST(ImportMalformed, BrokenInputStillGivesAnItem) {
  const struct {
    const char* name;
    std::string text;
    const char* bodyExcerpt;
  } cases[] = {
      {"empty", "", ""},
      {"separator only", "From ???@??? Mon Mar 04 09:15:22 2024", ""},
      {"header only", "Subject: only headers\nFrom: a@b.example", ""},
      {"no header", "\njust a body\n", "just a body"},
      {"truncated multipart",
       "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nstart of",
       "start of"},
      {"missing boundary", "Content-Type: multipart/mixed\n\n--x\n\nlost?\n--x--\n", ""},
      {"bad base64",
       "Content-Type: text/plain\nContent-Transfer-Encoding: base64\n\naGVsbG8@@@!!\x01 d29y\n",
       "hello"},
      {"bad encoded word", "Subject: =?UTF-8?B?####?= =?x?Q?=ZZ?=\n\nbody\n", "body"},
      {"NUL bytes", std::string("Subject: a\0b\n\nbo\0dy\n", 20), "body"},
      {"unknown charset", "Content-Type: text/plain; charset=x-nonsense\n\n\xe9t\xe9\n", "été"},
      {"bare CR", "Subject: cr\r\rbody\r", ""},
      {"huge header line", "X-Long: " + std::string(200000, 'a') + "\n\nend\n", "end"},
      {"bad date", "Date: Thursday soon\nReceived: by x; never\n\nx\n", "x"},
      {"empty boundary", "Content-Type: multipart/mixed; boundary=\"\"\n\n--\n\nx\n----\n", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto m = ImportRfc822(c.text);
    ASSERT_NE(m, nullptr);
    ExpectItem(*m);
    EXPECT_NE(Body(*m).find(c.bodyExcerpt), std::string::npos) << Body(*m);
  }
}

// Broken mail as mail programs read it: nothing a person wrote goes missing.
TEST(ImportMalformed, HeadersAndTypesThatMailProgramsReadAnyway) {
  auto indented =
      ImportRfc822(" From: Ann <ann@x.example>\nSubject: indented\nTo: b@y.example\n\nhi\n");
  EXPECT_EQ(Str(indented->props, PR_SUBJECT_W), "indented");
  EXPECT_EQ(indented->recipients.size(), 1u);
  EXPECT_EQ(Str(indented->props, PR_BODY_W), "hi\r\n");
  EXPECT_EQ(Str(indented->props, PR_TRANSPORT_MESSAGE_HEADERS_W),
            "From: Ann <ann@x.example>\r\nSubject: indented\r\nTo: b@y.example\r\n");
  // A body starting with blanks after a blank line stays a body.
  auto body = ImportRfc822("  just text, no headers\n");
  EXPECT_EQ(Str(body->props, PR_SUBJECT_W), "");

  // RFC 2045: an unreadable Content-Type is text/plain; so is "text" without a subtype.
  const struct {
    const char* type;
    bool body;
  } cases[] = {
      {"text", true},   {";;; =?= \"broken", true},          {"text/", true},      {"", true},
      {"image", false}, {"application/octet-stream", false}, {"image/png", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    auto m = ImportRfc822(std::string("Subject: s\nContent-Type: ") + c.type + "\n\nreadable\n");
    EXPECT_EQ(Str(m->props, PR_BODY_W), c.body ? "readable\r\n" : "");
    EXPECT_EQ(m->attachments.size(), c.body ? 0u : 1u);
  }
}

TEST(ImportMalformed, AMultipartWithoutItsBoundaryIsText) {
  const std::string lost =
      "--ABC\nContent-Type: text/plain\n\nThe text the sender wrote.\n--ABC--\n";
  auto alone = ImportRfc822("Subject: s\nContent-Type: multipart/mixed; boundary=XYZ\n\n" + lost);
  EXPECT_NE(Str(alone->props, PR_BODY_W).find("The text the sender wrote."), std::string::npos);
  EXPECT_TRUE(alone->attachments.empty());
  // Inside a message that has its body already, it is kept as a text file.
  auto inside = ImportRfc822(
      "Subject: s\nContent-Type: multipart/mixed; boundary=o\n\n--o\n\nbody\n"
      "--o\nContent-Type: multipart/mixed; boundary=XYZ\n\n" +
      lost + "--o--\n");
  EXPECT_EQ(Str(inside->props, PR_BODY_W), "body");
  ASSERT_EQ(inside->attachments.size(), 1u);
  EXPECT_NE(AttachmentData(inside->attachments[0]).find("The text the sender wrote."),
            std::string::npos);
  EXPECT_EQ(Str(inside->attachments[0].props, PR_ATTACH_LONG_FILENAME_W), "ATT00001.txt");
}

// GMime keeps header values in C strings: a NUL byte must not end a subject, a name or a file
// name there and lose what follows it.
TEST(ImportMalformed, ANulInAHeaderLosesNoTextAfterIt) {
  const std::string nul(1, '\0');
  const std::string text =
      "From: Ann" + nul + "Example <ann@x.example>\nTo: Bob" + nul + "Smith <bob@y.example>\n" +
      "Cc: carol@z.example (Carol" + nul + "Jones)\nSubject: nul" + nul + "inside subject\n" +
      "Message-ID: <id" + nul + "1@x.example>\nThread-Topic: topic" + nul + "text\n" +
      "Keywords: one" + nul + "two, three\n" +
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nbody\n"
      "--b\nContent-Type: application/pdf; name=\"re" +
      nul + "port.pdf\"\n" + "Content-Disposition: attachment; filename=\"re" + nul +
      "port.pdf\"\n" + "Content-ID: <cid" + nul + "1>\n\nPDF" + nul + "data\n--b--\n";
  auto m = ImportRfc822(text);
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "nul inside subject");
  EXPECT_EQ(Str(m->props, PR_NORMALIZED_SUBJECT_W), "nul inside subject");
  EXPECT_EQ(Str(m->props, PR_SENDER_NAME_W), "Ann Example");
  EXPECT_EQ(Str(m->props, PR_SENT_REPRESENTING_NAME_W), "Ann Example");
  EXPECT_EQ(Str(m->props, PR_INTERNET_MESSAGE_ID_W), "<id 1@x.example>");
  EXPECT_EQ(Str(m->props, PR_CONVERSATION_TOPIC_W), "topic text");
  ASSERT_EQ(m->recipients.size(), 2u);
  EXPECT_EQ(Str(m->recipients[0].props, PR_DISPLAY_NAME_W), "Bob Smith");
  EXPECT_EQ(Str(m->props, PR_DISPLAY_TO_W), "Bob Smith");
  EXPECT_EQ(Str(m->recipients[1].props, PR_SMTP_ADDRESS_W), "carol@z.example");
  const auto* keywords = m->props.findNamed(NamedProp{kPsPublicStrings, std::string("Keywords")});
  ASSERT_NE(keywords, nullptr);
  EXPECT_EQ(std::get<std::vector<std::string>>(keywords->value),
            (std::vector<std::string>{"one two", "three"}));
  ASSERT_EQ(m->attachments.size(), 1u);
  const PropertyBag& a = m->attachments[0].props;
  EXPECT_EQ(Str(a, PR_ATTACH_LONG_FILENAME_W), "re port.pdf");
  EXPECT_EQ(Str(a, PR_DISPLAY_NAME_ATTACH_W), "re port.pdf");
  EXPECT_EQ(Str(a, PR_ATTACH_CONTENT_ID_W), "cid 1");
  // The data of a part is not header text: its NULs are its bytes.
  EXPECT_EQ(AttachmentData(m->attachments[0]), "PDF" + nul + "data");
}

TEST(ImportMalformed, BinaryJunk) {
  std::mt19937 random(20240304);
  for (int round = 0; round < 200; ++round) {
    std::string junk(random() % 4096, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    if (round % 2 == 1) junk = "Content-Type: multipart/mixed; boundary=x\n\n--x\n" + junk;
    auto m = ImportRfc822(junk);
    ExpectItem(*m);
  }
}

TEST(ImportMalformed, DeepNestingIsCut) {
  std::string multiparts = "Subject: deep\n";
  for (int i = 0; i < 10000; ++i) {
    multiparts += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) + "\"\n\n--b" +
                  std::to_string(i) + "\n";
  }
  multiparts += "Content-Type: text/plain\n\ninnermost\n";
  auto deep = ImportRfc822(multiparts);
  ExpectItem(*deep);
  EXPECT_EQ(Str(deep->props, PR_SUBJECT_W), "deep");

  std::string messages;
  for (int i = 0; i < 10000; ++i) {
    messages += "Subject: level " + std::to_string(i) + "\nContent-Type: message/rfc822\n\n";
  }
  messages += "Subject: last\n\ninnermost text\n";
  auto nested = ImportRfc822(messages);
  ExpectItem(*nested);
  EXPECT_EQ(EmbeddedDepth(*nested), 16);
  SetMessageFlags(*nested, 17);

  // Within the limit, the whole chain is kept and the innermost body is the innermost text.
  std::string few;
  for (int i = 0; i < 5; ++i)
    few += "Subject: " + std::to_string(i) + "\nContent-Type: message/rfc822\n\n";
  few += "Subject: last\n\ninnermost text\n";
  auto chain = ImportRfc822(few);
  ASSERT_EQ(EmbeddedDepth(*chain), 5);
  const Message* inner = chain.get();
  while (!inner->attachments.empty()) inner = inner->attachments[0].embedded.get();
  EXPECT_EQ(Body(*inner), "innermost text\r\n");
}

// A text part inside `depth` multipart/mixed levels, each with a boundary of its own, closed
// again on the way out.
std::string NestedMultiparts(int depth) {
  std::string m = "From ???@??? Mon Jan 01 00:00:00 2024\nSubject: nested\n";
  for (int i = 0; i < depth; ++i) {
    if (i > 0) m += "--n" + std::to_string(i - 1) + "\n";
    m += "Content-Type: multipart/mixed; boundary=\"n" + std::to_string(i) + "\"\n\n";
  }
  m +=
      "--n" + std::to_string(depth - 1) + "\nContent-Type: text/plain\n\nThe text at the bottom.\n";
  for (int i = depth - 1; i >= 0; --i) m += "--n" + std::to_string(i) + "--\n";
  return m;
}

// Whether the text reached the item: its body, or the data of one of its attachments.
bool Holds(const Message& m, const std::string& text) {
  if (Body(m).find(text) != std::string::npos) return true;
  return std::any_of(m.attachments.begin(), m.attachments.end(), [&](const Attachment& a) {
    return AttachmentData(a).find(text) != std::string::npos;
  });
}

// Parts nested deeper than the import takes them apart (or GMime parses them) stay with the
// item: what was found as attachments, and the whole message besides, with a warning.
TEST(ImportMalformed, PartsNestedTooDeepKeepTheWholeMessage) {
  for (const int depth : {10, 1024, 1100, 10000, 100000}) {
    SCOPED_TRACE(depth);
    const std::string text = NestedMultiparts(depth);
    std::vector<std::string> warnings;
    auto m = ImportRfc822(text, &warnings);
    ExpectItem(*m);
    EXPECT_TRUE(Holds(*m, "The text at the bottom.")) << Body(*m);
    if (depth == 10) {
      EXPECT_EQ(Body(*m), "The text at the bottom.");
      EXPECT_TRUE(m->attachments.empty());
      EXPECT_TRUE(warnings.empty());
      continue;
    }
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find(kWholeMessageName), std::string::npos) << warnings[0];
    ASSERT_FALSE(m->attachments.empty());
    const Attachment& whole = m->attachments.back();
    EXPECT_EQ(Str(whole.props, PR_ATTACH_LONG_FILENAME_W), kWholeMessageName);
    EXPECT_EQ(Str(whole.props, PR_ATTACH_MIME_TAG_W), "message/rfc822");
    // Every byte of the message, from past its separator line.
    EXPECT_TRUE(AttachmentData(whole) == text.substr(text.find('\n') + 1));
    // What was found before the depth ran out is there as well.
    EXPECT_GE(m->attachments.size(), 2u);
    EXPECT_TRUE(
        std::any_of(m->attachments.begin(), m->attachments.end() - 1, [](const Attachment& a) {
          return AttachmentData(a).find("The text at the bottom.") != std::string::npos;
        }));
  }

  // Sixteen attached messages inside each other, each nesting its parts 63 levels deep: no level
  // goes past what the import follows, but together they go past what GMime parses, which
  // leaves the rest unsplit.
  std::string inner = "Subject: innermost\n\nThe text at the bottom.\n";
  for (int message = 0; message < 16; ++message) {
    std::string outer = "Subject: level " + std::to_string(message) + "\n";
    for (int i = 0; i < 63; ++i) {
      const std::string b = "m" + std::to_string(message) + "x" + std::to_string(i);
      outer += "Content-Type: multipart/mixed; boundary=\"" + b + "\"\n\n--" + b + "\n";
    }
    inner = outer + "Content-Type: message/rfc822\n\n" + inner;
  }
  std::vector<std::string> chainWarnings;
  auto chain = ImportRfc822(inner, &chainWarnings);
  EXPECT_EQ(chainWarnings.size(), 1u);
  ASSERT_FALSE(chain->attachments.empty());
  EXPECT_TRUE(AttachmentData(chain->attachments.back()) == inner);

  // Attached messages inside each other deeper than the import follows lose their headers
  // below that depth; the whole message keeps them.
  std::string messages;
  for (int i = 0; i < 40; ++i) {
    messages += "Subject: level " + std::to_string(i) + "\nContent-Type: message/rfc822\n\n";
  }
  messages += "Subject: last\n\ninnermost text\n";
  std::vector<std::string> warnings;
  auto nested = ImportRfc822(messages, &warnings);
  EXPECT_EQ(warnings.size(), 1u);
  ASSERT_FALSE(nested->attachments.empty());
  EXPECT_TRUE(AttachmentData(nested->attachments.back()) == messages);
  EXPECT_TRUE(Bool(nested->props, PR_HASATTACH));
}

// Real messages of many kinds, with their oddities (Python's email package test data).
TEST(ImportCorpus, PythonEmailTestMessages) {
  const fs::path dir = "/usr/lib/python3.11/test/test_email/data";
  if (!fs::exists(dir)) GTEST_SKIP() << "libpython3.11-testsuite not installed";
  int imported = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("msg_", 0) != 0 || entry.path().extension() != ".txt") continue;
    SCOPED_TRACE(name);
    auto m = ImportRfc822File(entry.path().string());
    ExpectItem(*m);
    SetMessageFlags(*m, 17);
    ++imported;
  }
  EXPECT_GT(imported, 40);
}

}  // namespace
}  // namespace qc::mapi::testing
