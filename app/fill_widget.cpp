#include "app/fill_widget.h"

#include <QPainter>

namespace qc::app {

FillWidget::FillWidget(QWidget* parent, QColor fill, std::optional<QColor> border)
    : QWidget(parent), fill_(fill), border_(border) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void FillWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), fill_);
  if (border_) {
    painter.setPen(*border_);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

}  // namespace qc::app
