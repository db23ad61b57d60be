// The controls of frmStep1, built where the design puts them. Each control's objectName is its
// design name, so tests (and the screenshot) find them by name.
#pragma once

#include <QString>

class QGroupBox;
class QLabel;
class QObject;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QWidget;

namespace qc::app {

inline const QString kMainTitle = QStringLiteral("Brantwell Quillon Converter v1.0");
inline const QString kMailboxFilter = QStringLiteral("Quillon Mailboxes (*.mbx *.mbox)");

struct FrmStep1Ui {
  QLabel* Image2;
  QWidget* Line1;
  QPushButton* cmdAdd;
  QPushButton* CmdAddFolder;
  QPushButton* cmdClear1;
  QLabel* lblCount1;
  QTableWidget* grdFiles1;
  QGroupBox* Frame1;
  QWidget* Picture1;
  QRadioButton* OptEML;
  QRadioButton* OptEMLX;
  QRadioButton* OptPST;
  QRadioButton* OptMSG;
  QLabel* Label4;
  QLabel* LblHappening;
  QLabel* LblProgessCurrent;
  QLabel* Label1;
  QLabel* LblIMMFile;
  QProgressBar* ProgressBar2;
  QLabel* Label2;
  QLabel* LblEmlsFound;
  QLabel* LblByteUpdate;
  QLabel* Image3;
  QLabel* LblProgress;
  QProgressBar* ProgressBar1;
  QPushButton* CmdConvert;
  QWidget* Shape1;
  QWidget* Picture3;
  QPushButton* CmdHelp;
  QPushButton* cmdEnd;
  QObject* cdlgFile;  // the open-file dialog has no area; this holds its settings

  void setupUi(QWidget& window);
};

}  // namespace qc::app
