// Helpers shared by the .pst tests: stores written in memory with fixed times and identifiers,
// the message corpus, and checker results that read well when a test fails.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mapi/check/pst/pst_checker.h"
#include "mapi/pst/messaging/pst_store.h"
#include "mapi/store_file.h"

namespace qc::mapi::pst::testing {

// A clock and a GUID source that give the same values on every run.
inline StoreOptions FixedOptions(std::uint8_t seed = 1) {
  StoreOptions options;
  options.clock = [] { return FileTime{0x01DA6EE5A1B2C3D0}; };
  options.newGuid = [seed, n = std::uint8_t{0}]() mutable {
    Guid g;
    for (std::size_t i = 0; i < 16; ++i) g.bytes[i] = static_cast<std::uint8_t>(seed * 16 + i + n);
    ++n;
    return g;
  };
  return options;
}

inline std::string CorpusDir() {
  return std::string(QC_SOURCE_DIR) + "/mapi/tests/corpus";
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every message file of the corpus, in name order.
inline std::vector<std::string> CorpusMessages() {
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(CorpusDir())) {
    if (entry.path().extension() == ".eml") paths.push_back(entry.path().string());
  }
  std::sort(paths.begin(), paths.end());
  std::vector<std::string> out;
  for (const auto& p : paths) out.push_back(ReadAll(p));
  return out;
}

// The checker's findings, one per line, for failure messages.
inline std::string Describe(const check::Findings& findings) {
  std::string out;
  for (const auto& f : findings.all()) {
    out += std::string(check::FaultName(f.fault)) + ": " + f.where + "\n";
  }
  return out.empty() ? "no faults" : out;
}

inline check::Findings Check(const Bytes& store, check::Summary* summary = nullptr) {
  return check::CheckPst(store.data(), store.size(), summary);
}

#define EXPECT_SOUND_STORE(bytes)                                                    \
  do {                                                                               \
    const auto findings_ = ::qc::mapi::pst::testing::Check(bytes);                   \
    EXPECT_TRUE(findings_.empty()) << ::qc::mapi::pst::testing::Describe(findings_); \
  } while (false)

// RFC 822 bytes added to a store as the store library adds them (imported as Outlook keeps
// messages in its data files); the message added is returned.
inline std::unique_ptr<Message> AddRfc822(PstStore& store, FolderId folder, std::string_view bytes,
                                          std::int32_t flags) {
  auto message = ImportForStore(bytes, flags);
  store.addMessage(folder, *message);
  return message;
}

// A store of the corpus's messages in one folder "Inbox", written to memory.
inline Bytes CorpusStore(std::uint8_t seed = 1, std::int32_t flags = 17) {
  MemorySink sink;
  PstStore store(sink, "Corpus", FixedOptions(seed));
  const FolderId inbox = store.addMailFolder("Inbox");
  for (const std::string& m : CorpusMessages()) AddRfc822(store, inbox, m, flags);
  store.close();
  return sink.bytes;
}

}  // namespace qc::mapi::pst::testing
