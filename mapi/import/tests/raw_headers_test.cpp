// Old mail with 8-bit text written straight into its headers: subjects, names, attachment
// names, Keywords and Thread-Topic come out in the charset the message declares elsewhere.
#include <gtest/gtest.h>

#include <string>

#include "mapi/import/tests/import_test_support.h"
#include "mapi/named_ids.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;

const std::string kPrivetKoi8 = "\xF0\xD2\xC9\xD7\xC5\xD4";  // Привет
const std::string kPrivet = "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82";
const std::string kIvanKoi8 = "\xE9\xD7\xC1\xCE";  // Иван
const std::string kIvan = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";

std::unique_ptr<Message> Import(const std::string& text, ImportOptions options = {}) {
  return ImportRfc822(std::make_shared<MemorySource>(Bytes(text.begin(), text.end())), options);
}

std::string AttachmentName(const Message& m, std::size_t i) {
  return i < m.attachments.size() ? Str(m.attachments[i].props, PR_ATTACH_LONG_FILENAME_W)
                                  : "<no attachment>";
}

TEST(RawHeaders, ReadInTheCharsetOfTheBody) {
  auto m = Import("From: " + kIvanKoi8 + " <ivan@example.ru>\r\n" + "To: " + kIvanKoi8 +
                  " <a@example.ru>, \"" + kPrivetKoi8 + "\" <b@example.ru>\r\n" +
                  "Subject: Re: " + kPrivetKoi8 + "\r\nThread-Topic: " + kPrivetKoi8 +
                  "\r\nKeywords: " + kIvanKoi8 + ", x\r\n" +
                  "Content-Type: multipart/mixed; boundary=b\r\n\r\n"
                  "--b\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\n" +
                  kPrivetKoi8 + "\r\n--b\r\nContent-Type: text/plain; name=\"" + kIvanKoi8 +
                  ".txt\"\r\n\r\ndata\r\n--b\r\n"
                  "Content-Type: application/octet-stream\r\n"
                  "Content-Disposition: attachment; filename=\"" +
                  kPrivetKoi8 + ".bin\"\r\n\r\ndata\r\n--b--\r\n");
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "Re: " + kPrivet);
  EXPECT_EQ(Str(m->props, PR_NORMALIZED_SUBJECT_W), kPrivet);
  EXPECT_EQ(Str(m->props, PR_CONVERSATION_TOPIC_W), kPrivet);
  EXPECT_EQ(Str(m->props, PR_SENDER_NAME_W), kIvan);
  EXPECT_EQ(Str(m->props, PR_SENT_REPRESENTING_NAME_W), kIvan);
  EXPECT_EQ(Str(m->props, PR_SENDER_EMAIL_ADDRESS_W), "ivan@example.ru");
  EXPECT_EQ(Str(m->props, PR_DISPLAY_TO_W), kIvan + "; " + kPrivet);
  ASSERT_EQ(m->recipients.size(), 2u);
  EXPECT_EQ(Str(m->recipients[1].props, PR_EMAIL_ADDRESS_W), "b@example.ru");
  const Property* keywords =
      m->props.findNamed(NamedProp{kPsPublicStrings, std::string("Keywords")});
  ASSERT_NE(keywords, nullptr);
  EXPECT_EQ(std::get<std::vector<std::string>>(keywords->value),
            (std::vector<std::string>{kIvan, "x"}));
  EXPECT_EQ(AttachmentName(*m, 0), kIvan + ".txt");
  EXPECT_EQ(AttachmentName(*m, 1), kPrivet + ".bin");
}

