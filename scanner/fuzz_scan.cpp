// libFuzzer entry point: the fast scan against the scan's attempts run one byte at a time, on
// whatever bytes the fuzzer makes up, with a read window as small as 16 bytes so that every
// window edge gets crossed. The first byte picks the search text and the window size.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "scanner/cp1252.h"
#include "scanner/separator_scan.h"
#include "scanner/tests/attempt_model.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char* const kTexts[] = {"FROM ???@???", "FRFROM", "FF", "F?@", "AB"};
  const std::string text = kTexts[data[0] % 5];
  const std::size_t window = 16 + data[0] / 5;
  const std::string file(reinterpret_cast<const char*>(data + 1), size - 1);

  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("qc-fuzz-scan-" + std::to_string(std::random_device()())))
                                      .string();
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(file.data(), 1, file.size(), out);
  std::fclose(out);

  qc::MailboxFile mailbox(path);
  qc::ByteWindow bytes(mailbox, window);
  const qc::ScanPattern pattern(text, false);
  std::vector<std::int64_t> finds;
  for (std::int64_t pos = 0;;) {
    const auto r =
        qc::ScanForPattern(bytes, pattern, pos, static_cast<std::int64_t>(file.size()), [] {});
    if (!r.found) break;
    finds.push_back(r.curPos);
    pos = r.curPos + static_cast<std::int64_t>(text.size());
  }
  const auto fold = [](unsigned char c) { return qc::kUpperCp1252[c]; };
  if (finds != qc::test::AttemptsByteByByte(file, text, fold)) std::abort();
  return 0;
}
