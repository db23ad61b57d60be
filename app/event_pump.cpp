#include "app/event_pump.h"

#include <QCoreApplication>

#include "util/ui.h"

namespace qc::app {

void EventPump::yield() {
  throwIfStopped();
  if (Clock::now() - last_ < kSlice) return;
  yieldNow();
}

void EventPump::yieldNow() {
  throwIfStopped();
  if (before_) before_();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  last_ = Clock::now();
  throwIfStopped();
}

void EventPump::throwIfStopped() const {
  if (stop_) throw StopRequested{};
}

}  // namespace qc::app
