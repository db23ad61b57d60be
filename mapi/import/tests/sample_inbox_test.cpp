// Every message of samples/Sample Inbox.mbx, cut at its separators as the conversion cuts it,
// imports with the subject, people, body and attachments it was written with.
#include <glib.h>

#include <vector>

#include "mapi/import/tests/import_test_support.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;

std::vector<std::string> SampleMessages() {
  const std::string box = ReadFile(std::string(QC_SOURCE_DIR) + "/samples/Sample Inbox.mbx");
  std::vector<std::size_t> starts;
  for (auto at = box.find("From ???@???"); at != std::string::npos;
       at = box.find("From ???@???", at + 1)) {
    starts.push_back(at);
  }
  std::vector<std::string> messages;
  for (std::size_t i = 0; i < starts.size(); ++i) {
    const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : box.size();
    messages.push_back(box.substr(starts[i], end - starts[i]));
  }
  return messages;
}

struct Expected {
  const char* subject;
  const char* senderName;
  const char* senderAddress;
  const char* displayTo;
  const char* bodyExcerpt;
  std::vector<std::pair<std::string, std::size_t>> attachments;  // name, size
};

const std::vector<Expected>& ExpectedMessages() {
  static const std::vector<Expected> expected = {
      {"Weekly planning - week 10",
       "Martin Keller",
       "martin.keller@northwind-logistics.example",
       "Anna Berg",
       "\r\n>From the minutes of last week: the forklift",
       {}},
      {"Spring Reading List: 12 new titles",
       "Books Example",
       "newsletter@books.example",
       "anna.berg@harbor-mail.example",
       "\"The Salt Road\", \"Quiet Engines\"",
       {}},
      {"Invoice 2024-0117 and proof of your business cards",
       "Harbor Print & Copy",
       "billing@harbor-print.example",
       "Anna Berg",
       "please find attached invoice 2024-0117",
       {{"Invoice 2024-0117.pdf", 702}, {"card-proof.png", 2396}}},
      {"Grüße aus München – Résumé der Tagung",
       "Jürgen Müller",
       "juergen.mueller@bergwerk-consult.example",
       "Anna Berg",
       "• Workshop „Zoll 2024“ – die Folien",
       {}},
      {"Réunion à Zürich le 14 mars",
       "Hélène Dubois",
       "helene.dubois@sgtl.example",
       "Anna Berg",
       "salle « Léman ».\r\nAprès la réunion",
       {}},
      {"Cold chain recorder log, container NWLU 448213-7",
       "Priya Raman",
       "priya.raman@northwind-logistics.example",
       "Anna Berg",
       "ColdTrace 3",
       {{"NWLU4482137-2024-02.ctl", 900000}}},
      {"Fwd: Carrier rates for Q2",
       "Jan de Vries",
       "jan.devries@northwind-logistics.example",
       "Anna Berg",
       "The diesel surcharge is new",
       {}},
      {"Team dinner on 21 March",
       "Office Harbor",
       "office@harbor-mail.example",
       "Martin Keller; Jan de Vries",
       "Restaurant Fischerhaus",
       {}},
      {"Planned maintenance on 10 March",
       "Harbor Mail",
       "no-reply@harbor-mail.example",
       "anna.berg@harbor-mail.example",
       "our servers are being\r\nupgraded",
       {{"logo.png", 852}}},
      {"Re: Weekly planning - week 10",
       "Anna Berg",
       "anna.berg@harbor-mail.example",
       "Martin Keller",
       "> dates for the Rotterdam shipment",
       {}},
      {"Фото с выставки 📷",
       "Ольга Смирнова",
       "olga.smirnova@mailbox-east.example",
       "Anna Berg",
       "東京の展示会の写真も近いうちに送ります。",
       {}},
      {"Undelivered Mail Returned to Sender",
       "Mail Delivery System",
       "MAILER-DAEMON@mx1.harbor-mail.example",
       "anna.berg@harbor-mail.example",
       "Recipient address\r\n    rejected",
       {{"ATT00001.txt", 257}, {"ATT00002.txt", 208}}},
  };
  return expected;
}

