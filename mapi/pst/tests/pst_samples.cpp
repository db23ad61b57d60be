// pst_samples CORPUS_DIR OUTDIR: writes the stores that readers we did not write are asked to read,
// each with a JSON file saying what the import put in it (subjects, senders, recipients, times,
// bodies, attachments with their sizes and CRC-32s), for independent_readers.py to compare.
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mapi/crc32.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/pst/messaging/pst_store.h"

namespace {

using namespace qc::mapi;

std::string Json(const std::string& s) {
  std::string out = "\"";
  for (const unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Str(const PropertyBag& bag, PropTag tag) {
  const auto* v = bag.get<std::string>(tag);
  return v ? *v : std::string();
}

// The CRC-32 of zlib (inverted in and out), which Python computes too.
std::uint32_t ZlibCrc(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  return ~Crc32(data, size, ~crc);
}

std::pair<std::uint64_t, std::uint32_t> SizeAndCrc(const Attachment& a) {
  if (const auto* b = a.props.get<Bytes>(tags::PR_ATTACH_DATA_BIN)) {
    return {b->size(), ZlibCrc(b->data(), b->size())};
  }
  const auto* s = a.props.get<std::shared_ptr<const ByteSource>>(tags::PR_ATTACH_DATA_BIN);
  if (!s || !*s) return {0, 0};
  std::uint32_t crc = 0;
  Bytes piece(1 << 16);
  std::uint64_t at = 0;
  while (const std::size_t n = (*s)->read(at, piece.data(), piece.size())) {
    crc = ZlibCrc(piece.data(), n, crc);
    at += n;
  }
  return {at, crc};
}

std::string MessageJson(const Message& m) {
  std::string out = "{\"subject\": " + Json(Str(m.props, tags::PR_SUBJECT_W));
  out += ", \"sender_name\": " + Json(Str(m.props, tags::PR_SENDER_NAME_W));
  out += ", \"sender_email\": " + Json(Str(m.props, tags::PR_SENDER_EMAIL_ADDRESS_W));
  // The From header's person; the sender differs from it where a Sender header names another.
  out += ", \"representing_name\": " + Json(Str(m.props, tags::PR_SENT_REPRESENTING_NAME_W));
  out +=
      ", \"representing_email\": " + Json(Str(m.props, tags::PR_SENT_REPRESENTING_EMAIL_ADDRESS_W));
  const auto* time = m.props.get<FileTime>(tags::PR_CLIENT_SUBMIT_TIME);
  out += ", \"submit_time\": " +
         std::to_string(time ? static_cast<std::int64_t>(time->ticks / 10000000) - 11644473600 : 0);
  out += ", \"body\": " + Json(Str(m.props, tags::PR_BODY_W));
  const auto* html = m.props.get<Bytes>(tags::PR_HTML);
  out += ", \"html_hex\": \"";
  for (const std::uint8_t b : html ? *html : Bytes{}) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", b);
    out += hex;
  }
  out += "\"";
  out += ", \"recipients\": [";
  for (std::size_t i = 0; i < m.recipients.size(); ++i) {
    const auto& r = m.recipients[i].props;
    const auto* type = r.get<std::int32_t>(tags::PR_RECIPIENT_TYPE);
    out += std::string(i ? ", " : "") + "[" + Json(Str(r, tags::PR_DISPLAY_NAME_W)) + ", " +
           Json(Str(r, tags::PR_SMTP_ADDRESS_W)) + ", " + std::to_string(type ? *type : 0) + "]";
  }
  out += "], \"attachments\": [";
  for (std::size_t i = 0; i < m.attachments.size(); ++i) {
    const Attachment& a = m.attachments[i];
    const auto [size, crc] = SizeAndCrc(a);
    out += std::string(i ? ", " : "") +
           "{\"name\": " + Json(Str(a.props, tags::PR_ATTACH_LONG_FILENAME_W)) +
           ", \"display_name\": " + Json(Str(a.props, tags::PR_DISPLAY_NAME_ATTACH_W)) +
           ", \"size\": " + std::to_string(size) + ", \"crc\": " + std::to_string(crc);
    if (a.embedded) out += ", \"embedded\": " + MessageJson(*a.embedded);
    out += "}";
  }
  return out + "]}";
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One store: folders by name, each with its messages; the JSON lists them in order.
void WriteSample(
    const std::string& dir, const std::string& name,
    const std::vector<std::pair<std::string, std::vector<std::unique_ptr<Message>>>>& folders) {
  auto store = pst::PstStore::Create(dir + "/" + name + ".pst", name);
  std::string json = "{\"display_name\": " + Json(name) + ", \"folders\": [";
  bool firstFolder = true;
  for (const auto& [folder, messages] : folders) {
    const auto id = store->addMailFolder(folder);
    json +=
        std::string(firstFolder ? "" : ", ") + "{\"name\": " + Json(folder) + ", \"messages\": [";
    firstFolder = false;
    for (std::size_t i = 0; i < messages.size(); ++i) {
      store->addMessage(id, *messages[i]);
      json += std::string(i ? ",\n" : "\n") + MessageJson(*messages[i]);
    }
    json += "]}";
  }
  store->close();
  std::ofstream(dir + "/" + name + ".json") << json << "]}\n";
}

std::unique_ptr<Message> Imported(const std::string& bytes) {
  auto m = ImportRfc822(bytes);
  SetMessageFlags(*m, 17);
  return m;
}

}  // namespace

// What a store written elsewhere (by the conversion) must hold: one folder of the given
// messages, imported as the conversion imports them.
int Describe(const std::string& displayName, const std::string& folder, const std::string& out,
             char** emls, int count) {
  std::string json = "{\"display_name\": " + Json(displayName) +
                     ", \"folders\": [{\"name\": " + Json(folder) + ", \"messages\": [";
  for (int i = 0; i < count; ++i) {
    json += std::string(i ? ",\n" : "\n") + MessageJson(*Imported(ReadAll(emls[i])));
  }
  std::ofstream(out) << json << "]}]}\n";
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 5 && std::string(argv[1]) == "--describe") {
    return Describe(argv[2], argv[3], argv[4], argv + 5, argc - 5);
  }
  if (argc != 3) {
    std::fputs(
        "usage: pst_samples CORPUS_DIR OUTDIR\n"
        "       pst_samples --describe DISPLAY_NAME FOLDER OUT.json MESSAGE.eml...\n",
        stderr);
    return 2;
  }
  const std::string corpus = argv[1], out = argv[2];
  const char* names[] = {
      "encoded-words",        "forwarded",        "headers", "html-only", "latin1-no-charset",
      "related-inline-image", "rfc2231-filename", "signed"};
  std::vector<std::string> messages;
  for (const char* n : names) messages.push_back(ReadAll(corpus + "/" + n + ".eml"));
  try {
    {
      std::vector<std::pair<std::string, std::vector<std::unique_ptr<Message>>>> folders(1);
      folders[0].first = "Inbox";
      for (const auto& m : messages) folders[0].second.push_back(Imported(m));
      WriteSample(out, "corpus", folders);
    }
    {
      std::vector<std::pair<std::string, std::vector<std::unique_ptr<Message>>>> folders(2);
      folders[0].first = "Inbox.mbx";
      folders[1].first = "Sent";
      for (std::size_t i = 0; i < 2000; ++i) {
        std::string m = messages[i % messages.size()];
        const std::size_t at = m.find("Subject: ");
        if (at != std::string::npos) m.insert(at + 9, "#" + std::to_string(i) + " ");
        folders[i % 4 == 3].second.push_back(Imported(m));
      }
      WriteSample(out, "many", folders);
    }
    {
      std::vector<std::pair<std::string, std::vector<std::unique_ptr<Message>>>> folders(1);
      folders[0].first = "Large";
      auto m = Imported(
          "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\n"
          "Subject: large attachment\r\nDate: Tue, 05 Mar 2024 10:11:12 +0100\r\n"
          "\r\nSee the file.\r\n");
      Bytes data(20u << 20);
      for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 >> 4);
      Attachment a;
      a.props.set(tags::PR_ATTACH_METHOD, ATTACH_BY_VALUE);
      a.props.set(tags::PR_ATTACH_LONG_FILENAME_W, std::string("large.bin"));
      a.props.set(tags::PR_DISPLAY_NAME_ATTACH_W, std::string("large.bin"));
      a.props.set(tags::PR_ATTACH_DATA_BIN,
                  std::shared_ptr<const ByteSource>(std::make_shared<MemorySource>(data)));
      m->attachments.push_back(std::move(a));
      SetMessageFlags(*m, 17);
      folders[0].second.push_back(std::move(m));
      WriteSample(out, "large", folders);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "pst_samples: %s\n", e.what());
    return 1;
  }
  return 0;
}
