#include "app/frm_step1_ui.h"

#include <QColor>
#include <QFont>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>

#include "app/artwork.h"
#include "app/fill_widget.h"
#include "app/twips.h"

namespace qc::app {

namespace {

const QColor kWindowBlue(163, 210, 254);
const QColor kLineTeal(0, 192, 192);
const QColor kPaleOrange(255, 231, 176);
const QColor kCaptionTeal(0, 64, 64);
const QColor kActivityBlue(0, 0, 255);
const QColor kByteMaroon(128, 0, 0);
const QColor kShapeBorder(192, 192, 192);

QFont WindowFont() {
  // Where Tahoma is missing, a condensed sans-serif keeps the captions within the widths the
  // controls were laid out for.
  QFont font;
  font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                    QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial")});
  font.setPointSizeF(8.25);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

void Paint(QWidget& widget, QPalette::ColorRole role, const QColor& colour) {
  QPalette palette = widget.palette();
  palette.setColor(role, colour);
  widget.setPalette(palette);
}

void Fill(QWidget& widget, const QColor& colour) {
  Paint(widget, QPalette::Window, colour);
  widget.setAutoFillBackground(true);
}

template <class W>
W* Place(W* widget, const char* name, QRect where) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setGeometry(where);
  return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect where) {
  auto* label = Place(new QLabel(text, parent), name, where);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLabel* CaptionLabel(QWidget* parent, const char* name, const QString& text, QRect where) {
  QLabel* label = MakeLabel(parent, name, text, where);
  QFont bold = label->font();
  bold.setWeight(QFont::Bold);
  label->setFont(bold);
  Paint(*label, QPalette::WindowText, kCaptionTeal);
  return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, QRect where) {
  return Place(new QPushButton(text, parent), name, where);
}

QRadioButton* MakeOption(QWidget* parent, const char* name, const QString& text, QRect where) {
  return Place(new QRadioButton(text, parent), name, where);
}

QProgressBar* MakeBar(QWidget* parent, const char* name, QRect where) {
  auto* bar = Place(new QProgressBar(parent), name, where);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  return bar;
}

QTableWidget* MakeGrid(QWidget* parent, QRect where) {
  auto* grid = Place(new QTableWidget(1, 1, parent), "grdFiles1", where);
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setDefaultSectionSize(Px(240));
  grid->setColumnWidth(0, Px(15000));  // wider than the grid: long paths scroll, not wrap
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setWordWrap(false);
  Paint(*grid, QPalette::Base, kWindowBlue);
  return grid;
}

}  // namespace

void FrmStep1Ui::setupUi(QWidget& window) {
  window.setObjectName(QStringLiteral("frmStep1"));
  window.setWindowTitle(kMainTitle);
  window.setWindowIcon(WindowIcon());
  window.setFont(WindowFont());
  Fill(window, kWindowBlue);
  window.setFixedSize(Px(8985), Px(8895));

  // Created top to bottom, which is also the tab order.
  Image2 = MakeLabel(&window, "Image2", QString(), Twips(0, 0, 9000, 1275));
  Image2->setPixmap(RenderArtwork(QStringLiteral("banner.svg"), Image2->size()));
  Line1 = Place(new FillWidget(&window, kLineTeal), "Line1", QRect(0, Px(1280), Px(9000), 1));

  cmdAdd = MakeButton(&window, "cmdAdd", QStringLiteral("Select (.mbx) file(s)..."),
                      Twips(240, 1440, 2535, 375));
  CmdAddFolder =
      MakeButton(&window, "CmdAddFolder", QStringLiteral("Select folder having (.mbx) file(s)..."),
                 Twips(3000, 1440, 3375, 375));
  cmdClear1 = MakeButton(&window, "cmdClear1", QStringLiteral("Clear file(s)..."),
                         Twips(7440, 1440, 1335, 375));
  lblCount1 =
      MakeLabel(&window, "lblCount1", QStringLiteral("0 files"), Twips(270, 1920, 8535, 255));
  Fill(*lblCount1, kWindowBlue);
  grdFiles1 = MakeGrid(&window, Twips(240, 2160, 8535, 1575));

  Frame1 =
      Place(new QGroupBox(QStringLiteral(" I want to convert mbox mailbox messages to"), &window),
            "Frame1", Twips(240, 3840, 8535, 1335));
  Picture1 = Place(new QWidget(Frame1), "Picture1", Twips(120, 240, 8295, 975));
  Fill(*Picture1, kWindowBlue);
  // Four rows at a 240-twip pitch fill the 975-twip container exactly; a wider pitch would push
  // the last option out of sight.
  OptEML = MakeOption(
      Picture1, "OptEML",
      QStringLiteral("(.eml) files          -     (Supported by Outlook Express, Windows Mail, "
                     "Windows Live Mail)"),
      Twips(0, 0, 8055, 255));
  OptEMLX =
      MakeOption(Picture1, "OptEMLX",
                 QStringLiteral("(.emlx) files        -     (Supported by Mac OS X ) Tiger Mail "),
                 Twips(0, 240, 8295, 255));
  OptPST = MakeOption(Picture1, "OptPST",
                      QStringLiteral("(.pst) files          -     (Supported by MS Outlook)"),
                      Twips(0, 480, 8055, 255));
  OptMSG =
      MakeOption(Picture1, "OptMSG",
                 QStringLiteral("(.msg) files         -     (Supported by MS Outlook, Document "
                                "Management Software, Forensic Tools)"),
                 Twips(0, 720, 8055, 255));
  Fill(*OptMSG, kPaleOrange);

  Label4 = MakeLabel(&window, "Label4", QStringLiteral("Converting Messages..."),
                     Twips(240, 5235, 1815, 255));
  LblHappening = MakeLabel(&window, "LblHappening", QString(), Twips(2040, 5235, 6735, 255));
  Paint(*LblHappening, QPalette::WindowText, kActivityBlue);
  LblProgessCurrent = MakeLabel(&window, "LblProgessCurrent", QStringLiteral("Mailbox  0 (of 0)"),
                                Twips(600, 5520, 8175, 255));
  Label1 = CaptionLabel(&window, "Label1", QStringLiteral("Reading          :"),
                        Twips(600, 5760, 1335, 255));
  LblIMMFile = MakeLabel(&window, "LblIMMFile", QString(), Twips(1920, 5760, 6855, 255));
  ProgressBar2 = MakeBar(&window, "ProgressBar2", Twips(600, 6000, 8175, 255));
  Label2 = CaptionLabel(&window, "Label2", QStringLiteral("Emails Found :"),
                        Twips(600, 6285, 1335, 255));
  LblEmlsFound = MakeLabel(&window, "LblEmlsFound", QString(), Twips(1920, 6285, 6855, 255));
  LblByteUpdate = MakeLabel(&window, "LblByteUpdate", QString(), Twips(960, 6480, 7815, 255));
  Paint(*LblByteUpdate, QPalette::WindowText, kByteMaroon);
  Image3 = MakeLabel(&window, "Image3", QString(), Twips(600, 6735, 240, 240));
  Image3->setPixmap(RenderArtwork(QStringLiteral("saving.svg"), Image3->size()));
  LblProgress =
      MakeLabel(&window, "LblProgress", QStringLiteral("Saving :"), Twips(960, 6735, 7815, 255));
  ProgressBar1 = MakeBar(&window, "ProgressBar1", Twips(600, 7080, 8175, 255));

  CmdConvert =
      MakeButton(&window, "CmdConvert", QStringLiteral("Convert"), Twips(3120, 7680, 2775, 435));
  CmdConvert->setEnabled(false);

  Shape1 =
      Place(new FillWidget(&window, Qt::white, kShapeBorder), "Shape1", Twips(0, 8280, 9015, 855));
  Picture3 = Place(new QWidget(&window), "Picture3", Twips(240, 8400, 8655, 495));
  Fill(*Picture3, Qt::white);
  CmdHelp = MakeButton(Picture3, "CmdHelp", QStringLiteral("&Help Manual"), Twips(0, 0, 1695, 375));
  cmdEnd = MakeButton(Picture3, "cmdEnd", QStringLiteral("E&xit"), Twips(7200, 0, 1335, 375));

  cdlgFile = new QObject(&window);
  cdlgFile->setObjectName(QStringLiteral("cdlgFile"));
  cdlgFile->setProperty("filter", kMailboxFilter);

  cmdAdd->setFocus();
}

}  // namespace qc::app
