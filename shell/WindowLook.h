// The window's font and pictures.
#pragma once

#include <QFont>
#include <QIcon>

namespace tessor::shell {

// Tahoma 8 pt when a Tahoma is installed (the one of fonts-wine is loaded
// from its file, since fontconfig does not list it), else DejaVu Sans 8 pt.
QFont WindowFont();
// The tree's icons (ImageList1): 0 the compilation root, 1 a folder, 2 a file.
QIcon TreeIcon(int index);
// The program's picture (Image1).
QIcon ProgramPicture();

}  // namespace tessor::shell
