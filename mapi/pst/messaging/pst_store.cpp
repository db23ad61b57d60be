#include "mapi/pst/messaging/pst_store.h"

#include <chrono>
#include <map>
#include <random>

#include "mapi/little_endian.h"
#include "mapi/named_ids.h"
#include "mapi/pst/format.h"
#include "mapi/pst/ltp/property_context.h"
#include "mapi/pst/messaging/entry_id.h"
#include "mapi/pst/messaging/folder.h"
#include "mapi/pst/messaging/message_writer.h"
#include "mapi/pst/messaging/name_to_id_map.h"
#include "mapi/pst/ndb/allocation_map.h"
#include "mapi/pst/ndb/data_tree.h"
#include "mapi/pst/ndb/node_database.h"
#include "mapi/text.h"

namespace qc::mapi::pst {

namespace {

constexpr std::uint32_t kTopOfFolders = 0x8022;
constexpr std::uint32_t kSearchRoot = 0x8042;
constexpr std::uint32_t kDeletedItems = 0x8062;
constexpr std::uint32_t kCommonViews = 0x8082;
constexpr std::uint32_t kSpamSearchFolder = 0x2223;
// PR_VALID_FOLDER_MASK: the top of the folder tree, Deleted Items, the common views and the
// search root are valid.
constexpr std::int32_t kValidFolders = 0x01 | 0x08 | 0x40 | 0x80;

// The file name of `other`, which must lie in the same folder as `path`: a store is renamed into
// place within the folder it was written in.
std::string NameInFolderOf(const std::string& path, const std::string& other) {
#ifdef _WIN32
  constexpr std::string_view kSeparators = "/\\";
#else
  constexpr std::string_view kSeparators = "/";  // a backslash is part of a POSIX name
#endif
  const auto cut = [&](const std::string& p) { return p.find_last_of(kSeparators) + 1; };
  const std::size_t folderEnd = cut(path);
  if (cut(other) != folderEnd || other.compare(0, folderEnd, path, 0, folderEnd) != 0 ||
      other.size() == folderEnd) {
    throw Error("cannot rename '" + path + "' to '" + other + "': not a name in its folder");
  }
  return other.substr(folderEnd);
}

FileTime SystemClock() {
  using namespace std::chrono;
  const auto since1970 = duration_cast<nanoseconds>(system_clock::now().time_since_epoch());
  constexpr std::uint64_t k1601To1970 = 11644473600ull * 10000000ull;
  return {k1601To1970 + static_cast<std::uint64_t>(since1970.count() / 100)};
}

Guid RandomGuid() {
  static std::random_device device;
  Guid g;
  for (std::size_t i = 0; i < 16; i += 4) {
    const std::uint32_t r = device();
    for (std::size_t k = 0; k < 4; ++k) g.bytes[i + k] = static_cast<std::uint8_t>(r >> (8 * k));
  }
  g.bytes[7] = static_cast<std::uint8_t>((g.bytes[7] & 0x0F) | 0x40);  // version 4
  g.bytes[8] = static_cast<std::uint8_t>((g.bytes[8] & 0x3F) | 0x80);
  return g;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::vector<std::string_view> SplitPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (i > start) parts.push_back(path.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// A folder of the store: its writer, and the model's folder where it has one.
struct FolderEntry {
  FolderWriter* writer = nullptr;
  Folder* model = nullptr;
};

}  // namespace

class PstStore::Impl {
 public:
  Impl(PositionedSink& sink, Store& model, StoreOptions givenOptions)
      : db(sink),
        names(model.namedIds()),
        displayName(model.displayName()),
        options(std::move(givenOptions)) {
    AddOutlookNames(names);
    if (!options.clock) options.clock = SystemClock;
    if (!options.newGuid) options.newGuid = RandomGuid;
    recordKey = options.newGuid();
    for (const std::uint32_t nid : {kTopOfFolders, kSearchRoot, kDeletedItems, kCommonViews,
                                    kSpamSearchFolder, MakeNid(nid_type::kSearchUpdateQueue, 0x111),
                                    MakeNid(nid_type::kSearchCriteriaObject, 0x111)}) {
      db.useNid(nid);
    }
    FolderPlan rootPlan = Plan(nid::kRootFolder, nid::kRootFolder, "");
    rootPlan.assocColumns = &columns::RootAssocContents();
    root = addFolder(rootPlan, nullptr);
    FolderPlan topPlan = Plan(kTopOfFolders, nid::kRootFolder, "Top of Outlook data file");
    topPlan.hierarchyColumns = &columns::TopHierarchy();
    topPlan.contentsColumns = &columns::MailContents();
    top = addFolder(topPlan, root);
    entries[kTopOfFolders].model = &model.root();
    FolderPlan searchRoot = Plan(kSearchRoot, nid::kRootFolder, "Search Root");
    searchRoot.hierarchyColumns = &columns::SearchRootHierarchy();
    addFolder(searchRoot, root);
    FolderPlan spam = Plan(kSpamSearchFolder, nid::kRootFolder, "SPAM Search Folder 2");
    spam.search = true;
    addFolder(spam, root);
    FolderPlan views = Plan(kCommonViews, nid::kRootFolder, "IPM_COMMON_VIEWS");
    views.comment = std::string();
    views.assocColumns = &columns::CommonViewsAssocContents();
    addFolder(views, root);
    FolderPlan deleted = Plan(kDeletedItems, kTopOfFolders, "Deleted Items");
    deleted.comment = std::string("Deleted Items folder");
    addFolder(deleted, top);
    entries[kDeletedItems].model = &model.root().addFolder("Deleted Items", "");
  }

  static FolderPlan Plan(std::uint32_t nid, std::uint32_t parent, std::string name) {
    FolderPlan plan;
    plan.nid = nid;
    plan.parentNid = parent;
    plan.name = std::move(name);
    return plan;
  }

  FolderWriter* addFolder(FolderPlan plan, FolderWriter* parent) {
    folders.push_back(std::make_unique<FolderWriter>(db, std::move(plan)));
    if (parent) parent->addChild(folders.back().get());
    entries[folders.back()->nid()].writer = folders.back().get();
    return folders.back().get();
  }

  FolderWriter* folder(FolderId id) const {
    const auto it = entries.find(id);
    return it == entries.end() ? nullptr : it->second.writer;
  }

  Bytes newKey() {
    const Guid g = options.newGuid();
    return Bytes(g.bytes.begin(), g.bytes.end());
  }

  void closeFolder(FolderWriter& f) {
    for (FolderWriter* child : f.children()) closeFolder(*child);
    f.close(empties, rowVersion);
  }

  void writeStoreProperties() {
    SubnodeTree noSubnodes;
    PropertyContextWriter pc(db, noSubnodes);
    const auto binary = static_cast<std::uint16_t>(PropType::Binary);
    Bytes versions;  // PR_REPL_VERSIONHISTORY: one entry for this store
    Append32(versions, 1);
    const Guid instance = options.newGuid();
    versions.insert(versions.end(), instance.bytes.begin(), instance.bytes.end());
    Append32(versions, 1);
    pc.set(0x0E34, binary, versions);
    pc.setInt32(0x0E38, 0);  // PR_REPL_FLAGS
    pc.set(0x0FF9, binary, Bytes(recordKey.bytes.begin(), recordKey.bytes.end()));
    pc.set(0x3001, static_cast<std::uint16_t>(PropType::Unicode), Utf16LeBytes(displayName));
    pc.setInt32(0x35DF, kValidFolders);
    pc.set(0x35E0, binary, StoreEntryId(recordKey, kTopOfFolders));
    pc.set(0x35E3, binary, StoreEntryId(recordKey, kDeletedItems));
    pc.set(0x35E6, binary, StoreEntryId(recordKey, kCommonViews));
    pc.set(0x35E7, binary, StoreEntryId(recordKey, kSearchRoot));
    pc.setBool(0x6633, true);         // PidTagPstLrNoRestrictions
    pc.setInt32(0x66FA, 0x000E0011);  // the configuration flags of a new Unicode store
    pc.setInt32(0x67FF, 0);           // PidTagPstPassword: none
    db.addNode(nid::kMessageStore, pc.write(), 0, 0);
  }

  void writeTable(std::uint32_t nid, const columns::Tags& tags) {
    TableWriter table(db, MakeTableLayout(tags));
    const auto [bid, sub] = table.finish();
    db.addNode(nid, bid, sub, 0);
  }

  void writeFixedNodes() {
    // Search: the management queue and domain object start empty; the activity list names
    // the one search folder.
    db.addNode(nid::kSearchManagementQueue, 0, 0, 0);
    Bytes activity;
    Append32(activity, kSpamSearchFolder);
    db.addNode(nid::kSearchActivityList, WriteData(db, activity.data(), activity.size()), 0, 0);
    db.addNode(nid::kSearchDomainObject, 0, 0, 0);
    for (const std::uint32_t emptyNode : {0xE41u, 0xEC1u, 0xF21u}) db.addNode(emptyNode, 0, 0, 0);

    writeTable(nid::kHierarchyTableTemplate, columns::Hierarchy());
    writeTable(nid::kContentsTableTemplate, columns::Contents());
    writeTable(nid::kAssocContentsTableTemplate, columns::AssocContents());
    writeTable(nid::kSearchContentsTableTemplate, columns::SearchContents());
    writeTable(nid::kOutgoingQueueTable, columns::OutgoingQueue());
    writeTable(nid::kAttachmentTable, columns::Attachments());
    writeTable(nid::kRecipientTable, columns::Recipients());
    writeTable(nid::kChangeHistoryTable, columns::ChangeHistory());
    writeTable(nid::kTombstoneTable, columns::Tombstones());
    writeTable(nid::kTombstoneDateTable, columns::TombstoneDates());
    // Receive folders: messages of any class are received at the root, as in a new store.
    TableWriter receive(db, MakeTableLayout(columns::ReceiveFolders()));
    RowValues row;
    row[0x001A001F] = {};
    Bytes folderNid;
    Append32(folderNid, nid::kRootFolder);
    row[0x66050003] = folderNid;
    row[0x67F30003] = Bytes{2, 0, 0, 0};
    receive.addRow(1, row);
    const auto [bid, sub] = receive.finish();
    db.addNode(nid::kReceiveFolderTable, bid, sub, 0);
  }

  void close() {
    db.holdBlockTree();  // empty tables share blocks from here on
    closeFolder(*root);
    writeStoreProperties();
    WriteNameToIdMap(names, db);
    writeFixedNodes();
    db.close();
  }

  NodeDatabase db;
  NamedIds& names;
  MessageWriter messages{db, names};  // kept from message to message, with its buffers
  std::string displayName;
  StoreOptions options;
  Guid recordKey;
  std::vector<std::unique_ptr<FolderWriter>> folders;
  std::map<FolderId, FolderEntry> entries;
  FolderWriter* root = nullptr;
  FolderWriter* top = nullptr;
  EmptyTableCache empties;
  std::uint32_t rowVersion = 0;
};

std::unique_ptr<PstStore> PstStore::Create(const std::string& path, std::string displayName,
                                           StoreOptions options) {
  std::unique_ptr<FileSink> file;
  try {
    file = std::make_unique<FileSink>(path);
  } catch (const Error& e) {
    throw StoreError(e.what(), path, std::nullopt, e.code());
  }
  auto store = std::make_unique<PstStore>(*file, std::move(displayName), std::move(options), path);
  store->file_ = std::move(file);
  return store;
}

PstStore::PstStore(PositionedSink& sink, std::string displayName, StoreOptions options,
                   std::string path)
    : model_(std::move(displayName)),
      path_(std::move(path)),
      impl_(std::make_unique<Impl>(sink, model_, std::move(options))) {}

PstStore::~PstStore() {
  // The temporary file goes with file_ unless close() committed it; impl_ must go first, as
  // it refers to the sink.
  impl_.reset();
}

void PstStore::fail(const std::exception& e, std::optional<std::uint64_t> message) {
  broken_ = true;
  const auto* error = dynamic_cast<const Error*>(&e);
  std::string text = "cannot write the store '" + path_ + "'";
  if (message) text += " at message " + std::to_string(*message + 1);
  throw StoreError(text + ": " + e.what(), path_, message, error ? error->code() : 0);
}

FolderId PstStore::addMailFolder(const std::string& name, std::optional<FolderId> parent) {
  if (broken_ || closed_) throw StoreError("the store '" + path_ + "' is closed", path_, {});
  const auto entry = impl_->entries.find(parent.value_or(kTopOfFolders));
  if (entry == impl_->entries.end() || !entry->second.model || name.empty()) {
    throw StoreError("cannot add the folder '" + name + "' to '" + path_ + "'", path_, {});
  }
  Folder* model = nullptr;
  try {
    model = &entry->second.model->addFolder(name, "IPF.Note");
  } catch (const Error& e) {
    throw StoreError("cannot add the folder '" + name + "' to '" + path_ + "': " + e.what(), path_,
                     {});
  }
  const std::uint32_t nid = impl_->db.newNid(nid_type::kNormalFolder);
  FolderPlan plan = Impl::Plan(nid, entry->second.writer->nid(), name);
  plan.containerClass = std::string("IPF.Note");
  plan.hiddenCounts = true;
  plan.contentsColumns = &columns::MailContents();
  impl_->addFolder(plan, entry->second.writer);
  impl_->entries[nid].model = model;
  return nid;
}

std::uint64_t PstStore::sizeWith(std::uint64_t more) const {
  const std::uint64_t last = impl_->db.sizeSoFar() + more;
  const std::uint64_t first = AMapOffset(0);
  return AMapOffset((last > first ? last - first : 0) / (AMapOffset(1) - first) + 1);
}

std::optional<FolderId> PstStore::findFolder(std::string_view path) const {
  std::vector<std::string_view> parts = SplitPath(path);
  // Outlook writes a path as two separators, the store's name, then the folders.
  if (path.starts_with("\\\\") || path.starts_with("//")) {
    if (parts.empty() || !SameName(parts.front(), model_.displayName())) return std::nullopt;
    parts.erase(parts.begin());
  }
  const Folder* at = &model_.root();
  for (const std::string_view part : parts) {
    at = at->findFolder(part);
    if (!at) return std::nullopt;
  }
  return idOf(at);
}

std::optional<FolderId> PstStore::childFolder(std::string_view name,
                                              std::optional<FolderId> parent) const {
  const auto entry = impl_->entries.find(parent.value_or(kTopOfFolders));
  if (entry == impl_->entries.end() || !entry->second.model) return std::nullopt;
  const Folder* child = entry->second.model->findFolder(name);
  return child ? idOf(child) : std::nullopt;
}

std::optional<FolderId> PstStore::idOf(const Folder* folder) const {
  for (const auto& [id, entry] : impl_->entries) {
    if (entry.model == folder) return id;
  }
  return std::nullopt;
}

std::uint64_t PstStore::addMessage(FolderId folder, const Message& message) {
  const std::uint64_t number = messages_;
  if (broken_ || closed_) throw StoreError("the store '" + path_ + "' is closed", path_, number);
  FolderWriter* f = impl_->folder(folder);
  if (!f || f->plan().search) {
    throw StoreError(
        "no folder to add message " + std::to_string(number + 1) + " to in '" + path_ + "'", path_,
        number);
  }
  EncodedMessage encoded;
  try {
    encoded = EncodeMessage(message);
    CheckMessageFits(encoded);
  } catch (const Error& e) {
    throw StoreError(
        "cannot add message " + std::to_string(number + 1) + " to '" + path_ + "': " + e.what(),
        path_, number);
  }
  try {
    MessageWriter& writer = impl_->messages;
    const MessageStamp stamp{impl_->options.clock(), impl_->newKey()};
    const WrittenMessage written =
        writer.write(encoded, impl_->db.newNid(nid_type::kNormalMessage), stamp);
    f->addMessage(written, writer.properties(), ++impl_->rowVersion);
    lastMessageId_ = written.nid;
  } catch (const std::exception& e) {
    fail(e, number);
  }
  return messages_++;
}

StoreOptions FixedSources(FileTime when) {
  StoreOptions options;
  options.clock = [when] { return when; };
  options.newGuid = [n = std::uint32_t{0}]() mutable {
    Guid g;
    ++n;
    for (std::size_t k = 0; k < 4; ++k) g.bytes[k] = static_cast<std::uint8_t>(n >> (8 * k));
    return g;
  };
  return options;
}

void PstStore::close() {
  if (closed_) throw StoreError("the store '" + path_ + "' is already closed", path_, {});
  if (broken_) throw StoreError("the store '" + path_ + "' was not written", path_, {});
  try {
    impl_->close();
    // A store stands for a whole mailbox: it is on the disk before it is reported written.
    if (file_) {
      const StoreOptions& options = impl_->options;
      if (!options.replaceExisting && options.pathWhenTaken) {
        std::string next = path_;
        file_->commitUnderFreeName(
            [&] {
              next = options.pathWhenTaken();
              return NameInFolderOf(path_, next);
            },
            Durability::Now);
        path_ = std::move(next);
      } else {
        file_->commit(options.replaceExisting, Durability::Now);
      }
    }
    closed_ = true;
  } catch (const std::exception& e) {
    fail(e, std::nullopt);
  }
}

namespace {
void CopyFolders(const Folder& from, PstStore& to, std::optional<FolderId> parent) {
  for (const auto& folder : from.folders()) {
    const FolderId id = to.addMailFolder(folder->displayName(), parent);
    if (MessageSource* messages = folder->messages()) {
      while (const auto message = messages->next()) to.addMessage(id, *message);
    }
    CopyFolders(*folder, to, id);
  }
}
}  // namespace

void WritePstFile(const Store& store, const std::string& path, StoreOptions options) {
  auto file = PstStore::Create(path, store.displayName(), std::move(options));
  CopyFolders(store.root(), *file, std::nullopt);
  file->close();
}

}  // namespace qc::mapi::pst
