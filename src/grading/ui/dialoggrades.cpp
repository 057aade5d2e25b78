#include "grading/ui/dialoggrades.h"

#include <QAction>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QComboBox>
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
#include <QScopedValueRollback>
#include <QSettings>
#include <QShortcut>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QWindow>
#include <algorithm>

#include "checks/ui/paperchecksaction.h"
#include "core/answercode.h"
#include "core/paperdocument.h"
#include "core/prompts.h"
#include "core/settingsfile.h"
#include "grading/scores/gradesreport.h"
#include "grading/read/pageread.h"
#include "grading/read/scanfiles.h"
#include "grading/session/gradingmodels.h"
#include "grading/ui/scorechart.h"
#include "workspace/papercontext.h"

namespace scrivane {

namespace {

// The OK and Cancel of the window's small forms, closing the form.
void AddOkCancel(QDialog& form, QFormLayout* layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &form);
    buttons->setObjectName(QStringLiteral("Buttons"));
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &form, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &form, &QDialog::reject);
}

// "Scans (*.pdf *.png ...)|*.pdf *.png ...", of the types the session reads.
QString ScanFilter() {
    const QString patterns = ScanPatterns().join(u' ');
    return QStringLiteral("Scans (%1)|%1").arg(patterns);
}
const QString kExportFilter = QStringLiteral(
    "CSV (*.csv)|*.csv|Excel Workbook (*.xlsx)|*.xlsx|OpenDocument Spreadsheet (*.ods)|*.ods");
// The picture kept for showing: wide enough to judge a bubble by.
constexpr int kPictureWidth = 1000;
constexpr int kPicturesKept = 12;

// A question asked with Yes and No; whether the answer was Yes.
bool AskYesNo(Prompts& prompts, const QString& text, MsgAnswer defaultButton,
              const QString& informative = {}) {
    MessageRequest ask;
    ask.text = text;
    ask.informativeText = informative;
    ask.buttons = MsgButtons::YesNo;
    ask.icon = MsgIcon::Question;
    ask.defaultButton = defaultButton;
    return prompts.MsgBox(ask) == MsgAnswer::Yes;
}

QPushButton* NewButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

// The versions the sheets were printed in, to choose one of in a small form.
QComboBox* VersionChoice(QDialog& form, const GradingSession& session) {
    auto* versions = new QComboBox(&form);
    versions->setObjectName(QStringLiteral("ComboVersion"));
    for (const PaperVersion& version : session.Versions()) versions->addItem(version.name);
    return versions;
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
    AddOkCancel(dialog, layout);
    if (modal.Exec(dialog) != QDialog::Accepted) return std::nullopt;
    return edit->text();
}

}  // namespace

DialogGrades::DialogGrades(PaperContext& context, QWidget* parent)
    : QDialog(parent),
      context_(context),
      modeLetters_(AnswerModeLetters(context.state.AnswerType())),
      session_(std::make_unique<GradingSession>(context.document.FileName(),
                                                context.seams.platform.DataFolder(),
                                                context.document.Rows(), modeLetters_)) {
    setObjectName(QStringLiteral("DialogGrades"));
    setWindowTitle(QStringLiteral("Grades - ") + QFileInfo(context.document.FileName()).fileName());
    setAcceptDrops(true);
    setSizeGripEnabled(true);
    BuildControls();
    BuildReview();
    connect(session_.get(), &GradingSession::Changed, this, &DialogGrades::ShowGrades);
    connect(session_.get(), &GradingSession::ScanProgress, this, [this](int done, int total) {
        ProgressScans->setRange(0, total);
        ProgressScans->setValue(done);
    });
    connect(session_.get(), &GradingSession::SheetAdded, this, [this](int id) {
        if (CurrentSheet() < 0) SelectSheet(id);
    });
    connect(session_.get(), &GradingSession::ScansFinished, this, &DialogGrades::OnReadingFinished);
    connect(session_.get(), &GradingSession::SaveFailed, this, [this](const QString& error) {
        // Once: every later change would fail the same way.
        if (saveTold_) return;
        saveTold_ = true;
        ShowMessage(context_.seams.prompts,
                    QStringLiteral("The grading cannot be kept: %1").arg(error));
    });
    // The grades follow the paper as it is edited, undone and redone.
    connect(&context.document, &PaperDocument::Changed, this, &DialogGrades::PaperChanged);
    connect(&context.document, &PaperDocument::RowEdited, this, &DialogGrades::PaperChanged);
    // Another paper has nothing to do with these sheets; the grading stays in its file.
    connect(&context.document, &PaperDocument::Replaced, this, &DialogGrades::OnPaperReplaced);
    BuildGradingFileControls();
    ShowGrades();
}

DialogGrades::~DialogGrades() {
    session_->CancelScans();
    if (loader_) loader_->wait();
}

