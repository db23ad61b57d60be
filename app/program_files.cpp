#include "app/program_files.h"

#include <QDir>
#include <QFileInfo>

#ifndef QC_DATA_FROM_PROGRAM
#error "QC_DATA_FROM_PROGRAM: the data folder relative to the program's, set by app/CMakeLists.txt"
#endif

namespace qc::app {

QString FindManual(const QString& programFolder) {
  const QDir folder(programFolder);
  const QString beside = folder.filePath(QStringLiteral("manual.html"));
  const QString installed = QDir::cleanPath(
      folder.filePath(QStringLiteral(QC_DATA_FROM_PROGRAM "/quillon-converter/manual.html")));
  for (const QString& candidate : {beside, installed}) {
    if (QFileInfo(candidate).isFile()) return candidate;
  }
  return beside;
}

}  // namespace qc::app
