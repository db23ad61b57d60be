// The output forms, and the one place that names the message files they write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qc {

// The output forms, one per option button.
enum class Form { EML, EMLX, PST, MSG };

// The file message j (0-based) of a mailbox is written to: "email-12.eml", "email-12.emlx",
// "Email-12.msg". The .pst form writes no message files.
std::string MessageFileName(Form form, std::size_t j);

// The message number in `name` when it is a message file that `form`'s folders may hold: for the
// .eml and .emlx forms either of their files (an earlier run may have chosen the other one), for
// the .msg form its own. Numbers are spelled as the run spells them (no sign, no leading zero).
std::optional<std::uint64_t> MessageFileNumber(Form form, std::string_view name);

// Whether `name` is a message file `form` itself writes (not one of the other message-file form).
bool IsOwnMessageFile(Form form, std::string_view name);

}  // namespace qc
