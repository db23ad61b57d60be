// pstcheck: the strict checker of Outlook data files, for tests and for checking stores by
// hand. Exit status 0 when the file is sound, 1 when it has faults, 2 on misuse.
#include <cstdio>
#include <string>
#include <vector>

#include "mapi/check/pst/pst_checker.h"
#include "util/program_version.h"
#include "util/system.h"

int main(int argc, char** argv) {
  qc::sys::PrepareConsole();
  const std::vector<std::string> args = qc::sys::Arguments(argc, argv);
  if (args.size() == 2 && args[1] == "--version") return qc::PrintVersion("pstcheck");
  if (args.size() != 2 || args[1] == "--help" || args[1] == "-h") {
    std::fputs(
        "usage: pstcheck FILE.pst | --version\nChecks every structure of an Outlook data file and "
        "lists the faults it finds.\n",
        args.size() == 2 ? stdout : stderr);
    return args.size() == 2 ? 0 : 2;
  }
  using namespace qc::mapi::pst::check;
  const char* path = args[1].c_str();
  Summary summary;
  const Findings findings = CheckPstFile(args[1], &summary);
  for (const Finding& f : findings.all()) {
    std::printf("%s: %s: %s\n", path, FaultName(f.fault), f.where.c_str());
  }
  if (findings.dropped() > 0) std::printf("%s: %zu more faults\n", path, findings.dropped());
  std::printf("%s: %zu nodes, %zu folders, %zu messages, %zu faults\n", path, summary.nodes,
              summary.folders, summary.messages, findings.all().size() + findings.dropped());
  return findings.empty() ? 0 : 1;
}
