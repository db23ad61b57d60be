// gmime_floor: GMime's parse of every message of a mailbox and nothing else, on one thread: a
// floor under any import that has GMime take messages apart.
//
//   gmime_floor MAILBOX
//
// Messages start at lines that begin with "From ???@???" (the benchmark mailboxes have no other
// separators); each is parsed whole, its separator line left out, by one parser set to each in
// turn, as the import's threads keep one, and its objects are freed before the next. Prints the
// messages and the time each took on average. Built with the converter's allocator, so the
// figure compares with the converter's own.
#include <gmime/gmime.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kSeparator = "From ???@???";

std::vector<std::size_t> SeparatorOffsets(std::string_view mailbox) {
  std::vector<std::size_t> offsets;
  if (mailbox.starts_with(kSeparator)) offsets.push_back(0);
  for (std::size_t at = mailbox.find(kSeparator, 1); at != std::string_view::npos;
       at = mailbox.find(kSeparator, at + 1)) {
    if (mailbox[at - 1] == '\n') offsets.push_back(at);
  }
  return offsets;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gmime_floor MAILBOX\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "gmime_floor: cannot open '%s'\n", argv[1]);
    return 1;
  }
  const std::string mailbox((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::size_t> offsets = SeparatorOffsets(mailbox);
  if (offsets.empty()) {
    std::fprintf(stderr, "gmime_floor: no separator in '%s'\n", argv[1]);
    return 1;
  }
  offsets.push_back(mailbox.size());

  g_mime_init();
  GMimeParser* parser = g_mime_parser_new();
  std::size_t parsed = 0;
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t j = 0; j + 1 < offsets.size(); ++j) {
    const std::string_view message(mailbox.data() + offsets[j], offsets[j + 1] - offsets[j]);
    const std::size_t lineEnd = message.find('\n');
    const std::string_view content =
        lineEnd == std::string_view::npos ? std::string_view() : message.substr(lineEnd + 1);
    GMimeStream* stream = g_mime_stream_mem_new_with_buffer(content.data(), content.size());
    g_mime_parser_init_with_stream(parser, stream);
    if (GMimeMessage* parsedMessage = g_mime_parser_construct_message(parser, nullptr)) {
      ++parsed;
      g_object_unref(parsedMessage);
    }
    g_object_unref(stream);
  }
  const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
  g_object_unref(parser);
  const std::size_t count = offsets.size() - 1;
  std::printf("%zu messages (%zu parsed) in %.3f s: %.2f us each\n", count, parsed,
              took.count() / 1e6, took.count() / static_cast<double>(count));
  return 0;
}
