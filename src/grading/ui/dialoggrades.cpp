#include "grading/ui/dialoggrades.h"

#include <QAction>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableView>
#include <algorithm>
#include <cmath>

#include "core/paperdocument.h"
#include "core/prompts.h"
#include "grading/batchrunner.h"
#include "grading/gradesreport.h"
#include "grading/pagesheet.h"
#include "grading/read/pageread.h"
#include "grading/scanpages.h"
#include "grading/ui/scorechart.h"
#include "print/answersheet.h"
#include "workspace/papercontext.h"

namespace scrivane {

namespace {

const QStringList kScanSuffixes{QStringLiteral("pdf"), QStringLiteral("png"),
                                QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                QStringLiteral("tif"), QStringLiteral("tiff")};
const QString kScanFilter = QStringLiteral(
    "Scans (*.pdf *.png *.jpg *.jpeg *.tif *.tiff)|*.pdf;*.png;*.jpg;*.jpeg;*.tif;*.tiff");
// Scans without a resolution are taken as the usual scanner's.
constexpr double kFallbackDpi = 200;
// The picture kept for showing: wide enough to judge a bubble by.
constexpr int kPictureWidth = 1000;
const QColor kReviewColour(255, 225, 170);
const QColor kUnreadableColour(250, 200, 200);
constexpr int kSheetRole = Qt::UserRole + 1;
constexpr int kSortRole = Qt::UserRole + 2;

enum SheetColumn {
    ColStudent,
    ColName,
    ColVersion,
    ColMark,
    ColMax,
    ColPercent,
    ColStatus,
    ColScan
};

QString Figure(const std::optional<double>& value) {
    return value ? FormatFigure(std::round(*value * 1000) / 1000) : QStringLiteral("–");
}

QPushButton* NewButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// The flag of a question, the first that applies.
QString Flag(const QuestionStatistics& q) {
    if (q.pointBiserial && *q.pointBiserial < 0) return QStringLiteral("Check the answer");
    if (q.p && *q.p < 0.2) return QStringLiteral("Too hard");
    if (q.p && *q.p > 0.95) return QStringLiteral("Too easy");
    if (q.pointBiserial && *q.pointBiserial < 0.2) return QStringLiteral("Weak");
    return {};
}

QString StatusText(const SheetResult& result, const GradedSheet& sheet) {
    switch (result.status) {
        case SheetStatus::Review:
            return QStringLiteral("review");
        case SheetStatus::Unreadable:
            return QStringLiteral("unreadable");
        case SheetStatus::Ok:
            break;
    }
    return sheet.corrected ? QStringLiteral("corrected") : QStringLiteral("ok");
}

// A small form run through the seams: one line of text, or nothing when cancelled.
std::optional<QString> AskLine(ModalRunner& modal, QWidget* parent, const QString& name,
                               const QString& title, const QString& label, const QString& text) {
    QDialog dialog(parent);
    dialog.setObjectName(name);
    dialog.setWindowTitle(title);
    auto* layout = new QFormLayout(&dialog);
    auto* edit = new QLineEdit(text, &dialog);
    edit->setObjectName(QStringLiteral("EditLine"));
    layout->addRow(label, edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->setObjectName(QStringLiteral("Buttons"));
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (modal.Exec(dialog) != QDialog::Accepted) return std::nullopt;
    return edit->text();
}

}  // namespace

DialogGrades::DialogGrades(PaperContext& context, QWidget* parent)
    : QDialog(parent),
      context_(context),
      modeLetters_(AnswerModeLetters(context.state.AnswerType())),
      book_(std::make_unique<GradesBook>(context.document.Rows(), modeLetters_)) {
    setObjectName(QStringLiteral("DialogGrades"));
    setWindowTitle(QStringLiteral("Grades - ") + QFileInfo(context.document.FileName()).fileName());
    setAcceptDrops(true);
    setSizeGripEnabled(true);
    BuildControls();
    connect(book_.get(), &GradesBook::Rescored, this, &DialogGrades::ShowGrades);
    // The grades follow the paper as it is edited, undone and redone.
    connect(&context.document, &PaperDocument::Changed, this, &DialogGrades::PaperChanged);
    connect(&context.document, &PaperDocument::RowEdited, this, &DialogGrades::PaperChanged);
    // Another paper has nothing to do with these sheets.
    connect(&context.document, &PaperDocument::Replaced, this, &QDialog::close);
    ShowGrades();
}

DialogGrades::~DialogGrades() = default;

void DialogGrades::BuildControls() {
    auto* top = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    ButtonAddScans =
        NewButton(QStringLiteral("Add Scans…"), QStringLiteral("ButtonAddScans"), this);
    ButtonAddScans->setToolTip(QStringLiteral(
        "Add PDF, PNG, JPEG or TIFF scans; a folder dropped here adds every scan in it"));
    ProgressScans = new QProgressBar(this);
    ProgressScans->setObjectName(QStringLiteral("ProgressScans"));
    ProgressScans->setFormat(QStringLiteral("%v of %m pages"));
    ProgressScans->hide();
    ButtonCancelScans =
        NewButton(QStringLiteral("Cancel"), QStringLiteral("ButtonCancelScans"), this);
    ButtonCancelScans->hide();
    ButtonClassList =
        NewButton(QStringLiteral("Class List…"), QStringLiteral("ButtonClassList"), this);
    ButtonClassList->setToolTip(QStringLiteral("A CSV file of student numbers and names"));
    ButtonExport =
        NewButton(QStringLiteral("Export Grades…"), QStringLiteral("ButtonExport"), this);
    bar->addWidget(ButtonAddScans);
    bar->addWidget(ProgressScans, 1);
    bar->addWidget(ButtonCancelScans);
    bar->addStretch();
    bar->addWidget(ButtonClassList);
    bar->addWidget(ButtonExport);
    top->addLayout(bar);

    Tabs = new QTabWidget(this);
    Tabs->setObjectName(QStringLiteral("TabsGrades"));
    top->addWidget(Tabs, 1);

    // Sheets: the table, and the chosen sheet's picture with its doubts.
    auto* sheetsPage = new QSplitter(Qt::Horizontal, Tabs);
    sheetsPage->setObjectName(QStringLiteral("PageSheets"));
    auto* left = new QWidget(sheetsPage);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    TableSheets = new QTableView(left);
    TableSheets->setObjectName(QStringLiteral("TableSheets"));
    sheetRows_ = new QStandardItemModel(0, 8, this);
    sheetRows_->setHorizontalHeaderLabels({QStringLiteral("Student number"), QStringLiteral("Name"),
                                           QStringLiteral("Version"), QStringLiteral("Mark"),
                                           QStringLiteral("Maximum"), QStringLiteral("Percentage"),
                                           QStringLiteral("Status"), QStringLiteral("Scan")});
    sheetOrder_ = new QSortFilterProxyModel(this);
    sheetOrder_->setSourceModel(sheetRows_);
    sheetOrder_->setSortRole(kSortRole);
    TableSheets->setModel(sheetOrder_);
    TableSheets->setSortingEnabled(true);
    TableSheets->sortByColumn(-1, Qt::AscendingOrder);
    TableSheets->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableSheets->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableSheets->verticalHeader()->hide();
    TableSheets->horizontalHeader()->setStretchLastSection(true);
    LabelSheets = new QLabel(left);
    LabelSheets->setObjectName(QStringLiteral("LabelSheets"));
    auto* sheetButtons = new QHBoxLayout;
    ButtonRemove = NewButton(QStringLiteral("Remove"), QStringLiteral("ButtonRemove"), left);
    ButtonRemove->setShortcut(QKeySequence::Delete);
    ButtonRemove->setToolTip(QStringLiteral("Take the chosen sheets out (Delete)"));
    ButtonAddByHand =
        NewButton(QStringLiteral("Enter by Hand…"), QStringLiteral("ButtonAddByHand"), left);
    sheetButtons->addWidget(ButtonRemove);
    sheetButtons->addWidget(ButtonAddByHand);
    sheetButtons->addStretch();
    leftLayout->addWidget(TableSheets, 1);
    leftLayout->addWidget(LabelSheets);
    leftLayout->addLayout(sheetButtons);

    auto* right = new QWidget(sheetsPage);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    auto* viewRow = new QHBoxLayout;
    ViewSheet = new SheetView(right);
    ListReasons = new QListWidget(right);
    ListReasons->setObjectName(QStringLiteral("ListReasons"));
    ListReasons->setMaximumWidth(220);
    ListReasons->setWordWrap(true);
    viewRow->addWidget(ViewSheet, 1);
    viewRow->addWidget(ListReasons);
    auto* studentRow = new QHBoxLayout;
    auto* studentLabel = new QLabel(QStringLiteral("Student &number:"), right);
    studentLabel->setObjectName(QStringLiteral("LabelStudent"));
    EditStudent = new QLineEdit(right);
    EditStudent->setObjectName(QStringLiteral("EditStudent"));
    studentLabel->setBuddy(EditStudent);
    ButtonAccept = new QPushButton(QStringLiteral("Accept"), right);
    ButtonAccept->setObjectName(QStringLiteral("ButtonAccept"));
    ButtonAccept->setToolTip(QStringLiteral("Take the sheet as it reads now (Enter)"));
    ButtonAccept->setDefault(true);
    studentRow->addWidget(studentLabel);
    studentRow->addWidget(EditStudent);
    studentRow->addStretch();
    studentRow->addWidget(ButtonAccept);
    rightLayout->addLayout(viewRow, 1);
    rightLayout->addLayout(studentRow);
    sheetsPage->setStretchFactor(0, 2);
    sheetsPage->setStretchFactor(1, 3);
    Tabs->addTab(sheetsPage, QStringLiteral("&Sheets"));

    // Questions: how each did, the spread of the marks and the summary.
    auto* questionsPage = new QWidget(Tabs);
    questionsPage->setObjectName(QStringLiteral("PageQuestions"));
    auto* questionsLayout = new QVBoxLayout(questionsPage);
    TableQuestions = new QTableView(questionsPage);
    TableQuestions->setObjectName(QStringLiteral("TableQuestions"));
    questionRows_ = new QStandardItemModel(this);
    TableQuestions->setModel(questionRows_);
    TableQuestions->setSelectionBehavior(QAbstractItemView::SelectRows);
    TableQuestions->setSelectionMode(QAbstractItemView::SingleSelection);
    TableQuestions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TableQuestions->verticalHeader()->hide();
    TableQuestions->setToolTip(QStringLiteral("Double-click a question to see it in the paper"));
    auto* questionButtons = new QHBoxLayout;
    ButtonAcceptAlso = NewButton(QStringLiteral("Also Accept…"), QStringLiteral("ButtonAcceptAlso"),
                                 questionsPage);
    ButtonGiveAll = NewButton(QStringLiteral("Give Everyone the Mark"),
                              QStringLiteral("ButtonGiveAll"), questionsPage);
    questionButtons->addWidget(ButtonAcceptAlso);
    questionButtons->addWidget(ButtonGiveAll);
    questionButtons->addStretch();
    ChartScores = new ScoreChart(questionsPage);
    questionsLayout->addWidget(TableQuestions, 3);
    questionsLayout->addLayout(questionButtons);
    questionsLayout->addWidget(ChartScores, 1);
    Tabs->addTab(questionsPage, QStringLiteral("&Questions"));

    LabelSummary = new QLabel(this);
    LabelSummary->setObjectName(QStringLiteral("LabelSummary"));
    LabelSummary->setWordWrap(true);
    LabelSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(LabelSummary);

    // Corrections are undone here, apart from the paper's own history.
    QAction* undo = book_->Undo().createUndoAction(this, QStringLiteral("&Undo"));
    undo->setObjectName(QStringLiteral("actionGradesUndo"));
    undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    QAction* redo = book_->Undo().createRedoAction(this, QStringLiteral("&Redo"));
    redo->setObjectName(QStringLiteral("actionGradesRedo"));
    redo->setShortcuts(
        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    addAction(undo);
    addAction(redo);
    auto* previous = new QShortcut(QKeySequence(Qt::Key_PageUp), this);
    previous->setObjectName(QStringLiteral("shortcutPreviousSheet"));
    auto* next = new QShortcut(QKeySequence(Qt::Key_PageDown), this);
    next->setObjectName(QStringLiteral("shortcutNextSheet"));
    auto* review = new QShortcut(QKeySequence(Qt::Key_N), this);
    review->setObjectName(QStringLiteral("shortcutNextToReview"));
    connect(previous, &QShortcut::activated, this, [this] { StepSheet(-1); });
    connect(next, &QShortcut::activated, this, [this] { StepSheet(1); });
    connect(review, &QShortcut::activated, this, &DialogGrades::NextToReview);

    connect(ButtonAddScans, &QPushButton::clicked, this, &DialogGrades::ChooseScans);
    connect(ButtonCancelScans, &QPushButton::clicked, this, [this] {
        if (runner_) runner_->Cancel();
    });
    connect(ButtonClassList, &QPushButton::clicked, this, &DialogGrades::LoadClassList);
    connect(ButtonExport, &QPushButton::clicked, this, &DialogGrades::Export);
    connect(TableSheets->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { ShowCurrentSheet(); });
    connect(ViewSheet, &SheetView::BubbleClicked, this, &DialogGrades::OnBubbleClicked);
    connect(ButtonAccept, &QPushButton::clicked, this, &DialogGrades::AcceptSheet);
    connect(EditStudent, &QLineEdit::editingFinished, this, &DialogGrades::TypeStudent);
    connect(ButtonRemove, &QPushButton::clicked, this, &DialogGrades::RemoveSheets);
    connect(ButtonAddByHand, &QPushButton::clicked, this, &DialogGrades::EnterByHand);
    connect(ButtonAcceptAlso, &QPushButton::clicked, this, &DialogGrades::AcceptAlso);
    connect(ButtonGiveAll, &QPushButton::clicked, this, &DialogGrades::GiveAll);
    connect(TableQuestions, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (context_.showQuestion) context_.showQuestion(index.row() + 1);
    });
    resize(1100, 720);
}

QString DialogGrades::Key(const QString& file, int page) {
    return file + QLatin1Char('\n') + QString::number(page);
}

QStringList DialogGrades::ScansIn(const QString& folder) {
    QStringList patterns;
    for (const QString& suffix : kScanSuffixes) patterns << QStringLiteral("*.") + suffix;
    QStringList files;
    const QDir dir(folder);
    for (const QFileInfo& info :
         dir.entryInfoList(patterns, QDir::Files | QDir::Readable, QDir::Name | QDir::IgnoreCase))
        files << info.absoluteFilePath();
    return files;
}

void DialogGrades::ChooseScans() {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Add Scans");
    request.folder = QFileInfo(context_.document.FileName()).absolutePath();
    request.filter = kScanFilter;
    const std::optional<QString> chosen = context_.seams.prompts.ChooseFile(request);
    if (!chosen) return;
    AddScans(QFileInfo(*chosen).isDir() ? ScansIn(*chosen) : QStringList{*chosen});
}

void DialogGrades::AddScans(const QStringList& files) {
    if (files.isEmpty() || runner_) return;
    const std::vector<QuestionRecord> paper = context_.document.Rows();
    reader_ = std::make_unique<SheetReader>(paper, modeLetters_);
    pageSheets_ = std::make_unique<PageSheets>(paper);
    runner_ = std::make_unique<BatchRunner>(ScanPageSources(*reader_, kFallbackDpi), 2);
    connect(runner_.get(), &BatchRunner::pageRead, this, &DialogGrades::OnPageRead);
    connect(runner_.get(), &BatchRunner::finished, this, &DialogGrades::OnReadingFinished);
    ButtonAddScans->setEnabled(false);
    ProgressScans->setRange(0, 0);
    ProgressScans->show();
    ButtonCancelScans->show();
    runner_->Start(files);
}

DialogGrades::Picture DialogGrades::MakePicture(const PageRead& read) {
    Picture picture;
    if (read.upright.isNull() || read.status != PageRead::Status::Read) return picture;
    const double scale = std::min(1.0, double(kPictureWidth) / read.upright.width());
    picture.upright =
        read.upright.scaledToWidth(int(read.upright.width() * scale), Qt::SmoothTransformation);
    picture.toPixels = read.pointsToUpright * QTransform::fromScale(scale, scale);
    // Which paper question and letter each printed bubble stands for: the
    // sheet's own mapping, asked one bubble of every question at a time.
    const std::vector<BubbleRead>& bubbles = read.bubbles;
    picture.bubbles.resize(bubbles.size());
    QHash<int, int> seen;  // bubbles of each printed question so far
    std::vector<int> round(bubbles.size(), -1);
    int rounds = 0;
    for (std::size_t i = 0; i < bubbles.size(); ++i) {
        picture.bubbles[i].bubble = bubbles[i].bubble;
        if (bubbles[i].bubble.kind != SheetBubble::Kind::Answer) continue;
        round[i] = seen[bubbles[i].bubble.question]++;
        rounds = std::max(rounds, round[i] + 1);
    }
    PageRead probe = read;
    probe.upright = QImage();
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < bubbles.size(); ++i)
            probe.bubbles[i].mark =
                round[i] == r ? BubbleRead::Mark::Marked : BubbleRead::Mark::Empty;
        const SheetRead sheet = pageSheets_->FromPage(probe, {}, 1);
        for (std::size_t i = 0; i < bubbles.size(); ++i) {
            if (round[i] != r) continue;
            const int source = bubbles[i].bubble.source;
            for (const AnswerRead& answer : sheet.answers)
                if (answer.question == source && answer.marked) {
                    picture.bubbles[i].question = source;
                    picture.bubbles[i].option = answer.marked;
                }
        }
    }
    return picture;
}