void DialogGrades::LoadGrading() {
    const GradingLoad load = session_->Load();
    if (!load.damaged.isEmpty()) ShowMessage(context_.seams.prompts, load.damaged);
    if (session_->ReadOnly())
        ShowMessage(context_.seams.prompts,
                    QStringLiteral("This grading is open in another window, held by %1: it "
                                   "is shown here read-only, and changes can be made there only.")
                        .arg(session_->HeldBy()));
    else if (!load.missingScans.isEmpty())
        AskForMissingScans(load.missingScans);
    // The first sheet in review order is selected by the showing.
    ShowGrades();
}

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
    sheets_ = new SheetsModel(*session_, this);
    sheetOrder_ = new QSortFilterProxyModel(this);
    sheetOrder_->setSourceModel(sheets_);
    sheetOrder_->setSortRole(SheetsModel::SortRole);
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
    AddPaperChangeLabel(left, leftLayout);
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
    questions_ = new QuestionsModel(*session_, this);
    TableQuestions->setModel(questions_);
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
    QAction* undo = session_->UndoStack()->createUndoAction(this, QStringLiteral("&Undo"));
    undo->setObjectName(QStringLiteral("actionGradesUndo"));
    undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    QAction* redo = session_->UndoStack()->createRedoAction(this, QStringLiteral("&Redo"));
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
    connect(ButtonCancelScans, &QPushButton::clicked, session_.get(), &GradingSession::CancelScans);
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

void DialogGrades::ChooseScans() {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Add Scans");
    request.folder = QFileInfo(context_.document.FileName()).absolutePath();
    request.filter = ScanFilter();
    QStringList files;
    for (const QString& chosen : context_.seams.prompts.ChooseFiles(request))
        files += QFileInfo(chosen).isDir() ? ScanFilesIn(chosen) : QStringList{chosen};
    if (!files.isEmpty()) AddScans(files);
}

void DialogGrades::AddScans(const QStringList& files) {
    if (session_->ReadOnly()) return;
    // A scan listed already is read again only where pages are missing.
    const QStringList already = session_->AlreadyRead(files);
    if (!already.isEmpty()) {
        QStringList names;
        for (const QString& file : already) names << QFileInfo(file).fileName();
        ShowMessage(context_.seams.prompts,
                    names.size() == 1 ? QStringLiteral("%1 is already read.").arg(names[0])
                                      : QStringLiteral("These scans are already read: %1.")
                                            .arg(names.join(QStringLiteral(", "))));
    }
    if (session_->AddScans(files)) ShowReading();
}

void DialogGrades::ShowReading() {
    ButtonContinueReading->hide();
    ButtonAddScans->setEnabled(false);
    ProgressScans->setRange(0, 0);
    ProgressScans->show();
    ButtonCancelScans->show();
}

void DialogGrades::OnReadingFinished(bool completed) {
    ProgressScans->hide();
    ButtonCancelScans->hide();
    ButtonAddScans->setEnabled(true);
    ShowGradingFile();
    // The review starts at the first sheet to review, not the first read.
    const std::vector<int> order = session_->ReviewOrder();
    if (!order.empty() && (session_->Status(order.front()) == ReviewStatus::Review ||
                           session_->Status(order.front()) == ReviewStatus::Unreadable))
        SelectSheet(order.front());
    emit ReadingFinished(completed);
}

// What changed in the paper since its sheets were read, in the window's own
// words, above the sheets to review.
void DialogGrades::AddPaperChangeLabel(QWidget* parent, QBoxLayout* layout) {
    LabelPaperChanged = new QLabel(parent);
    LabelPaperChanged->setObjectName(QStringLiteral("LabelPaperChanged"));
    LabelPaperChanged->setWordWrap(true);
    LabelPaperChanged->setStyleSheet(QStringLiteral("color: #a04000; font-weight: bold"));
    layout->addWidget(LabelPaperChanged);
    const auto show = [this] {
        const QString change = session_->PaperChange();
        LabelPaperChanged->setText(change);
        LabelPaperChanged->setVisible(!change.isEmpty());
    };
    connect(session_.get(), &GradingSession::Changed, LabelPaperChanged, show);
    show();
}

void DialogGrades::PaperChanged() {
    session_->SetPaper(context_.document.Rows(), modeLetters_);
}

void DialogGrades::ShowGrades() {
    ShowSheets();
    ShowQuestions();
    ShowSummary();
    ShowCurrentSheet();
    ShowGradingFile();
}

void DialogGrades::ShowSheets() {
    const int keep = CurrentSheet();
    sheets_->Update();
    LabelSheets->setText(session_->CountsText());
    // Widths follow the contents while sheets come and go, not on every correction.
    if (sheets_->rowCount() != sizedRows_) {
        sizedRows_ = sheets_->rowCount();
        TableSheets->resizeColumnsToContents();
    }
    if (keep >= 0 && session_->Sheet(keep)) {
        SelectSheet(keep);
    } else {
        const std::vector<int> order = session_->ReviewOrder();
        if (!order.empty())
            SelectSheet(order.front());
        else
            ShowCurrentSheet();
    }
}

