// Writes what the independent decoders check into a folder: for every sample, the input
// (NAME.in, UTF-8, for the encapsulated ones), our RTF (NAME.rtf) and its compressed form
// (NAME.lzfu).
#include <fstream>
#include <iostream>
#include <random>

#include "mapi/rtf/compressed_rtf.h"
#include "mapi/rtf/encapsulated_rtf.h"
#include "mapi/rtf/tests/samples.h"

using namespace qc::mapi;

namespace {

void Write(const std::string& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void Save(const std::string& folder, const std::string& name, const std::string* input,
          const std::string& rtf) {
  if (input) Write(folder + "/" + name + ".in", input->data(), input->size());
  Write(folder + "/" + name + ".rtf", rtf.data(), rtf.size());
  const Bytes packed = rtf::CompressRtf(rtf);
  Write(folder + "/" + name + ".lzfu", packed.data(), packed.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qc_rtf_samples FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  for (const auto& s : rtf::testing::HtmlSamples()) {
    Save(folder, "html-" + s.name, &s.content, rtf::HtmlToEncapsulatedRtf(s.content));
  }
  for (const auto& s : rtf::testing::TextSamples()) {
    Save(folder, "text-" + s.name, &s.content, rtf::TextToEncapsulatedRtf(s.content));
  }
  // Compression alone, on inputs that are not encapsulations of anything.
  std::mt19937 random(1);
  std::string noise(70000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  Save(folder, "raw-empty", nullptr, "");
  Save(folder, "raw-run", nullptr, std::string(100000, '='));
  Save(folder, "raw-noise", nullptr, noise);
  return 0;
}
