// Senders and recipients as their headers name them, however broken: a name alone (plain, raw
// or encoded), a group, an address that is none. The name is decoded, the address left empty
// rather than made up, and nobody named is lost.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "mapi/import/gmime_support.h"
#include "mapi/import/header_addresses.h"
#include "mapi/import/tests/import_test_support.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;

using People = std::vector<std::pair<std::string, std::string>>;  // name, address

std::unique_ptr<Message> WithHeaders(const std::string& headers) {
  return ImportRfc822(headers + "Subject: s\r\n\r\nbody\r\n");
}

People Recipients(const Message& m) {
  People out;
  for (const auto& r : m.recipients) {
    out.emplace_back(Str(r.props, PR_DISPLAY_NAME_W), Str(r.props, PR_EMAIL_ADDRESS_W));
  }
  return out;
}

std::pair<std::string, std::string> Sender(const Message& m) {
  return {Str(m.props, PR_SENDER_NAME_W), Str(m.props, PR_SENDER_EMAIL_ADDRESS_W)};
}

const std::string kIvan = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";  // Иван

TEST(HeaderAddresses, ANameAloneIsTheNameWithoutAnAddress) {
  const std::pair<std::string, std::pair<std::string, std::string>> cases[] = {
      {"From: =?koi8-r?B?6dfBzg==?=\r\n", {kIvan, ""}},
      {"From: =?utf-8?B?0JjQstCw0L0=?= =?utf-8?Q?_P?=\r\n", {kIvan + " P", ""}},
      {"From: \xE9\xD7\xC1\xCE \xF0\r\nContent-Type: text/plain; charset=koi8-r\r\n",
       {kIvan + " \xD0\x9F", ""}},
      {"From: John Smith\r\n", {"John Smith", ""}},
      {"From: \"Smith, John\"\r\n", {"Smith, John", ""}},
      {"From: MAILER DAEMON <>\r\n", {"MAILER DAEMON", ""}},
      {"From: Ivan <ivan at example.ru>\r\n", {"Ivan", ""}},
      {"From: <ivan at example.ru>\r\n", {"ivan at example.ru", ""}},
      // Addresses that are addresses stay as they were.
      {"From: root\r\n", {"root", "root"}},
      {"From: Ann <ann@example.org>\r\n", {"Ann", "ann@example.org"}},
      {"From: =?utf-8?Q?Ann?= <ann@example.org>\r\n", {"Ann", "ann@example.org"}},
  };
  for (const auto& [headers, want] : cases) {
    auto m = WithHeaders(headers);
    EXPECT_EQ(Sender(*m), want) << headers;
    EXPECT_EQ(Str(m->props, PR_SENT_REPRESENTING_NAME_W), want.first) << headers;
  }
}

TEST(HeaderAddresses, GroupsAndBrokenItemsAmongGoodOnes) {
  auto m = WithHeaders(
      "To: Undisclosed recipients:;\r\n"
      "Cc: team: Ann <ann@example.org>, bob@example.org;, =?utf-8?B?0JjQstCw0L0=?=,\r\n"
      " Ivan <ivan at example.ru>, \"Doe, Jane\" <jane@example.org>\r\n");
  EXPECT_EQ(Recipients(*m), (People{{"Undisclosed recipients", ""},
                                    {"Ann", "ann@example.org"},
                                    {"bob@example.org", "bob@example.org"},
                                    {kIvan, ""},
                                    {"Ivan", ""},
                                    {"Doe, Jane", "jane@example.org"}}));
  EXPECT_EQ(Str(m->props, PR_DISPLAY_TO_W), "Undisclosed recipients");
  EXPECT_EQ(Str(m->props, PR_DISPLAY_CC_W), "Ann; bob@example.org; " + kIvan + "; Ivan; Doe, Jane");
}

TEST(HeaderAddresses, NoEncodedWordIsLeftInWhatOutlookShows) {
  auto m = WithHeaders(
      "From: =?x-sjis?B?gqCCog==?=\r\nTo: =?koi8-r?B?6dfBzg==?=, =?utf-8?Q?Ann?= "
      "<a@example.org>\r\n"
      "Reply-To: =?utf-8?B?0JjQstCw0L0=?=\r\n");
  for (const PropTag tag : {PR_SENDER_NAME_W, PR_SENT_REPRESENTING_NAME_W, PR_DISPLAY_TO_W,
                            PR_REPLY_RECIPIENT_NAMES_W, PR_SENDER_EMAIL_ADDRESS_W}) {
    EXPECT_EQ(Str(m->props, tag).find("=?"), std::string::npos) << Str(m->props, tag);
  }
  for (const auto& [name, address] : Recipients(*m)) {
    EXPECT_EQ(name.find("=?"), std::string::npos) << name;
    EXPECT_EQ(address.find("=?"), std::string::npos) << address;
  }
  EXPECT_EQ(Sender(*m), (std::pair<std::string, std::string>{"\xE3\x81\x82\xE3\x81\x84", ""}));
}

