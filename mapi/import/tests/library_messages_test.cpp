// The terminal holds only the program's own lines: what GLib and GMime say while a message is
// converted is a warning of that message.
#include "mapi/import/library_messages.h"

#include <glib.h>
#include <gtest/gtest.h>

#include "mapi/import/gmime_support.h"
#include "mapi/import/rfc822_import.h"

namespace qc::mapi {
namespace {

// A GLib critical message, as a library that is handed nothing says it.
void AskGLibToConvertNothing() {
  g_free(g_convert(nullptr, 0, "UTF-8", "KOI8-R", nullptr, nullptr, nullptr));
}

TEST(LibraryMessages, GoToTheMessageNotTheTerminal) {
  import::EnsureGMimeInitialized();
  std::vector<std::string> sink{"earlier"};
  ::testing::internal::CaptureStderr();
  {
    const LibraryMessageScope scope(&sink);
    AskGLibToConvertNothing();
    AskGLibToConvertNothing();  // said once
    {
      const LibraryMessageScope quiet(nullptr);  // an import asked for no warnings
      g_warning("not for anyone");
    }
    g_warning("for the message");
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ASSERT_EQ(sink.size(), 3u);
  EXPECT_NE(sink[1].find("g_convert"), std::string::npos) << sink[1];
  EXPECT_NE(sink[2].find("for the message"), std::string::npos) << sink[2];
}

TEST(LibraryMessages, AContentTypeRunIntoTheNextHeaderIsReadQuietly) {
  std::vector<std::string> warnings;
  ::testing::internal::CaptureStderr();
  for (const char* body : {"", "caf\xC3\xA9"}) {
    auto m = ImportRfc822(std::string("Subject: s\r\nContent-Type: text/plain; "
                                      "charset=\"UTF-8Return-Path: <bounce@example.org>\r\n"
                                      "\r\n") +
                              body,
                          &warnings);
    const auto* text = m->props.get<std::string>(tags::PR_BODY_W);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(*text, body);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(warnings.empty()) << warnings.front();
}

}  // namespace
}  // namespace qc::mapi
