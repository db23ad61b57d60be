// Writes every message of the corpus as NNN.eml beside NNN.json, what a reader must find in the
// .msg made of it, for the readers' checks that run outside C++ (corpus_msgreader.js).
//
//   qc_corpus_expect FOLDER [MESSAGE.eml...]   (the corpus, or the given message files)
#include <gmime/gmime.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "mapi/tests/corpus.h"

namespace {

using qc::mapi::testing::Expected;

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Json(const std::set<std::string>& items) {
  std::string out = "[";
  for (const auto& item : items) out += (out.size() > 1 ? "," : "") + Json(item);
  return out + "]";
}

std::string Json(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const auto& item : items) out += (out.size() > 1 ? "," : "") + Json(item);
  return out + "]";
}

std::string Json(const std::optional<std::string>& text) {
  return text ? Json(*text) : "null";
}

std::string Md5(const std::string& bytes) {
  char* hex = g_compute_checksum_for_data(
      G_CHECKSUM_MD5, reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
  std::string out = hex;
  g_free(hex);
  return out;
}

std::string Json(const std::string& name, const Expected& e) {
  std::string out =
      "{\"name\":" + Json(name) + ",\"subject\":" + Json(e.subject) + ",\"from\":" + Json(e.from) +
      ",\"to\":" + Json(e.to) + ",\"cc\":" + Json(e.cc) + ",\"bcc\":" + Json(e.bcc) +
      ",\"replyTo\":" + Json(e.replyTo) + ",\"keywords\":" + Json(e.keywords) +
      ",\"date\":" + (e.date ? std::to_string(*e.date) : "null") + ",\"text\":" + Json(e.text) +
      ",\"html\":" + Json(e.html) + ",\"attachments\":[";
  for (std::size_t i = 0; i < e.attachments.size(); ++i) {
    const auto& a = e.attachments[i];
    out += std::string(i ? "," : "") + "{\"name\":" + Json(a.name) +
           ",\"size\":" + std::to_string(a.bytes.size()) + ",\"md5\":" + Json(Md5(a.bytes)) +
           ",\"inline\":" + (a.inline_ ? "true" : "false") +
           ",\"embedded\":" + (a.embedded ? "true" : "false") + ",\"subject\":" + Json(a.subject) +
           "}";
  }
  return out + "]}\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: qc_corpus_expect FOLDER [MESSAGE.eml...]\n");
    return 1;
  }
  const std::filesystem::path folder = argv[1];
  std::filesystem::create_directories(folder);
  // Given message files (a conversion's output) stand in for the corpus, in the order given.
  std::vector<std::pair<std::string, std::string>> corpus;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    corpus.emplace_back(argv[i], std::string(std::istreambuf_iterator<char>(in), {}));
  }
  if (argc == 2) corpus = qc::mapi::testing::Corpus();
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    char stem[32];
    std::snprintf(stem, sizeof stem, "%03zu", i);
    const auto& [name, source] = corpus[i];
    std::ofstream(folder / (std::string(stem) + ".eml"), std::ios::binary) << source;
    std::ofstream(folder / (std::string(stem) + ".json"), std::ios::binary)
        << Json(name, qc::mapi::testing::ReadSource(source));
  }
  std::printf("%zu messages\n", corpus.size());
  return 0;
}
