#include "mapi/pst/messaging/message_writer.h"

#include <algorithm>
#include <array>
#include <limits>

#include "mapi/little_endian.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/property_context.h"
#include "mapi/pst/ltp/table_templates.h"
#include "mapi/text.h"
#include "util/error.h"
#include "util/per_thread.h"

namespace qc::mapi::pst {

namespace {

constexpr std::uint16_t kAttachDataId = 0x3701;
constexpr std::size_t kMaxTableRows = 0x7FFFFFFF;
constexpr std::uint32_t kObjectType = 0x0FFE0003;      // PR_OBJECT_TYPE
constexpr std::uint32_t kDisplayType = 0x39000003;     // PR_DISPLAY_TYPE
constexpr std::uint32_t kResponsibility = 0x0E0F000B;  // PR_RESPONSIBILITY
constexpr std::uint32_t kCreationTime = 0x30070040;
constexpr std::uint32_t kModificationTime = 0x30080040;

// The bytes of values the store sets itself.
constexpr std::uint8_t kMailUser[4] = {6, 0, 0, 0};  // MAPI_MAILUSER
constexpr std::uint8_t kZero32[4] = {0, 0, 0, 0};    // DT_MAILUSER
constexpr std::uint8_t kTrue[1] = {1};
constexpr std::uint8_t kByValue[4] = {ATTACH_BY_VALUE, 0, 0, 0};
constexpr std::uint8_t kEmbedded[4] = {ATTACH_EMBEDDED_MSG, 0, 0, 0};
constexpr std::uint8_t kNoPosition[4] = {0xFF, 0xFF, 0xFF, 0xFF};

const Bytes& IpmNote() {
  static const Bytes bytes = Utf16LeBytes("IPM.Note");
  return bytes;
}

// Cells sorted by tag, each tag once.
auto Position(std::vector<Cell>& cells, std::uint32_t tag) {
  return std::lower_bound(cells.begin(), cells.end(), tag,
                          [](const Cell& c, std::uint32_t t) { return c.tag < t; });
}

Cell* Find(std::vector<Cell>& cells, std::uint32_t tag) {
  const auto it = Position(cells, tag);
  return it != cells.end() && it->tag == tag ? &*it : nullptr;
}

void Put(std::vector<Cell>& cells, const Cell& cell) {
  const auto it = Position(cells, cell.tag);
  if (it != cells.end() && it->tag == cell.tag) {
    *it = cell;
  } else {
    cells.insert(it, cell);
  }
}

void PutIfMissing(std::vector<Cell>& cells, const Cell& cell) {
  const auto it = Position(cells, cell.tag);
  if (it == cells.end() || it->tag != cell.tag) cells.insert(it, cell);
}

void Erase(std::vector<Cell>& cells, std::uint32_t tag) {
  const auto it = Position(cells, tag);
  if (it != cells.end() && it->tag == tag) cells.erase(it);
}

void CellsOf(const EncodedBag& bag, std::vector<Cell>& cells) {
  cells.clear();
  for (const EncodedBag::Value& v : bag.values) cells.push_back(bag.cell(v));
}

std::uint32_t Capped(std::uint64_t size) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(size, std::numeric_limits<std::int32_t>::max()));
}

// The values must outlive the context's write().
void SetAll(PropertyContextWriter& pc, std::span<const Cell> cells) {
  for (const Cell& cell : cells) pc.setCell(cell);
}

void SetStreams(PropertyContextWriter& pc, const EncodedBag& bag) {
  for (const auto& [tag, source] : bag.streams) {
    pc.setStream(static_cast<std::uint16_t>(tag >> 16), static_cast<std::uint16_t>(tag & 0xFFFF),
                 *source);
  }
}

// The layouts of the recipient tables seen last on this thread: the same few column sets come
// back message after message.
const TableLayout& RecipientLayout(std::vector<std::uint32_t>& tags) {
  struct Entry {
    std::vector<std::uint32_t> tags;
    TableLayout layout;
  };
  struct Layouts {
    std::array<Entry, 8> cache;
    std::size_t next = 0;
  };
  auto& layouts = PerThread<Layouts>();
  std::array<Entry, 8>& cache = layouts.cache;
  std::size_t& next = layouts.next;
  std::sort(tags.begin(), tags.end());
  tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
  for (const Entry& e : cache) {
    if (!e.tags.empty() && e.tags == tags) return e.layout;
  }
  Entry& e = cache[next];
  next = (next + 1) % cache.size();
  e.tags = tags;
  e.layout = MakeTableLayout(tags);
  return e.layout;
}