class SampleInbox : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    for (const auto& bytes : SampleMessages()) messages_.push_back(ImportRfc822(bytes));
  }
  static void TearDownTestSuite() { messages_.clear(); }
  static const Message& At(std::size_t i) { return *messages_.at(i); }
  static std::vector<std::unique_ptr<Message>> messages_;
};
std::vector<std::unique_ptr<Message>> SampleInbox::messages_;

TEST_F(SampleInbox, EveryMessageImportsWithItsSubjectPeopleBodyAndAttachments) {
  ASSERT_EQ(messages_.size(), 12u);
  for (std::size_t i = 0; i < messages_.size(); ++i) {
    SCOPED_TRACE("message " + std::to_string(i));
    const Message& m = At(i);
    const Expected& e = ExpectedMessages()[i];
    // The last message is a bounce: a delivery report whose recipient failed.
    EXPECT_EQ(Str(m.props, PR_MESSAGE_CLASS_W), i == 11 ? "REPORT.IPM.Note.NDR" : "IPM.Note");
    EXPECT_EQ(Str(m.props, PR_SUBJECT_W), e.subject);
    EXPECT_EQ(Str(m.props, PR_SENDER_NAME_W), e.senderName);
    EXPECT_EQ(Str(m.props, PR_SENDER_EMAIL_ADDRESS_W), e.senderAddress);
    EXPECT_EQ(Str(m.props, PR_DISPLAY_TO_W), e.displayTo);
    EXPECT_NE(Body(m).find(e.bodyExcerpt), std::string::npos) << Body(m);
    EXPECT_EQ(Body(m).find("From ???@???"), std::string::npos);
    EXPECT_EQ(Str(m.props, PR_TRANSPORT_MESSAGE_HEADERS_W).find("From ???@???"), std::string::npos);
    ASSERT_EQ(m.attachments.size(), e.attachments.size() + (i == 6 ? 1 : 0));
    for (std::size_t a = 0; a < e.attachments.size(); ++a) {
      EXPECT_EQ(Str(m.attachments[a].props, PR_ATTACH_LONG_FILENAME_W), e.attachments[a].first);
      EXPECT_EQ(AttachmentData(m.attachments[a]).size(), e.attachments[a].second);
      EXPECT_EQ(Int(m.attachments[a].props, PR_ATTACH_SIZE),
                static_cast<std::int32_t>(e.attachments[a].second));
    }
    EXPECT_EQ(Bool(m.props, PR_HASATTACH), !m.attachments.empty());
  }
}

TEST_F(SampleInbox, AttachmentBytesAreTheFilesThatWereSent) {
  const std::string pdf = AttachmentData(At(2).attachments[0]);
  EXPECT_EQ(pdf.substr(0, 9), "%PDF-1.4\n");
  EXPECT_EQ(pdf.substr(9, 6), "%\xe2\xe3\xcf\xd3\n");  // the binary comment line survives
  EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");
  const std::string png = AttachmentData(At(2).attachments[1]);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND");

  // The recorder log is SHA-256 in counter mode over a fixed seed (samples/make_sample.py).
  std::string log;
  for (std::uint64_t counter = 0; log.size() < 900000; ++counter) {
    std::string block = "quillon-sample-inbox-1sensor-log";
    for (int shift = 56; shift >= 0; shift -= 8) block += static_cast<char>(counter >> shift);
    GChecksum* sha = g_checksum_new(G_CHECKSUM_SHA256);
    g_checksum_update(sha, reinterpret_cast<const guchar*>(block.data()),
                      static_cast<gssize>(block.size()));
    guint8 digest[32];
    gsize length = sizeof digest;
    g_checksum_get_digest(sha, digest, &length);
    g_checksum_free(sha);
    log.append(reinterpret_cast<const char*>(digest), length);
  }
  log.resize(900000);
  EXPECT_TRUE(AttachmentData(At(5).attachments[0]) == log);
  EXPECT_EQ(Str(At(5).attachments[0].props, PR_ATTACH_MIME_TAG_W), "application/octet-stream");
}

