// The mailbox finder: opens one mailbox at a time and finds, search by search, the offset of
// every separator in it. Its inputs (Text1, Text2, Check1) and its log are what the File Reader
// window presents; the conversion drives it without showing that window.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "scanner/log_sink.h"
#include "scanner/mailbox_file.h"
#include "scanner/message_offsets.h"
#include "scanner/separator_scan.h"
#include "util/failure.h"
#include "util/ui.h"

namespace qc {

class FrmFinder {
 public:
  // `screen` receives message boxes, beeps, yields and the main window's LblHappening and
  // ProgressBar2; `shared` receives SearchFinished and MessageOffsets.
  FrmFinder(Screen& screen, SearchShared& shared, LogSink& log);
  ~FrmFinder();
  FrmFinder(const FrmFinder&) = delete;
  FrmFinder& operator=(const FrmFinder&) = delete;

  // Inputs, as the window's fields.
  std::string Text1;    // file name
  std::string Text2;    // search text
  bool Check1 = false;  // case sensitive; a new check box starts unchecked

  // File access.
  void Open_MBOX(const std::string& fmboxname);
  void OpenFile();
  void CloseFile();

  // Searching.
  void Find_Click();
  void Command3_Click();
  void FindNext_Click();

  // The window's other commands.
  void Close_Click();
  void Form_Unload();

  // State, as the finder's members. Positions are 64-bit.
  std::string FileName;
  int FileNum = 0;            // 1 while a file is open
  std::int64_t FileSize = 0;  // taken at every open attempt
  std::int64_t CurPos = 0;    // bytes consumed by the scan (1-based position of the last byte read)
  std::int64_t FoundPos = 0;  // offset of the last separator found; -1 for none
  std::string SearchStr;
  std::int64_t SearchLen = 0;
  bool StrFound = false;
  std::int32_t FoundCount = 0;

  // The mailbox file open now (null when none). Whoever cuts its messages out reads this very
  // file, so that a mailbox renamed or replaced under its path is still the file that was
  // searched; it stays open as long as someone holds it, also after CloseFile.
  std::shared_ptr<const MailboxFile> OpenMailbox() const;

  // Why the last attempt to open a mailbox failed (path and the system's reason), for the
  // conversion's end report; empty after a successful open.
  std::optional<Failure> OpenError;
  // Why the last search stopped early on a read error; the offsets found before it stand.
  std::optional<Failure> ReadError;

 private:
  void SearchString();
  void GetString();
  void ScanString();
  void ShowString();
  void EndOfSearch();
  void DropFindsPastTheEnd();
  void WriteSizeLine();

  struct Open;  // the open mailbox and its read window

  Screen& screen_;
  SearchShared& shared_;
  LogSink& log_;
  std::unique_ptr<Open> open_;
  std::unique_ptr<ScanPattern> pattern_;
  std::string patternText_;
  bool patternCaseSensitive_ = false;
  std::size_t firstFindOfFile_ = 0;  // offsets before this one belong to earlier files
};

// The program's one finder, created on first use, with the values it shares with the conversion.
class FinderSlot {
 public:
  FinderSlot(Screen& screen, LogSink& log) : screen_(screen), log_(log) {}
  FrmFinder& get();
  bool created() const { return finder_ != nullptr; }

  SearchShared shared;

 private:
  Screen& screen_;
  LogSink& log_;
  std::unique_ptr<FrmFinder> finder_;
};

}  // namespace qc