const TableLayout& AttachmentLayout() {
  static const TableLayout layout = MakeTableLayout(columns::MessageAttachments());
  return layout;
}

}  // namespace

void CheckMessageFits(const EncodedMessage& message) {
  if (message.recipients.size() > kMaxTableRows || message.attachments.size() > kMaxTableRows) {
    throw Error("too many recipients or attachments for an Outlook data file");
  }
  for (const EncodedAttachment& a : message.attachments) {
    if (a.embedded) CheckMessageFits(*a.embedded);
  }
}

// Outlook keeps a stored subject behind a two-character mark: U+0001, then one more than the
// length of its prefix ("Re: " gives U+0005; no prefix, U+0001). Readers of data files expect
// it and drop it; one that finds no mark takes a first character below U+0005 for one.
void MarkSubject(std::vector<Cell>& cells, Bytes& marked) {
  Cell* subject = Find(cells, tags::PR_SUBJECT_W.value());
  if (!subject) return;
  std::size_t prefixUnits = 0;
  const Cell* prefix = Find(cells, tags::PR_SUBJECT_PREFIX_W.value());
  if (prefix && prefix->size <= subject->size &&
      std::equal(prefix->data, prefix->data + prefix->size, subject->data)) {
    prefixUnits = prefix->size / 2;
  }
  if (prefixUnits + 1 > 0xFFFF) prefixUnits = 0;
  marked.assign({0x01, 0x00, static_cast<std::uint8_t>((prefixUnits + 1) & 0xFF),
                 static_cast<std::uint8_t>((prefixUnits + 1) >> 8)});
  marked.insert(marked.end(), subject->data, subject->data + subject->size);
  subject->data = marked.data();
  subject->size = marked.size();
}

void MessageWriter::setDefaults(const EncodedMessage& message, const MessageStamp& stamp,
                                std::uint64_t attachmentBytes, WrittenMessage& out) {
  std::uint8_t* flagBytes = defaults_;
  std::uint8_t* hasAttach = defaults_ + 4;
  std::uint8_t* now = defaults_ + 8;
  std::uint8_t* size = defaults_ + 16;
  const Bytes& note = IpmNote();
  PutIfMissing(cells_, {tags::PR_MESSAGE_CLASS_W.value(), note.data(), note.size()});
  // The store computes has-attachments, as a MAPI store does: the flag follows the table.
  const Cell* given = Find(cells_, tags::PR_MESSAGE_FLAGS.value());
  std::uint32_t flags = given && given->size == 4 ? Get32(given->data) : MSGFLAG_READ;
  flags = message.attachments.empty() ? flags & ~std::uint32_t{MSGFLAG_HASATTACH}
                                      : flags | MSGFLAG_HASATTACH;
  Put32(flagBytes, flags);
  Put(cells_, {tags::PR_MESSAGE_FLAGS.value(), flagBytes, 4});
  hasAttach[0] = static_cast<std::uint8_t>(!message.attachments.empty());
  Put(cells_, {tags::PR_HASATTACH.value(), hasAttach, 1});
  // Creation and modification times the import set (the message's arrival) stand.
  Put64(now, stamp.now.ticks);
  PutIfMissing(cells_, {kCreationTime, now, 8});
  PutIfMissing(cells_, {kModificationTime, now, 8});
  MarkSubject(cells_, markedSubject_);
  if (!stamp.searchKey.empty()) {
    PutIfMissing(cells_,
                 {tags::PR_SEARCH_KEY.value(), stamp.searchKey.data(), stamp.searchKey.size()});
  }
  std::uint64_t total = attachmentBytes;
  for (const Cell& cell : cells_) total += cell.size + 8;
  for (const auto& [tag, source] : message.props.streams) total += source->size() + 8;
  out.size = Capped(total);
  Put32(size, out.size);
  Put(cells_, {tags::PR_MESSAGE_SIZE.value(), size, 4});
  out.read = (flags & MSGFLAG_READ) != 0;
}