// A header naming its people plainly is read without GMime; what it reads must be what GMime
// reads, and anything less plain must be left to GMime.
TEST(HeaderAddresses, PlainAddressesReadAsGMimeReadsThem) {
  import::EnsureGMimeInitialized();
  const std::vector<std::string> names = {"Ann",          "Ann Example", "Ann  Example", "a1 B2",
                                          "x-y",          "J. Doe",      "\"Ann\"",      "O'Brien",
                                          "Ann\tExample", "Ann,"};
  const std::vector<std::string> locals = {"ann", "a.b", "a..b", ".a",    "a.", "a+b",
                                           "a_b", "a-b", "a'b",  "\"q\"", "",   "A1"};
  const std::vector<std::string> domains = {
      "example.org",  "EXAMPLE.ORG", "a-b.c", "xn--bcher-kva.example",
      "mail.XN--x.y", "localhost",   "a..b",  ".a",
      "a.",           "[1.2.3.4]",   "",      "-a.b"};
  // %n and %a one person's name and address, %m and %b another's.
  const std::vector<std::string> shapes = {"%a",
                                           "<%a>",
                                           "%n <%a>",
                                           "%n<%a>",
                                           "%n  <%a>",
                                           "%n <%a> ",
                                           " \r\n\t%n <%a>\r\n",
                                           "%a (comment)",
                                           "<%a> %n",
                                           "%n <%a>, x@y.z",
                                           "%a,%b",
                                           "%n <%a>,\r\n\t%m <%b>, %a",
                                           "%a , %m <%b>",
                                           "%a, ",
                                           ", %a",
                                           "%a,, %b",
                                           "%a; %b",
                                           "%a %b",
                                           "%n <%a>, %m",
                                           "%n <%a>, <%b>"};
  std::mt19937 random(9);
  const auto pick = [&](const std::vector<std::string>& from) {
    return from[random() % from.size()];
  };
  const auto put = [](std::string& value, std::string_view mark, const std::string& text) {
    for (std::size_t at; (at = value.find(mark)) != std::string::npos;) value.replace(at, 2, text);
  };
  int plain = 0, lists = 0;
  for (int round = 0; round < 50000; ++round) {
    std::string value = pick(shapes);
    put(value, "%a", pick(locals) + "@" + pick(domains));
    put(value, "%b", pick(locals) + "@" + pick(domains));
    put(value, "%n", pick(names));
    put(value, "%m", pick(names));
    // Someone read before: a value not read must leave them alone.
    std::vector<import::MailAddress> read(1, import::MailAddress{"Before", "b@example.org"});
    if (!import::PlainAddresses(value, read)) {
      ASSERT_EQ(read.size(), 1u) << value;
      continue;
    }
    ++plain;
    if (read.size() > 2) ++lists;
    const import::GPtr<InternetAddressList> list(internet_address_list_new());
    internet_address_list_append_parse(list.get(), import::LenientParserOptions(), value.c_str());
    ASSERT_EQ(static_cast<std::size_t>(internet_address_list_length(list.get())), read.size() - 1)
        << value;
    for (std::size_t i = 1; i < read.size(); ++i) {
      InternetAddress* gmime =
          internet_address_list_get_address(list.get(), static_cast<int>(i - 1));
      ASSERT_TRUE(INTERNET_ADDRESS_IS_MAILBOX(gmime)) << value;
      EXPECT_EQ(read[i].name, import::GMimeText(internet_address_get_name(gmime))) << value;
      EXPECT_EQ(
          read[i].address,
          import::GMimeText(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(gmime))))
          << value;
    }
  }
  EXPECT_GT(plain, 1000) << lists;
  EXPECT_GT(lists, 300) << plain;
  // And through the envelope: the same people whichever way they were read.
  const auto m = WithHeaders(
      "From: Ann Example <ann@example.org>\r\nTo: bob@example.net\r\nCc: Carol <c@x.org>, "
      "\"D, E\" <d@x.org>\r\nCc: Fred F <f@x.org>\r\n");
  EXPECT_EQ(Sender(*m), (std::pair<std::string, std::string>{"Ann Example", "ann@example.org"}));
  EXPECT_EQ(Recipients(*m), (People{{"bob@example.net", "bob@example.net"},
                                    {"Carol", "c@x.org"},
                                    {"D, E", "d@x.org"},
                                    {"Fred F", "f@x.org"}}));
}

}  // namespace
}  // namespace qc::mapi::testing
