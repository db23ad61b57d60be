#include "app/window_screen.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <cmath>

namespace qc::app {

QString CoreText(std::string_view text) {
  return QFile::decodeName(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

WindowScreen::WindowScreen(QWidget& owner, FrmStep1Ui& ui, MailboxList& list, Desktop& desktop,
                           EventPump& pump)
    : owner_(owner), ui_(ui), list_(list), desktop_(desktop), pump_(pump) {
  pump_.setBeforeEvents([this] { flush(); });
}

MsgButton WindowScreen::messageBox(std::string_view text, MsgStyle style, std::string_view title) {
  // Once the window is closing, nobody is left to answer.
  if (pump_.stopRequested())
    return style == MsgStyle::YesNoQuestion ? MsgButton::No : MsgButton::Ok;
  flush();
  return desktop_.messageBox(&owner_, CoreText(text), style, CoreText(title));
}

void WindowScreen::beep() {
  desktop_.beep();
}

void WindowScreen::yield() {
  pump_.yield();
}

QLabel* WindowScreen::labelOf(Label label) const {
  switch (label) {
    case Label::LblHappening:
      return ui_.LblHappening;
    case Label::LblProgessCurrent:
      return ui_.LblProgessCurrent;
    case Label::LblIMMFile:
      return ui_.LblIMMFile;
    case Label::LblEmlsFound:
      return ui_.LblEmlsFound;
    case Label::LblByteUpdate:
      return ui_.LblByteUpdate;
    case Label::LblProgress:
      return ui_.LblProgress;
  }
  return ui_.LblHappening;
}

QProgressBar* WindowScreen::barOf(Bar bar) const {
  return bar == Bar::ProgressBar1 ? ui_.ProgressBar1 : ui_.ProgressBar2;
}

void WindowScreen::setLabel(Label label, std::string_view text) {
  pendingLabels_[static_cast<std::size_t>(label)] = std::string(text);
}

void WindowScreen::setProgressRange(Bar bar, int min, int max) {
  flush();
  barOf(bar)->setRange(min, max);
}

void WindowScreen::setProgress(Bar bar, double value) {
  pendingBars_[static_cast<std::size_t>(bar)] = static_cast<int>(std::lround(value));
}

void WindowScreen::flush() {
  for (std::size_t i = 0; i < kLabels; ++i) {
    if (!pendingLabels_[i]) continue;
    labelOf(static_cast<Label>(i))->setText(CoreText(*pendingLabels_[i]));
    pendingLabels_[i].reset();
  }
  for (std::size_t i = 0; i < pendingBars_.size(); ++i) {
    if (!pendingBars_[i]) continue;
    barOf(static_cast<Bar>(i))->setValue(*pendingBars_[i]);
    pendingBars_[i].reset();
  }
}

std::string WindowScreen::BrowseForFolder(std::string_view title) {
  if (pump_.stopRequested()) return {};
  flush();
  return NativePath(desktop_.browseForFolder(&owner_, CoreText(title)));
}

void WindowScreen::ShellOpen(std::string_view target) {
  if (target.empty()) return;
  desktop_.openDocument(CoreText(target));
}

std::optional<Form> WindowScreen::chosenForm() {
  if (ui_.OptEML->isChecked()) return Form::EML;
  if (ui_.OptEMLX->isChecked()) return Form::EMLX;
  if (ui_.OptPST->isChecked()) return Form::PST;
  if (ui_.OptMSG->isChecked()) return Form::MSG;
  return std::nullopt;
}

std::vector<std::string> WindowScreen::mailboxRows() {
  return list_.rows();
}

void WindowScreen::selectRow(std::size_t row) {
  list_.selectRow(static_cast<int>(row));
}

void WindowScreen::setConvertEnabled(bool enabled) {
  ui_.CmdConvert->setEnabled(enabled);
}

void WindowScreen::clearOptions() {
  // Exclusive buttons cannot all be off; lift the rule while clearing them.
  for (QRadioButton* option : {ui_.OptEML, ui_.OptEMLX, ui_.OptPST, ui_.OptMSG}) {
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
  }
}

}  // namespace qc::app
