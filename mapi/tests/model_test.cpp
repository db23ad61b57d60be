// The property model as the writers rely on it: one type per identifier, values that are their
// type's representation, one identifier per name across types and messages, and the folder tree
// of a store.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "mapi/named_ids.h"
#include "mapi/property.h"
#include "mapi/store.h"
#include "util/error.h"

namespace qc::mapi {
namespace {

using namespace tags;

// The message of the qc::Error that `f` throws, or "<no error>".
template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "<no error>";
}

RawValue Raw(std::initializer_list<Bytes> values) {
  return RawValue{std::vector<Bytes>(values)};
}

TEST(PropertyBag, AnIdentifierHoldsOneTypeAndAMismatchThrowsNamingTheTag) {
  PropertyBag bag;
  bag.set(PR_ATTACH_DATA_BIN, Bytes{1, 2, 3});
  const std::string error = ErrorOf([&] { bag.set(PR_ATTACH_DATA_OBJ, ObjectValue{}); });
  EXPECT_NE(error.find("0x3701000D"), std::string::npos) << error;
  EXPECT_NE(error.find("0x37010102"), std::string::npos) << error;
  // The value held before is untouched; found under its own tag only.
  ASSERT_NE(bag.get<Bytes>(PR_ATTACH_DATA_BIN), nullptr);
  EXPECT_EQ(*bag.get<Bytes>(PR_ATTACH_DATA_BIN), (Bytes{1, 2, 3}));
  EXPECT_EQ(bag.find(PR_ATTACH_DATA_OBJ), nullptr);
  ASSERT_NE(bag.findId(0x3701), nullptr);
  EXPECT_EQ(bag.findId(0x3701)->type, PropType::Binary);

  bag.set(PR_ATTACH_DATA_BIN, Bytes{4});  // the same tag replaces
  EXPECT_EQ(*bag.get<Bytes>(PR_ATTACH_DATA_BIN), (Bytes{4}));
  EXPECT_EQ(bag.tagged().size(), 1u);
  bag.erase(0x3701);
  bag.set(PR_ATTACH_DATA_OBJ, ObjectValue{});  // once erased, the identifier takes any type
  EXPECT_NE(bag.find(PR_ATTACH_DATA_OBJ), nullptr);

  const NamedProp name{kPsPublicStrings, std::string("Keywords")};
  bag.setNamed(name, PropType::MvUnicode, std::vector<std::string>{"a"});
  EXPECT_NE(ErrorOf([&] {
              bag.setNamed(name, PropType::Unicode, std::string("a"));
            }).find("\"Keywords\""),
            std::string::npos);
}

TEST(PropertyBag, AValueMustBeItsTypesRepresentation) {
  PropertyBag bag;
  const auto refused = [&](PropTag tag, PropValue value) {
    return ErrorOf([&] { bag.set(tag, std::move(value)); }).find(HexTag(tag)) != std::string::npos;
  };
  EXPECT_TRUE(refused(PR_SUBJECT_W, std::int32_t{1}));
  EXPECT_TRUE(refused(PR_MESSAGE_FLAGS, std::string("1")));
  EXPECT_TRUE(refused(PR_ATTACH_DATA_BIN, std::shared_ptr<const ByteSource>()));
  EXPECT_TRUE(refused(PR_ATTACH_DATA_OBJ, Bytes{}));
  // Types without a C++ type of their own are raw bytes of the size MS-OXCDATA gives them.
  EXPECT_TRUE(refused({0x6001, PropType::Float64}, std::int64_t{2}));
  EXPECT_TRUE(refused({0x6001, PropType::Float64}, Raw({Bytes(4)})));
  EXPECT_TRUE(refused({0x6002, PropType::Currency}, Raw({Bytes(8), Bytes(8)})));
  EXPECT_TRUE(refused({0x6003, PropType::MvGuid}, Raw({Bytes(16), Bytes(15)})));
  EXPECT_TRUE(refused({0x6004, static_cast<PropType>(0x00FB)}, Raw({Bytes(4)})));
  // Named identifiers come from a map, never from a caller.
  EXPECT_TRUE(refused({0x8001, PropType::Int32}, std::int32_t{1}));
  EXPECT_TRUE(bag.tagged().empty());

  bag.set({0x6001, PropType::Float64}, Raw({Bytes(8)}));
  bag.set({0x6003, PropType::MvGuid}, Raw({}));
  bag.set({0x6005, PropType::String8}, Raw({Bytes{'a', 'b', 'c'}}));
  bag.set({0x6006, PropType::MvString8}, Raw({Bytes{'a'}, Bytes{}}));
  EXPECT_EQ(bag.tagged().size(), 4u);
}

// Writers take the properties in the order the bag gives them, so that order is the file's:
// identifier order whatever order they were set, replaced and erased in. Checked against a
// plain map on random work.
TEST(PropertyBag, KeepsIdentifierOrderThroughSetsReplacementsAndErasures) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    PropertyBag bag;
    std::map<std::uint16_t, std::int32_t> model;
    for (int step = 0; step < 300; ++step) {
      const auto id = static_cast<std::uint16_t>(0x0001 + random() % 120);
      const auto value = static_cast<std::int32_t>(random());
      if (random() % 4 == 0) {
        bag.erase(id);
        model.erase(id);
      } else {
        bag.set({id, PropType::Int32}, value);
        model[id] = value;
      }
    }
    ASSERT_EQ(bag.tagged().size(), model.size());
    auto expected = model.begin();
    for (const auto& [id, property] : bag.tagged()) {
      EXPECT_EQ(id, expected->first);
      EXPECT_EQ(std::get<std::int32_t>(property.value), expected->second);
      ++expected;
    }
    for (std::uint16_t id = 0; id < 130; ++id) {
      const auto* held = bag.get<std::int32_t>({id, PropType::Int32});
      ASSERT_EQ(held != nullptr, model.count(id) == 1) << id;
      if (held) {
        EXPECT_EQ(*held, model[id]);
      }
    }
  }
}

