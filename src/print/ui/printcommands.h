// The print, print preview and export PDF commands: each asks what to print
// in DialogPrint and then shows the system print dialog, the preview, or a
// save dialog for the PDF. The choices are kept for the next command.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/questionrecord.h"
#include "core/seams.h"
#include "print/versions/printmemory.h"
#include "print/versions/printsettings.h"

class QAction;
class QPrinter;
class QWidget;

namespace scrivane {

class SettingsFile;
class PrintLayout;

class PrintCommands : public QObject {
    Q_OBJECT
public:
    // records: the paper as it stands; paperFile: its file, "" when never
    // saved; window: the parent of the dialogs, which owns the commands.
    PrintCommands(Seams& seams, std::function<std::vector<QuestionRecord>()> records,
                  std::function<QString()> paperFile, QWidget* window);
    ~PrintCommands() override;

    // The answer mode's AnswerType, read at each command: a question without
    // option texts prints the mode's letters.
    void SetAnswerType(std::function<std::int16_t()> answerType);
    // Where the last print settings of each paper are kept between runs.
    void SetSettings(SettingsFile* settings) { memory_.SetSettings(settings); }

    // Runs before each command, in the order added; one that returns false
    // ends the command (the current row's check, the paper checks).
    void AddBeforePrinting(std::function<bool()> step);

    // The three actions, "actionPrint" (Ctrl+P), "actionPrintPreview" and
    // "actionExportPdf", parented to parent and bound to the commands.
    QList<QAction*> CreateActions(QObject* parent);

    void Print_Click();
    void PrintPreview_Click();
    void ExportPdf_Click();

    // The choices of the last accepted dialog, or the first ones. The last
    // choices for each of the papers printed most recently are kept in the
    // settings file and offered when that paper is printed again.
    const PrintSettings& Choices() const { return choices_; }

private:
    // Runs the steps, refuses an empty paper and asks for the choices; the
    // versions laid out by them, or nothing when the command ends here.
    std::unique_ptr<PrintLayout> Prepare();
    bool Render(PrintLayout& layout, QPrinter& printer);
    // Print and Print Preview: the versions laid out, then a printer named
    // after the heading; nothing when the paper cannot be printed.
    void WithPrinter(const std::function<void(PrintLayout&, QPrinter&)>& use);
    void Error(const QString& text, const QString& details = {});
    static QString PrintedIdentity(const QString& file);

    Seams& seams_;
    std::function<std::vector<QuestionRecord>()> records_;
    std::function<QString()> paperFile_;
    QWidget* window_;
    std::vector<std::function<bool()>> before_;
    PrintSettings choices_;
    bool chosen_ = false;  // the dialog has been accepted once
    QString headingFile_;  // the paper file the default heading was made from
    std::function<std::int16_t()> answerType_;
    PrintMemory memory_;
};

}  // namespace scrivane