int DialogGrades::CurrentSheet() const {
    const QModelIndex current = TableSheets->currentIndex();
    if (!current.isValid()) return -1;
    return sheets_->SheetAt(sheetOrder_->mapToSource(current).row());
}

void DialogGrades::SelectSheet(int id) {
    const int row = sheets_->RowOf(id);
    if (row < 0) return;
    const QModelIndex index = sheetOrder_->mapFromSource(sheets_->index(row, SheetsModel::Student));
    TableSheets->selectionModel()->setCurrentIndex(
        index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    TableSheets->scrollTo(index);
    ShowCurrentSheet();
}

void DialogGrades::ShowCurrentSheet() {
    const int id = CurrentSheet();
    const GradingSheet* sheet = id >= 0 ? session_->Sheet(id) : nullptr;
    const ReviewStatus status = sheet ? session_->Status(id) : ReviewStatus::Unreadable;
    ButtonAccept->setEnabled(sheet && status == ReviewStatus::Review);
    EditStudent->setEnabled(sheet && status != ReviewStatus::Unreadable);
    ButtonRemove->setEnabled(sheet != nullptr);
    ButtonVersion->setEnabled(sheet && status != ReviewStatus::Unreadable);
    ApplyReadOnly();
    ListReasons->clear();
    if (!sheet) {
        pictureSheet_ = -1;
        EditStudent->clear();
        ViewSheet->Clear(QStringLiteral(
            "Add the scans of the answer sheets with Add Scans…, or drop them here."));
        return;
    }
    const SheetResult& result = *session_->Result(id);
    ShowReasons(id);
    if (!EditStudent->hasFocus()) EditStudent->setText(result.student.value_or(QString()));
    if (sheet->byHand) {
        pictureSheet_ = -1;
        ViewSheet->Clear(QStringLiteral("Entered by hand."));
        return;
    }
    if (pictureSheet_ == id) {
        ShowLooks(id);
        return;
    }
    const auto found = pictures_.constFind(id);
    if (found == pictures_.constEnd()) {
        pictureSheet_ = -1;
        ViewSheet->Clear(QStringLiteral("Reading the picture…"));
        LoadPicture(id);
        return;
    }
    if (found->upright.isNull()) {
        pictureSheet_ = -1;
        ViewSheet->Clear(found->error);
        return;
    }
    std::vector<ViewBubble> bubbles;
    for (const SheetBubbleState& b : sheet->bubbles) bubbles.push_back(ViewBubble{b.bubble});
    ViewSheet->Show(found->upright, found->toPixels, std::move(bubbles));
    pictureSheet_ = id;
    ShowLooks(id);
    emit PictureShown(id);
}

void DialogGrades::LoadPicture(int id) {
    wanted_ = id;
    if (loader_) return;  // the newest wish is read when the current one is done
    loading_ = id;
    loadingGeneration_ = pictureGeneration_;
    GradingSession* session = session_.get();
    loader_ = QThread::create([this, session, id] {
        const PageRead read = session->ReadPage(id);
        Picture picture;
        if (read.status == PageRead::Status::Read && !read.upright.isNull()) {
            const double scale = std::min(1.0, double(kPictureWidth) / read.upright.width());
            picture.upright = read.upright.scaledToWidth(int(read.upright.width() * scale),
                                                         Qt::SmoothTransformation);
            picture.toPixels = read.pointsToUpright * QTransform::fromScale(scale, scale);
        } else {
            picture.error = read.reasons.isEmpty()
                                ? QStringLiteral("The picture of this page cannot be shown.")
                                : read.reasons.join(u'\n');
        }
        QMetaObject::invokeMethod(
            this, [this, id, picture] { OnPictureRead(id, picture); }, Qt::QueuedConnection);
    });
    connect(loader_, &QThread::finished, loader_, &QObject::deleteLater);
    loader_->start();
}

void DialogGrades::OnPictureRead(int id, const Picture& picture) {
    if (loader_) loader_->wait();
    loader_ = nullptr;
    if (loadingGeneration_ != pictureGeneration_) {
        // Read from where the scan no longer is: read again from where it is.
        if (CurrentSheet() >= 0 && !pictures_.contains(CurrentSheet())) LoadPicture(CurrentSheet());
        return;
    }
    // A few pictures are kept; a class's pile would not fit.
    if (pictures_.size() >= kPicturesKept) pictures_.erase(pictures_.begin());
    pictures_.insert(id, picture);
    if (CurrentSheet() == id) ShowCurrentSheet();
    const int next = wanted_;
    if (next != id && next == CurrentSheet() && !pictures_.contains(next)) LoadPicture(next);
}

void DialogGrades::ShowLooks(int id) {
    const GradingSheet& sheet = *session_->Sheet(id);
    const std::vector<bool>& doubts = session_->Result(id)->bubbleDoubts;
    std::vector<ViewBubble::Look> looks;
    for (std::size_t i = 0; i < sheet.bubbles.size(); ++i) {
        ViewBubble::Look look = sheet.bubbles[i].mark == BubbleRead::Mark::Marked
                                    ? ViewBubble::Look::Marked
                                    : ViewBubble::Look::Empty;
        if (i < doubts.size() && doubts[i]) look = ViewBubble::Look::Doubt;
        looks.push_back(look);
    }
    ViewSheet->ShowLooks(looks);
}

void DialogGrades::OnBubbleClicked(int index) {
    const int id = CurrentSheet();
    if (id < 0 || id != pictureSheet_ || session_->ReadOnly()) return;
    WritePaperRow();
    const SheetBubble& b = ViewSheet->Bubbles().at(std::size_t(index)).bubble;
    if (b.kind == SheetBubble::Kind::Student)
        session_->ChooseDigit(id, b.position, b.digit);
    else
        session_->ToggleBubble(id, index);
}

void DialogGrades::StepSheet(int by) {
    const int rows = sheetOrder_->rowCount();
    if (rows == 0) return;
    const int row = std::clamp(TableSheets->currentIndex().row() + by, 0, rows - 1);
    SelectSheet(sheets_->SheetAt(sheetOrder_->mapToSource(sheetOrder_->index(row, 0)).row()));
}

void DialogGrades::NextToReview() {
    const int next = session_->NextToReview(CurrentSheet());
    if (next >= 0) SelectSheet(next);
}

void DialogGrades::AcceptSheet() {
    const int id = CurrentSheet();
    if (id < 0 || session_->Status(id) != ReviewStatus::Review) return;
    WritePaperRow();
    // The number first: a sheet is never accepted for nobody.
    if (session_->StudentUnread(id)) {
        const std::optional<QString> number =
            AskLine(context_.seams.modal, this, QStringLiteral("DialogAcceptStudent"),
                    QStringLiteral("Accept"),
                    QStringLiteral("The student number is not read whole. Student number:"),
                    session_->Result(id)->student.value_or(QString()));
        if (!number) return;
        if (!session_->TypeStudent(id, *number) || session_->StudentUnread(id)) {
            ShowMessage(context_.seams.prompts, QStringLiteral("A student number is digits only."));
            return;
        }
        if (session_->Status(id) != ReviewStatus::Review) {
            NextToReview();
            return;
        }
    }
    const int unclear = session_->UnclearBubbles(id);
    // No keeps reviewing this sheet.
    if (unclear > 0 &&
        !AskYesNo(
            context_.seams.prompts,
            unclear == 1
                ? QStringLiteral("1 bubble is still unclear. Count it as empty?")
                : QStringLiteral("%1 bubbles are still unclear. Count them as empty?").arg(unclear),
            MsgAnswer::No))
        return;
    session_->Accept(id);
    NextToReview();
}

void DialogGrades::TypeStudent() {
    const int id = CurrentSheet();
    if (id < 0) return;
    WritePaperRow();
    const QString typed = EditStudent->text().trimmed();
    if (typed == session_->Result(id)->student.value_or(QString())) return;
    if (!session_->TypeStudent(id, typed))
        ShowMessage(context_.seams.prompts, QStringLiteral("A student number is digits only."));
}

void DialogGrades::RemoveSheets() {
    std::vector<int> ids;
    for (const QModelIndex& index : TableSheets->selectionModel()->selectedRows())
        ids.push_back(sheets_->SheetAt(sheetOrder_->mapToSource(index).row()));
    session_->RemoveSheets(ids);
}

void DialogGrades::EnterByHand() {
    WritePaperRow();
    // The version first: a damaged sheet holds its answers in its version's order.
    QDialog form(this);
    form.setObjectName(QStringLiteral("DialogByHand"));
    form.setWindowTitle(QStringLiteral("Enter by Hand"));
    auto* layout = new QFormLayout(&form);
    auto* number = new QLineEdit(&form);
    number->setObjectName(QStringLiteral("EditStudentNumber"));
    QComboBox* version = VersionChoice(form, *session_);
    layout->addRow(QStringLiteral("Student number:"), number);
    layout->addRow(QStringLiteral("Version of the sheet:"), version);
    AddOkCancel(form, layout);
    if (context_.seams.modal.Exec(form) != QDialog::Accepted) return;
    const QString student = number->text().trimmed();
    const QString chosen = version->currentText();
    if (!GradingSession::IsStudentNumber(student)) {
        ShowMessage(context_.seams.prompts, QStringLiteral("A student number is digits only."));
        return;
    }
    const int count = int(session_->Key().QuestionCount());
    QString typed;
    for (;;) {
        const std::optional<QString> letters = AskLine(
            context_.seams.modal, this, QStringLiteral("DialogByHandAnswers"),
            QStringLiteral("Enter by Hand"),
            QStringLiteral("Letters marked on the sheet of version %1, as printed there, for "
                           "questions 1 to %2, separated by commas (nothing for a blank):")
                .arg(chosen)
                .arg(count),
            typed);
        if (!letters) return;
        typed = *letters;
        QString error;
        const std::optional<HandSheet> sheet = session_->ReadHandSheet(chosen, typed, &error);
        if (!sheet) {
            ShowMessage(context_.seams.prompts,
                        QStringLiteral("The answers cannot be taken: %1.").arg(error));
            continue;
        }
        // The result before it is added; No goes back to the letters.
        if (!AskYesNo(context_.seams.prompts,
                      QStringLiteral("Student %1, version %2: %3 of %4. Add this sheet?")
                          .arg(student, chosen, FormatFigure(sheet->score),
                               FormatFigure(session_->Key().Maximum())),
                      MsgAnswer::Yes, sheet->shown))
            continue;
        const int id = session_->AddByHandPrinted(student, chosen, sheet->printed, &error);
        if (id >= 0) SelectSheet(id);
        return;
    }
}

void DialogGrades::ChangeVersion() {
    const int id = CurrentSheet();
    const GradingSheet* sheet = id >= 0 ? session_->Sheet(id) : nullptr;
    if (!sheet || sheet->unreadable) return;
    WritePaperRow();
    QDialog form(this);
    form.setObjectName(QStringLiteral("DialogVersion"));
    form.setWindowTitle(QStringLiteral("Version"));
    auto* layout = new QFormLayout(&form);
    QComboBox* version = VersionChoice(form, *session_);
    version->setCurrentText(sheet->version);
    layout->addRow(QStringLiteral("Score the sheet as version:"), version);
    AddOkCancel(form, layout);
    if (context_.seams.modal.Exec(form) != QDialog::Accepted) return;
    session_->SetVersion(id, version->currentText());
}

int DialogGrades::CurrentQuestion() const {
    const QModelIndex current = TableQuestions->currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void DialogGrades::AcceptAlso() {
    WritePaperRow();
    const int question = CurrentQuestion();
    if (question == 0) {
        ShowMessage(context_.seams.prompts, QStringLiteral("Choose a question first."));
        return;
    }
    const std::optional<QString> letters =
        AskLine(context_.seams.modal, this, QStringLiteral("DialogAcceptAlso"),
                QStringLiteral("Also Accept"),
                QStringLiteral("Letters that also score question %1:").arg(question), {});
    if (letters) session_->AddAlsoAccepted(question, *letters);
}

void DialogGrades::GiveAll() {
    WritePaperRow();
    const int question = CurrentQuestion();
    if (question == 0) {
        ShowMessage(context_.seams.prompts, QStringLiteral("Choose a question first."));
        return;
    }
    session_->SetGiveAll(question, true);
}

void DialogGrades::ShowQuestions() {
    const int keep = CurrentQuestion();
    questions_->Update();
    TableQuestions->resizeColumnsToContents();
    // New columns lay the table out anew: the question chosen stays chosen.
    if (keep > 0 && keep <= questions_->rowCount() && CurrentQuestion() != keep)
        TableQuestions->selectRow(keep - 1);
}

void DialogGrades::ShowSummary() {
    const SummaryStatistics& s = session_->Statistics().summary;
    LabelSummary->setText(
        QStringLiteral("Sheets %1 · mean %2 · median %3 · standard deviation %4 · lowest %5 · "
                       "highest %6 · Cronbach's alpha %7 · standard error of measurement %8")
            .arg(s.sheets)
            .arg(StatisticText(s.mean), StatisticText(s.median), StatisticText(s.sd),
                 StatisticText(s.lowest), StatisticText(s.highest), StatisticText(s.alpha),
                 StatisticText(s.sem)));
    std::vector<double> percentages;
    for (const SheetResult& r : session_->Results())
        if (r.status != SheetStatus::Unreadable) percentages.push_back(Percentage(r));
    QStringList absent;
    if (const ClassList* classes = session_->Classes())
        for (const QString& number : session_->Absent())
            absent << (classes->Name(number).isEmpty()
                           ? number
                           : QStringLiteral("%1 %2").arg(number, classes->Name(number)));
    ChartScores->Show(percentages, absent);
}

void DialogGrades::LoadClassList() {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    request.title = QStringLiteral("Class List");
    request.folder = QFileInfo(context_.document.FileName()).absolutePath();
    request.filter = QStringLiteral("Class list (*.csv *.txt)|*.csv *.txt");
    const std::optional<QString> chosen = context_.seams.prompts.ChooseFile(request);
    if (!chosen) return;
    QFile file(*chosen);
    QString error;
    // A class list is a few kilobytes; a huge file is not one.
    if (!QFileInfo(*chosen).isFile() || file.size() > 16 * 1024 * 1024)
        error = QStringLiteral("it is not a class list");
    else if (!file.open(QIODevice::ReadOnly))
        error = file.errorString();
    else
        session_->SetClassList(file.readAll(), &error);
    if (!error.isEmpty())
        ShowMessage(context_.seams.prompts,
                    QStringLiteral("The class list cannot be read: %1").arg(error));
}

void DialogGrades::Export() {
    FileRequest request;
    request.kind = FileRequest::Kind::Save;
    request.title = QStringLiteral("Export Grades");
    const QFileInfo paper(context_.document.FileName());
    request.folder = paper.absolutePath();
    request.fileName = paper.completeBaseName() + QStringLiteral(" grades.csv");
    request.filter = kExportFilter;
    // The grades use what the editor shows, also a key set but not yet kept.
    if (!WritePaperRow()) return;
    const int toReview = session_->ToReviewCount();
    if (toReview > 0 &&
        !AskYesNo(context_.seams.prompts,
                  toReview == 1
                      ? QStringLiteral("1 sheet still needs review. Export anyway?")
                      : QStringLiteral("%1 sheets still need review. Export anyway?").arg(toReview),
                  MsgAnswer::No))
        return;
    const std::optional<FileChoice> chosen = context_.seams.prompts.ChooseFileAndFilter(request);
    if (!chosen) return;
    // A name without its type's extension gets that of the type chosen.
    static const QStringList extensions{QStringLiteral(".csv"), QStringLiteral(".xlsx"),
                                        QStringLiteral(".ods")};
    QString path = chosen->path;
    if (!extensions.contains(QStringLiteral(".") + QFileInfo(path).suffix().toLower()))
        path += extensions.value(chosen->filter, extensions.first());
    const QString error = session_->ExportGrades(path);
    if (!error.isEmpty())
        ShowMessage(context_.seams.prompts,
                    QStringLiteral("The grades cannot be written: %1").arg(error));
    else
        ShowMessage(
            context_.seams.prompts,
            QStringLiteral("The grades were written to %1.").arg(QDir::toNativeSeparators(path)));
}

void DialogGrades::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !session_->Reading()) event->acceptProposedAction();
}

