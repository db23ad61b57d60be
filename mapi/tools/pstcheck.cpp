// pstcheck: the strict checker of Outlook data files, for tests and for checking stores by
// hand. Exit status 0 when the file is sound, 1 when it has faults, 2 on misuse.
#include <cstdio>
#include <string>

#include "mapi/pst/check/pst_checker.h"

int main(int argc, char** argv) {
  if (argc != 2 || std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h") {
    std::fputs(
        "usage: pstcheck FILE.pst\nChecks every structure of an Outlook data file and "
        "lists the faults it finds.\n",
        argc == 2 ? stdout : stderr);
    return argc == 2 ? 0 : 2;
  }
  using namespace qc::mapi::pst::check;
  Summary summary;
  const Findings findings = CheckPstFile(argv[1], &summary);
  for (const Finding& f : findings.all()) {
    std::printf("%s: %s: %s\n", argv[1], FaultName(f.fault), f.where.c_str());
  }
  if (findings.dropped() > 0) std::printf("%s: %zu more faults\n", argv[1], findings.dropped());
  std::printf("%s: %zu nodes, %zu folders, %zu messages, %zu faults\n", argv[1], summary.nodes,
              summary.folders, summary.messages, findings.all().size() + findings.dropped());
  return findings.empty() ? 0 : 1;
}
