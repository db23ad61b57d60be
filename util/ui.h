// The screen and the shell as the core sees them. The Qt window, the command line and the
// tests each implement these; the core never includes a toolkit header.
#pragma once

#include <string>
#include <string_view>

namespace qc {

// Message box styles, numbered as the classic message-box styles they stand for.
enum class MsgStyle : int {
  Ok = 0,              // OK button, no icon
  YesNoQuestion = 36,  // Yes and No buttons, question icon
  OkExclamation = 48,  // OK button, exclamation icon
  OkInformation = 64,  // OK button, information icon
};

// The button that closed a message box.
enum class MsgButton : int { Ok = 1, Yes = 6, No = 7 };

// The labels of the main window's progress area that the conversion writes.
enum class Label {
  LblHappening,
  LblProgessCurrent,
  LblIMMFile,
  LblEmlsFound,
  LblByteUpdate,
  LblProgress,
};

// The two progress bars of the main window.
enum class Bar { ProgressBar1, ProgressBar2 };

// Thrown out of Screen::yield() by a front end that wants the running work to stop at once
// (the window was closed). The core lets it pass; its destructors remove temporary files.
struct StopRequested {};

class Screen {
 public:
  virtual ~Screen() = default;

  // Shows a modal message box; text lines are joined by "\r\n" (or "\r" where the program
  // uses a bare carriage return).
  virtual MsgButton messageBox(std::string_view text, MsgStyle style, std::string_view title) = 0;
  virtual void beep() = 0;

  // Lets the event loop run. The core calls it often, at every step that changes the display and
  // inside long loops; implementations should do real work only once a time slice has passed.
  // May throw StopRequested.
  virtual void yield() = 0;

  virtual void setLabel(Label label, std::string_view text) = 0;
  virtual void setProgressRange(Bar bar, int min, int max) = 0;
  virtual void setProgress(Bar bar, double value) = 0;
};

// A screen with nothing to show, for front ends without a window (the command line, batch runs):
// boxes are answered with their default button, and what they would say reaches such a front end
// through the run's events instead.
class NoScreen : public Screen {
 public:
  MsgButton messageBox(std::string_view, MsgStyle style, std::string_view) override {
    return style == MsgStyle::YesNoQuestion ? MsgButton::Yes : MsgButton::Ok;
  }
  void beep() override {}
  void yield() override {}
  void setLabel(Label, std::string_view) override {}
  void setProgressRange(Bar, int, int) override {}
  void setProgress(Bar, double) override {}
};

class Shell {
 public:
  virtual ~Shell() = default;

  // The folder the user picked, or empty text when the choice was cancelled or failed.
  virtual std::string BrowseForFolder(std::string_view title) = 0;

  // Opens a document or web address with the program the desktop associates with it. Silent in
  // every case; empty text does nothing.
  virtual void ShellOpen(std::string_view target) = 0;
};

}  // namespace qc