void DialogGrades::dropEvent(QDropEvent* event) {
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QFileInfo info(url.toLocalFile());
        if (info.isDir())
            files << ScanFilesIn(info.absoluteFilePath());
        else if (info.isFile() && IsScanFile(info.filePath()))
            files << info.absoluteFilePath();
    }
    if (files.isEmpty()) return;
    event->acceptProposedAction();
    AddScans(files);
}

void DialogGrades::closeEvent(QCloseEvent* event) {
    session_->CancelScans();
    QDialog::closeEvent(event);
}

// --- The grading file: where it is kept, who holds it, a pile cut off --------

void DialogGrades::BuildGradingFileControls() {
    LabelGradingFile = new QLabel(this);
    LabelGradingFile->setObjectName(QStringLiteral("LabelGradingFile"));
    LabelGradingFile->setWordWrap(true);
    LabelGradingFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelUnfinished = new QLabel(this);
    LabelUnfinished->setObjectName(QStringLiteral("LabelUnfinished"));
    LabelUnfinished->setWordWrap(true);
    ButtonContinueReading = NewButton(QStringLiteral("Continue Reading"),
                                      QStringLiteral("ButtonContinueReading"), this);
    ButtonContinueReading->setToolTip(
        QStringLiteral("Read the pages of the scans that were not read yet"));
    auto* row = new QHBoxLayout;
    row->addWidget(LabelUnfinished, 1);
    row->addWidget(ButtonContinueReading);
    auto* top = static_cast<QVBoxLayout*>(layout());
    // Below the bar of buttons: which file, and what is left to read.
    top->insertWidget(1, LabelGradingFile);
    top->insertLayout(2, row);
    LabelUnfinished->hide();
    ButtonContinueReading->hide();
    connect(ButtonContinueReading, &QPushButton::clicked, this, [this] {
        if (!session_->ReadOnly() && session_->ContinueReading()) ShowReading();
    });
    connect(session_.get(), &GradingSession::ChangedOnDisk, this, &DialogGrades::OnChangedOnDisk);
}

