// The File Reader window: the mailbox finder's fields, its two search buttons and its log drawn
// on the window. The program creates it hidden when the finder is first used and never shows
// it; it lives until the program ends.
#pragma once

#include <QWidget>
#include <memory>

#include "app/log_surface.h"
#include "scanner/frm_finder.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace qc::app {

class FileReaderWindow final : public QWidget {
 public:
  FileReaderWindow(FinderSlot& finder, LogSurface& log);

  // Shows the finder's current inputs in the fields.
  void refreshFields();

  QLineEdit* Text1;
  QLineEdit* Text2;
  QCheckBox* Check1;
  QPushButton* Command3;
  QPushButton* Command1;
  QPushButton* Command4;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildControls();
  // The finder reads its inputs from its own members; the fields are what a person edits.
  void takeFields();
  void Command3_Click();
  void Command4_Click();

  FinderSlot& finder_;
  LogSurface& log_;
};

// The finder's log: created before the finder, it creates the window on first use.
class FileReaderLog final : public LogSink {
 public:
  FileReaderLog() = default;
  ~FileReaderLog() override;
  // The finder whose fields the window presents; set before the finder is first used.
  void attach(FinderSlot& finder) { finder_ = &finder; }

  void clear() override;
  void writeLine(std::string_view text) override;
  void write(std::string_view text) override;

  FileReaderWindow& window();
  bool created() const { return window_ != nullptr; }
  const LogSurface& surface() const { return surface_; }

 private:
  FinderSlot* finder_ = nullptr;
  LogSurface surface_;
  std::unique_ptr<FileReaderWindow> window_;
};

}  // namespace qc::app
