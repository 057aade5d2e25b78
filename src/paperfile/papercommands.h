// The commands that replace or store the whole paper: new, open and save,
// and the import and export of workbooks with their deferred re-run.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "core/moddule1.h"
#include "core/paperholder.h"
#include "core/seams.h"
#include "interchange/format.h"
#include "spreadsheet/importexport.h"

class QTimer;
class QWidget;

namespace scrivane {

class PaperHistory;

// "The paper has been modified. Save or not?" with Yes, No and Cancel: the
// question of open, import and closing.
MsgAnswer AskToSaveChanges(Prompts& prompts);

class PaperCommands {
public:
    // Timer1 is the main window's timer that re-runs a deferred command;
    // dialogParent owns the dialogs the commands show.
    PaperCommands(Moddule1& state, PaperHolder& window, PaperHistory& history, Seams& seams,
                  ExcelFactory& excel, QTimer& Timer1, QWidget* dialogParent);

    void NewPaper_Click();
    void OpenPaper_Click();
    void SavePaper_Click();
    void ImportPaper_Click();
    void ExportPaper_Click();
    void Timer1_Timer();

    // How a file chosen outside the file dialogs is taken: by its name (the
    // command line and a drop: a name ending .tpf opens as OPEN opens it,
    // anything else is imported by its content), or as a paper (the recent
    // papers, which were all opened or saved as papers).
    enum class Way { ByName, AsPaper };
    // After the unsaved-changes question, opens or imports the file.
    void OpenFile(const QString& path, Way way = Way::ByName);
    // The rest of OPEN and IMPORT once the file is chosen; true when the
    // paper was replaced.
    bool OpenChosenPaper(const QString& path);
    bool ImportChosenWorkbook(const QString& path);
    // Reads the file in whichever format its content shows (a workbook, CSV,
    // Moodle XML, GIFT, Aiken) and imports it as IMPORT does.
    bool ImportChosenFile(const QString& path);
    // The same in the format the user named (a text format is read by its
    // reader whatever the content looks like); by the content for nothing.
    bool ImportChosenFileAs(const QString& path, std::optional<interchange::Format> format);

    int PendingCommand() const { return PendingCommand_; }
    // The unsaved-changes question before a command that replaces the paper:
    // true when the command may go on; on Yes the paper is saved, runAgain
    // arranges for the command to run again shortly (it asks again if the
    // save did not take place), and the command ends now.
    bool SaveFirst(const std::function<void()>& runAgain);

    static bool SplitFilePath(const QString& path, QString& fileName, QString& folder);
    // The path with extension added unless the name already ends in a plain
    // extension: a dot followed by one to five letters or digits ("Ch.3 quiz"
    // has none).
    static QString WithExtension(const QString& path, const QString& extension);
    // The path SAVE and EXPORT write for the path chosen in their dialog,
    // after any overwrite question; ownFile (SAVE's paper file) is written
    // without one. Nothing when the user declines.
    std::optional<QString> PathToWrite(const QString& chosen, const QString& extension,
                                       const QString& ownFile);

    // The pieces of EXPORT that other ways of writing the paper share: the
    // overwrite question, the write with its failure message, that message
    // alone, the test_papers folder and what the spreadsheet routines need.
    bool ConfirmOverwrite();
    bool Export(const QString& path);
    void TellWriteFailure(const QString& reason);
    QString DefaultFolder() const;
    SpreadsheetContext Context();

private:
    void InstallPaper(int count, bool quickAnswers, bool modified);
    bool RunQuickPaperDialogs();
    // SaveFirst for OPEN, IMPORT and a file opened from outside, run again by Timer1.
    bool AskToSave(unsigned char pendingCommand);
    std::optional<QString> ChooseInDefaultFolder(FileRequest::Kind kind, const QString& title,
                                                 const QString& filter);
    std::optional<QString> ChooseFileToRead(unsigned char pendingCommand, const QString& title,
                                            const QString& filter);

    Moddule1& state_;
    PaperHolder& window_;
    PaperHistory& history_;
    Seams& seams_;
    ExcelFactory& excel_;
    QTimer& Timer1_;
    QWidget* dialogParent_;
    unsigned char PendingCommand_ = 0;
    QString pendingFile_;  // the file OpenFile runs again for
    Way pendingWay_ = Way::ByName;
};

}  // namespace scrivane
