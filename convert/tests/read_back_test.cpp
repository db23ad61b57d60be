// Reading written messages back: every message of the corpus reads back from its .msg file and
// from a data file exactly as it was written, and a file that holds something else is told
// apart, naming what differs.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "convert/read_back.h"
#include "convert/spilled_records.h"
#include "convert/tests/test_files.h"
#include "mapi/check/cfb/cfb_reader.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/store_file.h"
#include "mapi/tests/corpus.h"

namespace qc {
namespace {

using test::TempDir;

TEST(ReadBack, EveryCorpusMessageReadsBackAsWritten) {
  TempDir out;
  const auto corpus = mapi::testing::Corpus();
  ASSERT_GT(corpus.size(), 50u);
  auto store = mapi::StoreFile::Create(out / "corpus.pst", "corpus");
  const mapi::FolderId folder = store->addFolder("Inbox");
  std::vector<std::pair<std::uint32_t, ItemDigest>> stored;
  for (std::size_t i = 0; i < corpus.size(); ++i) {
    const auto& [name, source] = corpus[i];
    const std::string msg = out / (std::to_string(i) + ".msg");
    const auto written = mapi::WriteMsgFromRfc822(
        std::make_shared<mapi::MemorySource>(mapi::Bytes(source.begin(), source.end())), msg, 1);
    EXPECT_EQ(Difference(DigestOf(*written), ReadMsgDigest(msg)), "") << name;
    const auto added = store->addMessageFromRfc822(folder, source, 1);
    stored.emplace_back(store->lastMessageId(), DigestOf(*added));
  }
  store->close();
  const StoreReadBack readBack(out / "corpus.pst");
  for (std::size_t i = 0; i < stored.size(); ++i) {
    EXPECT_EQ(Difference(stored[i].second, readBack.message(stored[i].first, folder)), "")
        << corpus[i].first;
  }
  EXPECT_THROW(readBack.message(stored[0].first, folder + 32), Error);  // not in that folder
}

// Each file is written from a changed copy of the message and read back against the original.
TEST(ReadBack, WhatDiffersIsNamed) {
  const std::string source =
      "From: Ann <ann@example.com>\r\nSubject: Plans\r\nDate: Tue, 2 Jan 2024 10:20:30 +0100\r\n"
      "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
      "Content-Type: text/plain\r\n\r\nthe text\r\n--b\r\nContent-Type: application/octet-stream"
      "\r\nContent-Disposition: attachment; filename=a.bin\r\n\r\nAAAA\r\n--b\r\n"
      "Content-Type: text/plain\r\nContent-Disposition: attachment; filename=b.txt\r\n\r\nBBBB"
      "\r\n--b--\r\n";
  const auto original = mapi::ImportRfc822(source);
  ASSERT_EQ(original->attachments.size(), 2u);
  const ItemDigest want = DigestOf(*original);
  using Change = std::function<void(mapi::Message&)>;
  const std::vector<std::pair<Change, std::string>> changes = {
      {[](mapi::Message& m) { m.attachments.pop_back(); }, "2 attachments written, 1 read back"},
      {[](mapi::Message& m) {
         auto& a = m.attachments[0].props;
         // The import keeps attachment bytes as a source over the message's.
         const auto& bytes =
             *a.get<std::shared_ptr<const mapi::ByteSource>>(mapi::tags::PR_ATTACH_DATA_BIN);
         mapi::Bytes data(bytes->size());
         bytes->read(0, data.data(), data.size());
         data[1] ^= 1;
         a.set(mapi::tags::PR_ATTACH_DATA_BIN, data);
       },
       "the attachments' bytes differ"},
      {[](mapi::Message& m) {
         m.attachments[1].props.set(mapi::tags::PR_ATTACH_LONG_FILENAME_W, std::string("c.txt"));
       },
       "the attachments' names differ"},
      {[](mapi::Message& m) { m.props.set(mapi::tags::PR_SUBJECT_W, std::string("Plan")); },
       "the subject differs"},
      {[](mapi::Message& m) { m.props.set(mapi::tags::PR_BODY_W, std::string("the test\r\n")); },
       "the body text differs"},
      {[](mapi::Message& m) { m.props.erase(mapi::tags::PR_CLIENT_SUBMIT_TIME.id); },
       "the date is missing"},
  };
  for (const auto& [change, expected] : changes) {
    TempDir out;
    const auto changed = mapi::ImportRfc822(source);
    change(*changed);
    mapi::msg::WriteMsgFile(*changed, out / "m.msg");
    EXPECT_EQ(Difference(want, ReadMsgDigest(out / "m.msg")), expected);
    auto store = mapi::StoreFile::Create(out / "m.pst", "m");
    const mapi::FolderId folder = store->addFolder("Inbox");
    store->addMessage(folder, *changed);
    const std::uint32_t id = store->lastMessageId();
    store->close();
    EXPECT_EQ(Difference(want, StoreReadBack(out / "m.pst").message(id, folder)), expected);
  }
}

// An attachment of megabytes is hashed where it lies in the file read, not copied out of it;
// a byte of it changed in the file is still told apart.
TEST(ReadBack, ALargeAttachmentReadsBackWhereItLies) {
  TempDir out;
  const auto message = mapi::ImportRfc822(
      "Subject: big\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
      "--b\r\nContent-Type: text/plain\r\n\r\ntext\r\n--b\r\n"
      "Content-Type: application/octet-stream\r\nContent-Disposition: attachment; "
      "filename=a.bin\r\n\r\nAAAA\r\n--b--\r\n");
  ASSERT_EQ(message->attachments.size(), 1u);
  mapi::Bytes data(3 << 20);
  std::uint32_t x = 7;
  for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  message->attachments[0].props.set(mapi::tags::PR_ATTACH_DATA_BIN, data);
  mapi::msg::WriteMsgFile(*message, out / "m.msg");
  EXPECT_EQ(Difference(DigestOf(*message), ReadMsgDigest(out / "m.msg")), "");
  std::string bytes = test::ReadFile(out / "m.msg");
  const mapi::Bytes file(bytes.begin(), bytes.end());
  EXPECT_EQ(mapi::cfb::ReadCompoundFile(file, 1 << 20).largeStreams.size(), 1u);
  const std::size_t at = bytes.find(std::string(data.begin() + 2000000, data.begin() + 2000032));
  ASSERT_NE(at, std::string::npos);
  bytes[at + 5] ^= 1;
  test::WriteFile(out / "m.msg", bytes);
  EXPECT_EQ(Difference(DigestOf(*message), ReadMsgDigest(out / "m.msg")),
            "the attachments' bytes differ");
}

TEST(ReadBack, DamagedFilesAreErrorsNamingThem) {
  TempDir out;
  const std::string source = "Subject: s\r\n\r\nbody\r\n";
  mapi::WriteMsgFromRfc822(
      std::make_shared<mapi::MemorySource>(mapi::Bytes(source.begin(), source.end())),
      out / "m.msg", 1);
  auto store = mapi::StoreFile::Create(out / "m.pst", "m");
  const mapi::FolderId folder = store->addFolder("Inbox");
  store->addMessageFromRfc822(folder, source, 1);
  const std::uint32_t id = store->lastMessageId();
  store->close();
  // Cut short by another program while it is read back: an error, not a crash.
  const StoreReadBack opened(out / "m.pst");
  for (const std::string name : {"m.msg", "m.pst"}) {
    std::string bytes = test::ReadFile(out / name);
    bytes.resize(bytes.size() / 2);
    test::WriteFile(out / name, bytes);
  }
  EXPECT_THROW(ReadMsgDigest(out / "m.msg"), Error);
  std::filesystem::resize_file(test::Path(out / "m.pst"), 0x4400);  // in place, past the header
  EXPECT_THROW(opened.message(id, folder), Error);
  try {
    StoreReadBack(out / "m.pst");
    FAIL() << "a data file cut in half read back";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("did not read back soundly"), std::string::npos)
        << e.what();
  }
  std::vector<std::uint8_t> buffer;
  EXPECT_THROW(ReadFileSum(out / "missing.eml", buffer), Error);
}

// What a run keeps of each message until it is read back waits in a hidden file, and comes back
// whole and in order; where no file can be written, it waits in memory.
TEST(SpilledRecords, ComeBackInOrderFromAFileOrFromMemory) {
  TempDir out;
  const auto spillFiles = [&] {
    int n = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(out.path())) {
      n += entry.path().filename().string().find("checks") != std::string::npos;
    }
    return n;
  };
  struct Record {
    std::size_t j;
    std::uint32_t crc;
  };
  for (const std::string& path : {out / "checks", test::Utf8(out.path() / "missing" / "checks")}) {
    SpilledRecords<Record> records(path, 3);
    for (int round = 0; round < 2; ++round) {
      for (std::size_t i = 0; i < 10; ++i) records.push({i, static_cast<std::uint32_t>(i * 7)});
      EXPECT_EQ(records.size(), 10u);
      EXPECT_EQ(spillFiles(), path == out / "checks" ? 1 : 0);
      std::vector<Record> back;
      records.drain(
          [&](const Record* chunk, std::size_t n) { back.insert(back.end(), chunk, chunk + n); });
      ASSERT_EQ(back.size(), 10u);
      for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(back[i].j, i);
        EXPECT_EQ(back[i].crc, i * 7);
      }
      EXPECT_TRUE(records.empty());
      EXPECT_EQ(spillFiles(), 0);
    }
  }
}

}  // namespace
}  // namespace qc
