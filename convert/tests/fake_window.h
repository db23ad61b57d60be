// A scripted main window for the run's tests: records every box, label, bar and button change,
// and lets a test act at any yield (to change files under the run's feet).
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "convert/main_window.h"

namespace qc::test {

struct Box {
  std::string text;
  MsgStyle style;
  std::string title;
};

class FakeWindow : public MainWindow {
 public:
  std::optional<Form> form;
  std::vector<std::string> rows;
  std::string browseAnswer;  // what the folder browser returns; empty = cancelled
  std::function<void(FakeWindow&)> onYield;

  std::vector<Box> boxes;
  std::vector<std::string> browseTitles;
  std::map<Label, std::string> labels;
  std::map<Label, std::vector<std::string>> labelHistory;
  std::map<Bar, std::vector<double>> progress;
  std::vector<bool> convertEnabled;
  int optionsCleared = 0;
  int beeps = 0;
  std::vector<std::size_t> selectedRows;

  MsgButton messageBox(std::string_view text, MsgStyle style, std::string_view title) override {
    boxes.push_back({std::string(text), style, std::string(title)});
    return style == MsgStyle::YesNoQuestion ? MsgButton::Yes : MsgButton::Ok;
  }
  void beep() override { ++beeps; }
  void yield() override {
    if (onYield) onYield(*this);
  }
  void setLabel(Label label, std::string_view text) override {
    labels[label] = std::string(text);
    labelHistory[label].emplace_back(text);
  }
  void setProgressRange(Bar, int, int) override {}
  void setProgress(Bar bar, double value) override { progress[bar].push_back(value); }
  std::string BrowseForFolder(std::string_view title) override {
    browseTitles.emplace_back(title);
    return browseAnswer;
  }
  void ShellOpen(std::string_view) override {}
  std::optional<Form> chosenForm() override { return form; }
  std::vector<std::string> mailboxRows() override { return rows; }
  void selectRow(std::size_t row) override { selectedRows.push_back(row); }
  void setConvertEnabled(bool enabled) override { convertEnabled.push_back(enabled); }
  void clearOptions() override { ++optionsCleared; }

  const std::string& label(Label l) { return labels[l]; }
  std::vector<std::string> boxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : boxes) texts.push_back(b.text);
    return texts;
  }
};

}  // namespace qc::test
