#include "app/file_reader_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include "app/mailbox_list.h"
#include "app/twips.h"

namespace qc::app {

namespace {

const QColor kLightYellow(255, 255, 192);
const QColor kLightOrange(255, 224, 192);

void Fill(QWidget& widget, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(QPalette::Window, colour);
  widget.setPalette(palette);
  widget.setAutoFillBackground(true);
}

QFont FieldFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(9.75);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

template <class W>
W* Place(W* widget, const char* name, QRect where) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(where);
  return widget;
}

}  // namespace

FileReaderWindow::FileReaderWindow(FinderSlot& finder, LogSurface& log)
    : finder_(finder), log_(log) {
  setObjectName(QStringLiteral("FrmFinder"));
  setWindowTitle(QStringLiteral("File Reader"));
  resize(Px(7170), Px(2085));
  buildControls();
  log_.setChanged([this] { update(); });
  refreshFields();
}

void FileReaderWindow::buildControls() {
  const QFont fieldFont = FieldFont();
  auto* frame1 = Place(new QFrame(this), "Frame1", Twips(0, 0, 7380, 1400));
  Fill(*frame1, kLightYellow);
  auto* label1 = Place(new QLabel(QStringLiteral("File Name :"), frame1), "Label1",
                       Twips(120, 120, 1215, 255));
  Text1 = Place(new QLineEdit(frame1), "Text1", Twips(1440, 120, 5775, 360));
  auto* label2 =
      Place(new QLabel(QStringLiteral("String :"), frame1), "Label2", Twips(480, 600, 855, 255));
  Text2 = Place(new QLineEdit(frame1), "Text2", Twips(1440, 600, 2895, 360));
  Check1 = Place(new QCheckBox(QStringLiteral("Case Sensitive"), frame1), "Check1",
                 Twips(1440, 1080, 1695, 255));
  Fill(*Check1, kLightYellow);
  Command3 = Place(new QPushButton(QStringLiteral("Find"), frame1), "Command3",
                   Twips(4440, 600, 855, 375));
  Command1 = Place(new QPushButton(QStringLiteral("Open"), frame1), "Command1",
                   Twips(5400, 600, 855, 375));
  for (QWidget* w :
       {static_cast<QWidget*>(label1), static_cast<QWidget*>(label2), static_cast<QWidget*>(Text1),
        static_cast<QWidget*>(Text2), static_cast<QWidget*>(Check1)}) {
    w->setFont(fieldFont);
  }

  // Below the client area: seen only when the window is made taller.
  auto* frame2 =
      Place(new QGroupBox(QStringLiteral("Frame2"), this), "Frame2", Twips(0, 4560, 7335, 375));
  Fill(*frame2, kLightOrange);
  Place(new QLabel(QStringLiteral("Quillon Converter - File Reader, by Brantwell Software   "
                                  "[ F10 = HELP ]"),
                   frame2),
        "Label3", Twips(120, 50, 7215, 250));

  Command4 = Place(new QPushButton(QStringLiteral("Command4"), this), "Command4",
                   Twips(4440, 1560, 1215, 375));

  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  // Command1 ("Open") has no action.
}

void FileReaderWindow::refreshFields() {
  if (!finder_.created()) return;
  const FrmFinder& finder = finder_.get();
  Text1->setText(DisplayPath(finder.Text1));
  Text2->setText(FromCp1252(finder.Text2));
  Check1->setChecked(finder.Check1);
}

void FileReaderWindow::takeFields() {
  FrmFinder& finder = finder_.get();
  finder.Text1 = NativePath(Text1->text());
  finder.Text2 = Text2->text().toLatin1().toStdString();
  finder.Check1 = Check1->isChecked();
}

void FileReaderWindow::Command3_Click() {
  takeFields();
  try {
    finder_.get().Command3_Click();
  } catch (const StopRequested&) {
  }
  refreshFields();
}

void FileReaderWindow::Command4_Click() {
  takeFields();
  try {
    finder_.get().FindNext_Click();
  } catch (const StopRequested&) {
  }
  refreshFields();
}

void FileReaderWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QFontMetrics metrics(font());
  int baseline = metrics.ascent();
  for (const QString& line : log_.lines()) {
    painter.drawText(0, baseline, line);
    baseline += metrics.height();
  }
}

void FileReaderWindow::showEvent(QShowEvent* event) {
  refreshFields();
  QWidget::showEvent(event);
}

void FileReaderWindow::closeEvent(QCloseEvent* event) {
  if (finder_.created()) finder_.get().Form_Unload();
  event->accept();
}

FileReaderLog::~FileReaderLog() = default;

FileReaderWindow& FileReaderLog::window() {
  if (!window_) window_ = std::make_unique<FileReaderWindow>(*finder_, surface_);
  return *window_;
}

void FileReaderLog::clear() {
  window();
  surface_.clear();
}

void FileReaderLog::writeLine(std::string_view text) {
  window();
  surface_.writeLine(text);
}

void FileReaderLog::write(std::string_view text) {
  window();
  surface_.write(text);
}

}  // namespace qc::app
