#include "editor/commandtable.h"

#include <QtGlobal>

#include "editor/formpaper.h"
#include "paperfile/papercommands.h"
#include "workspace/questioncommands.h"

namespace scrivane {

// The menu texts are translated in the menu bar's context.
#define MENU_TEXT(text) QT_TRANSLATE_NOOP("scrivane::MainMenu", text)

const std::array<CommandRow, kCommandCount> kCommands = {{
    {"NEW", MENU_TEXT("&New"), "actionNew", "Ctrl+N", "document-new", "new",
     [](FormPaper& w) { w.Paper().NewPaper_Click(); }},
    {"OPEN", MENU_TEXT("&Open…"), "actionOpen", "Ctrl+O", "document-open", "open",
     [](FormPaper& w) { w.Paper().OpenPaper_Click(); }},
    {"IMPORT", MENU_TEXT("&Import…"), "actionImport", "Ctrl+I", "document-import", "import",
     [](FormPaper& w) { w.Paper().ImportPaper_Click(); }},
    {"EXPORT", MENU_TEXT("&Export…"), "actionExport", "Ctrl+E", "document-export", "export",
     [](FormPaper& w) { w.Paper().ExportPaper_Click(); }},
    {"SAVE", MENU_TEXT("&Save"), "actionSave", "Ctrl+S", "document-save", "save",
     [](FormPaper& w) { w.Paper().SavePaper_Click(); }},
    {"ADD", MENU_TEXT("A&dd Question"), "actionAdd", "Ctrl+Shift+A", "list-add", "add",
     [](FormPaper& w) { w.Workspace().Questions().AddQuestion_Click(); }},
    {"DEL", MENU_TEXT("De&lete Question"), "actionDelete", "Ctrl+Shift+D", "list-remove", "delete",
     [](FormPaper& w) { w.Workspace().Questions().DeleteQuestion_Click(); }},
    {"UP", MENU_TEXT("Move &Up"), "actionUp", "Alt+Up", "go-up", "up",
     [](FormPaper& w) { w.Workspace().Questions().MoveUpQuestion_Click(); }},
    {"DOWN", MENU_TEXT("Move Do&wn"), "actionDown", "Alt+Down", "go-down", "down",
     [](FormPaper& w) { w.Workspace().Questions().MoveDownQuestion_Click(); }},
    {"EXIT", MENU_TEXT("&Quit"), "actionExit", "Ctrl+Q", "application-exit", "exit",
     [](FormPaper& w) { w.close(); }},
    {"HELP", MENU_TEXT("&Help"), "actionHelp", "F1", "help-contents", "help",
     [](FormPaper& w) { w.Help_Click(); }},
}};

}  // namespace scrivane