void DialogGrades::ShowGradingFile() {
    if (!LabelGradingFile) return;
    QString text = session_->FileText();
    if (session_->ReadOnly())
        text += QStringLiteral(" — read-only, held by %1").arg(session_->HeldBy());
    LabelGradingFile->setText(text);
    const QStringList unfinished =
        session_->Reading() ? QStringList() : session_->UnfinishedTexts();
    LabelUnfinished->setText(unfinished.join(QStringLiteral("; ")));
    LabelUnfinished->setVisible(!unfinished.isEmpty());
    ButtonContinueReading->setVisible(!unfinished.isEmpty() && !session_->ReadOnly());
}

// A grading held by another window is shown, never changed here.
void DialogGrades::ApplyReadOnly() {
    if (!session_->ReadOnly()) return;
    for (QPushButton* button : {ButtonAddScans, ButtonClassList, ButtonAccept, ButtonRemove,
                                ButtonAddByHand, ButtonAcceptAlso, ButtonGiveAll})
        button->setEnabled(false);
    if (ButtonVersion) ButtonVersion->setEnabled(false);
    EditStudent->setReadOnly(true);
    for (const char* name : {"actionGradesUndo", "actionGradesRedo"})
        if (auto* action = findChild<QAction*>(QString::fromLatin1(name)))
            action->setEnabled(false);
    setAcceptDrops(false);
}

