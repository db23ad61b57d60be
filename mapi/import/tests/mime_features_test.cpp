// Generated messages, one MIME feature at a time, and the properties MS-OXCMAIL maps them to.
#include <gmime/gmime.h>

#include <cstring>
#include <optional>
#include <string_view>

#include "mapi/import/envelope.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/tests/import_test_support.h"
#include "mapi/named_ids.h"
#include "mapi/rtf/compressed_rtf.h"
#include "mapi/rtf/tests/deencapsulate.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;
using namespace std::string_literals;

std::unique_ptr<Message> Import(std::string_view text) {
  return ImportRfc822(text);
}

TEST(ImportHeaders, EncodedWordsAndSubjectPrefixes) {
  const struct {
    const char* header;
    const char* subject;
    const char* prefix;
  } cases[] = {
      {"=?UTF-8?B?R3LDvMOfZQ==?=", "Grüße", ""},
      {"=?utf-8?q?Caf=C3=A9_au_lait?=", "Café au lait", ""},
      {"=?ISO-8859-1?Q?RE:_R=E9union?=", "RE: Réunion", "RE: "},
      {"=?iso-8859-1?B?QVc6IEvkc2U=?=", "AW: Käse", "AW: "},
      {"Fwd: =?UTF-8?Q?=E2=82=AC_rates?=", "Fwd: € rates", "Fwd: "},
      {"Antw: too long a prefix", "Antw: too long a prefix", ""},
      {"10: numbers are no prefix", "10: numbers are no prefix", ""},
      {"Re:no space", "Re:no space", ""},
      {"Ré: accented prefix", "Ré: accented prefix", "Ré: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    auto m = Import(std::string("Subject: ") + c.header + "\nFrom: a@b.example\n\nx\n");
    EXPECT_EQ(Str(m->props, PR_SUBJECT_W), c.subject);
    EXPECT_EQ(Str(m->props, PR_SUBJECT_PREFIX_W), c.prefix);
    EXPECT_EQ(Str(m->props, PR_NORMALIZED_SUBJECT_W),
              std::string(c.subject).substr(std::string(c.prefix).size()));
  }
}

TEST(ImportHeaders, SeparatorLineIsSkippedAndHeaderBlockKeptAsWritten) {
  auto m = Import(
      "From ???@??? Mon Mar 04 09:15:22 2024\r\nSubject: s\r\nX-Folded: a\r\n b\r\n\r\nbody\r\n");
  EXPECT_EQ(Str(m->props, PR_TRANSPORT_MESSAGE_HEADERS_W), "Subject: s\r\nX-Folded: a\r\n b\r\n");
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "s");
  EXPECT_EQ(Body(*m), "body\r\n");
  // "From:" is a header, not a separator.
  auto header = Import("From: Ann <ann@x.example>\n\nhi\n");
  EXPECT_EQ(Str(header->props, PR_SENDER_EMAIL_ADDRESS_W), "ann@x.example");
}

// Readers that parse the transport headers (msgconvert, any "Internet headers" view) must find
// the whole block: an envelope line inside it neither ends it nor stays in it, and every line
// ends in CR LF, in embedded messages too.
TEST(ImportHeaders, TransportHeadersAreTheWholeBlockWithoutEnvelopeLines) {
  auto m = Import(
      "From ???@??? Mon Mar 04 09:15:22 2024\nReturn-Path: <ann@x.example>\nStatus: RO\n"
      "From ann@x.example  Wed Sep 11 19:43:23 2002\nFrom: Ann <ann@x.example>\n"
      "To: bob@y.example\nSubject: after the envelope\n\nbody\n");
  EXPECT_EQ(Str(m->props, PR_TRANSPORT_MESSAGE_HEADERS_W),
            "Return-Path: <ann@x.example>\r\nStatus: RO\r\nFrom: Ann <ann@x.example>\r\n"
            "To: bob@y.example\r\nSubject: after the envelope\r\n");
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "after the envelope");
  EXPECT_EQ(Str(m->props, PR_SENDER_EMAIL_ADDRESS_W), "ann@x.example");
  EXPECT_EQ(m->recipients.size(), 1u);
  EXPECT_EQ(Body(*m), "body\r\n");

  auto outer = Import(
      "Subject: fwd\nContent-Type: multipart/mixed; boundary=o\n\n--o\n\nsee\n"
      "--o\nContent-Type: message/rfc822\n\nSubject: inner\nX-Folded: a\n b\n\ninner\n--o--\n");
  ASSERT_EQ(outer->attachments.size(), 1u);
  ASSERT_NE(outer->attachments[0].embedded, nullptr);
  EXPECT_EQ(Str(outer->attachments[0].embedded->props, PR_TRANSPORT_MESSAGE_HEADERS_W),
            "Subject: inner\r\nX-Folded: a\r\n b\r\n");
  EXPECT_EQ(Str(outer->props, PR_TRANSPORT_MESSAGE_HEADERS_W),
            "Subject: fwd\r\nContent-Type: multipart/mixed; boundary=o\r\n");
}