TEST_F(SampleInbox, HeadersDatesAndIdentifiers) {
  const Message& plain = At(0);
  // Mon, 04 Mar 2024 09:15:22 +0100 = 08:15:22 UTC.
  const auto* submit = plain.props.get<FileTime>(PR_CLIENT_SUBMIT_TIME);
  ASSERT_NE(submit, nullptr);
  EXPECT_EQ(submit->ticks, (1709540122ull + 11644473600ull) * 10000000ull);
  EXPECT_EQ(Str(plain.props, PR_INTERNET_MESSAGE_ID_W),
            "<20240304081522.4411@northwind-logistics.example>");
  const std::string headers = Str(plain.props, PR_TRANSPORT_MESSAGE_HEADERS_W);
  EXPECT_EQ(headers.substr(0, 12), "Return-Path:");
  EXPECT_NE(headers.find("\r\n\tby mx1.harbor-mail.example"), std::string::npos);  // folded
  EXPECT_NE(headers.find("X-Mailer: Quillon 4.2\r\n"), std::string::npos);
  EXPECT_EQ(headers.find("Hi Anna"), std::string::npos);

  const Message& reply = At(9);
  EXPECT_EQ(Str(reply.props, PR_SUBJECT_PREFIX_W), "Re: ");
  EXPECT_EQ(Str(reply.props, PR_NORMALIZED_SUBJECT_W), "Weekly planning - week 10");
  EXPECT_EQ(Str(reply.props, PR_IN_REPLY_TO_ID_W),
            "<20240304081522.4411@northwind-logistics.example>");
  EXPECT_EQ(Str(reply.props, PR_INTERNET_REFERENCES_W),
            "<20240304081522.4411@northwind-logistics.example>");
}

TEST_F(SampleInbox, SenderReplyToAndRecipientRows) {
  const Message& m = At(7);
  EXPECT_EQ(Str(m.props, PR_SENT_REPRESENTING_NAME_W), "Anna Berg");
  EXPECT_EQ(Str(m.props, PR_SENDER_NAME_W), "Office Harbor");
  EXPECT_EQ(Str(m.props, PR_REPLY_RECIPIENT_NAMES_W), "Team Events");
  EXPECT_EQ(Str(m.props, PR_DISPLAY_CC_W), "Priya Raman; Dubois, Helene");
  EXPECT_EQ(Str(m.props, PR_DISPLAY_BCC_W), "anna.berg+archive@harbor-mail.example");
  ASSERT_EQ(m.recipients.size(), 5u);
  const std::int32_t types[] = {1, 1, 2, 2, 3};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(Int(m.recipients[i].props, PR_RECIPIENT_TYPE), types[i]);
    EXPECT_EQ(Int(m.recipients[i].props, PR_ROWID), static_cast<std::int32_t>(i));
  }
  EXPECT_EQ(Str(m.recipients[3].props, PR_SMTP_ADDRESS_W), "helene.dubois@sgtl.example");
  EXPECT_EQ(BinaryProp(m.recipients[3].props, PR_SEARCH_KEY),
            std::string("SMTP:HELENE.DUBOIS@SGTL.EXAMPLE\0", 32));
}

TEST_F(SampleInbox, ForwardInlineImageAndHtmlBodies) {
  const Attachment& forwarded = At(6).attachments.at(0);
  EXPECT_EQ(Int(forwarded.props, PR_ATTACH_METHOD), ATTACH_EMBEDDED_MSG);
  ASSERT_NE(forwarded.embedded, nullptr);
  EXPECT_EQ(Str(forwarded.embedded->props, PR_SUBJECT_W), "Carrier rates for Q2");
  EXPECT_EQ(Str(forwarded.embedded->props, PR_SENDER_NAME_W), "Blue Road Freight Sales");
  EXPECT_NE(Body(*forwarded.embedded).find("Diesel surcharge                         6.5 %"),
            std::string::npos);

  const Attachment& logo = At(8).attachments.at(0);
  EXPECT_TRUE(Bool(logo.props, PR_ATTACHMENT_HIDDEN));
  EXPECT_EQ(Int(logo.props, PR_ATTACH_FLAGS), ATT_MHTML_REF);
  EXPECT_EQ(Str(logo.props, PR_ATTACH_CONTENT_ID_W), "logo.7f3c@harbor-mail.example");

  const std::string html = BinaryProp(At(1).props, PR_HTML);
  EXPECT_NE(html.find("<li><a href=\"https://books.example/salt-road\">"), std::string::npos);
  EXPECT_EQ(Int(At(1).props, PR_INTERNET_CPID), 65001);
}

}  // namespace
}  // namespace qc::mapi::testing
