// Records kept for later, most of them in a file rather than in memory: a run verifying its
// output keeps one for every message it wrote until the message can be read back, and a data
// file can hold millions of messages. The file lives under a hidden temporary name next to the
// run's output and goes when the records are used or forgotten (or, after a crash, with the
// run's other leftovers).
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "util/error.h"
#include "util/pending_file.h"
#include "util/system.h"

namespace qc {

template <class Record>
class SpilledRecords {
  static_assert(std::is_trivially_copyable_v<Record>, "records are spilled as their bytes");

 public:
  // Records beyond the first chunk go to a file at `path` (never given that name); an empty
  // path keeps them all in memory.
  explicit SpilledRecords(std::string path = {}, std::size_t chunk = 8192)
      : path_(std::move(path)), chunk_(std::max<std::size_t>(chunk, 1)) {}

  void push(const Record& record) {
    held_.push_back(record);
    if (held_.size() >= chunk_ && !path_.empty() && !unwritable_) spill();
  }
  std::size_t size() const { return spilled_ + held_.size(); }
  bool empty() const { return size() == 0; }

  // Calls `use(records, count)` for every record, in the order they came, a chunk at a time;
  // they are forgotten then, even when `use` throws. Throws qc::Error when the file cannot be
  // read back.
  void drain(const std::function<void(const Record*, std::size_t)>& use) {
    std::unique_ptr<PendingFile> file = std::move(file_);
    std::vector<Record> held;
    held.swap(held_);
    const std::size_t spilled = spilled_;
    clear();
    if (spilled > 0) {
      sys::InputFile in;
      const std::string where = file->temporaryPath();
      if (const int error = in.open(where); error != 0)
        throw systemError(kUnreadable, where, error);
      std::vector<Record> chunk;
      for (std::size_t at = 0; at < spilled; at += chunk.size()) {
        chunk.resize(std::min(chunk_, spilled - at));
        const std::size_t bytes = chunk.size() * sizeof(Record);
        std::size_t got = 0;
        const int error = in.readAt(at * sizeof(Record), chunk.data(), bytes, got);
        if (error != 0 || got != bytes) {
          throw systemError(kUnreadable, where, error != 0 ? error : EIO);
        }
        use(chunk.data(), chunk.size());
      }
    }
    if (!held.empty()) use(held.data(), held.size());
  }

  void clear() {
    file_.reset();
    held_.clear();
    spilled_ = 0;
  }

 private:
  static constexpr const char* kUnreadable = "cannot read back the records kept in";

  // A file that cannot be made or written (a full disk) is no failure: the records stay in
  // memory from then on.
  void spill() {
    try {
      if (!file_) file_ = std::make_unique<PendingFile>(path_);
      file_->write(held_.data(), held_.size() * sizeof(Record));
      spilled_ += held_.size();
      held_.clear();
    } catch (const Error&) {
      unwritable_ = true;
    }
  }

  std::string path_;
  std::size_t chunk_;
  std::unique_ptr<PendingFile> file_;
  bool unwritable_ = false;
  std::size_t spilled_ = 0;
  std::vector<Record> held_;
};

}  // namespace qc
