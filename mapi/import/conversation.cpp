#include "mapi/import/conversation.h"

#include <array>
#include <optional>

#include "mapi/import/gmime_support.h"

namespace qc::mapi::import {

namespace {

// The <...> identifiers of a References or In-Reply-To header, in order; a lone identifier
// written without its brackets as it stands.
std::vector<std::string> MessageIds(const std::string& header) {
  std::vector<std::string> ids;
  if (header.find('<') == std::string::npos) {
    if (!header.empty() && header.find_first_of(" \t") == std::string::npos) ids.push_back(header);
    return ids;
  }
  for (std::size_t at = header.find('<'); at != std::string::npos; at = header.find('<', at)) {
    const auto end = header.find('>', at);
    if (end == std::string::npos) break;
    if (end > at + 1) ids.push_back(header.substr(at + 1, end - at - 1));
    at = end;
  }
  return ids;
}

std::array<std::uint8_t, 16> Md5(std::string_view text) {
  std::array<std::uint8_t, 16> digest{};
  GChecksum* checksum = g_checksum_new(G_CHECKSUM_MD5);
  g_checksum_update(checksum, reinterpret_cast<const guchar*>(text.data()),
                    static_cast<gssize>(text.size()));
  gsize size = digest.size();
  g_checksum_get_digest(checksum, digest.data(), &size);
  g_checksum_free(checksum);
  return digest;
}

// Thread-Index as Outlook and Exchange write it: base64 of a header block and child blocks.
std::optional<Bytes> ThreadIndex(const HeaderFields& headers) {
  const std::string text = headers.first("Thread-Index");
  if (text.empty()) return std::nullopt;
  gsize size = 0;
  guchar* decoded = g_base64_decode(text.c_str(), &size);
  Bytes index(decoded, decoded + size);
  g_free(decoded);
  if (index.size() < 22 || (index.size() - 22) % 5 != 0 || index[0] != 0x01) return std::nullopt;
  return index;
}

}  // namespace

Bytes BuildConversationIndex(std::uint64_t time, std::string_view rootId,
                             const std::vector<std::string>& chain) {
  Bytes index;
  index.reserve(22 + 5 * chain.size());
  // The header's time is the FILETIME's bytes 6 to 2 (the top one is 0x01 for these centuries
  // and takes the reserved byte's place).
  index.push_back(0x01);
  for (int shift = 48; shift >= 16; shift -= 8) {
    index.push_back(static_cast<std::uint8_t>(time >> shift));
  }
  const auto guid = Md5(rootId);
  index.insert(index.end(), guid.begin(), guid.end());
  // Child blocks: delta code 0 and no time difference (the replies' own times are not known
  // here), then four bits from each reply's id in place of random ones, sequence count 0.
  for (const auto& id : chain) {
    index.insert(index.end(), {0, 0, 0, 0});
    index.push_back(static_cast<std::uint8_t>(Md5(id)[0] & 0xF0));
  }
  return index;
}

void SetConversation(const HeaderFields& headers, const ThreadIds& ids, PropertyBag& props,
                     std::string topic) {
  using namespace tags;
  if (topic.empty()) {
    const auto* normalized = props.get<std::string>(PR_NORMALIZED_SUBJECT_W);
    if (normalized) topic = *normalized;
  }
  props.set(PR_CONVERSATION_TOPIC_W, topic);

  std::optional<Bytes> index = ThreadIndex(headers);
  if (!index) {
    // The thread's root is the first message it refers to; a message that refers to none
    // starts its own. The GUID, which Outlook's conversation id is, is the same for all.
    std::vector<std::string> chain = MessageIds(ids.references);
    if (chain.empty()) chain = MessageIds(ids.inReplyTo);
    const auto own = MessageIds(ids.messageId);
    if (!own.empty()) chain.push_back(own.front());
    const std::string root = chain.empty() ? "topic:" + topic : chain.front();
    if (!chain.empty()) chain.erase(chain.begin());
    const auto* time = props.get<FileTime>(PR_CLIENT_SUBMIT_TIME);
    index = BuildConversationIndex(time ? time->ticks : 0, root, chain);
  }
  props.set(PR_CONVERSATION_INDEX, std::move(*index));
  props.set(PR_CONVERSATION_INDEX_TRACKING, true);
}

}  // namespace qc::mapi::import