TEST(ImportHeaders, DeliveryTimeIsTheDateOfTheLastReceivedHeaderAdded) {
  auto m = Import(
      "Received: from b by c; Tue, 05 Mar 2024 10:00:09 +0000\n"
      "Received: from a by b; Tue, 05 Mar 2024 10:00:05 +0000\n"
      "Date: Tue, 05 Mar 2024 09:59:00 +0000\n\nx\n");
  const auto ticks = [](std::uint64_t unix) { return (unix + 11644473600ull) * 10000000ull; };
  EXPECT_EQ(m->props.get<FileTime>(PR_MESSAGE_DELIVERY_TIME)->ticks, ticks(1709632809));
  EXPECT_EQ(m->props.get<FileTime>(PR_CLIENT_SUBMIT_TIME)->ticks, ticks(1709632740));

  auto noReceived = Import("Date: Tue, 05 Mar 2024 09:59:00 +0000\n\nx\n");
  EXPECT_EQ(noReceived->props.get<FileTime>(PR_MESSAGE_DELIVERY_TIME)->ticks, ticks(1709632740));
  auto noDate = Import("Subject: x\n\nx\n");
  EXPECT_EQ(noDate->props.find(PR_CLIENT_SUBMIT_TIME), nullptr);
}

// However the top-most Received header is written (folded, padded, encoded, 8-bit, without a
// date), its date is what GMime's decoded value of it gives after the last ';'.
TEST(ImportHeaders, ReceivedDateAsGMimeDecodesTheHeader) {
  const char* const kReceived[] = {
      "from a by b; Tue, 05 Mar 2024 10:00:09 +0000",
      "from a\r\n\tby b with ESMTP id 42;\r\n\tTue, 05 Mar 2024 10:00:09 +0100 (CET)",
      "from a by b;\r\n Tue,\r\n 05 Mar 2024\r\n 10:00:09 -0800   \t",
      "from a; by b;Tue, 5 Mar 2024 10:00:09 GMT",
      "from =?utf-8?q?caf=C3=A9?= by b; Tue, 05 Mar 2024 10:00:09 +0000",
      "from a by b; =?us-ascii?q?Tue=2C_05_Mar_2024_10=3A00=3A09_+0000?=",
      "from \xE9t\xE9 by b; Tue, 05 Mar 2024 10:00:09 +0000",
      "from a by b; Tue, 05 Mar 2024 10:00:09 +0000;",
      "from a by b with no date at all",
      "from a by b; not a date",
      "",
  };
  import::EnsureGMimeInitialized();
  for (const char* received : kReceived) {
    const std::string text = "Received: "s + received +
                             "\r\nReceived: from z by y; Mon, 04 Mar 2024 08:00:00 +0000\r\n"
                             "Subject: s\r\n\r\nx\r\n";
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(text.data(), text.size());
    GMimeParser* parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
    ASSERT_NE(parsed, nullptr) << received;
    GMimeHeader* header =
        g_mime_header_list_get_header_at(g_mime_object_get_header_list(GMIME_OBJECT(parsed)), 0);
    const char* value = g_mime_header_get_value(header);
    const char* semi = value ? std::strrchr(value, ';') : nullptr;
    GDateTime* date = semi ? g_mime_utils_header_decode_date(semi + 1) : nullptr;
    const std::optional<FileTime> expected = import::ToFileTime(date);
    if (date) g_date_time_unref(date);
    g_object_unref(parsed);
    g_object_unref(parser);
    g_object_unref(stream);

    const auto m = Import(text);
    const auto* delivered = m->props.get<FileTime>(PR_MESSAGE_DELIVERY_TIME);
    EXPECT_EQ(delivered ? std::optional<FileTime>(*delivered) : std::nullopt, expected) << received;
  }
}

// Without a readable Date the top-most Received stands in, then the separator line's date;
// creation and modification (Outlook's Modified column) are the time the message arrived.
TEST(ImportHeaders, TimesFallBackToReceivedThenToTheSeparatorLine) {
  const auto ticks = [](std::uint64_t unix) { return (unix + 11644473600ull) * 10000000ull; };
  const auto times = [](const Message& m) {
    std::vector<std::uint64_t> out;
    for (PropTag tag : {PR_CLIENT_SUBMIT_TIME, PR_MESSAGE_DELIVERY_TIME, PR_CREATION_TIME,
                        PR_LAST_MODIFICATION_TIME}) {
      const auto* time = m.props.get<FileTime>(tag);
      out.push_back(time ? time->ticks : 0);
    }
    return out;
  };
  const auto all = [](std::uint64_t t) { return std::vector<std::uint64_t>(4, t); };
  const std::string sep = "From ???@??? Mon Jan 01 00:00:00 2024\n";
  EXPECT_EQ(times(*Import(sep + "Received: from a by b; Tue, 05 Mar 2024 10:00:09 +0000\n"
                                "Subject: no date\n\nx\n")),
            all(ticks(1709632809)));
  EXPECT_EQ(times(*Import(sep + "Date: the day after tomorrow\n\nx\n")), all(ticks(1704067200)));
  EXPECT_EQ(times(*Import("From ann@x.example  Wed Sep 11 19:43:23 2002\nSubject: s\n\nx\n")),
            all(ticks(1031773403)));
  auto dated = Import(sep +
                      "Received: from a by b; Tue, 05 Mar 2024 10:00:09 +0000\n"
                      "Date: Tue, 05 Mar 2024 09:59:00 +0000\n\nx\n");
  EXPECT_EQ(times(*dated), (std::vector<std::uint64_t>{ticks(1709632740), ticks(1709632809),
                                                       ticks(1709632809), ticks(1709632809)}));
  EXPECT_EQ(times(*Import("From ???@???\nSubject: none at all\n\nx\n")), all(0));
}

