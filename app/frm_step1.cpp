#include "app/frm_step1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <atomic>
#include <chrono>
#include <future>

#include "app/busy_scope.h"
#include "convert/conversion_run.h"
#include "convert/fallback_charset.h"
#include "convert/store_library.h"
#include "util/mailbox_filter.h"

namespace qc::app {

namespace {
const QString kTitle = QStringLiteral("Quillon Converter");
constexpr std::size_t kFoldersNamed = 10;

QString UnreadFoldersText(const std::vector<std::string>& problems) {
  QString text = QString::number(problems.size()) +
                 (problems.size() == 1 ? QStringLiteral(" folder could not be read")
                                       : QStringLiteral(" folders could not be read")) +
                 QStringLiteral("; the mailboxes in them were not added:");
  for (std::size_t i = 0; i < problems.size() && i < kFoldersNamed; ++i) {
    text += QStringLiteral("\r\n") + CoreText(problems[i]);
  }
  if (problems.size() > kFoldersNamed) {
    text += QStringLiteral("\r\n... and ") + QString::number(problems.size() - kFoldersNamed) +
            QStringLiteral(" more");
  }
  return text;
}
}  // namespace

FrmStep1::FrmStep1(Desktop& desktop, QString manual)
    : desktop_(desktop), manual_(std::move(manual)) {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  ui_.setupUi(*this);
  list_ = std::make_unique<MailboxList>(*ui_.grdFiles1, *ui_.lblCount1);
  screen_ = std::make_unique<WindowScreen>(*this, ui_, *list_, desktop_, pump_);
  finder_ = std::make_unique<FinderSlot>(*screen_, log_);
  log_.attach(*finder_);
  connectButtons();
}

// The finder closes its mailbox before the window it reports to goes away.
FrmStep1::~FrmStep1() {
  finder_.reset();
}

void FrmStep1::connectButtons() {
  connect(ui_.cmdAdd, &QPushButton::clicked, this, &FrmStep1::cmdAdd_Click);
  connect(ui_.CmdAddFolder, &QPushButton::clicked, this, &FrmStep1::CmdAddFolder_Click);
  connect(ui_.cmdClear1, &QPushButton::clicked, this, &FrmStep1::cmdClear1_Click);
  connect(ui_.CmdConvert, &QPushButton::clicked, this, &FrmStep1::CmdConvert_Click);
  connect(ui_.CmdHelp, &QPushButton::clicked, this, &FrmStep1::CmdHelp_Click);
  connect(ui_.cmdEnd, &QPushButton::clicked, this, &FrmStep1::cmdEnd_Click);
}

void FrmStep1::centre() {
  const QScreen* where = QWidget::screen();
  if (!where) return;
  QRect frame = frameGeometry();
  frame.moveCenter(where->availableGeometry().center());
  move(frame.topLeft());
}

MsgButton FrmStep1::ask(const QString& text, MsgStyle style) {
  return desktop_.messageBox(this, text, style, kTitle);
}

void FrmStep1::cmdAdd_Click() {
  const QStringList files = desktop_.openFiles(this, kMailboxFilter);
  if (files.isEmpty()) return;
  ui_.CmdConvert->setEnabled(true);
  for (const QString& file : files) list_->AddFileToList(QDir::toNativeSeparators(file));
}

void FrmStep1::CmdAddFolder_Click() {
  const QString folder = desktop_.browseForFolder(this, QStringLiteral("Choose Source Folder..."));
  if (folder.isEmpty()) return;

  // While the tree is walked and the entries go in, the list and Convert wait for it to finish.
  ControlsOff off({ui_.cmdAdd, ui_.CmdAddFolder, ui_.cmdClear1, ui_.CmdConvert});
  BusyPointer busy;
  MailboxSearch found;
  try {
    found = WalkWhileResponsive(NativePath(folder));
  } catch (const StopRequested&) {
    return;
  } catch (const std::exception& e) {
    busy.restore();
    ask(CoreText(e.what()), MsgStyle::OkExclamation);
    return;
  }
  int added = 0;
  try {
    for (const std::string& entry : found.mailboxes) {
      pump_.yield();
      list_->AddFileToList(DisplayPath(entry));
      ++added;
    }
  } catch (const StopRequested&) {
    return;
  }
  busy.restore();
  off.restore();
  ui_.CmdConvert->setEnabled(added > 0);
  if (!found.problems.empty()) ask(UnreadFoldersText(found.problems), MsgStyle::OkExclamation);
  ask(QString::number(added) + QStringLiteral(" Files Added to List."), MsgStyle::Ok);
}

MailboxSearch FrmStep1::WalkWhileResponsive(const std::string& folder) {
  // A home folder can hold a million entries: the walk runs beside the event loop so that the
  // window keeps repainting, and a close request ends it at its next folder.
  std::atomic<bool> stop{false};
  auto walk = std::async(std::launch::async, [&] { return FindMailboxes(folder, &stop); });
  try {
    while (walk.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
      pump_.yield();
    }
  } catch (const StopRequested&) {
    stop = true;
    walk.wait();
    throw;
  }
  return walk.get();
}

void FrmStep1::cmdClear1_Click() {
  list_->selectRow(0);
  if (list_->isEmpty()) return;
  if (ask(QStringLiteral("Do you want to clear all the files in the list\r\n Proceed?"),
          MsgStyle::YesNoQuestion) == MsgButton::Yes) {
    list_->ResetFileList();
  }
}

void FrmStep1::CmdConvert_Click() {
  // The run reads the list and the form once; changing them mid-run would only mislead.
  ControlsOff off({ui_.cmdAdd, ui_.CmdAddFolder, ui_.cmdClear1, ui_.OptEML, ui_.OptEMLX, ui_.OptPST,
                   ui_.OptMSG});
  busy_ = true;
  StoreLibrary stores;  // a store left open when the run is stopped goes with it
  ConversionRun run(*screen_, *finder_, &stores);
  // Old mail that names no charset was written in the system's own, as the mail client read it.
  run.setFallbackCharset(SystemFallbackCharset());
  try {
    lastRun_ = run.CmdConvert_Click();
  } catch (const std::exception& e) {
    lastRun_ = run.report();
    lastRun_.outcome = RunReport::Outcome::Stopped;
    screen_->messageBox(std::string("The conversion stopped: ") + e.what(), MsgStyle::OkExclamation,
                        kProductTitle);
    ui_.CmdConvert->setEnabled(true);
  }
  busy_ = false;
  screen_->flush();
}

void FrmStep1::CmdHelp_Click() {
  screen_->ShellOpen(NativePath(manual_));
}

void FrmStep1::cmdEnd_Click() {
  if (ask(QStringLiteral("Are you sure you want to exit now?"), MsgStyle::YesNoQuestion) ==
      MsgButton::Yes) {
    close();
  }
}

void FrmStep1::closeEvent(QCloseEvent* event) {
  // Whatever runs inside a click stops at its next yield; the close is never refused.
  pump_.requestStop();
  event->accept();
  emit ended();
}

}  // namespace qc::app