WrittenMessage MessageWriter::write(EncodedMessage& message, std::uint32_t nid,
                                    const MessageStamp& stamp) {
  SubnodeTree subnodes;
  const auto recipients = writeRecipients(message);
  subnodes.add(nid::kRecipientTable, recipients.first, recipients.second);
  std::uint64_t attachmentBytes = 0;
  if (!message.attachments.empty()) {
    const auto attachments = writeAttachments(message, stamp, subnodes, attachmentBytes);
    subnodes.add(nid::kAttachmentTable, attachments.first, attachments.second);
  }

  ResolveNames(message.props, names_);
  CellsOf(message.props, cells_);
  WrittenMessage out;
  out.nid = nid;
  setDefaults(message, stamp, attachmentBytes, out);
  PropertyContextWriter pc(db_, subnodes);
  SetAll(pc, cells_);
  SetStreams(pc, message.props);
  out.bidData = pc.write();
  out.bidSub = subnodes.write(db_);
  return out;
}

std::pair<std::uint64_t, std::uint64_t> MessageWriter::writeRecipients(EncodedMessage& message) {
  const columns::Tags& template_ = columns::Recipients();
  tags_.assign(template_.begin(), template_.end());
  tags_.insert(tags_.end(), {kObjectType, kDisplayType, kResponsibility});
  // A recipient lives in its row: no room for streams.
  for (EncodedBag& r : message.recipients) {
    ResolveNames(r, names_);
    for (const EncodedBag::Value& v : r.values) tags_.push_back(v.tag);
  }
  TableWriter table(db_, RecipientLayout(tags_));
  for (std::size_t i = 0; i < message.recipients.size(); ++i) {
    CellsOf(message.recipients[i], row_);
    PutIfMissing(row_, {kObjectType, kMailUser, 4});
    PutIfMissing(row_, {kDisplayType, kZero32, 4});
    PutIfMissing(row_, {kResponsibility, kTrue, 1});
    table.addRow(static_cast<std::uint32_t>(i), row_);
  }
  // A table's own subnodes (large cells, a long row matrix) form the table's subnode tree.
  return table.finish();
}

std::pair<std::uint64_t, std::uint64_t> MessageWriter::writeAttachments(
    EncodedMessage& message, const MessageStamp& stamp, SubnodeTree& subnodes,
    std::uint64_t& attachmentBytes) {
  TableWriter table(db_, AttachmentLayout());
  for (EncodedAttachment& a : message.attachments) {
    const std::uint32_t nid = db_.newNid(nid_type::kAttachment);
    SubnodeTree own;
    PropertyContextWriter pc(db_, own);
    EncodedBag& bag = a.props;
    ResolveNames(bag, names_);
    CellsOf(bag, row_);
    Erase(row_, tags::PR_ATTACH_DATA_OBJ.value());
    std::uint64_t dataSize = 0;
    if (a.embedded) {
      const std::uint32_t inner = db_.newNid(nid_type::kNormalMessage);
      MessageWriter writer(db_, names_);
      const MessageStamp innerStamp{stamp.now, {}};
      const WrittenMessage m = writer.write(*a.embedded, inner, innerStamp);
      own.add(inner, m.bidData, m.bidSub);
      dataSize = m.size;
      pc.setObject(kAttachDataId, inner, m.size);
      Put(row_, {tags::PR_ATTACH_METHOD.value(), kEmbedded, 4});
      Erase(row_, tags::PR_ATTACH_DATA_BIN.value());
      bag.streams.clear();
    } else {
      if (const Cell* data = Find(row_, tags::PR_ATTACH_DATA_BIN.value())) dataSize = data->size;
      for (const auto& [tag, source] : bag.streams) {
        if (tag == tags::PR_ATTACH_DATA_BIN.value()) dataSize = source->size();
      }
    }
    SetStreams(pc, bag);
    PutIfMissing(row_, {tags::PR_ATTACH_METHOD.value(), kByValue, 4});
    PutIfMissing(row_, {tags::PR_RENDERING_POSITION.value(), kNoPosition, 4});
    std::uint8_t size[4];
    Put32(size, Capped(dataSize));
    Put(row_, {tags::PR_ATTACH_SIZE.value(), size, 4});
    attachmentBytes += dataSize;
    SetAll(pc, row_);
    subnodes.add(nid, pc.write(), own.write(db_));
    table.addRow(nid, row_);
  }
  return table.finish();
}

}  // namespace qc::mapi::pst