TEST(ImportHeaders, SeparatorLineDates) {
  const auto unix = [](std::string_view line) -> std::int64_t {
    const auto time = import::SeparatorDate(line);
    return time ? static_cast<std::int64_t>(time->ticks / 10000000) - 11644473600 : -1;
  };
  EXPECT_EQ(unix("From ???@??? Mon Jan 01 00:00:00 2024"), 1704067200);
  EXPECT_EQ(unix("From ???@??? Tue Mar 05 10:00:09 2024\r"), 1709632809);
  EXPECT_EQ(unix("From a b@c.example  Wed Sep  1 19:43 2002"), 1030909380);
  EXPECT_EQ(unix("From x@y Wed Sep 11 19:43:23 +0000 2002"), 1031773403);
  EXPECT_EQ(unix("From ???@??? Mon Feb 30 00:00:00 2024"), -1);
  EXPECT_EQ(unix("From ???@???"), -1);
  EXPECT_EQ(unix("Subject: Mon Jan 01 00:00:00 2024"), -1);
}

// Outlook groups a conversation by the GUID of the index (bytes 6 to 21) when index tracking
// is on; a reply's index is one 5-byte block longer than its parent's.
TEST(ImportHeaders, ConversationTopicAndIndex) {
  const auto hex = [](const Bytes* bytes) {
    std::string out;
    static constexpr char kDigits[] = "0123456789abcdef";
    for (const auto b : bytes ? *bytes : Bytes{}) {
      out += kDigits[b >> 4];
      out += kDigits[b & 0xF];
    }
    return out;
  };
  const std::string date = "Date: Tue, 05 Mar 2024 09:59:00 +0000\n";
  auto root = Import(date + "Subject: Lunch\nMessage-ID: <root@x.example>\n\nx\n");
  auto reply = Import(date +
                      "Subject: RE: Lunch\nMessage-ID: <r1@y.example>\n"
                      "In-Reply-To: <root@x.example>\n\nx\n");
  auto second = Import(date +
                       "Subject: Re: Lunch\nMessage-ID: <r2@x.example>\n"
                       "References: <root@x.example>\n <r1@y.example>\n\nx\n");
  // 0x01, the FILETIME 0x01DA6EE3BEE28A00 less its top and two bottom bytes, MD5("root@x.example").
  const std::string header = "01da6ee3bee2b6d0e235ff4dd6f12ce6a2dae29063f0";
  EXPECT_EQ(hex(root->props.get<Bytes>(PR_CONVERSATION_INDEX)), header);
  const std::string replyIndex = hex(reply->props.get<Bytes>(PR_CONVERSATION_INDEX));
  const std::string secondIndex = hex(second->props.get<Bytes>(PR_CONVERSATION_INDEX));
  EXPECT_EQ(replyIndex.size(), 2u * (22 + 5));
  EXPECT_EQ(secondIndex.size(), 2u * (22 + 10));
  EXPECT_EQ(secondIndex.substr(0, replyIndex.size()), replyIndex);
  EXPECT_EQ(replyIndex.substr(0, header.size()), header);
  for (const auto* m : {root.get(), reply.get(), second.get()}) {
    EXPECT_EQ(Str(m->props, PR_CONVERSATION_TOPIC_W), "Lunch");
    EXPECT_TRUE(Bool(m->props, PR_CONVERSATION_INDEX_TRACKING));
  }

  // Outlook's own headers are taken as they are; a Thread-Index of the wrong shape is not.
  auto outlook = Import(
      "Subject: RE: Lunch\nThread-Topic: Lunch plans\n"
      "Thread-Index: AdNL0OU5QRBvuAyATLyPGad50WiEigAAABI0\n\nx\n");
  EXPECT_EQ(Str(outlook->props, PR_CONVERSATION_TOPIC_W), "Lunch plans");
  EXPECT_EQ(hex(outlook->props.get<Bytes>(PR_CONVERSATION_INDEX)),
            "01d34bd0e53941106fb80c804cbc8f19a779d168848a0000001234");
  auto broken = Import("Subject: Lunch\nThread-Index: AdNL0OU5QRBv\n\nx\n");
  EXPECT_EQ(broken->props.get<Bytes>(PR_CONVERSATION_INDEX)->size(), 22u);
}

