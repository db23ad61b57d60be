// Messages of very many parts are taken a part at a time: the parts are found where GMime's own
// parser finds them, and the item holds every one of them.
#include "mapi/import/part_split.h"

#include <gmime/gmime.h>

#include "mapi/import/gmime_support.h"
#include "mapi/import/source_stream.h"
#include "mapi/import/tests/import_test_support.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;
using import::GPtr;

std::shared_ptr<const ByteSource> SourceOf(const std::string& text) {
  return std::make_shared<MemorySource>(Bytes(text.begin(), text.end()));
}

// What a part is, for comparing two parses of it: its type, and its content or its parts.
std::string Describe(GMimeObject* object) {
  std::string out = import::MimeType(object);
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    out += "{";
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
      out += Describe(g_mime_multipart_get_part(multipart, i)) + ";";
    }
    return out + "}";
  }
  if (GMIME_IS_PART(object)) {
    const Bytes content = import::DecodedContent(GMIME_PART(object));
    out += "[" + std::string(content.begin(), content.end()) + "]";
  }
  return out;
}

// The parts of `body` (the content of a multipart/mixed with boundary "b") as GMime parses the
// whole message, and as it parses each range SplitMultipart() finds, alone.
std::pair<std::vector<std::string>, std::vector<std::string>> BothWays(const std::string& body) {
  import::EnsureGMimeInitialized();
  const std::string header = "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";
  const auto bytes = SourceOf(header + body);
  std::vector<std::string> whole;
  {
    GPtr<GMimeStream> stream = import::NewSourceStream(bytes, 0, bytes->size());
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    GMimeMultipart* top = GMIME_MULTIPART(g_mime_message_get_mime_part(message.get()));
    for (int i = 0; i < g_mime_multipart_get_count(top); ++i) {
      whole.push_back(Describe(g_mime_multipart_get_part(top, i)));
    }
  }
  std::vector<std::string> split;
  const auto frames = import::FramesFor("b");
  for (const auto& range : import::SplitMultipart(*bytes, header.size(), bytes->size(), "b")) {
    const auto alone = import::PartAlone(bytes, range, frames);
    GPtr<GMimeStream> stream = import::NewSourceStream(alone, 0, alone->size());
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    GPtr<GMimeObject> part(g_mime_parser_construct_part(parser.get(), nullptr));
    GMimeMultipart* multipart = GMIME_MULTIPART(part.get());
    for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
      split.push_back(Describe(g_mime_multipart_get_part(multipart, i)));
    }
  }
  return {whole, split};
}