// Scans that moved (a pile's folder renamed, a USB stick on another letter)
// are asked for once: the first is chosen, and the others are looked for by
// name in the folder it was found in.
void DialogGrades::AskForMissingScans(const QStringList& missing) {
    FileRequest request;
    request.kind = FileRequest::Kind::Open;
    const QString first = QFileInfo(missing[0]).fileName();
    request.title =
        missing.size() == 1 ? QStringLiteral("Where is %1?").arg(first)
        : missing.size() == 2
            ? QStringLiteral(
                  "Where is %1? The other missing scan is looked for in the same folder.")
                  .arg(first)
            : QStringLiteral(
                  "Where is %1? The other %2 missing scans are looked for in the same "
                  "folder.")
                  .arg(first)
                  .arg(missing.size() - 1);
    request.folder = QFileInfo(context_.document.FileName()).absolutePath();
    request.fileName = QFileInfo(missing[0]).fileName();
    request.filter = ScanFilter();
    const std::optional<QString> found = context_.seams.prompts.ChooseFile(request);
    if (!found) return;
    const QDir folder = QFileInfo(*found).absoluteDir();
    // A picture read from where a scan was is read again from where it is.
    ForgetPictures();
    QStringList still;
    for (const QString& scan : missing) {
        const QString name = QFileInfo(scan).fileName();
        const QString there = scan == missing[0] ? *found : folder.filePath(name);
        if (!QFileInfo(there).isFile() || !session_->RelocateScan(scan, there)) still << name;
    }
    ShowCurrentSheet();
    if (!still.isEmpty())
        ShowMessage(
            context_.seams.prompts,
            QStringLiteral("These scans are not in %1 either: %2. Their sheets stay as "
                           "they were read, without their pictures.")
                .arg(QDir::toNativeSeparators(folder.path()), still.join(QStringLiteral(", "))));
}

