// A plain painted area: the separating line under the banner and the white rectangle behind the
// bottom bar. Painted by hand so no style sheet changes how the rest of the window looks.
#pragma once

#include <QColor>
#include <QWidget>
#include <optional>

namespace qc::app {

class FillWidget final : public QWidget {
 public:
  FillWidget(QWidget* parent, QColor fill, std::optional<QColor> border = std::nullopt);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
  std::optional<QColor> border_;
};

}  // namespace qc::app