void DialogGrades::OnPageRead(const BatchPage& page) {
    if (ProgressScans->maximum() != page.total) ProgressScans->setRange(0, page.total);
    ProgressScans->setValue(page.index + 1);
    GradedSheet sheet;
    sheet.read = pageSheets_->FromPage(page.read, page.file, page.page);
    Picture picture = MakePicture(page.read);
    if (!picture.upright.isNull()) pictures_.insert(Key(page.file, page.page), std::move(picture));
    const bool first = book_->Sheets().empty();
    book_->Add(std::move(sheet));
    if (first) SelectSheet(0);
}

void DialogGrades::OnReadingFinished(bool completed) {
    ProgressScans->hide();
    ButtonCancelScans->hide();
    ButtonAddScans->setEnabled(true);
    // The runner's thread has ended with this signal; it goes once it is handled.
    runner_.release()->deleteLater();
    emit ReadingFinished(completed);
}

void DialogGrades::PaperChanged() {
    book_->SetPaper(context_.document.Rows());
}

void DialogGrades::ShowGrades() {
    ShowSheets();
    ShowQuestions();
    ShowSummary();
    ShowCurrentSheet();
}

void DialogGrades::ShowSheets() {
    const int keep = shownSheet_;
    filling_ = true;
    const std::vector<SheetResult>& results = book_->Results();
    const std::vector<GradedSheet>& sheets = book_->Sheets();
    sheetRows_->setRowCount(0);
    // The sheets to review first, then the unreadable, then the rest, each as read.
    std::vector<int> order(results.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = int(i);
    auto rank = [&results](int i) {
        const SheetStatus s = results[std::size_t(i)].status;
        return s == SheetStatus::Review ? 0 : s == SheetStatus::Unreadable ? 1 : 2;
    };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return rank(a) < rank(b); });
    int place = 0;
    for (int i : order) {
        const SheetResult& r = results[std::size_t(i)];
        const GradedSheet& s = sheets[std::size_t(i)];
        const bool read = r.status != SheetStatus::Unreadable;
        const double percent = r.max > 0 ? 100 * r.score / r.max : 0;
        QList<QStandardItem*> row;
        auto add = [&row](const QString& text, const QVariant& sort) {
            auto* item = new QStandardItem(text);
            item->setData(sort, kSortRole);
            row << item;
        };
        add(r.student.value_or(QString()), r.student.value_or(QString()));
        add(r.name.value_or(QString()), r.name.value_or(QString()));
        add(r.version, r.version);
        add(read ? FormatFigure(r.score) : QString(), read ? r.score : -1);
        add(read ? FormatFigure(r.max) : QString(), r.max);
        add(read ? FormatFigure(std::round(percent * 10) / 10) : QString(), read ? percent : -1);
        add(StatusText(r, s), place);
        add(s.byHand ? QStringLiteral("by hand")
                     : QStringLiteral("%1 p. %2").arg(QFileInfo(r.file).fileName()).arg(r.page),
            place);
        row[ColStudent]->setData(i, kSheetRole);
        const QColor colour = r.status == SheetStatus::Review       ? kReviewColour
                              : r.status == SheetStatus::Unreadable ? kUnreadableColour
                                                                    : QColor();
        for (QStandardItem* item : row) {
            if (colour.isValid()) item->setBackground(colour);
            if (!r.reasons.isEmpty()) item->setToolTip(r.reasons.join(u'\n'));
        }
        sheetRows_->appendRow(row);
        ++place;
    }
    LabelSheets->setText(
        QStringLiteral("%1 sheets, %2 to review").arg(results.size()).arg(book_->ToReview()));
    filling_ = false;
    shownSheet_ = -1;
    if (keep >= 0 && keep < int(results.size()))
        SelectSheet(keep);
    else if (!results.empty())
        SelectSheet(std::min<int>(std::max(keep, 0), int(results.size()) - 1));
}

