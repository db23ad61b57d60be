// pathLogger: the breadth-first walk that lists every file below a start folder. The window's
// add-folder action and the command line use it (through FindMailboxes) to collect mailboxes.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "util/keyed_list.h"

namespace qc {

// Use: PathLogInit; set fullFileNamesOnly; LogPath(start); read the lists; Terminate.
//
// Keys: pathNames holds the start folder under "K0" and the folders found after it under "K2",
// "K3", ...; fileNames, fullFileNames and pathPointers hold the n-th file under "K<n>" (n from 1),
// the same key in all three. Folder paths end in the separator; a file's full path is its
// folder's entry followed by its name.
//
// Links to folders are neither visited nor recorded, so every walk ends even when a link points
// back up the tree; a link to anything else is recorded as a file.
class pathLogger {
 public:
  // Prepares a walk: gives the walker its file-system access, sets fullFileNamesOnly and drops
  // the four lists (each comes back empty on its next use). Count is left as it is.
  void PathLogInit();

  // Walks `start` and everything below it. A start that is not an existing folder (missing, or
  // a file) records nothing and changes nothing. Throws qc::Error when the walker was not
  // prepared by PathLogInit, when pathNames already holds "K0" (a second walk without
  // PathLogInit; Count has been set to 1 by then), and when a folder cannot be listed or a
  // counter would pass 2^31 - 1. What was recorded before a failure stays in the lists.
  void LogPath(std::string_view start);

  // The number the next recorded file would take: n + 1 after a walk that recorded n files, 0 on
  // a walker that never walked.
  std::int32_t Count() const { return fileCounter_; }

  // Releases the file-system access, the working state and the four lists. A list a caller took
  // earlier stays valid for that caller. Count and fullFileNamesOnly keep their values.
  void Terminate();

  // When true a walk fills fullFileNames alone; fileNames and pathPointers stay untouched.
  void fullFileNamesOnly(bool value) { fullFileNamesOnly_ = value; }
  bool fullFileNamesOnly() const { return fullFileNamesOnly_; }

  // When true, a folder below the start that cannot be listed (or an entry that cannot be looked
  // at) does not end the walk: it is named with the reason in UnreadableFolders() and skipped.
  // The start folder itself must still be readable. Off on a new walker.
  void skipUnreadableFolders(bool value) { skipUnreadable_ = value; }
  const std::vector<std::string>& UnreadableFolders() const { return unreadable_; }

  // Records only the files whose name `keep` accepts (all when null, the default); the others
  // are passed over as if absent, numbering included. For callers that want a few files of a
  // large tree without holding every path of it.
  void recordOnly(bool (*keep)(std::string_view name)) { keepFile_ = keep; }

  // A flag another thread may set to end a walk early: the walk then throws StopRequested
  // before the next folder. Null (the default) for none.
  void stopWhen(const std::atomic<bool>* flag) { stop_ = flag; }

  // The walker's own lists, shared with the caller (not copies), so a list taken before or during
  // the walk shows what the walk adds. A list that does not exist yet is created empty.
  std::shared_ptr<const TextList> fileNames();
  std::shared_ptr<const TextList> pathNames();
  std::shared_ptr<const IntList> pathPointers();
  std::shared_ptr<const TextList> fullFileNames();

 private:
  // Stands for the platform's file-system service: the walker may only touch the file system
  // between PathLogInit and Terminate.
  struct FileSystemAccess {};

  // False when the folder was skipped as unreadable.
  bool ListFolder(const std::string& folder, bool isStart);
  void RecordFiles(const std::string& folder, std::int32_t folderPosition);

  TextList& Names() { return Ensure(fileNames_); }
  TextList& Folders() { return Ensure(pathNames_); }
  IntList& Pointers() { return Ensure(pathPointers_); }
  TextList& FullNames() { return Ensure(fullFileNames_); }
  template <typename List>
  static List& Ensure(std::shared_ptr<List>& list) {
    if (!list) list = std::make_shared<List>();
    return *list;
  }

  std::unique_ptr<FileSystemAccess> fileSystem_;
  // The folder being processed: its files and subfolders by name, sorted.
  std::vector<std::string> fileListing_;
  std::string currentFile_;
  std::vector<std::string> subfolderListing_;
  std::string currentSubfolder_;
  std::int32_t fileCounter_ = 0;
  std::shared_ptr<TextList> fileNames_;
  std::shared_ptr<IntList> pathPointers_;
  std::shared_ptr<TextList> pathNames_;
  std::shared_ptr<TextList> fullFileNames_;
  bool fullFileNamesOnly_ = false;
  bool skipUnreadable_ = false;
  const std::atomic<bool>* stop_ = nullptr;
  bool (*keepFile_)(std::string_view) = nullptr;
  std::vector<std::string> unreadable_;
};

}  // namespace qc
