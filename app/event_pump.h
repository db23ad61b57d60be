// Lets the event loop run while long work (a conversion, a folder addition) runs inside a click:
// often enough that the window stays responsive, rarely enough that the work is not slowed by
// it. A close request is turned into qc::StopRequested at the next yield, so the work unwinds
// through its destructors (which remove temporary files) instead of running on.
#pragma once

#include <chrono>
#include <functional>

namespace qc::app {

class EventPump {
 public:
  using Clock = std::chrono::steady_clock;
  // About one frame: a person sees no delay, and the run spends well under 1 % in the loop.
  static constexpr auto kSlice = std::chrono::milliseconds(16);

  // Processes pending events once a time slice has passed since the last time. Throws
  // StopRequested once a stop was requested.
  void yield();

  // Processes pending events now, whatever the time slice says.
  void yieldNow();

  // Runs just before pending events are processed (the window puts its latest texts up).
  void setBeforeEvents(std::function<void()> before) { before_ = std::move(before); }

  void requestStop() { stop_ = true; }
  bool stopRequested() const { return stop_; }

 private:
  void throwIfStopped() const;

  Clock::time_point last_ = Clock::now();
  bool stop_ = false;
  std::function<void()> before_;
};

}  // namespace qc::app
