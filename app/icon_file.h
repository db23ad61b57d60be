// The program's icon file for Windows: one .ico holding the icon at the sizes Windows asks for.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <optional>

namespace qc::app {

// Sides of the icon theme's sizes (pixels) and of those a Windows .ico carries.
inline constexpr int kThemeIconSides[] = {16, 24, 32, 48, 64, 128, 256};
inline constexpr int kWindowsIconSides[] = {16, 24, 32, 48, 64, 256};

// An .ico file of PNG-compressed images (what Windows Vista and later read), one entry per image
// in the order given. Images must be square, 1 to 256 pixels a side.
QByteArray IconFile(const QList<QImage>& images);

// The images of an .ico file written as IconFile writes them, or nothing when the bytes are not
// such a file (a header, directory or image that does not hold together).
std::optional<QList<QImage>> ReadIconFile(const QByteArray& bytes);

}  // namespace qc::app
