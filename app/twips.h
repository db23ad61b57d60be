// The window's measures are kept in twips, as the controls were designed; 15 twips make one
// pixel at 96 dpi. Qt 6 scales logical pixels with the screen itself, so converting to logical
// pixels once is enough.
#pragma once

#include <QRect>

namespace qc::app {

constexpr int Px(int twips) {
  return (twips + 7) / 15;
}

constexpr QRect Twips(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

}  // namespace qc::app