TEST(ImportHeaders, KeywordsAreMultiValuedCategories) {
  auto m = Import(
      "Subject: s\nKeywords: Project X,  Urgent ,\n =?UTF-8?Q?K=C3=A4se?=\nKeywords: Urgent, "
      ",late\n\nx\n");
  const Property* keywords =
      m->props.findNamed(NamedProp{kPsPublicStrings, std::string("Keywords")});
  ASSERT_NE(keywords, nullptr);
  EXPECT_EQ(keywords->type, PropType::MvUnicode);
  EXPECT_EQ(std::get<std::vector<std::string>>(keywords->value),
            (std::vector<std::string>{"Project X", "Urgent", "Käse", "late"}));
  EXPECT_EQ(Import("Subject: none\n\nx\n")->props.named().size(), 0u);
}

TEST(ImportHeaders, ImportancePriorityAndSensitivity) {
  const struct {
    const char* headers;
    std::int32_t importance, priority, sensitivity;
  } cases[] = {
      {"", 1, 0, 0},
      {"Importance: High\n", 2, 1, 0},
      {"Importance: low\n", 0, -1, 0},
      {"X-Priority: 1 (Highest)\n", 2, 1, 0},
      {"X-Priority: 5\n", 0, -1, 0},
      {"Priority: urgent\n", 2, 1, 0},
      {"Priority: non-urgent\nImportance: high\n", 2, -1, 0},
      {"Sensitivity: Company-Confidential\n", 1, 0, 3},
      {"Sensitivity: Private\n", 1, 0, 2},
      {"Sensitivity: Personal\n", 1, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.headers);
    auto m = Import(std::string(c.headers) + "Subject: x\n\nx\n");
    EXPECT_EQ(Int(m->props, PR_IMPORTANCE), c.importance);
    EXPECT_EQ(Int(m->props, PR_PRIORITY), c.priority);
    EXPECT_EQ(Int(m->props, PR_SENSITIVITY), c.sensitivity);
  }
}

// MS-OXCDATA 2.2.5.1, field by field.
TEST(ImportAddresses, OneOffEntryIdAndSearchKey) {
  auto m = Import("From: Jo <jo@x.example>\nTo: Al <al@y.example>\n\nx\n");
  ASSERT_EQ(m->recipients.size(), 1u);
  const std::string id = BinaryProp(m->recipients[0].props, PR_ENTRYID);
  const std::string expected =
      std::string("\0\0\0\0", 4) +                                           // flags
      "\x81\x2B\x1F\xA4\xBE\xA3\x10\x19\x9D\x6E\x00\xDD\x01\x0F\x54\x02"s +  // MAPI_ONE_OFF_UID
      std::string("\0\0", 2) +                                               // version
      std::string("\x01\x80", 2) +           // MAPI_ONE_OFF_UNICODE | NO_RICH_INFO
      std::string("A\0l\0\0\0", 6) +         // display name
      std::string("S\0M\0T\0P\0\0\0", 10) +  // address type
      std::string("a\0l\0@\0y\0.\0e\0x\0a\0m\0p\0l\0e\0\0\0", 26);
  EXPECT_EQ(id, expected);
  EXPECT_EQ(BinaryProp(m->props, PR_SENDER_SEARCH_KEY), std::string("SMTP:JO@X.EXAMPLE\0", 18));
  EXPECT_EQ(BinaryProp(m->props, PR_SENT_REPRESENTING_ENTRYID).substr(24, 6),
            std::string("J\0o\0\0\0", 6));
}

TEST(ImportAddresses, ReplyToTwoAddressesIsAFlatEntryList) {
  auto m = Import("From: a@x.example\nReply-To: Ann <ann@x.example>, bo@y.example\n\nx\n");
  EXPECT_EQ(Str(m->props, PR_REPLY_RECIPIENT_NAMES_W), "Ann; bo@y.example");
  const std::string list = BinaryProp(m->props, PR_REPLY_RECIPIENT_ENTRIES);
  auto u32 = [&list](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<std::uint8_t>(list.at(at + i));
    return v;
  };
  ASSERT_GE(list.size(), 8u);
  EXPECT_EQ(u32(0), 2u);               // entries
  EXPECT_EQ(u32(4), list.size() - 8);  // bytes of the entries
  const std::uint32_t first = u32(8);  // 24 + "Ann" + "SMTP" + "ann@x.example" in UTF-16
  EXPECT_EQ(first, 24u + 8 + 10 + 28);
  const std::size_t second = 12 + ((first + 3) / 4) * 4;  // padded to 4 bytes
  EXPECT_EQ(u32(second), 24u + 26 + 10 + 26);
  EXPECT_EQ(list.size(), second + 4 + ((u32(second) + 3) / 4) * 4);
  // Without Sender, the sender is the author.
  EXPECT_EQ(Str(m->props, PR_SENDER_EMAIL_ADDRESS_W), "a@x.example");
}

