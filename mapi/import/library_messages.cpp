#include "mapi/import/library_messages.h"

#include <glib.h>

#include <algorithm>

#include "util/per_thread.h"

namespace qc::mapi {

namespace {

// At most this many of the libraries' sentences for one message.
constexpr std::size_t kMostMessages = 5;

struct CurrentScope {
  std::vector<std::string>* sink = nullptr;
  bool active = false;
};

void OnLibraryMessage(const gchar* domain, GLogLevelFlags flags, const gchar* text, gpointer) {
  CurrentScope& current = PerThread<CurrentScope>();
  const bool debug = (flags & (G_LOG_LEVEL_DEBUG | G_LOG_LEVEL_INFO)) != 0;
  if (!current.active || debug) {
    g_log_default_handler(domain, flags, text, nullptr);
    return;
  }
  if (current.sink == nullptr) return;
  std::string sentence = "the mail library reported: ";
  if (domain != nullptr && *domain != '\0') sentence += std::string(domain) + ": ";
  sentence += text != nullptr ? text : "(nothing)";
  std::vector<std::string>& sink = *current.sink;
  if (std::count_if(sink.begin(), sink.end(),
                    [](const std::string& s) { return s.starts_with("the mail library"); }) <
          static_cast<std::ptrdiff_t>(kMostMessages) &&
      std::find(sink.begin(), sink.end(), sentence) == sink.end()) {
    sink.push_back(std::move(sentence));
  }
}

}  // namespace

LibraryMessageScope::LibraryMessageScope(std::vector<std::string>* sink) {
  CurrentScope& current = PerThread<CurrentScope>();
  previousSink_ = current.sink;
  previousActive_ = current.active;
  current.sink = sink;
  current.active = true;
}

LibraryMessageScope::~LibraryMessageScope() {
  CurrentScope& current = PerThread<CurrentScope>();
  current.sink = previousSink_;
  current.active = previousActive_;
}

namespace import {

void RouteLibraryMessages() {
  g_log_set_default_handler(OnLibraryMessage, nullptr);
}

}  // namespace import
}  // namespace qc::mapi
