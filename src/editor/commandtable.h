// The commands of the command bar, one row each in the order of its buttons
// (CommandTools_0 to CommandTools_10). The bar's buttons, the menus' command
// actions and their pictures are all built from these rows, and a click on
// either runs the row's handler. A new command is one more row.
#pragma once

#include <array>

namespace scrivane {

class FormPaper;

enum Command : int { NEW, OPEN, IMPORT, EXPORT, SAVE, ADD, DEL, UP, DOWN, EXIT, HELP };

struct CommandRow {
    const char* caption;     // the button's text and tooltip
    const char* menuText;    // the menu action's text, with & before its key
    const char* objectName;  // the menu action's
    const char* shortcut;    // empty for none
    const char* themeIcon;   // the desktop theme's picture, where it has one
    const char* ownIcon;     // else the program's own, :/icons/<ownIcon>.svg
    // Runs the command once the edit of the current question is written.
    void (*run)(FormPaper& window);
};

inline constexpr int kCommandCount = 11;
extern const std::array<CommandRow, kCommandCount> kCommands;

}  // namespace scrivane
