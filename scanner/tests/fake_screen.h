// A scripted screen for tests: records what the core shows and answers message boxes from a
// script, so a test can check the exact texts, styles, titles and their order.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "util/ui.h"

namespace qc::test {

inline std::string_view NameOf(Label label) {
  switch (label) {
    case Label::LblHappening:
      return "LblHappening";
    case Label::LblProgessCurrent:
      return "LblProgessCurrent";
    case Label::LblIMMFile:
      return "LblIMMFile";
    case Label::LblEmlsFound:
      return "LblEmlsFound";
    case Label::LblByteUpdate:
      return "LblByteUpdate";
    case Label::LblProgress:
      return "LblProgress";
  }
  return "?";
}

inline std::string_view NameOf(Bar bar) {
  return bar == Bar::ProgressBar1 ? "ProgressBar1" : "ProgressBar2";
}

struct ShownMessage {
  std::string text;
  MsgStyle style;
  std::string title;
  bool operator==(const ShownMessage&) const = default;
};

class FakeScreen : public Screen {
 public:
  // Buttons for the coming message boxes, in order. Without a scripted answer an OK box is
  // answered OK; a question is a test failure (answered No), since its answer steers the code.
  std::deque<MsgButton> answers;
  // Runs inside every yield: lets a test act while the core "waits for the event loop" (change a
  // file, press a button, throw StopRequested).
  std::function<void()> onYield;

  std::vector<ShownMessage> messages;
  int beeps = 0;
  int yields = 0;
  std::map<Label, std::string> labels;        // current caption of each label
  std::map<Bar, double> progress;             // current value of each bar
  std::map<Bar, std::pair<int, int>> ranges;  // current range of each bar

  // Everything but yields, in order, as readable lines:
  //   beep | message(48, "File Reader"): <text> | label LblHappening: <text> |
  //   progress ProgressBar2: 25 | range ProgressBar2: 0..100
  std::vector<std::string> trace;

  MsgButton messageBox(std::string_view text, MsgStyle style, std::string_view title) override {
    messages.push_back({std::string(text), style, std::string(title)});
    trace.push_back("message(" + std::to_string(static_cast<int>(style)) + ", \"" +
                    std::string(title) + "\"): " + std::string(text));
    if (!answers.empty()) {
      const MsgButton button = answers.front();
      answers.pop_front();
      return button;
    }
    if (style == MsgStyle::YesNoQuestion) {
      ADD_FAILURE() << "unscripted question: " << text;
      return MsgButton::No;
    }
    return MsgButton::Ok;
  }

  void beep() override {
    ++beeps;
    trace.emplace_back("beep");
  }

  void yield() override {
    ++yields;
    if (onYield) onYield();
  }

  void setLabel(Label label, std::string_view text) override {
    labels[label] = std::string(text);
    trace.push_back("label " + std::string(NameOf(label)) + ": " + std::string(text));
  }

  void setProgressRange(Bar bar, int min, int max) override {
    ranges[bar] = {min, max};
    trace.push_back("range " + std::string(NameOf(bar)) + ": " + std::to_string(min) + ".." +
                    std::to_string(max));
  }

  void setProgress(Bar bar, double value) override {
    progress[bar] = value;
    std::string shown = std::to_string(value);
    shown.erase(shown.find_last_not_of('0') + 1);
    if (shown.back() == '.') shown.pop_back();
    trace.push_back("progress " + std::string(NameOf(bar)) + ": " + shown);
  }

  // Forget what was recorded so far; the script and the yield hook stay.
  void forget() {
    messages.clear();
    beeps = 0;
    yields = 0;
    trace.clear();
  }
};

}  // namespace qc::test