TEST(ImportAddresses, RecipientsOfEveryKindAndGroups) {
  auto m = Import(
      "To: Team: a@x.example, \"Last, First\" <b@x.example>;\nCc: =?UTF-8?Q?J=C3=B6rg?= "
      "<c@x.example>\nBcc: hidden@x.example\n\nx\n");
  ASSERT_EQ(m->recipients.size(), 4u);
  EXPECT_EQ(Str(m->props, PR_DISPLAY_TO_W), "a@x.example; Last, First");
  EXPECT_EQ(Str(m->props, PR_DISPLAY_CC_W), "Jörg");
  EXPECT_EQ(Str(m->props, PR_DISPLAY_BCC_W), "hidden@x.example");
  EXPECT_EQ(Int(m->recipients[3].props, PR_RECIPIENT_TYPE), 3);
  EXPECT_EQ(Str(m->recipients[2].props, PR_ADDRTYPE_W), "SMTP");
  EXPECT_EQ(Str(m->recipients[2].props, PR_EMAIL_ADDRESS_W), "c@x.example");
  EXPECT_EQ(Str(m->recipients[2].props, PR_RECIPIENT_DISPLAY_NAME_W), "Jörg");
  EXPECT_EQ(Str(m->recipients[3].props, PR_TRANSMITTABLE_DISPLAY_NAME_W), "hidden@x.example");
  EXPECT_FALSE(Bool(m->recipients[3].props, PR_SEND_RICH_INFO));  // MIME, as the entry id says
  EXPECT_EQ(Int(m->recipients[0].props, PR_DISPLAY_TYPE), 0);
}

TEST(ImportBodies, CharsetsOfTextBodies) {
  // Latin-1 sent 8-bit without a charset: windows-1252, whose 0x80 and 0x93/0x94 are € and quotes.
  auto latin = Import("Subject: x\n\nCaf\xe9 \x80 \x93ok\x94\n");
  EXPECT_EQ(Body(*latin), "Café € “ok”\r\n");
  auto declaredLatin1 = Import(
      "Content-Type: text/plain; charset=iso-8859-1\nContent-Transfer-Encoding: 8bit\n\n"
      "M\xfcnchen\n");
  EXPECT_EQ(Body(*declaredLatin1), "München\r\n");
  EXPECT_EQ(Int(declaredLatin1->props, PR_INTERNET_CPID), 28591);
  auto koi8 = Import("Content-Type: text/plain; charset=koi8-r\n\n\xf0\xd2\xc9\xd7\xc5\xd4\n");
  EXPECT_EQ(Body(*koi8), "Привет\r\n");
  auto qp = Import(
      "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n"
      "Gr=C3=BC=C3=9Fe, soft=\nbreak\n");
  EXPECT_EQ(Body(*qp), "Grüße, softbreak\r\n");
  // Labelled UTF-8 but with a stray Latin-1 byte: the good characters and the stray one both stay.
  auto mixed = Import("Content-Type: text/plain; charset=utf-8\n\n\xc3\xa9t\xe9\n");
  EXPECT_EQ(Body(*mixed), "été\r\n");
}

TEST(ImportBodies, HtmlOnlyGetsAPlainTextBodyDerivedFromIt) {
  auto m = Import(
      "Content-Type: text/html; charset=ISO-8859-1\n\n"
      "<html><head><title>T</title><style>p{color:red}</style></head><body>"
      "<p>Gr\xfc\xdf &amp; <b>bold</b>&nbsp;text</p><script>alert(1)</script>"
      "<ul><li>one</li><li>two &#8364;</li></ul>line<br>break</body></html>\n");
  EXPECT_EQ(Body(*m), "Grü\xc3\x9f & bold text\r\n\r\n* one\r\n* two €\r\nline\r\nbreak\r\n");
  const std::string html = BinaryProp(m->props, PR_HTML);
  EXPECT_NE(html.find("Gr\xfc\xdf"), std::string::npos);  // kept in its own charset
  EXPECT_EQ(Int(m->props, PR_INTERNET_CPID), 28591);

  // A charset with no code page of ours: the HTML is stored as UTF-8 to match the code page.
  auto odd = Import("Content-Type: text/html; charset=iso-8859-16\n\n<p>Bucure\xbati</p>\n");
  EXPECT_EQ(BinaryProp(odd->props, PR_HTML), "<p>București</p>\n");
  EXPECT_EQ(Int(odd->props, PR_INTERNET_CPID), 65001);
}

