// A step that failed, as a value: what kind of step, where (the mailbox, and the message with
// its offset when it was one), the reason and the system's error number. Its text is made in one
// place. The run counts failures by kind; tests check kinds, not sentences.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace qc {

// Message j (0-based) of a mailbox, where its separator stands.
struct MessagePlace {
  std::size_t number = 0;
  std::int64_t offset = 0;
  std::string mailbox;
};

// "message 3 (offset 1834) of '/path/Inbox.mbx'": how problems name a message.
std::string MessageContext(const MessagePlace& place);

struct Failure {
  enum class Kind {
    Message,  // messages were not converted
    Mailbox,  // a mailbox could not be read
    Changed,  // a mailbox was replaced or grew during the run: not all of it was converted
    Store,    // a step of the store or of the run outside single messages
  };
  Kind kind = Kind::Store;
  std::string reason;                 // what went wrong, naming the file
  std::optional<MessagePlace> place;  // the message it happened to
  int systemError = 0;                // the operating system's error number, 0 when none
  std::int64_t messages = 1;          // messages it cost (Message kind)

  static Failure Of(Kind kind, std::string reason, int systemError = 0, std::int64_t messages = 1) {
    Failure f;
    f.kind = kind;
    f.reason = std::move(reason);
    f.systemError = systemError;
    f.messages = messages;
    return f;
  }
  // A message that was not converted.
  static Failure AtMessage(MessagePlace place, std::string reason, int systemError = 0) {
    Failure f = Of(Kind::Message, std::move(reason), systemError);
    f.place = std::move(place);
    return f;
  }

  // The sentence shown and kept: the reason, after the message's place when there is one.
  std::string text() const;
};

}  // namespace qc