// The grading file changed under this window (another program wrote it, or a
// window that took over a lock): it is reloaded, or written over when the
// teacher says so; never overwritten without asking.
void DialogGrades::OnChangedOnDisk(const QString& file) {
    if (askingChanged_) return;
    askingChanged_ = true;
    MessageRequest request;
    request.text = QStringLiteral(
                       "The grading file %1 was changed by another window or program "
                       "since it was read here.")
                       .arg(QDir::toNativeSeparators(file));
    request.informativeText = QStringLiteral(
        "Yes reloads it (the changes made here since it was read are dropped); No writes this "
        "window's grading over it.");
    request.buttons = MsgButtons::YesNo;
    request.icon = MsgIcon::Question;
    request.defaultButton = MsgAnswer::Yes;
    const MsgAnswer answer = context_.seams.prompts.MsgBox(request);
    askingChanged_ = false;
    if (answer == MsgAnswer::No) {
        session_->Overwrite();
        return;
    }
    // Reloaded after this change has been handled, not in the middle of it.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!session_->Reading()) LoadGrading();
        },
        Qt::QueuedConnection);
}

// --- The review ----------------------------------------------------------------

const QString DialogGrades::kGeometryKey = QStringLiteral("gradesWindow/geometry");

void DialogGrades::BuildReview() {
    // A window of its own beside the editor: its own taskbar entry, and never
    // kept above the main window.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    StatusGrades = new QStatusBar(this);
    StatusGrades->setObjectName(QStringLiteral("StatusGrades"));
    StatusGrades->setSizeGripEnabled(false);
    layout()->addWidget(StatusGrades);
    ButtonVersion = NewButton(QStringLiteral("&Version…"), QStringLiteral("ButtonVersion"),
                              ButtonAccept->parentWidget());
    ButtonVersion->setToolTip(
        QStringLiteral("The sheet is of another version than read: score it as that version"));
    // Beside Accept, in the row of the student number.
    if (auto* box = qobject_cast<QBoxLayout*>(ButtonAccept->parentWidget()->layout()))
        if (auto* row = qobject_cast<QBoxLayout*>(box->itemAt(box->count() - 1)->layout()))
            row->insertWidget(row->indexOf(ButtonAccept), ButtonVersion);
    connect(ButtonVersion, &QPushButton::clicked, this, &DialogGrades::ChangeVersion);

    ListReasons->setToolTip(QStringLiteral("Click a reason to see its question on the scan"));
    connect(ListReasons, &QListWidget::itemClicked, this, &DialogGrades::OnReasonChosen);
    connect(ListReasons, &QListWidget::itemActivated, this, &DialogGrades::OnReasonChosen);
    connect(ViewSheet, &SheetView::BubbleSet, this, &DialogGrades::OnBubbleSet);
    connect(&context_.document, &PaperDocument::ModifiedChanged, this,
            &DialogGrades::ShowPaperState);
    connect(&context_.document, &PaperDocument::Changed, this, &DialogGrades::ShowPaperState);
    ShowPaperState();
}

