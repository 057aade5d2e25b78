// The main window: the command bar, the edit panel of the current question,
// the totals and the grid of all questions, laid out to the screen.
#pragma once

#include <QHash>
#include <QRectF>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

#include "core/moddule1.h"
#include "core/paperdocument.h"
#include "core/paperwindow.h"
#include "core/questiontable.h"
#include "core/seams.h"
#include "editor/commandtable.h"
#include "editor/recentpapers.h"
#include "workspace/papercontext.h"
#include "workspace/paperworkspace.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QStatusBar;
class QTableView;
class QToolButton;

namespace scrivane {

class RecordNavigator;
class GridDelegate;
class PictureStrip;
class TypingLimit;
class MainMenu;
class HistoryActions;
class ExcelFactory;

class FormPaper : public QWidget, public PaperWindow {
    Q_OBJECT
public:
    static constexpr int kCommandCount = scrivane::kCommandCount;
    using enum Command;

    // excel: the spreadsheet the paper commands use; the program's own when null.
    FormPaper(Moddule1& state, Seams& seams, ExcelFactory* excel = nullptr,
              QWidget* parent = nullptr);
    ~FormPaper() override;

    // The layout step: places every control scaled to the screen. Run once.
    void Form_LoadPro();
    float ScaleX() const { return scaleX_; }
    float ScaleY() const { return scaleY_; }
    float FontScale() const { return fontScale_; }
    // The smallest layout a resize gives, as a fraction of the reference
    // layout (or the start-up layout where that is smaller); below it the
    // window scrolls.
    static constexpr float kSmallestScale = 0.9f;
    // The status bar's text while the recovery copy cannot be written.
    static constexpr const char* kRecoveryFailedText =
        "Unsaved work is not protected: the recovery copy cannot be written.";

    // Where the last layout put a control, in twips (tests and screenshots).
    QRectF TwipsGeometry(const QString& objectName) const { return twips_.value(objectName); }

    // PaperWindow
    PaperDocument& Document() override { return document_; }
    void ReplacePaper(const QString& step, const std::vector<QuestionRecord>& rows) override {
        workspace_->ReplacePaper(step, rows);
    }
    // The paper, its history and its commands.
    PaperWorkspace& Workspace() { return *workspace_; }
    // What a capability attaches through.
    PaperContext& Context() { return *context_; }
    // The undo history of the paper; every change is one of its steps.
    PaperHistory& History() { return workspace_->History(); }
    // Recomputes the total of the marks from ScoreList; LabScoreCount follows.
    void CountScore() { document_.CountScore(); }
    // At start-up: offers the paper left by an editor that did not end
    // properly, and opens it on Yes.
    void OfferRecovery() { workspace_->OfferRecovery(); }