// What Outlook recovers from the RTF body: the HTML as Unicode text whatever its charset, or
// the plain text; and which body is the native one.
TEST(ImportBodies, RtfBodyCarriesTheHtmlOrTheText) {
  const auto recovered = [](const Message& m) {
    const auto* rtf = m.props.get<Bytes>(PR_RTF_COMPRESSED);
    EXPECT_NE(rtf, nullptr);
    return rtf ? rtf::testing::Deencapsulate(rtf::DecompressRtf(*rtf)) : rtf::testing::Recovered{};
  };
  auto html = Import(
      "Content-Type: multipart/alternative; boundary=a\n\n"
      "--a\nContent-Type: text/plain\n\nplain\n"
      "--a\nContent-Type: text/html; charset=iso-8859-1\n\n<p>M\xfcnchen</p>\n--a--\n");
  auto got = recovered(*html);
  EXPECT_EQ(got.kind, "html");
  EXPECT_EQ(got.text, "<p>München</p>");
  EXPECT_EQ(BinaryProp(html->props, PR_HTML), "<p>M\xfcnchen</p>");  // still its own bytes
  EXPECT_EQ(Int(html->props, PR_NATIVE_BODY_INFO), 3);
  EXPECT_EQ(Int(html->props, PR_MSG_EDITOR_FORMAT), 2);
  EXPECT_TRUE(Bool(html->props, PR_RTF_IN_SYNC));

  auto text = Import("Subject: x\n\nfirst line\n\tsecond \xe2\x82\xac\n");
  got = recovered(*text);
  EXPECT_EQ(got.kind, "text");
  EXPECT_EQ(got.text, Body(*text));
  EXPECT_EQ(Int(text->props, PR_NATIVE_BODY_INFO), 1);
  EXPECT_EQ(Int(text->props, PR_MSG_EDITOR_FORMAT), 1);
  // Outlook writes none of the RTF synchronisation properties on such messages.
  for (const auto& [tag, value] : text->props.tagged()) {
    const std::uint32_t id = tag >> 16;
    EXPECT_TRUE(id < 0x1006 || id > 0x1011 || id == 0x1009 || id == 0x1013) << std::hex << tag;
  }

  auto empty = Import("Subject: nothing\n\n");
  EXPECT_EQ(recovered(*empty).text, "");
  auto forwarded = Import(
      "Content-Type: multipart/mixed; boundary=o\n\n--o\nContent-Type: text/plain\n\nsee\n"
      "--o\nContent-Type: message/rfc822\n\nSubject: in\nContent-Type: text/html\n\n<b>in</b>\n"
      "--o--\n");
  ASSERT_EQ(forwarded->attachments.size(), 1u);
  ASSERT_NE(forwarded->attachments[0].embedded, nullptr);
  EXPECT_EQ(recovered(*forwarded->attachments[0].embedded).text, "<b>in</b>");

  // Without the RTF body (as data files keep messages), at every level of embedding.
  const std::string source =
      "Content-Type: multipart/mixed; boundary=o\n\n--o\nContent-Type: text/plain\n\nsee\n"
      "--o\nContent-Type: message/rfc822\n\nSubject: in\nContent-Type: text/html\n\n<b>in</b>\n"
      "--o--\n";
  auto plain = ImportRfc822(std::make_shared<MemorySource>(Bytes(source.begin(), source.end())),
                            ImportOptions{.rtfBody = false});
  ASSERT_EQ(plain->attachments.size(), 1u);
  for (const Message* m : {plain.get(), plain->attachments[0].embedded.get()}) {
    ASSERT_NE(m, nullptr);
    for (const PropTag tag : {PR_RTF_COMPRESSED, PR_RTF_IN_SYNC}) {
      EXPECT_EQ(m->props.findId(tag.id), nullptr) << std::hex << tag.value();
    }
  }
  EXPECT_EQ(Body(*plain), "see");
}

TEST(ImportAttachments, FileNamesFromRfc2231AndEncodedWords) {
  auto m = Import(
      "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n\nhi\n"
      "--b\nContent-Type: application/pdf\n"
      "Content-Disposition: attachment; filename*=UTF-8''Gr%C3%BC%C3%9Fe%20aus%20K%C3%B6ln.pdf\n"
      "\n%PDF\n"
      "--b\nContent-Type: text/plain; name*0*=iso-8859-1''R%E9sum%E9;\n name*1=\" long.txt\"\n"
      "Content-Disposition: attachment\n\nr\n"
      "--b\nContent-Type: image/png; name=\"=?UTF-8?B?w6RwZmVs?=.png\"\n\nP\n"
      "--b\nContent-Type: application/octet-stream\nContent-Disposition: attachment; "
      "filename=\"../../etc/pass:wd\"\n\nx\n"
      "--b\nContent-Type: application/zip\n\nZ\n--b--\n");
  ASSERT_EQ(m->attachments.size(), 5u);
  const char* names[] = {"Grüße aus Köln.pdf", "Résumé long.txt", "äpfel.png", "pass_wd",
                         "ATT00001.zip"};
  const char* shortNames[] = {"GREAUS~1.PDF", "RSUMLO~1.TXT", "PFEL~1.PNG", "PASS_WD",
                              "ATT00001.ZIP"};
  const char* extensions[] = {".pdf", ".txt", ".png", "", ".zip"};
  for (std::size_t i = 0; i < 5; ++i) {
    const PropertyBag& p = m->attachments[i].props;
    EXPECT_EQ(Str(p, PR_ATTACH_LONG_FILENAME_W), names[i]);
    EXPECT_EQ(Str(p, PR_DISPLAY_NAME_ATTACH_W), names[i]);
    EXPECT_EQ(Str(p, PR_ATTACH_FILENAME_W), shortNames[i]);
    EXPECT_EQ(Str(p, PR_ATTACH_EXTENSION_W), extensions[i]);
    EXPECT_EQ(Int(p, PR_ATTACH_METHOD), ATTACH_BY_VALUE);
    EXPECT_EQ(Int(p, PR_RENDERING_POSITION), -1);
  }
  EXPECT_EQ(Body(*m), "hi");  // the line break before a boundary belongs to the boundary
  EXPECT_EQ(AttachmentData(m->attachments[0]), "%PDF");
}

