// Speed of the RTF body: compressing and expanding compressed RTF, and encapsulating HTML, on a
// few MB of mail-like HTML and text made up deterministically. Counters: "ratio" is compressed
// size / RTF size.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "mapi/rtf/compressed_rtf.h"
#include "mapi/rtf/encapsulated_rtf.h"

namespace {

using namespace qc::mapi::rtf;

const char* const kWords[] = {
    "the",     "report", "numbers",  "quarter", "meeting", "Anna",     "please",    "attached",
    "review",  "budget", "and",      "for",     "with",    "Grüße",    "déjà",      "thanks",
    "project", "Monday", "deadline", "team",    "update",  "customer", "invoice",   "of",
    "to",      "we",     "should",   "discuss", "next",    "week",     "regarding", "schedule",
};

// Mail bodies as mail programs write them, about `size` bytes of HTML in all.
std::string MailHtml(std::size_t size) {
  std::mt19937 random(1);
  std::string html;
  while (html.size() < size) {
    html +=
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">"
        "<style>p.MsoNormal { margin: 0cm; font-family: \"Calibri\", sans-serif; }</style>"
        "</head>\r\n<body lang=EN-GB>\r\n<div class=WordSection1>\r\n";
    const int paragraphs = 3 + static_cast<int>(random() % 20);
    for (int p = 0; p < paragraphs; ++p) {
      html += "<p class=MsoNormal><span style='font-size:11.0pt'>";
      const int words = 5 + static_cast<int>(random() % 60);
      for (int w = 0; w < words; ++w) {
        if (w % 13 == 12) html += "\r\n";
        if (random() % 17 == 0) html += "<b>";
        html += kWords[random() % std::size(kWords)];
        if (random() % 29 == 0) html += " &amp;";
        html += ' ';
      }
      html += "</span></p>\r\n";
    }
    html += "</div>\r\n</body>\r\n</html>\r\n";
  }
  return html;
}

std::string MailText(std::size_t size) {
  std::mt19937 random(2);
  std::string text;
  while (text.size() < size) {
    const int words = 5 + static_cast<int>(random() % 12);
    for (int w = 0; w < words; ++w) {
      text += kWords[random() % std::size(kWords)];
      text += ' ';
    }
    text += "\r\n";
  }
  return text;
}

const std::string& HtmlRtf() {
  static const std::string rtf = HtmlToEncapsulatedRtf(MailHtml(4 << 20));
  return rtf;
}
const std::string& TextRtf() {
  static const std::string rtf = TextToEncapsulatedRtf(MailText(4 << 20));
  return rtf;
}

void Compress(benchmark::State& state, const std::string& rtf) {
  std::size_t packed = 0;
  for (auto _ : state) {
    const auto out = CompressRtf(rtf);
    packed = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * rtf.size()));
  state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(rtf.size());
}

void BM_CompressHtmlRtf(benchmark::State& state) {
  Compress(state, HtmlRtf());
}
void BM_CompressTextRtf(benchmark::State& state) {
  Compress(state, TextRtf());
}

// One message's body at a time: the fixed cost of each call shows here.
void BM_CompressSmallBodies(benchmark::State& state) {
  const std::string rtf = HtmlRtf().substr(0, static_cast<std::size_t>(state.range(0)));
  Compress(state, rtf);
}

void BM_DecompressHtmlRtf(benchmark::State& state) {
  const auto packed = CompressRtf(HtmlRtf());
  for (auto _ : state) benchmark::DoNotOptimize(DecompressRtf(packed).data());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * HtmlRtf().size()));
}

void BM_HtmlToEncapsulatedRtf(benchmark::State& state) {
  const std::string html = MailHtml(4 << 20);
  for (auto _ : state) benchmark::DoNotOptimize(HtmlToEncapsulatedRtf(html).data());
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * html.size()));
}

BENCHMARK(BM_CompressHtmlRtf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressTextRtf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompressSmallBodies)->Arg(2048)->Arg(16384);
BENCHMARK(BM_DecompressHtmlRtf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HtmlToEncapsulatedRtf)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
