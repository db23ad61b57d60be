// A message store as the writers see it: a display name, a tree of folders, and one
// named-property map for all of its messages. Messages are not held here: they reach a writer one
// at a time (added to it directly, or pulled from a folder's MessageSource), are written and let
// go, so a store never holds all of its messages in memory.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mapi/named_ids.h"
#include "mapi/property.h"

namespace qc::mapi {

// Where a folder's messages come from, one at a time.
class MessageSource {
 public:
  virtual ~MessageSource() = default;
  // The next message, or nullptr when there are no more.
  virtual std::unique_ptr<Message> next() = 0;
};

// Messages already in memory, handed out in order: for tests and small stores.
class MessageList final : public MessageSource {
 public:
  void add(std::unique_ptr<Message> message) { messages_.push_back(std::move(message)); }
  std::unique_ptr<Message> next() override;

 private:
  std::vector<std::unique_ptr<Message>> messages_;
  std::size_t next_ = 0;
};

class Folder {
 public:
  // An empty container class leaves the folder without one (as the top of a store has none).
  explicit Folder(std::string displayName, std::string containerClass = "IPF.Note");

  const std::string& displayName() const { return displayName_; }
  const std::string& containerClass() const { return containerClass_; }

  // Adds a subfolder. Throws qc::Error when this folder already has one of that name: a client
  // could not tell the two apart (names compare ignoring the case of ASCII letters).
  Folder& addFolder(std::string displayName, std::string containerClass = "IPF.Note");
  // The subfolder of that name, or nullptr.
  Folder* findFolder(std::string_view displayName) const;
  const std::vector<std::unique_ptr<Folder>>& folders() const { return folders_; }

  // Where this folder's messages come from, for a writer that writes a whole store; null where
  // messages are added to a writer as they come.
  void setMessages(std::unique_ptr<MessageSource> messages) { messages_ = std::move(messages); }
  MessageSource* messages() const { return messages_.get(); }

 private:
  std::string displayName_;
  std::string containerClass_;
  std::vector<std::unique_ptr<Folder>> folders_;
  std::unique_ptr<MessageSource> messages_;
};

class Store {
 public:
  explicit Store(std::string displayName) : displayName_(std::move(displayName)) {}

  const std::string& displayName() const { return displayName_; }
  // The top of the folder tree: the folders a user sees are its subfolders.
  Folder& root() { return root_; }
  const Folder& root() const { return root_; }
  // One map for every message of the store: a writer assigns the names of each message as it
  // arrives (namedIds().assign(message)) and writes the map out when the store is complete.
  NamedIds& namedIds() { return namedIds_; }
  const NamedIds& namedIds() const { return namedIds_; }

 private:
  std::string displayName_;
  Folder root_{"", ""};
  NamedIds namedIds_;
};

}  // namespace qc::mapi