TEST(ImportAttachments, RelatedImagesReferencedByTheHtmlAreHidden) {
  auto m = Import(
      "Content-Type: multipart/related; boundary=r\n\n"
      "--r\nContent-Type: text/html\n\n<img src=\"cid:img1@x\"><img src=\"pic.gif\">\n"
      "--r\nContent-Type: image/gif\nContent-ID: <img1@x>\nContent-Location: a.gif\n\nGIF1\n"
      "--r\nContent-Type: image/gif\nContent-Location: pic.gif\n\nGIF2\n"
      "--r\nContent-Type: image/gif\nContent-ID: <unused@x>\n\nGIF3\n--r--\n");
  ASSERT_EQ(m->attachments.size(), 3u);
  const bool hidden[] = {true, true, false};
  for (std::size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Bool(m->attachments[i].props, PR_ATTACHMENT_HIDDEN), hidden[i]);
    EXPECT_EQ(m->attachments[i].props.find(PR_ATTACH_FLAGS) != nullptr, hidden[i]);
  }
  EXPECT_EQ(Str(m->attachments[0].props, PR_ATTACH_CONTENT_ID_W), "img1@x");
  EXPECT_EQ(Str(m->attachments[1].props, PR_ATTACH_CONTENT_LOCATION_W), "pic.gif");
  EXPECT_EQ(BinaryProp(m->props, PR_HTML), "<img src=\"cid:img1@x\"><img src=\"pic.gif\">");
}

// The HTML with its pictures as one alternative, however deep: the HTML is the HTML body and
// the pictures it shows are hidden, whatever else the message carries.
TEST(ImportAttachments, HtmlInARelatedAlternativeIsTheHtmlBody) {
  const std::string related =
      "Content-Type: multipart/related; boundary=r\n\n"
      "--r\nContent-Type: text/html\n\n<p>see <img src=\"cid:i@x\"></p>\n"
      "--r\nContent-Type: image/png\nContent-ID: <i@x>\n\nPNG\n--r--\n";
  const std::string alternative =
      "Content-Type: multipart/alternative; boundary=a\n\n"
      "--a\nContent-Type: text/plain\n\nsee the picture\n--a\n" +
      related + "--a--\n";
  const std::string mixed = "Content-Type: multipart/mixed; boundary=m\n\n--m\n" + alternative +
                            "--m\nContent-Type: application/pdf; name=a.pdf\n\n%PDF\n--m--\n";
  for (const auto& [text, files] : {std::pair{alternative, 1u}, std::pair{mixed, 2u}}) {
    auto m = Import("Subject: s\n" + text);
    EXPECT_EQ(Body(*m), "see the picture");
    EXPECT_EQ(BinaryProp(m->props, PR_HTML), "<p>see <img src=\"cid:i@x\"></p>");
    ASSERT_EQ(m->attachments.size(), files);
    EXPECT_TRUE(Bool(m->attachments[0].props, PR_ATTACHMENT_HIDDEN));
    EXPECT_EQ(Str(m->attachments[0].props, PR_ATTACH_CONTENT_ID_W), "i@x");
    if (files == 2) {
      EXPECT_FALSE(Bool(m->attachments[1].props, PR_ATTACHMENT_HIDDEN));
    }
  }
}

TEST(ImportAttachments, ForwardedMessagesAreEmbedded) {
  auto m = Import(
      "Subject: Fwd: two\nContent-Type: multipart/mixed; boundary=o\n\n"
      "--o\nContent-Type: text/plain\n\nsee below\n"
      "--o\nContent-Type: message/rfc822\n\nSubject: plain inner\nFrom: i@x.example\n\ninner one\n"
      "--o\nContent-Type: message/rfc822\nContent-Transfer-Encoding: base64\n\n"
      "U3ViamVjdDogZW5jb2RlZCBpbm5lcgoKaW5uZXIgdHdvCg==\n--o--\n");
  ASSERT_EQ(m->attachments.size(), 2u);
  const char* subjects[] = {"plain inner", "encoded inner"};
  const char* bodies[] = {"inner one", "inner two\r\n"};
  for (std::size_t i = 0; i < 2; ++i) {
    const Attachment& a = m->attachments[i];
    EXPECT_EQ(Int(a.props, PR_ATTACH_METHOD), ATTACH_EMBEDDED_MSG);
    ASSERT_NE(a.embedded, nullptr);
    EXPECT_EQ(Str(a.props, PR_DISPLAY_NAME_ATTACH_W), subjects[i]);
    EXPECT_EQ(Str(a.embedded->props, PR_SUBJECT_W), subjects[i]);
    EXPECT_EQ(Body(*a.embedded), bodies[i]);
  }
  EXPECT_EQ(Str(m->attachments[0].embedded->props, PR_SENDER_EMAIL_ADDRESS_W), "i@x.example");
}