int DialogGrades::CurrentSheet() const {
    const QModelIndex current = TableSheets->currentIndex();
    if (!current.isValid()) return -1;
    return sheetOrder_->mapToSource(current).siblingAtColumn(ColStudent).data(kSheetRole).toInt();
}

void DialogGrades::SelectSheet(int sheet) {
    for (int row = 0; row < sheetOrder_->rowCount(); ++row) {
        const QModelIndex index = sheetOrder_->index(row, ColStudent);
        if (sheetOrder_->mapToSource(index).data(kSheetRole).toInt() != sheet) continue;
        TableSheets->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        TableSheets->scrollTo(index);
        ShowCurrentSheet();
        return;
    }
}

void DialogGrades::ShowCurrentSheet() {
    if (filling_) return;
    const int sheet = CurrentSheet();
    const bool any = sheet >= 0;
    ButtonAccept->setEnabled(any &&
                             book_->Results()[std::size_t(sheet)].status == SheetStatus::Review);
    EditStudent->setEnabled(any &&
                            book_->Results()[std::size_t(sheet)].status != SheetStatus::Unreadable);
    ButtonRemove->setEnabled(any);
    ListReasons->clear();
    if (!any) {
        shownSheet_ = -1;
        EditStudent->clear();
        ViewSheet->Clear(
            QStringLiteral("Add the scans of the answer sheets with Add Scans…, or drop "
                           "them here."));
        return;
    }
    const SheetResult& result = book_->Results()[std::size_t(sheet)];
    const GradedSheet& graded = book_->Sheets()[std::size_t(sheet)];
    ListReasons->addItems(result.reasons);
    if (!EditStudent->hasFocus()) EditStudent->setText(result.student.value_or(QString()));
    const auto found = pictures_.constFind(Key(graded.read.file, graded.read.page));
    if (found == pictures_.constEnd()) {
        shownSheet_ = sheet;
        ViewSheet->Clear(graded.byHand ? QStringLiteral("Entered by hand.")
                                       : QStringLiteral("No picture of this page."));
        return;
    }
    if (shownSheet_ != sheet || ViewSheet->Bubbles().size() != found->bubbles.size())
        ViewSheet->Show(found->upright, found->toPixels, found->bubbles);
    shownSheet_ = sheet;
    // The looks follow the sheet as corrected.
    std::vector<ViewBubble::Look> looks;
    for (const ViewBubble& b : found->bubbles) {
        ViewBubble::Look look = ViewBubble::Look::Empty;
        if (b.bubble.kind == SheetBubble::Kind::Answer) {
            for (std::size_t a = 0; a < graded.read.answers.size(); ++a) {
                const AnswerRead& answer = graded.read.answers[a];
                if (answer.question != b.question) continue;
                const bool multiple =
                    a < result.answers.size() && result.answers[a].status == AnswerStatus::Multiple;
                if (answer.unclear & b.option)
                    look = ViewBubble::Look::Doubt;
                else if (answer.marked & b.option)
                    look = multiple ? ViewBubble::Look::Doubt : ViewBubble::Look::Marked;
            }
        } else if (std::size_t(b.bubble.position) < graded.read.student.size()) {
            const DigitRead& digit = graded.read.student[std::size_t(b.bubble.position)];
            const unsigned short bit = (unsigned short)(1u << b.bubble.digit);
            const bool several = (digit.marked & (digit.marked - 1)) != 0;
            if (digit.unclear & bit)
                look = ViewBubble::Look::Doubt;
            else if (digit.marked & bit)
                look = several ? ViewBubble::Look::Doubt : ViewBubble::Look::Marked;
        }
        looks.push_back(look);
    }
    ViewSheet->ShowLooks(looks);
}

