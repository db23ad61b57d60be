// The names of the store files the .pst and .msg forms write.
#pragma once

#include <ctime>
#include <set>
#include <string>

namespace qc {

// The local time as the temporary store's name shows it: "d.m.YY H.m.ss" (day, month and hour
// without leading zeros, the minute too, the year's last two digits, the second with two
// digits): 6 December 2026 at 07:05:09 gives "6.12.26 7.5.09".
std::string StoreTimestamp(const std::tm& local);

// Hands out store file names in one folder so that no store ever overwrites or adds to an
// existing file, nor two stores of one run share one: `stem` + ".pst" when it is free, else
// `stem` + " (2).pst", " (3).pst" and so on.
class StoreFileNames {
 public:
  // The first free name for `stem` in `folder` (which ends in its separator). A name counts as
  // taken when something exists under it (a file, a folder, a link) or this run chose it. A
  // stem too long for a file name is shortened to fit.
  std::string claim(const std::string& folder, const std::string& stem);
  // Gives back a name claimed for a store that was not written.
  void release(const std::string& path) { claimed_.erase(path); }

 private:
  std::set<std::string> claimed_;
};

}  // namespace qc
