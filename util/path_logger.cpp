#include "util/path_logger.h"

#include <algorithm>
#include <memory>

#include "util/error.h"
#include "util/registry.h"
#include "util/system.h"
#include "util/ui.h"

namespace qc {
namespace {

std::string Key(std::int32_t number) {
  return "K" + std::to_string(number);
}

// A start path that is missing or not a folder is simply nothing to walk. Any other failure to
// look at it (no access to a folder on the way, a link loop) is reported: answering "no files"
// would tell the user the folder is empty when it could not be read at all. A link to a folder
// counts as a folder here because the user named it.
bool FolderExists(const std::string& path) {
  const sys::PathInfo info = sys::Inspect(path);
  if (info.error != 0) throw systemError("cannot look at the folder", path, info.error);
  return info.kind == sys::Kind::Folder;
}

}  // namespace

void pathLogger::PathLogInit() {
  fileSystem_ = std::make_unique<FileSystemAccess>();
  fullFileNamesOnly_ = true;
  fileNames_.reset();
  pathPointers_.reset();
  pathNames_.reset();
  fullFileNames_.reset();
  unreadable_.clear();
}

void pathLogger::LogPath(std::string_view start) {
  if (!fileSystem_)
    throw Error("the folder walk was not prepared: call PathLogInit before LogPath");
  if (!FolderExists(std::string(start))) return;

  std::int32_t folderTotal = 1;
  std::int32_t folderPosition = 1;
  fileCounter_ = 1;
  Folders().Add("K0", AddSeparator(start));

  // pathNames is the queue: every folder listed appends its subfolders behind the folders still
  // waiting, which makes the walk breadth-first without recursion.
  while (folderPosition <= folderTotal) {
    // A copy: adding subfolders may move the list's storage.
    if (stop_ && stop_->load()) throw StopRequested{};
    const std::string folder = Folders().Item(folderPosition);
    if (!ListFolder(folder, folderPosition == 1)) {
      folderPosition = CheckedIncrement(folderPosition, "the folder position");
      continue;
    }
    for (const std::string& name : subfolderListing_) {
      currentSubfolder_ = name;
      folderTotal = CheckedIncrement(folderTotal, "the number of folders");
      Folders().Add(Key(folderTotal), folder + name + kPathSeparator);
    }
    RecordFiles(folder, folderPosition);
    folderPosition = CheckedIncrement(folderPosition, "the folder position");
  }
}

bool pathLogger::ListFolder(const std::string& folder, bool isStart) {
  fileListing_.clear();
  subfolderListing_.clear();
  const bool skipping = skipUnreadable_ && !isStart;
  const int listed = sys::ListFolder(folder, [&](const sys::FolderEntry& entry) {
    switch (entry.type) {
      case sys::FolderEntry::Type::Folder:
        subfolderListing_.emplace_back(entry.name);
        break;
      case sys::FolderEntry::Type::FolderLink:
        // Links to folders are not followed: the walk keeps no record of folders already
        // visited, so a link back up the tree would otherwise never let it end.
        break;
      case sys::FolderEntry::Type::Unknown: {
        const Error failure =
            systemError("cannot look at", folder + std::string(entry.name), entry.error);
        if (!skipUnreadable_) throw failure;
        unreadable_.push_back(failure.what());
        break;
      }
      case sys::FolderEntry::Type::File:
        if (!keepFile_ || keepFile_(entry.name)) fileListing_.emplace_back(entry.name);
        break;
    }
  });
  if (listed != 0) {
    const Error failure = systemError("cannot list the folder", folder, listed);
    if (!skipping) throw failure;
    unreadable_.push_back(failure.what());
    fileListing_.clear();
    subfolderListing_.clear();
    return false;
  }

  // Folder listings come in whatever order the file system keeps (hash order on ext4, creation
  // order on tmpfs, ...). Sorting by bytes gives the same mailbox list, and so the same output
  // folders, for the same tree on every machine.
  std::sort(subfolderListing_.begin(), subfolderListing_.end());
  std::sort(fileListing_.begin(), fileListing_.end());
  return true;
}

void pathLogger::RecordFiles(const std::string& folder, std::int32_t folderPosition) {
  for (const std::string& name : fileListing_) {
    currentFile_ = name;
    const std::string key = Key(fileCounter_);
    if (fullFileNamesOnly_) {
      FullNames().Add(key, folder + name);
    } else {
      Names().Add(key, name);
      FullNames().Add(key, folder + name);
      Pointers().Add(key, folderPosition);
    }
    fileCounter_ = CheckedIncrement(fileCounter_, "the number of files");
  }
}

void pathLogger::Terminate() {
  fileSystem_.reset();
  fileListing_ = std::vector<std::string>();
  currentFile_ = std::string();
  subfolderListing_ = std::vector<std::string>();
  currentSubfolder_ = std::string();
  fileNames_.reset();
  pathNames_.reset();
  pathPointers_.reset();
  fullFileNames_.reset();
}

std::shared_ptr<const TextList> pathLogger::fileNames() {
  Names();
  return fileNames_;
}

std::shared_ptr<const TextList> pathLogger::pathNames() {
  Folders();
  return pathNames_;
}

std::shared_ptr<const IntList> pathLogger::pathPointers() {
  Pointers();
  return pathPointers_;
}

std::shared_ptr<const TextList> pathLogger::fullFileNames() {
  FullNames();
  return fullFileNames_;
}

}  // namespace qc
