// Senders and recipients as their headers name them, however broken: a name alone (plain, raw
// or encoded), a group, an address that is none. The name is decoded, the address left empty
// rather than made up, and nobody named is lost.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

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

}  // namespace
}  // namespace qc::mapi::testing