bool DialogGrades::WritePaperRow() {
    if (!context_.checkCurrentRow || writingRow_) return true;
    const QScopedValueRollback writing(writingRow_, true);
    return context_.checkCurrentRow();
}

void DialogGrades::ShowPaperState() {
    if (context_.document.Modified())
        StatusGrades->showMessage(
            QStringLiteral("The paper has unsaved changes: the grades use them now, but only a "
                           "saved paper keeps them."));
    else
        StatusGrades->clearMessage();
}

void DialogGrades::ShowReasons(int id) {
    ListReasons->clear();
    for (const GradingSession::ReviewReason& reason : session_->ReviewReasons(id)) {
        auto* item = new QListWidgetItem(reason.text, ListReasons);
        item->setData(Qt::UserRole, reason.question);
    }
}

void DialogGrades::OnReasonChosen(QListWidgetItem* item) {
    const int id = CurrentSheet();
    const int question = item ? item->data(Qt::UserRole).toInt() : 0;
    if (id < 0 || id != pictureSheet_) return;
    std::vector<int> bubbles;
    const std::vector<ViewBubble>& shown = ViewSheet->Bubbles();
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const SheetBubble& b = shown[i].bubble;
        // A reason about the student number shows the number's grid.
        if (question ? (b.kind == SheetBubble::Kind::Answer && b.source == question)
                     : b.kind == SheetBubble::Kind::Student)
            bubbles.push_back(int(i));
    }
    ViewSheet->ShowBubbles(bubbles);
}

void DialogGrades::OnBubbleSet(int index, bool marked) {
    const int id = CurrentSheet();
    if (id < 0 || id != pictureSheet_ || session_->ReadOnly()) return;
    WritePaperRow();
    const SheetBubble& b = ViewSheet->Bubbles().at(std::size_t(index)).bubble;
    if (b.kind == SheetBubble::Kind::Student && marked)
        session_->ChooseDigit(id, b.position, b.digit);
    else
        session_->SetBubble(id, index, marked);
}

void DialogGrades::changeEvent(QEvent* event) {
    // Coming to the grades writes the row being edited in the main window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) WritePaperRow();
    QDialog::changeEvent(event);
}

void DialogGrades::showEvent(QShowEvent* event) {
    if (!placed_) {
        placed_ = true;
        PlaceWindow();
    }
    QDialog::showEvent(event);
    // Qt makes a child window the main window's transient: kept above it.
    if (QWindow* handle = windowHandle()) handle->setTransientParent(nullptr);
}

void DialogGrades::hideEvent(QHideEvent* event) {
    RememberPlace();
    QDialog::hideEvent(event);
}

void DialogGrades::PlaceWindow() {
    const QRect screen(QPoint(0, 0), context_.seams.platform.ScreenPixels());
    if (const std::unique_ptr<QSettings> settings = context_.settings.Open()) {
        const QRect kept = settings->value(kGeometryKey).toRect();
        // A place on a screen since made smaller is not used.
        if (kept.isValid() && screen.contains(kept)) {
            resize(kept.size());
            move(kept.topLeft());
            return;
        }
    }
    const QWidget& main = context_.window;
    const QSize size = QSize(1100, 720).boundedTo(screen.size());
    resize(size);
    const QSize frame = main.frameGeometry().size() - main.size();
    move(PaperChecksAction::PlaceBeside(main.frameGeometry(), size + frame, screen));
}

void DialogGrades::RememberPlace() {
    if (!placed_) return;
    if (const std::unique_ptr<QSettings> settings = context_.settings.Open())
        settings->setValue(kGeometryKey, QRect(pos(), size()));
}

void DialogGrades::OnPaperReplaced() {
    // The same paper put back whole (an undone Rebalance, a key fixed in
    // all rows at once) is followed; another paper closes the window.
    if (QFileInfo(context_.document.FileName()) == QFileInfo(session_->PaperPath()))
        PaperChanged();
    else
        close();
}

void DialogGrades::ForgetPictures() {
    ++pictureGeneration_;
    pictures_.clear();
    pictureSheet_ = -1;
}

}  // namespace scrivane
