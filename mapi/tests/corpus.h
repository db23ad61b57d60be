// The corpus the independent readers check our .msg files on, and what a reader must find in the
// .msg of each message: read from the source with GMime, by the plain rules a mail program
// follows, not by the import's code.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qc::mapi::testing {

// Every message of the corpus, named: the sample mailbox's messages, the hand-made shapes in
// mapi/tests/corpus, and real-world messages from Debian packages (Python's e-mail test data,
// enmime's test data) where those are installed.
std::vector<std::pair<std::string, std::string>> Corpus();

struct ExpectedAttachment {
  std::string name;  // empty when the part names no file
  std::string bytes;
  bool inline_ = false;   // shown inside the HTML body (by cid:), so hidden as an attachment
  bool embedded = false;  // a message/rfc822 part: an embedded message with this subject
  std::string subject;
};

struct Expected {
  std::string subject;
  std::string from;  // lower-case address, empty when the message names none
  std::set<std::string> to, cc, bcc, replyTo;
  std::vector<std::string> keywords;  // the Keywords headers' phrases, in order, once each
  std::optional<std::int64_t> date;   // Unix seconds of the Date header
  std::optional<std::string> text;    // the plain body as UTF-8, line ends as LF
  std::optional<std::string> html;    // the HTML body as UTF-8, line ends as LF
  std::vector<ExpectedAttachment> attachments;
};

// What a reader must find in the .msg of `source`.
Expected ReadSource(const std::string& source);

// CR LF and lone CR as LF, trailing blanks of lines and trailing empty lines dropped: what
// readers do not agree on.
std::string NormalisedText(std::string text);

}  // namespace qc::mapi::testing
