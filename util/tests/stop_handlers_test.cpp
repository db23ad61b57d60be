// Ctrl-C reaches a run as a stop request on both systems: SIGINT on POSIX, the console's Ctrl-C
// event on Windows.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "util/system.h"

namespace qc {
namespace {

TEST(StopHandlers, CtrlCIsAStopRequestAsSigintIs) {
  sys::InstallStopHandlers();
  ASSERT_EQ(sys::StopSignal(), 0);
#ifdef _WIN32
  // Sent to every program of this console, this one among them; a test run without a console
  // (under CTest) makes one of its own.
  if (!::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) &&
      !(::AllocConsole() && ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))) {
    GTEST_SKIP() << "no console to press Ctrl-C in (Wine gives none to a program CTest runs)";
  }
#else
  std::raise(SIGINT);
#endif
  // Windows calls the handler on a thread of its own.
  for (int i = 0; i < 1000 && !sys::StopFlag()->load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(sys::StopFlag()->load());
  EXPECT_EQ(sys::StopSignal(), SIGINT);
}

}  // namespace
}  // namespace qc
