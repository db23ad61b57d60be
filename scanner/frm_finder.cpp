#include "scanner/frm_finder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "scanner/cp1252.h"
#include "scanner/separator_scan.h"
#include "util/error.h"
#include "util/registry.h"

namespace qc {

namespace {
constexpr std::string_view kFinderTitle = "File Reader";
constexpr std::string_view kErrorTitle = "! ERROR !";
constexpr std::int64_t kShownChars = 512;  // match and following text shown per find

std::string Num(std::int64_t n) {
  return std::to_string(n);
}
}  // namespace

// The search goes through a file from front to back: its window reads ahead.
struct FrmFinder::Open {
  explicit Open(const std::string& path)
      : file(std::make_shared<MailboxFile>(path)),
        window(*file, ByteWindow::kDefaultCapacity, ByteWindow::Reading::Ahead) {}
  std::shared_ptr<MailboxFile> file;  // shared with whoever cuts the messages out
  ByteWindow window;
};

FrmFinder::FrmFinder(Screen& screen, SearchShared& shared, LogSink& log)
    : screen_(screen), shared_(shared), log_(log) {}

namespace {

Failure MailboxFailure(const Error& e) {
  return Failure::Of(Failure::Kind::Mailbox, e.what(), e.code());
}

}  // namespace

FrmFinder::~FrmFinder() = default;

void FrmFinder::Open_MBOX(const std::string& fmboxname) {
  FoundCount = 0;
  if (FileNum >= 1) {
    screen_.beep();
    screen_.messageBox("Close current file before open a file!", MsgStyle::OkExclamation, "");
    return;
  }
  int error = 0;
  FileName = fmboxname;
  try {
    OpenFile();
  } catch (const Error& e) {
    error = e.code() != 0 ? e.code() : EIO;
    OpenError = MailboxFailure(systemError("cannot open the mailbox", FileName, error));
  }
  Text1 = FileName;
  if (error != 0) {
    FileName.clear();
    screen_.beep();
    screen_.messageBox("File could not open!...\r\rError Number: " + Num(error),
                       MsgStyle::OkExclamation, kErrorTitle);
  }
}

void FrmFinder::OpenFile() {
  OpenError.reset();
  FileSize = FileSizeOf(FileName);  // a failure here leaves to the caller
  screen_.yield();
  if (FileSize < 2) {
    screen_.beep();
    screen_.messageBox(
        "File size is " + Num(FileSize) + " byte !\r\rFile can not open for string searching !",
        MsgStyle::OkExclamation, kFinderTitle);
    return;
  }
  screen_.yield();
  FoundPos = -1;
  FileNum = 1;
  try {
    open_ = std::make_unique<Open>(FileName);
  } catch (const Error& e) {
    FileNum = 0;
    OpenError = MailboxFailure(e);
    return;
  }
  firstFindOfFile_ = shared_.MessageOffsets.size();
  WriteSizeLine();
}

void FrmFinder::CloseFile() {
  open_.reset();
  screen_.yield();
  // Files beside the mailbox (such as "<mailbox>.tmp") belong to the mail client or the user:
  // closing a mailbox never deletes anything.
  FileNum = 0;
}

void FrmFinder::Find_Click() {
  Command3_Click();
}

void FrmFinder::Command3_Click() {
  if (TrimSpaces(Text1).empty()) {  // a blank field names no file
    screen_.beep();
    screen_.messageBox("Enter name of the file to be searched...", MsgStyle::Ok, kFinderTitle);
    open_.reset();
    FileNum = 0;
    EndOfSearch();
    return;
  }
  if (FileNum < 1) {
    FileName = std::string(FileNameFieldText(Text1));
    if (!IsExistingFile(FileName)) {
      screen_.beep();
      screen_.messageBox("File not found !", MsgStyle::OkExclamation, kFinderTitle);
      if (!OpenError)
        OpenError = Failure::Of(Failure::Kind::Mailbox, "cannot open the mailbox '" + FileName +
                                                            "': " + NotAFileReason(FileName));
      FileNum = 0;
      EndOfSearch();
      return;
    }
    try {
      OpenFile();
    } catch (const Error& e) {
      OpenError = MailboxFailure(
          systemError("cannot open the mailbox", FileName, e.code() ? e.code() : EIO));
    }
    if (FileNum < 1) {
      screen_.beep();
      screen_.messageBox("File could not open !", MsgStyle::OkExclamation, kFinderTitle);
      EndOfSearch();
      return;
    }
  }
  WriteSizeLine();
  CurPos = 0;
  SearchString();
}

void FrmFinder::FindNext_Click() {
  if (FoundPos < 0) {
    screen_.beep();
    return;
  }
  CurPos = FoundPos + SearchLen;
  WriteSizeLine();
  SearchString();
}

void FrmFinder::Close_Click() {
  if (FileNum >= 1) {
    CloseFile();
  } else {
    screen_.beep();
  }
}

void FrmFinder::Form_Unload() {
  if (FileNum >= 1) Close_Click();
}

void FrmFinder::SearchString() {
  GetString();
  ScanString();
  if (StrFound) {
    ShowString();
  } else {
    EndOfSearch();
  }
}

void FrmFinder::GetString() {
  SearchStr = Text2;
  if (SearchStr.size() > 2 && SearchStr.front() == '"' && SearchStr.back() == '"') {
    SearchStr = SearchStr.substr(1, SearchStr.size() - 2);
  }
  SearchLen = static_cast<std::int64_t>(SearchStr.size());
  screen_.yield();
  if (!Check1) SearchStr = UpperCp1252(SearchStr);
  if (!pattern_ || patternText_ != SearchStr || patternCaseSensitive_ != Check1) {
    pattern_ = std::make_unique<ScanPattern>(SearchStr, Check1);
    patternText_ = SearchStr;
    patternCaseSensitive_ = Check1;
  }
}

void FrmFinder::ScanString() {
  ScanResult result;
  if (open_) {
    try {
      result =
          ScanForPattern(open_->window, *pattern_, CurPos, FileSize, [this] { screen_.yield(); });
    } catch (const Error& e) {
      // A read error ends the search like the end of the file; the conversion reports it.
      ReadError = MailboxFailure(e);
      result = {false, CurPos};
    }
  }
  screen_.yield();
  CurPos = result.curPos;
  StrFound = result.found;
  FoundPos = result.found ? CurPos : -1;
}

void FrmFinder::ShowString() {
  if (log_.shown()) log_.writeLine("Byte :" + Num(CurPos) + "\r\n");
  screen_.yield();
  shared_.MessageOffsets.append(CurPos);
  const double share = static_cast<double>(FoundPos) / static_cast<double>(FileSize) * 100.0;
  screen_.setProgress(Bar::ProgressBar2, std::nearbyint(share));  // halves to the even neighbour
  ++FoundCount;
  screen_.setLabel(Label::LblHappening,
                   "Searching for messages... Messages Found : " + Num(FoundCount));

  // Show the match and the text after it, at most kShownChars characters in all.
  const std::int64_t after = FoundPos + SearchLen + 1;  // 1-based position of the next byte
  if (!log_.shown()) {
    screen_.yield();
    CurPos = after;
    return;
  }
  const std::int64_t rest = FileSize - after;
  std::int64_t n = 0;
  if (rest > kShownChars - SearchLen) {
    n = std::max<std::int64_t>(kShownChars - SearchLen, 0);  // a longer search text leaves none
  } else if (rest > SearchLen) {
    n = rest - SearchLen;
  }
  try {
    const auto bytes = open_->window.at(FoundPos, static_cast<std::size_t>(SearchLen + n));
    const auto chars = [&](std::int64_t from, std::int64_t count) {
      const auto have = static_cast<std::int64_t>(bytes.size());
      const std::int64_t begin = std::min(from, have);
      const std::int64_t end = std::min(from + count, have);
      return std::string_view(reinterpret_cast<const char*>(bytes.data()) + begin,
                              static_cast<std::size_t>(end - begin));
    };
    log_.write(chars(0, SearchLen));
    log_.write(chars(SearchLen, n));
  } catch (const Error& e) {
    ReadError = MailboxFailure(e);
  }
  screen_.yield();
  CurPos = after;
}

void FrmFinder::EndOfSearch() {
  DropFindsPastTheEnd();
  log_.writeLine("");
  log_.writeLine("[EOF]");
  shared_.SearchFinished = -1;
}

void FrmFinder::DropFindsPastTheEnd() {
  // The read window may hold bytes that a file cut short since no longer has. Asking the size
  // once, when the search ends, costs nothing per find and keeps such finds out of the offsets.
  if (!open_) return;
  try {
    const std::int64_t now = open_->file->size();
    if (now >= FileSize) return;
    auto& offsets = shared_.MessageOffsets;
    std::size_t keep = offsets.size();
    while (keep > firstFindOfFile_ && offsets[keep - 1] + SearchLen > now) --keep;
    offsets.keepFirst(keep);
    ReadError = Failure::Of(Failure::Kind::Mailbox, "the mailbox '" + FileName + "' shrank from " +
                                                        Num(FileSize) + " to " + Num(now) +
                                                        " bytes while it was searched");
  } catch (const Error& e) {
    ReadError = MailboxFailure(e);
  }
}

void FrmFinder::WriteSizeLine() {
  if (!log_.shown()) return;
  log_.clear();
  log_.writeLine("FILE SIZE : " + Num(FileSize) + " bytes\r\n");
}

std::shared_ptr<const MailboxFile> FrmFinder::OpenMailbox() const {
  return open_ ? open_->file : nullptr;
}

FrmFinder& FinderSlot::get() {
  if (!finder_) finder_ = std::make_unique<FrmFinder>(screen_, shared, log_);
  return *finder_;
}

}  // namespace qc
