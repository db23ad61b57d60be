// libFuzzer entry point: any bytes imported as a message and written into a store; the store
// must pass the strict checker, whatever the message held.
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "mapi/check/pst/pst_checker.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/pst/messaging/pst_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qc::mapi;
  auto message = ImportRfc822(std::string_view(reinterpret_cast<const char*>(data), size));
  SetMessageFlags(*message, 17);
  pst::StoreOptions options;
  options.clock = [] { return FileTime{0x01DA000000000000}; };
  options.newGuid = [] { return Guid{}; };
  MemorySink sink;
  pst::PstStore store(sink, "Fuzz", options);
  const auto folder = store.addMailFolder("Inbox");
  try {
    store.addMessage(folder, *message);
  } catch (const pst::StoreError&) {
    // Refused as too large for the format: the store must still be sound.
  }
  store.close();
  const auto findings = pst::check::CheckPst(sink.bytes.data(), sink.bytes.size());
  for (const auto& f : findings.all()) {
    std::fprintf(stderr, "%s: %s\n", pst::check::FaultName(f.fault), f.where.c_str());
  }
  if (!findings.empty()) std::abort();
  return 0;
}
