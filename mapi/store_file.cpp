#include "mapi/store_file.h"

#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"

namespace qc::mapi {

std::unique_ptr<Message> ImportForStore(std::shared_ptr<const ByteSource> bytes, std::int32_t flags,
                                        std::vector<std::string>* warnings) {
  // As Outlook keeps messages in its data files: no RTF beside the HTML or text body.
  auto message = ImportRfc822(std::move(bytes), ImportOptions{.rtfBody = false}, warnings);
  SetMessageFlags(*message, flags);
  return message;
}

std::unique_ptr<Message> ImportForStore(std::string_view bytes, std::int32_t flags,
                                        std::vector<std::string>* warnings) {
  return ImportForStore(std::make_shared<MemorySource>(Bytes(bytes.begin(), bytes.end())), flags,
                        warnings);
}

std::unique_ptr<StoreFile> StoreFile::Create(const std::string& path, std::string displayName,
                                             StoreOptions options) {
  return std::unique_ptr<StoreFile>(
      new StoreFile(pst::PstStore::Create(path, std::move(displayName), std::move(options))));
}

StoreFile::StoreFile(PositionedSink& sink, std::string displayName, StoreOptions options,
                     std::string path)
    : store_(std::make_unique<pst::PstStore>(sink, std::move(displayName), std::move(options),
                                             std::move(path))) {}

FolderId StoreFile::addFolder(const std::string& name, std::optional<FolderId> parent) {
  return store_->addMailFolder(name, parent);
}

std::optional<FolderId> StoreFile::childFolder(std::string_view name,
                                               std::optional<FolderId> parent) const {
  return store_->childFolder(name, parent);
}

std::optional<FolderId> StoreFile::findFolder(std::string_view path) const {
  return store_->findFolder(path);
}

std::uint64_t StoreFile::addMessage(FolderId folder, const Message& message) {
  return store_->addMessage(folder, message);
}

std::unique_ptr<Message> StoreFile::addMessageFromRfc822(FolderId folder,
                                                         std::shared_ptr<const ByteSource> bytes,
                                                         std::int32_t flags,
                                                         std::vector<std::string>* warnings) {
  auto message = ImportForStore(std::move(bytes), flags, warnings);
  store_->addMessage(folder, *message);
  return message;
}

std::unique_ptr<Message> StoreFile::addMessageFromRfc822(FolderId folder, std::string_view bytes,
                                                         std::int32_t flags,
                                                         std::vector<std::string>* warnings) {
  auto message = ImportForStore(bytes, flags, warnings);
  store_->addMessage(folder, *message);
  return message;
}

void StoreFile::close() {
  store_->close();
}

std::unique_ptr<Message> WriteMsgFromRfc822(
    std::shared_ptr<const ByteSource> bytes, const std::string& path, std::int32_t flags,
    bool replace, const std::function<void(const std::vector<std::string>&)>& onWarnings) {
  std::vector<std::string> warnings;
  auto message = ImportRfc822(std::move(bytes), {}, &warnings);
  // Heard before the file is written, so that they are not lost when writing fails.
  if (onWarnings) onWarnings(warnings);
  SetMessageFlags(*message, flags);
  msg::WriteMsgFile(*message, path, replace);
  return message;
}

}  // namespace qc::mapi
