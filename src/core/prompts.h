// The seam through which every window and command asks the user: message
// boxes and file dialogs. The program's implementation uses QMessageBox and
// QFileDialog; tests hand in a scripted one that records what was shown.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace scrivane {

inline const QString kAppTitle = QStringLiteral("Scrivane");

enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgIcon { None, Information, Exclamation, Question, Critical };
// Cancel is also the answer when a box is closed by its close box or Escape.
enum class MsgAnswer { Ok, Yes, No, Cancel };

struct MessageRequest {
    QString text;
    QString title = kAppTitle;  // a box that names no title shows the application title
    MsgButtons buttons = MsgButtons::Ok;
    MsgIcon icon = MsgIcon::None;
    std::optional<MsgAnswer> defaultButton;
    // The details below the text: why an import was refused, what it left out.
    QString informativeText;
};

struct FileRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    QString title;
    QString folder;    // initial folder
    QString fileName;  // file name shown
    QString filter;    // "Description (*.ext)|*.ext"
};

// A chosen file and the filter it was chosen under: the index of its
// "Description|patterns" pair in the request's filter.
struct FileChoice {
    QString path;
    int filter = 0;
};

class Prompts {
public:
    virtual ~Prompts() = default;
    virtual MsgAnswer MsgBox(const MessageRequest& request) = 0;
    // The chosen path, or nothing when the dialog was cancelled.
    virtual std::optional<QString> ChooseFile(const FileRequest& request) = 0;
    // The chosen path with its filter. Unless a dialog says which filter was
    // chosen, it is the first whose patterns the name matches, else the first.
    virtual std::optional<FileChoice> ChooseFileAndFilter(const FileRequest& request);
    // Several existing files chosen at once; empty when the dialog was
    // cancelled. Unless a dialog offers more, it is the one file ChooseFile gives.
    virtual QStringList ChooseFiles(const FileRequest& request);
};

// A message box with an OK button only and the application title.
void ShowMessage(Prompts& prompts, const QString& text);

}  // namespace scrivane