void DialogGrades::OnBubbleClicked(int index) {
    const int sheet = CurrentSheet();
    if (sheet < 0) return;
    const ViewBubble& b = ViewSheet->Bubbles().at(std::size_t(index));
    if (b.bubble.kind == SheetBubble::Kind::Student)
        book_->ChooseDigit(sheet, b.bubble.position, b.bubble.digit);
    else if (b.question > 0 && b.option)
        book_->ToggleOption(sheet, b.question, b.option);
}

void DialogGrades::StepSheet(int by) {
    const int rows = sheetOrder_->rowCount();
    if (rows == 0) return;
    const int row = std::clamp(TableSheets->currentIndex().row() + by, 0, rows - 1);
    SelectSheet(
        sheetOrder_->mapToSource(sheetOrder_->index(row, ColStudent)).data(kSheetRole).toInt());
}

void DialogGrades::NextToReview() {
    const int rows = sheetOrder_->rowCount();
    const int from = TableSheets->currentIndex().row();
    for (int k = 1; k <= rows; ++k) {
        const int row = (from + k + rows) % rows;
        const int sheet =
            sheetOrder_->mapToSource(sheetOrder_->index(row, ColStudent)).data(kSheetRole).toInt();
        if (book_->Results()[std::size_t(sheet)].status == SheetStatus::Review) {
            SelectSheet(sheet);
            return;
        }
    }
}

