// Attachment data as the import gives it: decoded from the message's own bytes in pieces, byte
// for byte what GMime decodes whole, however a writer reads it; the message's bytes kept alive
// by the data that needs them; and a source that fails is an error, never a shorter attachment.
#include <gmime/gmime.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/check/msg/msg_checker.h"
#include "mapi/import/gmime_support.h"
#include "mapi/import/part_data.h"
#include "mapi/import/tests/import_test_support.h"
#include "mapi/msg/msg_writer.h"
#include "util/error.h"

namespace qc::mapi::testing {
namespace {

using namespace tags;
namespace fs = std::filesystem;

Bytes Pattern(std::size_t size, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes bytes(size);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  return bytes;
}

std::string Base64(const Bytes& data) {
  import::GString encoded(g_base64_encode(data.data(), data.size()));
  std::string text(encoded.get()), lines;
  for (std::size_t at = 0; at < text.size(); at += 76) lines += text.substr(at, 76) + "\r\n";
  return lines;
}

std::string QuotedPrintable(const Bytes& data) {
  std::string out;
  std::size_t line = 0;
  for (const std::uint8_t b : data) {
    char piece[4] = {static_cast<char>(b), 0, 0, 0};
    if (b < 33 || b > 126 || b == '=') std::snprintf(piece, sizeof piece, "=%02X", b);
    if (line + std::strlen(piece) > 75) {
      out += "=\r\n";
      line = 0;
    }
    out += piece;
    line += std::strlen(piece);
  }
  return out + "\r\n";
}

std::string Uuencode(const Bytes& data) {
  const auto c = [](unsigned v) { return static_cast<char>((v & 077) ? (v & 077) + ' ' : '`'); };
  std::string out = "begin 644 data.bin\r\n";
  for (std::size_t at = 0; at < data.size(); at += 45) {
    const std::size_t n = std::min<std::size_t>(45, data.size() - at);
    out += c(static_cast<unsigned>(n));
    for (std::size_t i = 0; i < n; i += 3) {
      const unsigned b0 = data[at + i];
      const unsigned b1 = i + 1 < n ? data[at + i + 1] : 0;
      const unsigned b2 = i + 2 < n ? data[at + i + 2] : 0;
      out += {c(b0 >> 2), c((b0 << 4) | (b1 >> 4)), c((b1 << 2) | (b2 >> 6)), c(b2)};
    }
    out += "\r\n";
  }
  return out + "`\r\nend\r\n";
}

struct Part {
  std::string encoding;  // Content-Transfer-Encoding
  std::string body;      // as encoded
};

std::string MessageWith(const std::vector<Part>& parts) {
  std::string text =
      "From ???@??? Mon Mar 04 09:15:22 2024\r\nFrom: a@example.org\r\nSubject: data\r\n"
      "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\nSee the attachments.\r\n";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    text +=
        "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; "
        "filename=\"part" +
        std::to_string(i) + ".bin\"\r\nContent-Transfer-Encoding: " + parts[i].encoding +
        "\r\n\r\n" + parts[i].body;
  }
  return text + "--b--\r\n";
}

// The whole of `source`, read in pieces of random sizes in a random order, forwards and
// backwards, as no writer does but any could.
Bytes ReadScattered(const ByteSource& source, std::mt19937& rng, std::size_t pieces) {
  const std::uint64_t size = source.size();
  std::vector<std::uint64_t> cuts{0, size};
  for (std::size_t i = 1; i < pieces; ++i) cuts.push_back(rng() % (size + 1));
  std::sort(cuts.begin(), cuts.end());
  std::vector<std::size_t> order(cuts.size() - 1);
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), rng);
  Bytes out(size);
  for (const std::size_t i : order) {
    const auto n = static_cast<std::size_t>(cuts[i + 1] - cuts[i]);
    EXPECT_EQ(source.read(cuts[i], out.data() + cuts[i], n), n) << "at " << cuts[i];
  }
  Bytes past(4);
  EXPECT_EQ(source.read(size, past.data(), past.size()), 0u);
  return out;
}

const ByteSource& DataOf(const Attachment& a) {
  const auto* source = a.props.get<std::shared_ptr<const ByteSource>>(PR_ATTACH_DATA_BIN);
  if (source == nullptr || *source == nullptr) throw std::runtime_error("no attachment data");
  return **source;
}

