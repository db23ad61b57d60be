// The store library's facade: what it adds from RFC 822 bytes is exactly what the import gives
// as Outlook keeps it in a data file (or in a .msg file), its warnings are heard before anything
// is written, and files stand under their names only when complete.
#include "mapi/store_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "mapi/check/msg/msg_checker.h"
#include "mapi/file_source.h"
#include "mapi/import/rfc822_import.h"
#include "mapi/msg/msg_writer.h"
#include "mapi/pst/tests/pst_test_support.h"
#include "util/tests/scratch_folder.h"

namespace qc::mapi {
namespace {

using pst::testing::CorpusMessages;
using pst::testing::FixedOptions;
using pst::testing::ReadAll;

// A subject and a body in charsets nobody knows: the import warns of them.
const std::string kWarnedOf =
    "Subject: =?x-martian?Q?caf=E9?=\r\nContent-Type: text/plain; charset=x-venusian\r\n\r\n"
    "caf\xE9\r\n";

TEST(StoreFile, AddsWhatTheImportGivesForADataFile) {
  // Through the facade...
  MemorySink viaFacade;
  StoreFile facade(viaFacade, "S", FixedOptions());
  const FolderId f = facade.addFolder("Inbox");
  std::vector<std::unique_ptr<Message>> added;
  for (const std::string& m : CorpusMessages())
    added.push_back(facade.addMessageFromRfc822(f, m, 17));
  std::vector<std::string> warnings;
  facade.addMessageFromRfc822(
      f, std::make_shared<MemorySource>(Bytes(kWarnedOf.begin(), kWarnedOf.end())), 0, &warnings);
  EXPECT_EQ(facade.messageCount(), CorpusMessages().size() + 1);
  facade.close();
  EXPECT_EQ(warnings.size(), 1u);
  EXPECT_SOUND_STORE(viaFacade.bytes);

  // ...and straight to the writer, the import's options spelled out: the same bytes.
  MemorySink direct;
  pst::PstStore writer(direct, "S", FixedOptions());
  const FolderId g = writer.addMailFolder("Inbox");
  for (const std::string& m : CorpusMessages()) {
    auto message = ImportRfc822(std::make_shared<MemorySource>(Bytes(m.begin(), m.end())),
                                ImportOptions{.rtfBody = false});
    SetMessageFlags(*message, 17);
    writer.addMessage(g, *message);
  }
  auto last =
      ImportRfc822(std::make_shared<MemorySource>(Bytes(kWarnedOf.begin(), kWarnedOf.end())),
                   ImportOptions{.rtfBody = false});
  SetMessageFlags(*last, 0);
  writer.addMessage(g, *last);
  writer.close();
  EXPECT_EQ(viaFacade.bytes, direct.bytes);

  // A data file keeps no RTF beside the body, and every message is marked read.
  for (const auto& m : added) {
    EXPECT_EQ(m->props.get<Bytes>(tags::PR_RTF_COMPRESSED), nullptr);
    EXPECT_EQ(*m->props.get<std::int32_t>(tags::PR_MESSAGE_FLAGS) & 1, 1);
  }
}

TEST(StoreFile, AFileStandsUnderItsNameOnlyWhenClosed) {
  test::ScratchFolder dir;
  const std::string path = dir.file("Inbox.mbx.pst");
  {
    auto dropped = StoreFile::Create(path, "Inbox.mbx", FixedOptions());
    dropped->addMessageFromRfc822(dropped->addFolder("Inbox.mbx"), CorpusMessages()[0], 17);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  auto store = StoreFile::Create(path, "Inbox.mbx", FixedOptions());
  const FolderId inbox = store->addFolder("Inbox.mbx");
  const FolderId sub = store->addFolder("Sub", inbox);
  EXPECT_EQ(store->childFolder("inbox.MBX"), inbox);
  EXPECT_EQ(store->findFolder("\\\\Inbox.mbx\\Inbox.mbx\\Sub"), sub);
  EXPECT_FALSE(store->childFolder("Sub").has_value());
  EXPECT_THROW(store->addFolder("INBOX.mbx"), StoreError);
  store->addMessageFromRfc822(
      sub, FileSource::Open(pst::testing::CorpusDir() + "/signed.eml", "message file"), 17);
  EXPECT_FALSE(std::filesystem::exists(path));
  store->close();
  EXPECT_EQ(store->path(), path);
  const std::string bytes = ReadAll(path);
  EXPECT_SOUND_STORE(Bytes(bytes.begin(), bytes.end()));
  EXPECT_THROW(store->close(), StoreError);
}

TEST(StoreFile, AStoreInAMissingFolderNamesThePath) {
  const std::string path = "/nonexistent-folder-of-the-tests/x.pst";
  try {
    StoreFile::Create(path, "x");
    FAIL() << "created a store in a folder that does not exist";
  } catch (const StoreError& e) {
    EXPECT_EQ(e.path(), path);
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
  }
}

TEST(WriteMsgFromRfc822, WritesWhatTheImportGivesForAMsgFile) {
  test::ScratchFolder dir;
  const std::string source = CorpusMessages()[0];
  const auto message =
      WriteMsgFromRfc822(std::make_shared<MemorySource>(Bytes(source.begin(), source.end())),
                         dir.file("Email-0.msg"), 17);
  const std::string written = ReadAll(dir.file("Email-0.msg"));
  EXPECT_EQ(written.substr(0, 8), std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
  const auto defects = msg::CheckMsg(Bytes(written.begin(), written.end()));
  EXPECT_TRUE(defects.empty()) << defects.front();
  // A .msg file carries the RTF body a data file goes without.
  EXPECT_NE(message->props.get<Bytes>(tags::PR_RTF_COMPRESSED), nullptr);

  auto expected = ImportRfc822(source);
  SetMessageFlags(*expected, 17);
  msg::WriteMsgFile(*expected, dir.file("expected.msg"));
  EXPECT_EQ(written, ReadAll(dir.file("expected.msg")));
}

TEST(WriteMsgFromRfc822, WarningsAreHeardEvenWhenWritingFails) {
  test::ScratchFolder dir;
  const auto source = std::make_shared<MemorySource>(Bytes(kWarnedOf.begin(), kWarnedOf.end()));
  std::vector<std::string> heard;
  const auto listen = [&](const std::vector<std::string>& w) { heard = w; };
  EXPECT_THROW(WriteMsgFromRfc822(source, dir.file("missing/x.msg"), 17, true, listen), Error);
  ASSERT_EQ(heard.size(), 1u);
  EXPECT_NE(heard[0].find("x-martian"), std::string::npos) << heard[0];

  // An existing file is kept unless replacing was asked for.
  const std::string path = dir.file("taken.msg");
  { std::ofstream(path) << "mine"; }
  heard.clear();
  try {
    WriteMsgFromRfc822(source, path, 17, false, listen);
    FAIL() << "replaced an existing file";
  } catch (const Error& e) {
    EXPECT_EQ(e.code(), EEXIST) << e.what();
  }
  EXPECT_EQ(heard.size(), 1u);
  EXPECT_EQ(ReadAll(path), "mine");
  WriteMsgFromRfc822(source, path, 17, true, listen);
  EXPECT_NE(ReadAll(path), "mine");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace qc::mapi
