// The grades window of one paper: the scans read in the background, the
// sheets to review against their pictures, how each question did, the marks'
// spread, and the marks handed on. It holds widgets and reactions only; the
// grading itself is the book's.
#pragma once

#include <QDialog>
#include <QHash>
#include <QImage>
#include <QTransform>
#include <memory>
#include <vector>

#include "grading/ui/gradesbook.h"
#include "grading/ui/sheetview.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QTabWidget;

namespace scrivane {

class BatchRunner;
class PageSheets;
class ScoreChart;
class SheetReader;
struct BatchPage;
struct PaperContext;

class DialogGrades : public QDialog {
    Q_OBJECT
public:
    DialogGrades(PaperContext& context, QWidget* parent = nullptr);
    ~DialogGrades() override;

    GradesBook& Book() { return *book_; }
    // Reads the scans in the background; the sheets appear as they are read.
    void AddScans(const QStringList& files);
    bool Reading() const { return runner_ != nullptr; }
    // The sheet shown, as an index of the book's sheets; -1 for none.
    int CurrentSheet() const;
    void SelectSheet(int sheet);
    // Every scan in a folder, in name order.
    static QStringList ScansIn(const QString& folder);

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

signals:
    // Every page of the scans added last has been read, or the reading was cancelled.
    void ReadingFinished(bool completed);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Picture {
        QImage upright;
        QTransform toPixels;
        std::vector<ViewBubble> bubbles;
    };

    void BuildControls();
    void ChooseScans();
    void OnPageRead(const BatchPage& page);
    void OnReadingFinished(bool completed);
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
    Picture MakePicture(const struct PageRead& read);
    static QString Key(const QString& file, int page);

    PaperContext& context_;
    QString modeLetters_;
    std::unique_ptr<GradesBook> book_;
    std::unique_ptr<SheetReader> reader_;
    std::unique_ptr<PageSheets> pageSheets_;
    std::unique_ptr<BatchRunner> runner_;
    QHash<QString, Picture> pictures_;
    QStandardItemModel* sheetRows_;
    QSortFilterProxyModel* sheetOrder_;
    QStandardItemModel* questionRows_;
    int shownSheet_ = -1;
    bool filling_ = false;
};

}  // namespace scrivane