    // Runs the command of the command table's row index.
    void CommandTools_Click(int index);
    // Opens the help's pages.
    void Help_Click();
    // Runs the mark box's leave check and any other pending edit of the panel
    // or the grid, then writes the current row. On a refusal the message has
    // been shown, the focus is back in the mark box and the result is false:
    // the command that asked must not run.
    bool CheckCurrentRow();
    PaperCommands& Paper() { return workspace_->Paper(); }
    // The editor's settings file, opened only through it.
    EditorSettings& Settings() { return settings_; }
    // The menu bar, where other capabilities add their actions.
    MainMenu& Menu() { return *MenuBar_; }
    // Opens a file given on the command line or dropped: a name ending .tpf
    // as OPEN does, any other file, in any format the program reads, as
    // IMPORT does.
    void OpenFile(const QString& path);
    void SetAnswerMode(bool multiple);
    // Adds the pictures of these files to a box of the current question
    // (kPictureTitle, or PictureBoxOfItem), as a drop does; a picture that is
    // refused is told and nothing of it kept.
    void AddPictureFiles(int box, const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void BuildControls();
    void ComputeScale();
    void LayOut(QSize window);
    void ArrangeAreas(QSize window);
    void FitFrameToScreen();
    void ShowOptionF();
    void OpenRecentPaper(const QString& path);
    void ShowQuestion(int position);
    void Place(QWidget* widget, double left, double top, double width, double height);
    void ScaleFont(QWidget* widget, double basePointSize);

    void OnCurrentRowChanged(int row);
    void ShowFileName(const QString& fileName);
    int BoxColumn(const QObject* box) const;
    void DataGrid1_RowColChange();
    void ShowCurrentRow();
    void PushToTable(int column, const QString& text);
    bool TextScore_Validate();
    void TellMarkRange();
    void adoStdMarks_WillChangeRecord(bool* cancel);
    void CmdSetAnswer_Click();
    void Form_Unload(bool& cancel);

    // Pictures: the button beside a box, paste and drop into it, removal from
    // its strip. Each change is held in the row's edit and written at once.
    void Picture_Click(int box);
    bool PastePicture(int box);
    void AddPictures(int box, const QList<Picture>& pictures, const QStringList& refusals);
    void RemovePicture(int box, int index);
    // The box a text box, its viewport, its button or its strip belongs to;
    // -1 for any other object.
    int PictureBoxOf(const QObject* object) const;
    void ShowPictureButtons();
    void ShowPictures();
    unsigned BoxesWithPictures() const;
    bool DropPictures(int box, QEvent* event);

    Moddule1& state_;
    Seams& seams_;
    std::unique_ptr<PaperWorkspace> workspace_;
    PaperDocument& document_;
    QuestionTable& table_ = document_.Table();
    HistoryActions* historyActions_ = nullptr;
    std::unique_ptr<PaperContext> context_;

    MainMenu* MenuBar_;
    QScrollArea* PaperArea_;  // holds the specified layout; scrolls when the window is smaller
    QWidget* PaperContent_;
    QStatusBar* StatusBar_;
    QGroupBox* FrameTools_;
    std::array<QToolButton*, kCommandCount> CommandTools_{};
    QGroupBox* Frame1_;
    RecordNavigator* adoStdMarks_;
    QLabel* LabNo_;
    QLabel* LabelNo_;
    QLabel* Label2_;
    QLineEdit* TextScore_;
    QLabel* Label1_;
    QLabel* Label3_;
    QLineEdit* LabelAnswer_;
    QPushButton* CmdSetAnswer_;
    QGroupBox* Frame2_;
    QPlainTextEdit* TextTitle_;
    std::array<QLabel*, 6> LabItem_{};
    std::array<QLineEdit*, 6> TextItems_{};
    QLabel* Label5_;
    QLabel* LabNoCount_;
    QLabel* Label7_;
    QLabel* LabScoreCount_;
    QTableView* DataGrid1_;
    GridDelegate* gridDelegate_;
    TypingLimit* scoreLimit_;
    TypingLimit* titleLimit_;
    std::array<TypingLimit*, 6> itemLimits_{};
    std::array<QToolButton*, kPictureBoxes> PictureButtons_{};
    std::array<PictureStrip*, kPictureBoxes> PictureStrips_{};
    unsigned picturesLaidOut_ = 0;  // the boxes with pictures the layout made room for
    double panelGrowth_ = 0;        // the room they take, in twips of the reference layout

    float scaleX_ = 1, scaleY_ = 1, fontScale_ = 1;
    QSize startSize_;  // the window after the start-up layout
    QSize laidOut_;    // the window size the controls are laid out for
    float startScaleX_ = 1, startScaleY_ = 1;
    int startMenu_ = 0;    // the menu bar's height after start-up
    bool framed_ = false;  // the first showing has fitted the frame to the screen
    EditorSettings settings_{seams_.platform.SettingsFile(), &seams_.prompts};
    RecentPapers recent_{settings_};
    QHash<QString, QRectF> twips_;
    bool showingRow_ = false;   // the panel is being filled from the table
    bool pushing_ = false;      // the panel is writing into the table
    bool closing_ = false;      // the window is closing for good
    bool writingCell_ = false;  // an open cell editor is being written
    bool markTold_ = false;     // the mark's range was told in this turn of the event loop
};

}  // namespace scrivane