void DialogGrades::AcceptSheet() {
    const int sheet = CurrentSheet();
    if (sheet < 0 || book_->Results()[std::size_t(sheet)].status != SheetStatus::Review) return;
    book_->Accept(sheet);
    NextToReview();
}

void DialogGrades::TypeStudent() {
    const int sheet = CurrentSheet();
    if (sheet < 0) return;
    const QString typed = EditStudent->text().trimmed();
    if (typed == book_->Results()[std::size_t(sheet)].student.value_or(QString())) return;
    book_->SetStudent(sheet, typed);
}

void DialogGrades::RemoveSheets() {
    std::vector<int> sheets;
    for (const QModelIndex& index : TableSheets->selectionModel()->selectedRows(ColStudent))
        sheets.push_back(sheetOrder_->mapToSource(index).data(kSheetRole).toInt());
    if (sheets.empty()) return;
    shownSheet_ = -1;
    book_->Remove(sheets);
}

void DialogGrades::EnterByHand() {
    const AnswerKey& key = book_->Key();
    const std::optional<QString> student =
        AskLine(context_.seams.modal, this, QStringLiteral("DialogByHandStudent"),
                QStringLiteral("Enter by Hand"), QStringLiteral("Student number:"), {});
    if (!student) return;
    const std::optional<QString> letters = AskLine(
        context_.seams.modal, this, QStringLiteral("DialogByHandAnswers"),
        QStringLiteral("Enter by Hand"),
        QStringLiteral("Letters marked for questions 1 to %1, in the paper's order, separated by "
                       "commas (nothing for a blank):")
            .arg(key.QuestionCount()),
        {});
    if (!letters) return;
    GradedSheet sheet;
    sheet.read.file = QString();
    sheet.read.page = 0;
    for (QChar c : student->trimmed())
        if (c.isDigit())
            sheet.read.student.push_back(DigitRead{(unsigned short)(1u << c.digitValue()), 0});
    const QStringList fields = letters->split(u',');
    for (int q = 0; q < key.QuestionCount(); ++q) {
        AnswerRead answer;
        answer.question = q + 1;
        if (q < fields.size())
            answer.marked = AnswerTextToMask(fields[q].trimmed().toUpper()) & key.Offered(q);
        sheet.read.answers.push_back(answer);
    }
    book_->AddByHand(std::move(sheet));
    SelectSheet(int(book_->Sheets().size()) - 1);
}

