// The grades window of one paper: the scans read in the background, the
// sheets to review against their pictures, how each question did, the marks'
// spread, and the marks handed on. It holds widgets and reactions only: the
// grading itself, its rules, its file and its statistics are the session's,
// and its tables are the session's models.
#pragma once

#include <QDialog>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QThread>
#include <QTransform>
#include <memory>
#include <vector>

#include "grading/session/gradingsession.h"
#include "grading/ui/sheetview.h"

class QBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QStatusBar;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class QTabWidget;

namespace scrivane {

class QuestionsModel;
class ScoreChart;
class SheetsModel;
struct PaperContext;

// Its controls are named (objectName) as their members are, with the tabs
// "TabsGrades"; the undo and redo actions "actionGradesUndo" and
// "actionGradesRedo".
class DialogGrades : public QDialog {
    Q_OBJECT
public:
    DialogGrades(PaperContext& context, QWidget* parent = nullptr);
    ~DialogGrades() override;

    GradingSession& Session() { return *session_; }
    // Opens the paper's grading file: a damaged one is told, a scan that
    // moved is asked for.
    void LoadGrading();
    // Reads the scans in the background; the sheets appear as they are read.
    void AddScans(const QStringList& files);
    // The id of the sheet chosen in the table; -1 for none.
    int CurrentSheet() const;
    void SelectSheet(int id);
    // The sheet whose picture the view shows; -1 while none is.
    int PictureSheet() const { return pictureSheet_; }

    // The settings key of the window's place and size in scrivane.conf.
    static const QString kGeometryKey;

signals:
    // Every page of the scans added last has been read, or the reading was cancelled.
    void ReadingFinished(bool completed);
    // The view shows the picture of the sheet.
    void PictureShown(int id);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Picture {
        QImage upright;
        QTransform toPixels;
        QString error;
    };

    void BuildControls();
    void ChooseScans();
    void OnReadingFinished(bool completed);
    void ShowReading();
    void LoadPicture(int id);
    void OnPictureRead(int id, const Picture& picture);
    void ShowLooks(int id);
    void ShowGrades();
    void ShowSheets();
    void ShowQuestions();
    void ShowSummary();
    void ShowCurrentSheet();
    void OnBubbleClicked(int index);
    void StepSheet(int by);
    void NextToReview();
    void AcceptSheet();
    void TypeStudent();
    void RemoveSheets();
    void EnterByHand();
    void AcceptAlso();
    void GiveAll();
    void LoadClassList();
    void Export();
    int CurrentQuestion() const;
    void PaperChanged();

    void BuildGradingFileControls();
    void ShowGradingFile();
    void ApplyReadOnly();
    void AskForMissingScans(const QStringList& missing);
    void OnChangedOnDisk(const QString& file);

    // The review's keys, the status bar and the reasons' clicks.
    void BuildReview();
    // The edit of the main window's current row written, so that the grades
    // use what the editor shows; false when the editor refused it.
    bool WritePaperRow();
    void ShowReasons(int id);
    void OnReasonChosen(QListWidgetItem* item);
    void OnBubbleSet(int index, bool marked);
    void ShowPaperState();
    void PlaceWindow();
    void RememberPlace();
    void ChangeVersion();
    // Pictures read before a scan was found elsewhere are not shown.
    void ForgetPictures();
    void OnPaperReplaced();
    // What changed in the paper since its sheets were read, above the sheets.
    void AddPaperChangeLabel(QWidget* parent, QBoxLayout* layout);

    PaperContext& context_;
    QString modeLetters_;
    std::unique_ptr<GradingSession> session_;

    QTabWidget* Tabs;
    QPushButton* ButtonAddScans;
    QProgressBar* ProgressScans;
    QPushButton* ButtonCancelScans;
    QPushButton* ButtonClassList;
    QPushButton* ButtonExport;
    QTableView* TableSheets;
    QLabel* LabelSheets;
    SheetView* ViewSheet;
    QListWidget* ListReasons;
    QPushButton* ButtonAccept;
    QLineEdit* EditStudent;
    QPushButton* ButtonRemove;
    QPushButton* ButtonAddByHand;
    QTableView* TableQuestions;
    QPushButton* ButtonAcceptAlso;
    QPushButton* ButtonGiveAll;
    ScoreChart* ChartScores;
    QLabel* LabelSummary;
    QLabel* LabelGradingFile = nullptr;
    QLabel* LabelUnfinished = nullptr;
    QPushButton* ButtonContinueReading = nullptr;
    // The window's own status bar: the paper's unsaved changes are told here.
    QStatusBar* StatusGrades = nullptr;
    // A sheet's version changed (a student who used another version's sheet).
    QPushButton* ButtonVersion = nullptr;
    QLabel* LabelPaperChanged = nullptr;  // what changed in the paper since its sheets were read

    // A few pictures of sheets already seen, by id; reading one again takes
    // a moment, so it is done on a thread of its own.
    QHash<int, Picture> pictures_;
    QPointer<QThread> loader_;
    int loading_ = -1;
    int wanted_ = -1;
    int pictureSheet_ = -1;
    bool saveTold_ = false;
    SheetsModel* sheets_;
    QSortFilterProxyModel* sheetOrder_;
    QuestionsModel* questions_;
    int sizedRows_ = -1;
    bool askingChanged_ = false;
    bool placed_ = false;
    int pictureGeneration_ = 0;
    int loadingGeneration_ = 0;
    bool writingRow_ = false;  // a refusal's message must not ask again
};

}  // namespace scrivane