TEST(RawHeaders, TheFirstDeclaredCharsetThatFits) {
  // The text part names no charset; the HTML beside it does.
  const std::string gb = "\xC4\xE3\xBA\xC3";  // 你好 in GB2312
  auto m = Import("Subject: " + gb +
                  "\r\nContent-Type: multipart/alternative; boundary=a\r\n\r\n"
                  "--a\r\nContent-Type: text/plain\r\n\r\nhi\r\n"
                  "--a\r\nContent-Type: text/html; charset=gb2312\r\n\r\n<p>hi</p>\r\n--a--\r\n");
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "\xE4\xBD\xA0\xE5\xA5\xBD");
  // Valid UTF-8 stays UTF-8 whatever is declared.
  auto utf8 =
      Import("Subject: " + kPrivet + "\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\nx\r\n");
  EXPECT_EQ(Str(utf8->props, PR_SUBJECT_W), kPrivet);
  // Nothing declared: the fallback charset of the run.
  ImportOptions cyrillic;
  cyrillic.fallbackCharset = "koi8-r";
  auto unlabelled = Import("Subject: " + kPrivetKoi8 + "\r\n\r\nx\r\n", cyrillic);
  EXPECT_EQ(Str(unlabelled->props, PR_SUBJECT_W), kPrivet);
  auto western = Import("Subject: caf\xE9\r\n\r\nx\r\n");
  EXPECT_EQ(Str(western->props, PR_SUBJECT_W), "caf\xC3\xA9");
}

TEST(RawHeaders, ForwardedMessagesReadTheirOwnCharsetThenTheOuterOnes) {
  const std::string sjis = "\x82\xB1\x82\xF1";  // こん in Shift_JIS
  auto m = Import(
      "Subject: fwd\r\nContent-Type: multipart/mixed; boundary=f\r\n\r\n"
      "--f\r\nContent-Type: text/plain; charset=koi8-r\r\n\r\nsee below\r\n"
      "--f\r\nContent-Type: message/rfc822\r\n\r\n"
      "Subject: " +
      sjis +
      "\r\nContent-Type: text/plain; charset=shift_jis\r\n\r\nx\r\n"
      "--f\r\nContent-Type: message/rfc822\r\n\r\n"
      "Subject: " +
      kPrivetKoi8 + "\r\n\r\nx\r\n--f--\r\n");
  ASSERT_EQ(m->attachments.size(), 2u);
  ASSERT_NE(m->attachments[0].embedded, nullptr);
  ASSERT_NE(m->attachments[1].embedded, nullptr);
  EXPECT_EQ(Str(m->attachments[0].embedded->props, PR_SUBJECT_W), "\xE3\x81\x93\xE3\x82\x93");
  EXPECT_EQ(Str(m->attachments[0].props, PR_DISPLAY_NAME_ATTACH_W), "\xE3\x81\x93\xE3\x82\x93");
  // It declares nothing: the message around it does.
  EXPECT_EQ(Str(m->attachments[1].embedded->props, PR_SUBJECT_W), kPrivet);
}

TEST(RawHeaders, UnknownCharsetsAreReadAsNoneAndWarnedOf) {
  std::vector<std::string> warnings;
  const std::string text =
      "Subject: =?x-martian?Q?caf=E9?=\r\nContent-Type: text/plain; charset=x-venusian\r\n\r\n"
      "caf\xE9\r\n";
  auto m = ImportRfc822(text, &warnings);
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "caf\xC3\xA9");
  EXPECT_EQ(Body(*m), "caf\xC3\xA9\r\n");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("\"x-martian\", \"x-venusian\""), std::string::npos) << warnings[0];
  // Known labels, however written, are no news.
  warnings.clear();
  ImportRfc822("Subject: =?x-sjis?B?gqA=?=\r\nContent-Type: text/plain; charset=\"UTF8\"\r\n\r\nx",
               &warnings);
  EXPECT_TRUE(warnings.empty());
}

TEST(RawHeaders, UnlabelledBodiesReadInTheFallback) {
  ImportOptions cyrillic;
  cyrillic.fallbackCharset = "windows-1251";
  auto m = Import("Subject: x\r\n\r\n\xCF\xF0\xE8\xE2\xE5\xF2\r\n", cyrillic);
  EXPECT_EQ(Body(*m), kPrivet + "\r\n");
  EXPECT_EQ(Int(m->props, PR_INTERNET_CPID), 1251);
  auto html = Import("Content-Type: text/html\r\n\r\n<p>\xCF\xF0\xE8</p>\r\n", cyrillic);
  EXPECT_EQ(Body(*html), "\xD0\x9F\xD1\x80\xD0\xB8\r\n");
  // Valid UTF-8 without a label is still UTF-8.
  auto utf8 = Import("Subject: x\r\n\r\n" + kPrivet + "\r\n", cyrillic);
  EXPECT_EQ(Body(*utf8), kPrivet + "\r\n");
}

}  // namespace
}  // namespace qc::mapi::testing
