// Scoped changes of the window's state that must be undone on every way out of an action,
// including a close request that unwinds it.
#pragma once

#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <initializer_list>
#include <utility>
#include <vector>

namespace qc::app {

// The application-wide busy pointer.
class BusyPointer {
 public:
  BusyPointer() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyPointer() { restore(); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;

  void restore() {
    if (!active_) return;
    active_ = false;
    QApplication::restoreOverrideCursor();
  }

 private:
  bool active_ = true;
};

// Disables controls and gives each its earlier state back.
class ControlsOff {
 public:
  ControlsOff(std::initializer_list<QWidget*> controls) {
    for (QWidget* control : controls) {
      controls_.emplace_back(control, control->isEnabled());
      control->setEnabled(false);
    }
  }
  ~ControlsOff() { restore(); }
  ControlsOff(const ControlsOff&) = delete;
  ControlsOff& operator=(const ControlsOff&) = delete;

  void restore() {
    for (auto& [control, enabled] : controls_) {
      if (control) control->setEnabled(enabled);
    }
    controls_.clear();
  }

 private:
  std::vector<std::pair<QPointer<QWidget>, bool>> controls_;
};

}  // namespace qc::app
