// The window's font.
#pragma once

#include <QFont>

namespace tessor::shell {

// Tahoma 8 pt when a Tahoma is installed (the one of fonts-wine is loaded
// from its file, since fontconfig does not list it), else DejaVu Sans 8 pt.
QFont WindowFont();

}  // namespace tessor::shell
