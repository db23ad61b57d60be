// frmStep1, the program's window: the mailbox list, the choice of form, the progress area and
// the buttons. It adapts clicks to the engine; the conversion itself is the engine's run.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "app/desktop.h"
#include "app/event_pump.h"
#include "app/file_reader_window.h"
#include "app/frm_step1_ui.h"
#include "app/mailbox_list.h"
#include "app/window_screen.h"
#include "convert/run_report.h"
#include "scanner/frm_finder.h"
#include "util/mailbox_filter.h"

namespace qc::app {

class FrmStep1 final : public QWidget {
  Q_OBJECT

 public:
  // `manual` is the user manual that Help opens.
  FrmStep1(Desktop& desktop, QString manual);
  ~FrmStep1() override;

  const FrmStep1Ui& ui() const { return ui_; }
  MailboxList& list() { return *list_; }
  WindowScreen& windowScreen() { return *screen_; }
  FileReaderLog& fileReader() { return log_; }
  // What the last conversion did, for the program's own tests and benchmark.
  const RunReport& lastRun() const { return lastRun_; }
  bool busy() const { return busy_; }

  // Centres the window on its screen.
  void centre();

  void cmdAdd_Click();
  void CmdAddFolder_Click();
  void cmdClear1_Click();
  void CmdConvert_Click();
  void CmdHelp_Click();
  void cmdEnd_Click();

 signals:
  // The window was closed: the program ends.
  void ended();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void connectButtons();
  MsgButton ask(const QString& text, MsgStyle style);
  // The mailboxes below `folder`, found while the window keeps handling events.
  MailboxSearch WalkWhileResponsive(const std::string& folder);

  Desktop& desktop_;
  QString manual_;
  FrmStep1Ui ui_{};
  EventPump pump_;
  std::unique_ptr<MailboxList> list_;
  std::unique_ptr<WindowScreen> screen_;
  FileReaderLog log_;
  std::unique_ptr<FinderSlot> finder_;
  RunReport lastRun_;
  bool busy_ = false;
};

}  // namespace qc::app
