// frmStep1 as the conversion run sees it. Label and bar changes are kept until the event loop
// next runs: the engine reports every message, the window can only show the latest text, and
// setting a label tens of thousands of times would cost the run more than the yields do.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "app/desktop.h"
#include "app/event_pump.h"
#include "app/frm_step1_ui.h"
#include "app/mailbox_list.h"
#include "convert/main_window.h"

namespace qc::app {

class WindowScreen final : public MainWindow {
 public:
  WindowScreen(QWidget& owner, FrmStep1Ui& ui, MailboxList& list, Desktop& desktop,
               EventPump& pump);

  MsgButton messageBox(std::string_view text, MsgStyle style, std::string_view title) override;
  void beep() override;
  void yield() override;
  void setLabel(Label label, std::string_view text) override;
  void setProgressRange(Bar bar, int min, int max) override;
  void setProgress(Bar bar, double value) override;

  std::string BrowseForFolder(std::string_view title) override;
  void ShellOpen(std::string_view target) override;

  std::optional<Form> chosenForm() override;
  std::vector<std::string> mailboxRows() override;
  void selectRow(std::size_t row) override;
  void setConvertEnabled(bool enabled) override;
  void clearOptions() override;

  // Puts the kept label texts and bar values on the window.
  void flush();

 private:
  static constexpr std::size_t kLabels = 6;
  QLabel* labelOf(Label label) const;
  QProgressBar* barOf(Bar bar) const;

  QWidget& owner_;
  FrmStep1Ui& ui_;
  MailboxList& list_;
  Desktop& desktop_;
  EventPump& pump_;
  std::array<std::optional<std::string>, kLabels> pendingLabels_;
  std::array<std::optional<int>, 2> pendingBars_;
};

// Text from the core (paths are native bytes) as a widget shows it.
QString CoreText(std::string_view text);

}  // namespace qc::app