TEST(NamedIds, ANameHasOneIdentifierWhateverItsTypesAndMessages) {
  const Guid common = Guid::Parse("00062008-0000-0000-C000-000000000046");
  const NamedProp reminder{common, std::uint32_t{0x8503}};
  const NamedProp keywords{kPsPublicStrings, std::string("Keywords")};
  const NamedProp own{Guid::Parse("11111111-2222-3333-4444-555555555555"), std::string("x")};

  Message first;
  first.props.setNamed(reminder, PropType::Boolean, true);
  Recipient r;
  r.props.setNamed(reminder, PropType::Int32, std::int32_t{1});  // the same name, another type
  r.props.setNamed(keywords, PropType::MvUnicode, std::vector<std::string>{"k"});
  first.recipients.push_back(std::move(r));
  Attachment a;
  a.embedded = std::make_unique<Message>();
  a.embedded->props.setNamed(own, PropType::Unicode, std::string("v"));
  first.attachments.push_back(std::move(a));

  NamedIds store;
  store.assign(first);
  ASSERT_EQ(store.size(), 3u);
  EXPECT_EQ(store.idOf(reminder), 0x8000);
  EXPECT_EQ(store.idOf(keywords), 0x8001);
  EXPECT_EQ(store.idOf(own), 0x8002);
  EXPECT_EQ(store.names()[1], keywords);

  // A later message keeps the identifiers given and adds its new names after them.
  Message second;
  const NamedProp later{kPsMapi, std::uint32_t{0x0001}};
  second.props.setNamed(later, PropType::Int32, std::int32_t{2});
  second.props.setNamed(keywords, PropType::MvUnicode, std::vector<std::string>{});
  store.assign(second);
  EXPECT_EQ(store.size(), 4u);
  EXPECT_EQ(store.idOf(keywords), 0x8001);
  EXPECT_EQ(store.find(later), std::optional<std::uint16_t>(0x8003));

  EXPECT_EQ(store.guidIndex(kPsMapi), 1);
  EXPECT_EQ(store.guidIndex(kPsPublicStrings), 2);
  EXPECT_EQ(store.guidIndex(common), 3);
  EXPECT_EQ(store.guidIndex(own.set), 4);
  EXPECT_EQ(store.guids(), (std::vector<Guid>{common, own.set}));
  EXPECT_THROW(store.guidIndex(Guid{}), Error);
  EXPECT_THROW(store.idOf(NamedProp{common, std::uint32_t{1}}), Error);
}

TEST(NamedIds, RunningOutOfIdentifiersIsAnError) {
  NamedIds ids;
  for (std::uint32_t n = 0; n <= kLastNamedId - kFirstNamedId; ++n) {
    ids.assign(NamedProp{kPsMapi, n});
  }
  EXPECT_EQ(ids.idOf(NamedProp{kPsMapi, std::uint32_t{0x7FFE}}), kLastNamedId);
  EXPECT_EQ(ids.assign(NamedProp{kPsMapi, std::uint32_t{5}}), 0x8005);  // known names still work
  EXPECT_NE(ErrorOf([&] {
              ids.assign(NamedProp{kPsMapi, std::uint32_t{0x10000}});
            }).find("identifiers are taken"),
            std::string::npos);
}

TEST(Store, FoldersAreFoundByNameAndMessagesArePulledOneAtATime) {
  Store store("Mailbox");
  EXPECT_EQ(store.root().containerClass(), "");
  Folder& inbox = store.root().addFolder("Inbox");
  EXPECT_EQ(inbox.containerClass(), "IPF.Note");
  inbox.addFolder("2024").addFolder("March");
  EXPECT_EQ(store.root().findFolder("INBOX"), &inbox);
  EXPECT_EQ(store.root().findFolder("Outbox"), nullptr);
  EXPECT_EQ(inbox.findFolder("2024")->findFolder("march")->displayName(), "March");
  EXPECT_THROW(store.root().addFolder("inbox"), Error);
  EXPECT_EQ(store.root().folders().size(), 1u);

  auto list = std::make_unique<MessageList>();
  for (const char* subject : {"one", "two"}) {
    auto m = std::make_unique<Message>();
    m->props.set(PR_SUBJECT_W, std::string(subject));
    list->add(std::move(m));
  }
  inbox.setMessages(std::move(list));
  std::vector<std::string> seen;
  while (auto m = inbox.messages()->next()) {
    store.namedIds().assign(*m);
    seen.push_back(*m->props.get<std::string>(PR_SUBJECT_W));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(inbox.messages()->next(), nullptr);
  EXPECT_EQ(store.root().findFolder("Inbox")->findFolder("2024")->messages(), nullptr);
}

}  // namespace
}  // namespace qc::mapi
