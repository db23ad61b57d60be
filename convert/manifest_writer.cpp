#include "convert/manifest_writer.h"

#include "convert/message_facts.h"

namespace qc {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

ManifestWriter::ManifestWriter(const std::string& path) : file_(path) {
  const std::string header = std::string(kHeader) + "\r\n";
  file_.write(header.data(), header.size());
}

ManifestWriter::~ManifestWriter() = default;

std::string ManifestWriter::path() const {
  return file_.finalPath();
}

void ManifestWriter::searchStarted(const MailboxPaths& paths) {
  mailbox_ = paths.path;
  offsets_.clear();
  end_ = -1;
  pending_.clear();
  droppedReason_.clear();
}

void ManifestWriter::messagePlaces(const std::vector<std::int64_t>& offsets, std::int64_t end) {
  offsets_ = offsets;
  end_ = end;
  pending_.assign(offsets.size(), Row{});
}

void ManifestWriter::messageSettled(const MessageRecord& record) {
  if (record.j >= pending_.size()) return;
  Row& row = pending_[record.j];
  row.facts = record.facts;
  switch (record.status) {
    case MessageRecord::Status::Written:
      row.written = true;
      row.status = "written";
      row.output = record.file;
      row.storePosition = record.storePosition;
      row.storeFile = record.storeFile;
      row.storeFolder = record.storeFolder;
      break;
    case MessageRecord::Status::Failed:
      row.status = "failed: " + record.reason;
      break;
    case MessageRecord::Status::Duplicate:
      row.status = "duplicate of " + std::to_string(record.duplicateOf);
      if (record.duplicateMailbox.empty()) {
        row.copyHere = true;
      } else {
        row.status += " in " + record.duplicateMailbox;
      }
      break;
  }
}

void ManifestWriter::writtenMessagesDropped(std::string_view reason) {
  droppedReason_ = reason;
  // Copies of this mailbox's own messages went with them.
  for (Row& row : pending_) {
    if (!row.written && !row.copyHere) continue;
    row.written = false;
    row.copyHere = false;
    row.output.clear();
    row.storePosition = -1;
    row.storeFile.clear();
    row.status = "not converted: " + droppedReason_;
  }
}

void ManifestWriter::mailboxDone(std::size_t, const MailboxSummary& summary) {
  writeMailbox(&summary, droppedReason_.empty()
                             ? std::string_view("the conversion of its mailbox ended before it")
                             : std::string_view(droppedReason_));
}

void ManifestWriter::writeMailbox(const MailboxSummary* summary, std::string_view why) {
  for (std::size_t j = 0; j < pending_.size(); ++j) {
    const Row& row = pending_[j];
    const MessageFacts* facts = row.facts.get();
    std::string output = row.output;
    if (row.written && row.storePosition >= 0 && !row.storeFile.empty()) {
      output = row.storeFile + "|" + row.storeFolder + "|" + std::to_string(row.storePosition);
    } else if (row.written && row.storePosition >= 0 && summary) {
      output =
          summary->storePath + "|" + summary->storeFolder + "|" + std::to_string(row.storePosition);
    }
    const std::int64_t offset = offsets_[j];
    const std::int64_t end = j + 1 < offsets_.size() ? offsets_[j + 1] : end_;
    text_ += CsvField(mailbox_);
    text_ += ',' + std::to_string(j) + ',' + std::to_string(offset) + ',';
    if (end >= offset) text_ += std::to_string(end - offset);
    text_ += ',';
    if (facts) text_ += facts->sha256;
    text_ += ',' + CsvField(output) + ',';
    if (facts) {
      text_ += CsvField(facts->messageId) + ',' + CsvField(facts->subject) + ',' +
               CsvField(facts->date) + ',';
      if (facts->attachments) text_ += std::to_string(*facts->attachments);
    } else {
      text_ += ",,,";
    }
    text_ += ',' + CsvField(row.status.empty() ? "not converted: " + std::string(why) : row.status);
    text_ += "\r\n";
    ++rows_;
    if (text_.size() >= (1u << 16)) {
      file_.write(text_.data(), text_.size());
      text_.clear();
    }
  }
  pending_.clear();
  offsets_.clear();
  if (!text_.empty()) {
    file_.write(text_.data(), text_.size());
    text_.clear();
  }
}

void ManifestWriter::close(std::string_view why) {
  writeMailbox(nullptr, why);
  file_.commit(true, Durability::Now);
}

}  // namespace qc
