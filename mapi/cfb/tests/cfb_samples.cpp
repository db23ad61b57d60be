// Writes sample Compound Files into a folder for the independent readers, with a manifest of
// every stream: "<file>\t<path>\t<size>\t<crc32>".
#include <cstdio>
#include <fstream>
#include <iostream>

#include "mapi/cfb/tests/cfb_test_support.h"
#include "mapi/file_sink.h"

using namespace qc::mapi;
using namespace qc::mapi::cfb;

namespace {

std::uint32_t Crc32(const ByteSource& source) {
  std::uint32_t crc = 0xFFFFFFFF;
  std::vector<std::uint8_t> piece(65536);
  for (std::uint64_t at = 0; at < source.size();) {
    const std::size_t n = source.read(at, piece.data(), piece.size());
    for (std::size_t i = 0; i < n; ++i) {
      crc ^= piece[i];
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
    }
    at += n;
  }
  return ~crc;
}

void List(std::ostream& manifest, const std::string& file, const Storage& storage,
          const std::string& path) {
  for (const auto& child : storage.children()) {
    if (child.storage) continue;
    const MemorySource held(Bytes(child.bytes.begin(), child.bytes.end()));
    const ByteSource& data = child.source ? *child.source : held;
    manifest << file << '\t' << path << child.name.utf8() << '\t' << data.size() << '\t'
             << Crc32(data) << '\n';
  }
  for (const auto& child : storage.children()) {
    if (!child.storage) continue;
    const Storage& sub = *child.storage;
    manifest << file << '\t' << path << sub.name() << "/\t-\t-\n";
    List(manifest, file, sub, path + sub.name() + "/");
  }
}

void Save(const CompoundFile& file, const std::string& folder, const std::string& name,
          std::ostream& manifest) {
  FileSink sink(folder + "/" + name);
  file.write(sink);
  sink.commit();
  List(manifest, name, file.root(), "/");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qc_cfb_samples <folder>\n";
    return 2;
  }
  const std::string folder = argv[1];
  std::ofstream manifest(folder + "/manifest.tsv");
  try {
    {  // Shaped like a .msg file.
      CompoundFile file;
      file.root().setClsid(Guid::Parse("00020D0B-0000-0000-C000-000000000046"));
      file.root().addStream("__properties_version1.0", Bytes(32 + 16 * 5, 0));
      file.root().addStream("__substg1.0_0037001F", Bytes{'H', 0, 'i', 0});
      file.root().addStream("__substg1.0_1000001F", Bytes(5000, 'b'));
      Storage& recip = file.root().addStorage("__recip_version1.0_#00000000");
      recip.addStream("__properties_version1.0", Bytes(8 + 16 * 3, 0));
      recip.addStream("__substg1.0_3001001F", Bytes{'A', 0});
      file.root().addStorage("__nameid_version1.0").addStream("__substg1.0_00020102", Bytes{});
      Save(file, folder, "msg_shape.cfb", manifest);
    }
    for (unsigned seed : {3u, 11u, 29u}) {  // random trees with sizes on every boundary
      CompoundFile file;
      std::mt19937 rng(seed);
      std::vector<test::ExpectedStream> unused;
      test::AddRandomChildren(file.root(), "/", rng, 0, unused);
      Save(file, folder, "random" + std::to_string(seed) + ".cfb", manifest);
    }
    {  // Past the 109 FAT sectors the header lists: DIFAT sectors.
      CompoundFile file;
      file.root().addStream("small", Bytes(200, 's'));
      file.root().addStorage("attach").addStream(
          "data", std::make_shared<test::PatternSource>(9'000'000, 5));
      Save(file, folder, "difat.cfb", manifest);
    }
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return 1;
  }
  return 0;
}
