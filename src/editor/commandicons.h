// The pictures of the command bar and the menu: the desktop's icon theme
// where it has one for the command, else the program's own drawing, so that
// the eleven commands always show eleven different pictures.
#pragma once

#include <QIcon>

class QToolButton;

namespace scrivane {

// The icon of command button index (0 NEW to 10 HELP); null outside.
QIcon CommandIcon(int index);
// The program's own icon.
QIcon ProgramIcon();

// Sizes the button's icon with the layout's scale, but never so large that
// the caption below it is cut off.
void FitCommandIcon(QToolButton& button, double scale);

}  // namespace scrivane
