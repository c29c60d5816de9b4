// The main window's help menu: the user manual, the support page and the about box.
#pragma once

#include <memory>

class QMenu;
class QPoint;
class QWidget;

inline constexpr int ID_HELP_FILE = 32777;
inline constexpr int ID_HELP_SUPPORT = 32775;
inline constexpr int ID_HELP_ABOUT = 32776;

// The menu in the selected language, each command's action carrying its id as its data.
std::unique_ptr<QMenu> MakeHelpMenu(QWidget* owner);

// Carries out a chosen command: opens the manual in the program folder or the support page with
// the user's default application, or runs the about box. 0 (nothing chosen) does nothing, nor
// does a missing manual or a failing launcher.
void OnHelpCommand(QWidget* owner, int nCommand);

// Shows the menu at a screen position, left-aligned, and carries out the command chosen.
void RunHelpMenu(QWidget* owner, const QPoint& globalAt);