int DialogGrades::CurrentQuestion() const {
    const QModelIndex current = TableQuestions->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void DialogGrades::AcceptAlso() {
    const int question = CurrentQuestion();
    if (question == 0) {
        ShowMessage(context_.seams.prompts, QStringLiteral("Choose a question first."));
        return;
    }
    const std::optional<QString> letters =
        AskLine(context_.seams.modal, this, QStringLiteral("DialogAcceptAlso"),
                QStringLiteral("Also Accept"),
                QStringLiteral("Letters that also score question %1:").arg(question), {});
    if (!letters) return;
    const AnswerMask mask =
        AnswerTextToMask(letters->trimmed().toUpper()) & book_->Key().Offered(question - 1);
    if (mask) book_->AlsoAccept(question, mask);
}

void DialogGrades::GiveAll() {
    const int question = CurrentQuestion();
    if (question == 0) {
        ShowMessage(context_.seams.prompts, QStringLiteral("Choose a question first."));
        return;
    }
    book_->GiveAll(question);
}

void DialogGrades::ShowQuestions() {
    const GradeStatistics& stats = book_->Statistics();
    const int keep = CurrentQuestion();
    // One column per letter any question offers, in the paper's letters.
    QString letters;
    for (const QuestionStatistics& q : stats.questions)
        for (const auto& [letter, count] : q.options)
            if (!letters.contains(letter)) letters += letter;
    std::sort(letters.begin(), letters.end());
    QStringList headers{QStringLiteral("Question"), QStringLiteral("Answer"), QStringLiteral("p"),
                        QStringLiteral("Discrimination"), QStringLiteral("Point-biserial")};
    for (QChar letter : letters) headers << QString(letter);
    headers << QStringLiteral("Blank") << QStringLiteral("Multiple") << QStringLiteral("Flag");
    questionRows_->clear();
    questionRows_->setHorizontalHeaderLabels(headers);
    for (const QuestionStatistics& q : stats.questions) {
        QList<QStandardItem*> row;
        row << new QStandardItem(QString::number(q.question));
        QString answer = q.answer.value_or(kUncertain);
        QStringList also;
        for (AnswerMask m : book_->AlsoAccepted(q.question)) also << MarkedLetters(m);
        if (!also.isEmpty())
            answer += QStringLiteral(" (also %1)").arg(also.join(QStringLiteral(", ")));
        if (book_->GivenToAll(q.question)) answer += QStringLiteral(" (given to all)");
        row << new QStandardItem(answer) << new QStandardItem(Figure(q.p))
            << new QStandardItem(Figure(q.discrimination))
            << new QStandardItem(Figure(q.pointBiserial));
        for (QChar letter : letters) {
            auto* item = new QStandardItem();
            for (const auto& [l, count] : q.options) {
                if (l != letter) continue;
                item->setText(QString::number(count));
                // The answer's count stands out from the distractors'.
                if (q.answer && q.answer->contains(letter)) {
                    QFont bold = item->font();
                    bold.setBold(true);
                    item->setFont(bold);
                    item->setForeground(QColor(0, 110, 0));
                }
            }
            row << item;
        }
        row << new QStandardItem(QString::number(q.blank))
            << new QStandardItem(QString::number(q.multiple)) << new QStandardItem(Flag(q));
        if (!Flag(q).isEmpty()) row.back()->setForeground(QColor(190, 60, 0));
        questionRows_->appendRow(row);
    }
    TableQuestions->resizeColumnsToContents();
    if (keep > 0 && keep <= questionRows_->rowCount()) TableQuestions->selectRow(keep - 1);
}

void DialogGrades::ShowSummary() {
    const SummaryStatistics& s = book_->Statistics().summary;
    LabelSummary->setText(
        QStringLiteral("Sheets %1 · mean %2 · median %3 · standard deviation %4 · lowest %5 · "
                       "highest %6 · Cronbach's alpha %7 · standard error of measurement %8")
            .arg(s.sheets)
            .arg(Figure(s.mean), Figure(s.median), Figure(s.sd), Figure(s.lowest),
                 Figure(s.highest), Figure(s.alpha), Figure(s.sem)));
    std::vector<double> percentages;
    QSet<QString> present;
    for (const SheetResult& r : book_->Results()) {
        if (r.status == SheetStatus::Unreadable) continue;
        percentages.push_back(r.max > 0 ? 100 * r.score / r.max : 0);
        if (r.student) present.insert(*r.student);
    }
    QStringList absent;
    if (const ClassList* classes = book_->Classes()) {
        for (const QString& number : classes->Numbers())
            if (!present.contains(number))
                absent << (classes->Name(number).isEmpty()
                               ? number
                               : QStringLiteral("%1 %2").arg(number, classes->Name(number)));
    }
    ChartScores->Show(percentages, absent);
}

void DialogGrades::LoadClassList() {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Class List");
    request.folder = QFileInfo(context_.document.FileName()).absolutePath();
    request.filter = QStringLiteral("Class list (*.csv *.txt)|*.csv;*.txt");
    const std::optional<QString> chosen = context_.seams.prompts.ChooseFile(request);
    if (!chosen) return;
    QFile file(*chosen);
    QString error;
    std::optional<ClassList> list;
    if (!QFileInfo(*chosen).isFile() || file.size() > 16 * 1024 * 1024)
        error = QStringLiteral("it is not a class list");
    else if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else
        list = ClassList::FromCsv(file.readAll(), &error);
    if (!list) {
        ShowMessage(context_.seams.prompts,
                    QStringLiteral("The class list cannot be read: %1").arg(error));
        return;
    }
    book_->SetClassList(std::move(list));
}

void DialogGrades::Export() {
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = QStringLiteral("Export Grades");
    const QFileInfo paper(context_.document.FileName());
    request.folder = paper.absolutePath();
    request.fileName = paper.completeBaseName() + QStringLiteral(" grades.csv");
    request.filter = QStringLiteral("CSV (*.csv)|*.csv");
    const std::optional<QString> chosen = context_.seams.prompts.ChooseFile(request);
    if (!chosen) return;
    const QString error = book_->ExportCsv(*chosen);
    if (!error.isEmpty())
        ShowMessage(context_.seams.prompts,
                    QStringLiteral("The grades cannot be written: %1").arg(error));
}

void DialogGrades::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !runner_) event->acceptProposedAction();
}

void DialogGrades::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (info.isDir())
            files << ScansIn(info.absoluteFilePath());
        else if (info.isFile() && kScanSuffixes.contains(info.suffix().toLower()))
            files << info.absoluteFilePath();
    }
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    AddScans(files);
}

void DialogGrades::closeEvent(QCloseEvent* event) {
    if (runner_) runner_->Cancel();
    QDialog::closeEvent(event);
}

}  // namespace scrivane