TEST(PartSplit, FindsThePartsWhereGMimeDoes) {
  const struct {
    const char* name;
    std::string body;
  } cases[] = {
      {"CR LF", "--b\r\nContent-Type: text/plain\r\n\r\none\r\n--b\r\n\r\ntwo\r\n--b--\r\n"},
      {"LF", "--b\nContent-Type: text/plain\n\none\n--b\n\ntwo\n\n--b--\n"},
      {"LF content, CR LF boundary", "--b\r\n\r\none\n--b\r\n\r\ntwo\n--b--\r\n"},
      {"blanks after boundaries", "--b \t\r\n\r\none\r\n--b  \r\n\r\ntwo\r\n--b--\t\r\n"},
      {"lines that only look like boundaries",
       "--b\r\n\r\n--bx\r\n--b--x\r\n-- b\r\n--B\r\n--b\r\n\r\nend\r\n--b--\r\n"},
      {"no closing boundary", "--b\r\n\r\none\r\n--b\r\n\r\ncut short"},
      {"preamble and epilogue", "preamble\r\n--b\r\n\r\none\r\n--b--\r\nepilogue\r\n--b\r\n"},
      {"empty parts", "--b\r\n--b\r\n\r\none\r\n--b\r\n--b--\r\n"},
      {"nested multipart",
       "--b\r\nContent-Type: multipart/mixed; boundary=c\r\n\r\n--c\r\n\r\ninner\r\n--c--\r\n"
       "\r\n--b\r\n\r\nouter\r\n--b--\r\n"},
      {"nested multipart cut by ours",
       "--b\r\nContent-Type: multipart/mixed; boundary=c\r\n\r\n--c\r\n\r\ninner\r\n--b\r\n\r\n"
       "outer\r\n--b--\r\n"},
      {"closed before any part", "text\r\n--b--\r\n--b\r\n\r\nafter\r\n"},
      {"boundary at the very end", "--b\r\n\r\none\r\n--b"},
      {"mixed line ends", "--b\n\none\r\n--b\r\n\r\ntwo\n--b  \r\n\r\nthree\r\n--b--\n"},
      {"nested multipart last, LF",
       "--b\n\nfirst\n--b\nContent-Type: multipart/alternative; boundary=c\n\n--c\n"
       "Content-Type: text/html\n\n<p>x</p>\n--c--\n--b--\n"},
      {"base64 part",
       "--b\r\nContent-Transfer-Encoding: base64\r\nContent-Type: application/pdf\r\n\r\n"
       "UERGIGRhdGE=\r\n--b--\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto [whole, split] = BothWays(c.body);
    EXPECT_EQ(split, whole);
  }
}

TEST(PartSplit, CountsLinesThatBeginWithTwoDashes) {
  const auto bytes = SourceOf("--a\n-- b\nx--\n-\n--\n\n--c");
  EXPECT_EQ(import::CountDashLines(*bytes, 0, bytes->size(), 100), 4u);
  EXPECT_EQ(import::CountDashLines(*bytes, 0, bytes->size(), 1), 2u);  // stops past `most`
  EXPECT_EQ(import::CountDashLines(*bytes, 1, bytes->size(), 100), 3u);
}

TEST(PartSplit, TellsBoundaryLinesFromLookalikes) {
  EXPECT_TRUE(import::HasBoundaryLine("text\n--b\nmore", "b"));
  EXPECT_TRUE(import::HasBoundaryLine("--b-- \t\r\n", "b"));
  EXPECT_TRUE(import::HasBoundaryLine("x\r\n--b \r", "b"));
  EXPECT_FALSE(import::HasBoundaryLine("--bogus\n", "b"));
  EXPECT_FALSE(import::HasBoundaryLine("x--b\n", "b"));
  EXPECT_FALSE(import::HasBoundaryLine("--b--x\n", "b"));
  EXPECT_FALSE(import::HasBoundaryLine("", "b"));
}

// A message of 3,000 attachments, more than are parsed whole: every one reaches the item, with
// its name and data, behind the body, and the envelope is read as for any message.
TEST(PartSplit, AMessageOfManyPartsKeepsThemAll) {
  std::string message =
      "From ???@??? Mon Jan 01 00:00:00 2024\r\nFrom: Ann <ann@x.example>\r\n"
      "To: bob@y.example\r\nSubject: many\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\npreamble\r\n--b\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n\r\nThe body.\r\n";
  for (int i = 0; i < 3000; ++i) {
    message +=
        "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
        "attachment; filename=\"f" +
        std::to_string(i) + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        (i % 2 == 0 ? "QUJD" : "REVGRw==") + "\r\n";
  }
  message +=
      "--b\r\nContent-Type: multipart/alternative; boundary=c\r\n\r\n--c\r\n"
      "Content-Type: text/html\r\n\r\n<p>an alternative</p>\r\n--c--\r\n--b--\r\n";
  std::vector<std::string> warnings;
  auto m = ImportRfc822(message, &warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "many");
  EXPECT_EQ(Str(m->props, PR_SENDER_NAME_W), "Ann");
  ASSERT_EQ(m->recipients.size(), 1u);
  EXPECT_EQ(Body(*m), "The body.");
  EXPECT_EQ(BinaryProp(m->props, PR_HTML), "<p>an alternative</p>");
  ASSERT_EQ(m->attachments.size(), 3000u);
  for (int i : {0, 1, 1234, 2999}) {
    const Attachment& a = m->attachments[static_cast<std::size_t>(i)];
    EXPECT_EQ(Str(a.props, PR_ATTACH_LONG_FILENAME_W), "f" + std::to_string(i) + ".bin");
    EXPECT_EQ(AttachmentData(a), i % 2 == 0 ? "ABC" : "DEFG");
  }
  EXPECT_TRUE(Bool(m->props, PR_HASATTACH));
  EXPECT_EQ(Str(m->props, PR_TRANSPORT_MESSAGE_HEADERS_W).find("Subject: many\r\n"), 46u);
}

}  // namespace
}  // namespace qc::mapi::testing
