// GLib and GMime print what they find wrong (a critical message, a warning) on the terminal. The
// program's terminal holds only its own lines: what they say about a message being converted
// becomes a warning of that message.
#pragma once

#include <string>
#include <vector>

namespace qc::mapi {

// While one lives on a thread, what the libraries say on that thread is added to `sink` as a
// sentence for the user, once each (a null sink: nowhere). Scopes nest; the innermost counts.
// Outside every scope the libraries print as they always do.
class LibraryMessageScope {
 public:
  explicit LibraryMessageScope(std::vector<std::string>* sink);
  ~LibraryMessageScope();
  LibraryMessageScope(const LibraryMessageScope&) = delete;
  LibraryMessageScope& operator=(const LibraryMessageScope&) = delete;

 private:
  std::vector<std::string>* previousSink_;
  bool previousActive_;
};

namespace import {

// Sends the libraries' messages through the scopes above. Once per process, before GMime works.
void RouteLibraryMessages();

}  // namespace import
}  // namespace qc::mapi