TEST(StreamedData, EachEncodingGivesTheBytesThatWereEncoded) {
  const Bytes big = Pattern(3'000'001, 1);
  const Bytes binary = Pattern(200'000, 2);
  // Long enough that a read of the uuencoded lines ends right after a CR LF.
  const Bytes uu = Pattern(100'003, 3);
  const std::string text = "plain text\r\nin two lines\r\n";
  auto m = ImportRfc822(MessageWith({{"base64", Base64(big)},
                                     {"quoted-printable", QuotedPrintable(binary)},
                                     {"x-uuencode", Uuencode(uu)},
                                     {"7bit", text}}));
  ASSERT_EQ(m->attachments.size(), 4u);
  std::mt19937 rng(7);
  EXPECT_EQ(ReadScattered(DataOf(m->attachments[0]), rng, 12), big);
  EXPECT_EQ(ReadScattered(DataOf(m->attachments[1]), rng, 40), binary);
  EXPECT_EQ(ReadScattered(DataOf(m->attachments[2]), rng, 40), uu);
  EXPECT_EQ(AttachmentData(m->attachments[3]), text.substr(0, text.size() - 2));
  EXPECT_EQ(Int(m->attachments[0].props, PR_ATTACH_SIZE), 3'000'001);

  // And the .msg writer, which reads front to back in pieces of its own, writes them whole.
  MemorySink sink;
  msg::WriteMsg(*m, sink);
  EXPECT_TRUE(msg::CheckMsg(sink.bytes).empty());
  const auto file = cfb::ReadCompoundFile(sink.bytes);
  EXPECT_EQ(file.streams.at("/__attach_version1.0_#00000000/__substg1.0_37010102"), big);
  EXPECT_EQ(file.streams.at("/__attach_version1.0_#00000002/__substg1.0_37010102"), uu);
}

TEST(StreamedData, DamagedEncodingsGiveWhatGMimeDecodesWhole) {
  import::EnsureGMimeInitialized();
  std::mt19937 rng(11);
  const char* const encodings[] = {"base64", "quoted-printable", "x-uuencode"};
  for (int round = 0; round < 60; ++round) {
    const Bytes data = Pattern(rng() % 20'000, static_cast<std::uint32_t>(round));
    const std::string encoding = encodings[round % 3];
    std::string body = encoding == "base64" ? Base64(data)
                       : encoding[0] == 'q' ? QuotedPrintable(data)
                                            : Uuencode(data);
    for (int hurt = 0; hurt < 1 + round % 8 && !body.empty(); ++hurt) {
      const std::size_t at = rng() % body.size();
      switch (rng() % 3) {
        case 0:
          body[at] = static_cast<char>(rng());
          break;
        case 1:
          body.erase(at, rng() % 40);
          break;
        default:
          body.insert(at, "=\r\n!@#begin 600 x\r\n==", rng() % 22);
          break;
      }
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", " + encoding);
    const std::string text = MessageWith({{encoding, body}});
    import::GPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(text.data(), text.size()));
    import::GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    import::GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
    ASSERT_NE(message, nullptr);
    GMimeObject* top = g_mime_message_get_mime_part(message.get());
    ASSERT_TRUE(GMIME_IS_MULTIPART(top));
    ASSERT_EQ(g_mime_multipart_get_count(GMIME_MULTIPART(top)), 2);
    GMimePart* part = GMIME_PART(g_mime_multipart_get_part(GMIME_MULTIPART(top), 1));
    const auto streamed = import::PartData(part);
    EXPECT_EQ(ReadScattered(*streamed, rng, 1 + rng() % 6), import::DecodedContent(part));
  }
}

// Small attachments are decoded once, into memory, until those of the message come to the
// budget; the rest are decoded from the message's bytes as they are read. Both give the bytes.
TEST(StreamedData, SmallAttachmentsAreHeldDecodedUpToABudget) {
  std::vector<Bytes> data;
  std::vector<Part> parts;
  for (std::uint32_t i = 0; i < 4; ++i) {
    data.push_back(Pattern(100'000, 10 + i));  // some 135,000 bytes in base64
    parts.push_back({"base64", Base64(data.back())});
  }
  auto m = ImportRfc822(MessageWith(parts));
  ASSERT_EQ(m->attachments.size(), 4u);
  std::mt19937 rng(3);
  for (std::size_t i = 0; i < 4; ++i) {
    const ByteSource& source = DataOf(m->attachments[i]);
    EXPECT_EQ(dynamic_cast<const MemorySource*>(&source) != nullptr, i < 2) << i;
    EXPECT_EQ(ReadScattered(source, rng, 5), data[i]) << i;
  }
}

TEST(StreamedData, TheDataKeepsTheMessageBytesItNeeds) {
  // Larger than the attachments decoded into memory at once: read from the message when written.
  const Bytes data = Pattern(import::kHeldAttachmentBytes + 300'000, 5);
  std::unique_ptr<Message> fromMemory;
  {
    std::string text = MessageWith({{"base64", Base64(data)}});
    fromMemory = ImportRfc822(text);
    std::fill(text.begin(), text.end(), 'x');
  }
  std::mt19937 rng(1);
  EXPECT_EQ(ReadScattered(DataOf(fromMemory->attachments[0]), rng, 3), data);

  // A file: the attachment reads from it when written, even once its name is gone.
  const fs::path path = fs::temp_directory_path() / ("qc-streamed-" + std::to_string(::getpid()));
  { std::ofstream(path, std::ios::binary) << MessageWith({{"base64", Base64(data)}}); }
  auto fromFile = ImportRfc822File(path.string());
  fs::remove(path);
  EXPECT_EQ(AttachmentData(fromFile->attachments[0]), ByteString(data));

  // A file cut short after the import: writing fails, no shorter attachment is written.
  { std::ofstream(path, std::ios::binary) << MessageWith({{"base64", Base64(data)}}); }
  auto cut = ImportRfc822File(path.string());
  fs::resize_file(path, fs::file_size(path) / 2);
  MemorySink sink;
  try {
    msg::WriteMsg(*cut, sink);
    ADD_FAILURE() << "a cut-off attachment was written";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("ended after"), std::string::npos) << e.what();
  }
  fs::remove(path);
}

// Message bytes that fail to read from `failFrom` on, as a disk with a bad sector does.
class FailingSource final : public ByteSource {
 public:
  explicit FailingSource(std::string text) : text_(std::move(text)) {}
  std::uint64_t size() const override { return text_.size(); }
  std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n) const override {
    if (offset >= text_.size()) return 0;
    n = std::min<std::size_t>(n, text_.size() - offset);
    if (offset + n > failFrom) throw Error("cannot read 'mailbox': Input/output error", EIO);
    std::memcpy(out, text_.data() + offset, n);
    return n;
  }
  std::uint64_t failFrom = UINT64_MAX;

 private:
  std::string text_;
};

TEST(StreamedData, AFailingSourceIsAnErrorWhetherImportingOrWriting) {
  // Larger than the attachments decoded into memory at once: read again when written.
  const std::string text =
      MessageWith({{"base64", Base64(Pattern(import::kHeldAttachmentBytes + 100'000, 9))}});
  for (const std::uint64_t failFrom : {std::uint64_t{100}, std::uint64_t{200}, text.size() / 2}) {
    auto source = std::make_shared<FailingSource>(text);
    source->failFrom = failFrom;
    try {
      ImportRfc822(source);
      ADD_FAILURE() << "no error when reading fails from " << failFrom;
    } catch (const Error& e) {
      EXPECT_EQ(e.code(), EIO) << e.what();
    }
  }

  auto source = std::make_shared<FailingSource>(text);
  auto m = ImportRfc822(source);
  source->failFrom = text.size() - 1000;
  MemorySink sink;
  try {
    msg::WriteMsg(*m, sink);
    ADD_FAILURE() << "no error when the attachment cannot be read";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), EIO) << e.what();
  }
}

TEST(StreamedData, AHeaderBlockLongerThanOnePieceIsReadWhole) {
  std::string headers;
  for (int i = 0; headers.size() < 150'000; ++i) {
    headers += "X-Line-" + std::to_string(i) + ": " + std::string(900 + i % 97, 'v') + "\r\n";
  }
  const std::string text =
      "From ???@??? Mon Mar 04 09:15:22 2024\r\n" + headers + "Subject: long\r\n\r\nbody\r\n";
  auto m = ImportRfc822(text);
  EXPECT_EQ(Str(m->props, PR_TRANSPORT_MESSAGE_HEADERS_W), headers + "Subject: long\r\n");
  EXPECT_EQ(Str(m->props, PR_SUBJECT_W), "long");
  EXPECT_EQ(Body(*m), "body\r\n");
}

}  // namespace
}  // namespace qc::mapi::testing