// Clear-signed S/MIME as Outlook keeps it (MS-OXOSMIME): one attachment holding the signed
// entity byte for byte, so the signature still verifies; the bodies readable beside it.
// PGP/MIME has no such form: its content is read and the signature kept as a file.
TEST(ImportAttachments, SignedMailKeepsWhatTheSignatureCovers) {
  const std::string signedBody =
      "--s\r\nContent-Type: multipart/mixed; boundary=a\r\n\r\n"
      "--a\r\nContent-Type: text/html\r\n\r\n<p>signed <img src=\"cid:i@x\"></p>\r\n"
      "--a\r\nContent-Type: image/png\r\nContent-ID: <i@x>\r\n\r\nPNG\r\n--a--\r\n"
      "--s\r\nContent-Type: application/pkcs7-signature; name=smime.p7s\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\nAAEC\r\n--s--\r\n";
  auto m = Import(
      "From ???@??? Mon Jan 01 00:00:00 2024\r\nSubject: signed\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\";\r\n"
      "\tmicalg=sha-256; boundary=s\r\nX-After: kept out\r\n\r\n" +
      signedBody);
  EXPECT_EQ(Str(m->props, PR_MESSAGE_CLASS_W), "IPM.Note.SMIME.MultipartSigned");
  EXPECT_EQ(BinaryProp(m->props, PR_HTML), "<p>signed <img src=\"cid:i@x\"></p>");
  ASSERT_EQ(m->attachments.size(), 1u);
  const PropertyBag& a = m->attachments[0].props;
  EXPECT_EQ(Str(a, PR_ATTACH_MIME_TAG_W), "multipart/signed");
  EXPECT_EQ(AttachmentData(m->attachments[0]),
            "MIME-Version: 1.0\r\n"
            "Content-Type: multipart/signed; protocol=\"application/pkcs7-signature\";\r\n"
            "\tmicalg=sha-256; boundary=s\r\n\r\n" +
                signedBody);
  EXPECT_EQ(Int(a, PR_ATTACH_SIZE),
            static_cast<std::int32_t>(AttachmentData(m->attachments[0]).size()));
  EXPECT_TRUE(Bool(m->props, PR_HASATTACH));

  auto pgp = Import(
      "Content-Type: multipart/signed; protocol=\"application/pgp-signature\"; boundary=s\n\n"
      "--s\nContent-Type: text/plain\n\nsigned text\n"
      "--s\nContent-Type: application/pgp-signature; name=signature.asc\n\nSIG\n--s--\n");
  EXPECT_EQ(Str(pgp->props, PR_MESSAGE_CLASS_W), "IPM.Note");
  EXPECT_EQ(Body(*pgp), "signed text");
  ASSERT_EQ(pgp->attachments.size(), 1u);
  EXPECT_EQ(Str(pgp->attachments[0].props, PR_ATTACH_LONG_FILENAME_W), "signature.asc");
}

TEST(ImportHeaders, ReportsGetTheReportClasses) {
  const auto report = [](const std::string& type, const std::string& fields) {
    return Import(
        "Subject: report\nContent-Type: multipart/report; report-type=x; boundary=r\n\n"
        "--r\nContent-Type: text/plain\n\nhuman text\n--r\nContent-Type: " +
        type + "\n\n" + fields + "\n--r--\n");
  };
  const struct {
    const char* type;
    const char* fields;
    const char* messageClass;
  } cases[] = {
      {"message/delivery-status", "Reporting-MTA: dns; x\n\nAction: delivered\nStatus: 2.0.0",
       "REPORT.IPM.Note.DR"},
      {"message/delivery-status", "Action: delivered\n\nAction: Failed\nStatus: 5.1.1",
       "REPORT.IPM.Note.NDR"},
      {"message/delivery-status", "Action: delayed\nStatus: 4.4.1", "REPORT.IPM.Note.Delayed"},
      {"message/disposition-notification",
       "Disposition: manual-action/MDN-sent-manually; displayed", "REPORT.IPM.Note.IPNRN"},
      {"message/disposition-notification", "Disposition: automatic-action/MDN-sent; deleted",
       "REPORT.IPM.Note.IPNNRN"},
      {"text/plain", "Action: failed", "IPM.Note"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fields);
    auto m = report(c.type, c.fields);
    EXPECT_EQ(Str(m->props, PR_MESSAGE_CLASS_W), c.messageClass);
    EXPECT_EQ(Body(*m), "human text");
  }
}

TEST(ImportFlags, HasAttachFollowsTheAttachments) {
  auto with = Import(
      "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nt\n--b\nContent-Type: image/png\n\n"
      "P\n--b--\n");
  auto without = Import("Subject: x\n\nno attachments\n");
  EXPECT_EQ(Int(with->props, PR_MESSAGE_FLAGS), MSGFLAG_HASATTACH);
  EXPECT_EQ(Int(without->props, PR_MESSAGE_FLAGS), 0);

  SetMessageFlags(*with, 17);
  SetMessageFlags(*without, 17);
  EXPECT_EQ(Int(with->props, PR_MESSAGE_FLAGS), 0x11);
  EXPECT_EQ(Int(without->props, PR_MESSAGE_FLAGS), 0x01);
  EXPECT_FALSE(Bool(without->props, PR_HASATTACH));
  SetMessageFlags(*with, MSGFLAG_READ);  // the store sets the bit it computes
  EXPECT_EQ(Int(with->props, PR_MESSAGE_FLAGS), 0x11);
  EXPECT_TRUE(Bool(with->props, PR_HASATTACH));
}

}  // namespace
}  // namespace qc::mapi::testing
