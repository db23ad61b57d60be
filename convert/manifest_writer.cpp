#include "convert/manifest_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "convert/message_facts.h"
#include "util/error.h"
#include "util/system.h"

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
  spill_ = std::make_unique<PendingFile>(file_.finalPath() + ".rows");
  spillSize_ = 0;
}

void ManifestWriter::messageSettled(const MessageRecord& record) {
  if (record.j >= pending_.size()) return;
  Row& row = pending_[record.j];
  std::string output;
  switch (record.status) {
    case MessageRecord::Status::Written:
      row.written = true;
      row.status = "written";
      output = record.file;
      if (record.storePosition >= 0 && !record.storeFile.empty()) {
        output = record.storeFile + "|" + record.storeFolder + "|" +
                 std::to_string(record.storePosition);
      } else if (record.storePosition >= 0) {
        row.storePosition = record.storePosition;  // the data file is known when it is done
      }
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
  std::string tail = ",";
  const MessageFacts* facts = record.facts.get();
  if (facts) {
    tail += CsvField(facts->messageId) + ',' + CsvField(facts->subject) + ',' +
            CsvField(facts->date) + ',';
    if (facts->attachments) tail += std::to_string(*facts->attachments);
  } else {
    tail += ",,,";
  }
  const std::string_view sha = facts ? std::string_view(facts->sha256) : std::string_view();
  const PendingFile::Piece pieces[] = {
      {sha.data(), sha.size()}, {output.data(), output.size()}, {tail.data(), tail.size()}};
  spill_->write(pieces, 3);
  row.spilled = spillSize_;
  row.shaSize = static_cast<std::uint32_t>(sha.size());
  row.outputSize = static_cast<std::uint32_t>(output.size());
  row.tailSize = static_cast<std::uint32_t>(tail.size());
  spillSize_ += sha.size() + output.size() + tail.size();
}

std::string_view ManifestWriter::spilledText(std::uint64_t at, std::size_t size) {
  if (at < windowStart_ || at + size > windowStart_ + spillWindow_.size()) {
    sys::InputFile in;
    const std::string path = spill_->temporaryPath();
    if (const int error = in.open(path); error != 0) {
      throw systemError("cannot read the manifest's rows in", path, error);
    }
    spillWindow_.resize(std::max<std::size_t>(size, std::size_t{4} << 20));
    std::size_t got = 0;
    const int error = in.readAt(at, spillWindow_.data(), spillWindow_.size(), got);
    if (error != 0 || got < size) {
      throw systemError("cannot read the manifest's rows in", path, error != 0 ? error : EIO);
    }
    spillWindow_.resize(got);
    windowStart_ = at;
  }
  return std::string_view(spillWindow_).substr(static_cast<std::size_t>(at - windowStart_), size);
}

void ManifestWriter::messageUnverified(std::string_view mailbox, std::size_t j,
                                       std::string_view reason) {
  // Its output stays named: that is the copy that differs.
  if (mailbox == mailbox_ && j < pending_.size()) {
    pending_[j].status = "failed: " + std::string(reason);
  } else {
    lateFailures_[{std::string(mailbox), j}] = {"failed: " + std::string(reason), true};
  }
}

void ManifestWriter::storedMessageLost(std::string_view mailbox, std::size_t j,
                                       std::string_view reason) {
  const std::string status = "not converted: " + std::string(reason);
  if (mailbox == mailbox_ && j < pending_.size()) {
    Row& row = pending_[j];
    row.written = false;
    row.keepOutput = false;
    row.storePosition = -1;
    row.status = status;
  } else {
    lateFailures_[{std::string(mailbox), j}] = {status, false};
  }
}

namespace {

constexpr std::size_t kOutputField = 5;
constexpr std::size_t kStatusField = 10;

// The fields of one CSV record (without its CR LF), unquoted.
std::vector<std::string> CsvFields(std::string_view record) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < record.size(); ++i) {
    const char c = record[i];
    if (quoted && c == '"' && i + 1 < record.size() && record[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

}  // namespace

void ManifestWriter::mendLateFailures() {
  PendingFile mended(file_.finalPath());
  sys::InputFile in;
  const std::string path = file_.temporaryPath();
  if (const int error = in.open(path); error != 0) {
    throw systemError("cannot read the manifest's rows in", path, error);
  }
  std::string record;
  std::string out;
  bool quoted = false;
  std::vector<char> buffer(1 << 20);
  const auto endRecord = [&] {
    const std::vector<std::string> fields = CsvFields(record);
    const auto late =
        fields.size() == 11
            ? lateFailures_.find({fields[0], std::strtoull(fields[1].c_str(), nullptr, 10)})
            : lateFailures_.end();
    if (late != lateFailures_.end() &&
        fields[1].find_first_not_of("0123456789") == std::string::npos) {
      // The row again from its fields, with its status (and output) mended.
      std::vector<std::string> row = fields;
      row[kStatusField] = late->second.status;
      if (!late->second.keepOutput) row[kOutputField].clear();
      for (std::size_t k = 0; k < row.size(); ++k) {
        if (k > 0) out += ',';
        out += CsvField(row[k]);
      }
    } else {
      out += record;
    }
    out += "\r\n";
    record.clear();
    if (out.size() >= (1u << 16)) {
      mended.write(out.data(), out.size());
      out.clear();
    }
  };
  for (std::uint64_t at = 0;;) {
    std::size_t got = 0;
    if (const int error = in.readAt(at, buffer.data(), buffer.size(), got); error != 0) {
      throw systemError("cannot read the manifest's rows in", path, error);
    }
    if (got == 0) break;
    at += got;
    for (std::size_t i = 0; i < got; ++i) {
      const char c = buffer[i];
      if (c == '"') quoted = !quoted;
      if (c == '\n' && !quoted && !record.empty() && record.back() == '\r') {
        record.pop_back();
        endRecord();
      } else {
        record += c;
      }
    }
  }
  if (!record.empty()) out += record;  // never so: every record ends in CR LF
  mended.write(out.data(), out.size());
  mended.commit(true, Durability::Now);
}

void ManifestWriter::writtenMessagesDropped(std::string_view reason) {
  droppedReason_ = reason;
  // Copies of this mailbox's own messages went with them.
  for (Row& row : pending_) {
    if (!row.written && !row.copyHere) continue;
    row.written = false;
    row.copyHere = false;
    row.keepOutput = false;  // its text keeps the output, which is skipped
    row.storePosition = -1;
    row.status = "not converted: " + droppedReason_;
  }
}

void ManifestWriter::mailboxDone(std::size_t, const MailboxSummary& summary) {
  writeMailbox(&summary, droppedReason_.empty()
                             ? std::string_view("the conversion of its mailbox ended before it")
                             : std::string_view(droppedReason_));
}

void ManifestWriter::writeMailbox(const MailboxSummary* summary, std::string_view why) {
  windowStart_ = 0;
  spillWindow_.clear();
  for (std::size_t j = 0; j < pending_.size(); ++j) {
    const Row& row = pending_[j];
    std::string_view sha;
    std::string output;
    std::string_view tail = ",,,,";
    if (row.tailSize > 0) {
      const std::string_view text =
          spilledText(row.spilled, std::size_t{row.shaSize} + row.outputSize + row.tailSize);
      sha = text.substr(0, row.shaSize);
      if (row.keepOutput) output = text.substr(row.shaSize, row.outputSize);
      tail = text.substr(row.shaSize + row.outputSize);
    }
    if (row.written && row.storePosition >= 0 && summary) {
      output =
          summary->storePath + "|" + summary->storeFolder + "|" + std::to_string(row.storePosition);
    }
    const std::int64_t offset = offsets_[j];
    const std::int64_t end = j + 1 < offsets_.size() ? offsets_[j + 1] : end_;
    text_ += CsvField(mailbox_);
    text_ += ',' + std::to_string(j) + ',' + std::to_string(offset) + ',';
    if (end >= offset) text_ += std::to_string(end - offset);
    text_ += ',';
    text_ += sha;
    text_ += ',' + CsvField(output);
    text_ += tail;
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
  spill_.reset();
  spillWindow_.clear();
  spillWindow_.shrink_to_fit();
  if (!text_.empty()) {
    file_.write(text_.data(), text_.size());
    text_.clear();
  }
}

void ManifestWriter::close(std::string_view why) {
  writeMailbox(nullptr, why);
  if (!text_.empty()) {
    file_.write(text_.data(), text_.size());
    text_.clear();
  }
  if (lateFailures_.empty()) {
    file_.commit(true, Durability::Now);
  } else {
    mendLateFailures();  // the first file goes when it is destroyed, never committed
  }
}

}  // namespace qc
