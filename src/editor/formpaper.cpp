#include "editor/formpaper.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <cmath>
#include <utility>

#include "core/answercode.h"
#include "core/numbers.h"
#include "core/typeinfo.h"
#include "dialogs/dialogscale.h"
#include "dialogs/dlganswerset.h"
#include "dialogs/dlganswerset17.h"
#include "dialogs/markkeyfilter.h"
#include "editor/attachinterchange.h"
#include "editor/commandicons.h"
#include "editor/filedrop.h"
#include "editor/griddelegate.h"
#include "editor/mainmenu.h"
#include "editor/recordnavigator.h"
#include "editor/typinglimit.h"
#include "history/historyactions.h"
#include "history/paperhistory.h"
#include "paperfile/interchangecommands.h"
#include "paperfile/papercommands.h"
#include "recovery/recoverystore.h"
#include "workspace/questioncommands.h"

namespace scrivane {

namespace {

constexpr double kReferenceWidth = 15360;  // a 1024 x 768 screen in twips
constexpr double kReferenceHeight = 11520;


// Design font sizes in points.
constexpr double kDefaultPoints = 8.25;
constexpr double kGridPoints = 8.25;
constexpr double kCountPoints = 9.75;
constexpr double kRangePoints = 10.5;

template <typename T>
T* Named(T* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

}  // namespace

FormPaper::FormPaper(Moddule1& state, Seams& seams, ExcelFactory* excel, QWidget* parent)
    : QWidget(parent),
      state_(state),
      seams_(seams),
      workspace_(std::make_unique<PaperWorkspace>(state, seams, *this, excel)),
      document_(workspace_->Document()) {
    setObjectName(QStringLiteral("FormPaper"));
    setWindowIcon(ProgramIcon());
    BuildControls();
    PaperHistory& history = workspace_->History();
    // Edit > Undo and Redo; like a command, each first writes the current row.
    historyActions_ = new HistoryActions(
        history, [this] { return CheckCurrentRow(); }, this);
    MenuBar_->AddEditAction(historyActions_->UndoAction(), true);
    MenuBar_->AddEditAction(historyActions_->RedoAction(), true);
    // A recovery copy that cannot be written is told once, until one can.
    RecoveryStore& recovery = workspace_->Recovery();
    connect(&recovery, &RecoveryStore::WriteFailed, this,
            [this] { StatusBar_->showMessage(QString::fromLatin1(kRecoveryFailedText)); });
    connect(&recovery, &RecoveryStore::WriteRecovered, StatusBar_, &QStatusBar::clearMessage);
    // The totals and the caption follow the paper.
    connect(&document_, &PaperDocument::CountChanged, this,
            [this](int count) { LabNoCount_->setText(QString::number(count)); });
    connect(&document_, &PaperDocument::TotalChanged, this, [this](float total) {
        LabScoreCount_->setText(FormatSingle(total, QLocale().decimalPoint().at(0)));
    });
    connect(&document_, &PaperDocument::ShownNameChanged, this,
            [this](const QString& name) { setWindowTitle(QStringLiteral("Quennet  ") + name); });
    connect(&document_, &PaperDocument::FileNameChanged, this, &FormPaper::ShowFileName);
    // Ctrl+Z in a text box undoes its typing only while the box holds an
    // edit not yet written; otherwise it undoes the last step.
    TextTitle_->installEventFilter(this);
    for (QLineEdit* box : TextItems_) box->installEventFilter(this);
    context_ = std::make_unique<PaperContext>(
        PaperContext{state_, seams_, document_, history, workspace_->Paper(), *workspace_,
                     settings_, *MenuBar_, [this] { return CheckCurrentRow(); },
                     [this](int position) { ShowQuestion(position); }, *this});
    // Export As and Import From: the paper in the other programs' formats.
    AttachInterchangeCommands(*context_, workspace_->Interchange());
    Form_Load();
}

FormPaper::~FormPaper() = default;

void FormPaper::BuildControls() {
    // The menu's actions run the handlers of the command bar and the SET
    // button, and carry the keyboard shortcuts.
    MenuBar_ = new MainMenu(this);
    connect(MenuBar_, &MainMenu::CommandChosen, this, &FormPaper::CommandTools_Click);
    connect(MenuBar_, &MainMenu::SetAnswerChosen, this, [this] { CmdSetAnswer_->click(); });
    // The specified layout lies in an area between the menu bar and the
    // status bar, which scrolls when the window is smaller than the layout.
    PaperArea_ = Named(new QScrollArea(this), QStringLiteral("PaperArea"));
    PaperArea_->setFrameShape(QFrame::NoFrame);
    PaperArea_->setWidgetResizable(false);
    PaperContent_ = Named(new QWidget, QStringLiteral("PaperContent"));
    PaperArea_->setWidget(PaperContent_);
    StatusBar_ = Named(new QStatusBar(this), QStringLiteral("StatusBar"));
    StatusBar_->setSizeGripEnabled(false);
    FrameTools_ = Named(new QGroupBox(PaperContent_), QStringLiteral("FrameTools"));
    for (int i = 0; i < kCommandCount; ++i) {
        auto* button =
            Named(new QToolButton(FrameTools_), QStringLiteral("CommandTools_%1").arg(i));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setIcon(CommandIcon(i));
        MenuBar_->CommandAction(i)->setIcon(button->icon());
        button->setIconSize(QSize(16, 16));
        // Clicking a command leaves the focus where it was, so an edit in the
        // panel is checked once, by the command.
        button->setFocusPolicy(Qt::TabFocus);
        connect(button, &QToolButton::clicked, this, [this, i] { CommandTools_Click(i); });
        CommandTools_[i] = button;
    }

    Frame1_ = Named(new QGroupBox(PaperContent_), QStringLiteral("Frame1"));
    adoStdMarks_ = Named(new RecordNavigator(table_, Frame1_), QStringLiteral("adoStdMarks"));
    LabNo_ = Named(new QLabel(Frame1_), QStringLiteral("LabNo"));
    LabelNo_ = Named(new QLabel(Frame1_), QStringLiteral("LabelNo"));
    Label2_ = Named(new QLabel(Frame1_), QStringLiteral("Label2"));
    TextScore_ = Named(new QLineEdit(Frame1_), QStringLiteral("TextScore"));
    scoreLimit_ = new TypingLimit(*TextScore_, 4);
    TextScore_->installEventFilter(new MarkKeyFilter(MarkKeyFilter::AllowPoint, TextScore_));
    TextScore_->installEventFilter(this);
    Label1_ = Named(new QLabel(QStringLiteral("(0-250)"), Frame1_), QStringLiteral("Label1"));
    Label3_ = Named(new QLabel(Frame1_), QStringLiteral("Label3"));
    LabelAnswer_ = Named(new QLineEdit(Frame1_), QStringLiteral("LabelAnswer"));
    // The answer is set through the answer dialog only.
    LabelAnswer_->setReadOnly(true);
    CmdSetAnswer_ = Named(new QPushButton(Frame1_), QStringLiteral("CmdSetAnswer"));
    // A click on SET leaves the focus in the panel, so SET checks the mark once.
    CmdSetAnswer_->setFocusPolicy(Qt::TabFocus);
    Frame2_ = Named(new QGroupBox(Frame1_), QStringLiteral("Frame2"));
    TextTitle_ = Named(new QPlainTextEdit(Frame2_), QStringLiteral("TextTitle"));
    TextTitle_->setTabChangesFocus(true);
    titleLimit_ = new TypingLimit(*TextTitle_, 250);
    for (int i = 0; i < 6; ++i) {
        LabItem_[i] = Named(new QLabel(Frame1_), QStringLiteral("LabItem_%1").arg(i));
        TextItems_[i] = Named(new QLineEdit(Frame1_), QStringLiteral("TextItems_%1").arg(i));
        itemLimits_[i] = new TypingLimit(*TextItems_[i], 100);
        LabItem_[i]->setBuddy(TextItems_[i]);
    }
    Label5_ = Named(new QLabel(PaperContent_), QStringLiteral("Label5"));
    LabNoCount_ = Named(new QLabel(PaperContent_), QStringLiteral("LabNoCount"));
    Label7_ = Named(new QLabel(PaperContent_), QStringLiteral("Label7"));
    LabScoreCount_ = Named(new QLabel(PaperContent_), QStringLiteral("LabScoreCount"));

    DataGrid1_ = Named(new QTableView(PaperContent_), QStringLiteral("DataGrid1"));
    DataGrid1_->setModel(&table_);
    DataGrid1_->setSelectionBehavior(QAbstractItemView::SelectRows);
    DataGrid1_->setSelectionMode(QAbstractItemView::SingleSelection);
    DataGrid1_->verticalHeader()->hide();
    gridDelegate_ = new GridDelegate(
        [this] {
            const QScopedValueRollback writing(writingCell_, true);
            return CheckCurrentRow();
        },
        DataGrid1_);
    DataGrid1_->setItemDelegate(gridDelegate_);
    // Typing in a column that cannot be edited does nothing.
    DataGrid1_->installEventFilter(this);
    DataGrid1_->setEditTriggers(QAbstractItemView::DoubleClicked |
                                QAbstractItemView::EditKeyPressed |
                                QAbstractItemView::AnyKeyPressed);

    // The panel and the grid show the current row and write edits back.
    connect(&table_, &QuestionTable::CurrentRowChanged, this, &FormPaper::OnCurrentRowChanged);
    connect(&table_, &QuestionTable::RowChanging, this, &FormPaper::adoStdMarks_WillChangeRecord);
    connect(&table_, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex& from, const QModelIndex& to) {
                const int row = table_.CurrentRow();
                if (row >= from.row() && row <= to.row()) ShowCurrentRow();
            });
    connect(DataGrid1_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!current.isValid() || current.row() == table_.CurrentRow()) return;
                // A refused move keeps the grid on the row being edited: at
                // once, and again once the view has finished the click that
                // asked, which would otherwise mark the row clicked.
                if (!CheckCurrentRow() || !table_.SetAbsolutePosition(current.row() + 1)) {
                    DataGrid1_RowColChange();
                    QTimer::singleShot(0, this, [this] { DataGrid1_RowColChange(); });
                }
            });

    adoStdMarks_->SetLeaveCheck([this] { return CheckCurrentRow(); });
    connect(scoreLimit_, &TypingLimit::Edited, this,
            [this](const QString& text) { PushToTable(QuestionTable::Score, text); });
    connect(LabelAnswer_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (!showingRow_) PushToTable(QuestionTable::Answer, text);
    });
    connect(titleLimit_, &TypingLimit::Edited, this,
            [this](const QString& text) { PushToTable(QuestionTable::Title, text); });
    for (int i = 0; i < 6; ++i) {
        connect(itemLimits_[i], &TypingLimit::Edited, this,
                [this, i](const QString& text) { PushToTable(QuestionTable::ItemA + i, text); });
    }
    // Enter in the mark box checks the mark and writes the row.
    connect(TextScore_, &QLineEdit::returnPressed, this, [this] { CheckCurrentRow(); });
    connect(CmdSetAnswer_, &QPushButton::clicked, this, &FormPaper::CmdSetAnswer_Click);

    setTabOrder(adoStdMarks_, TextScore_);
    setTabOrder(TextScore_, LabelAnswer_);
    setTabOrder(LabelAnswer_, CmdSetAnswer_);
    setTabOrder(CmdSetAnswer_, TextTitle_);
    setTabOrder(TextTitle_, TextItems_[0]);
    for (int i = 0; i + 1 < 6; ++i) setTabOrder(TextItems_[i], TextItems_[i + 1]);
    setTabOrder(TextItems_[5], DataGrid1_);

    auto* drop = new FileDrop(*this);
    connect(drop, &FileDrop::FileDropped, this, &FormPaper::OpenFile);
    connect(MenuBar_, &MainMenu::RecentPaperChosen, this, &FormPaper::OpenRecentPaper);
    connect(MenuBar_, &MainMenu::AnswerModeChosen, this, &FormPaper::SetAnswerMode);
    connect(workspace_.get(), &PaperWorkspace::AnswerModeChanged, this, &FormPaper::ShowOptionF);
    connect(MenuBar_, &MainMenu::AboutChosen, this,
            [this] { seams_.prompts.MsgBox(AboutScrivane()); });
    MenuBar_->ShowRecentPapers(recent_.List());
    // Set Answer is offered where the SET button is.
    connect(MenuBar_->EditMenu(), &QMenu::aboutToShow, this,
            [this] { MenuBar_->SetAnswerAction()->setEnabled(CmdSetAnswer_->isEnabled()); });
}

void FormPaper::Form_Load() {
    setWindowTitle(kAppTitle);
    for (int i = 0; i < kCommandCount; ++i) {
        const QString caption = QString::fromLatin1(kCommands[std::size_t(i)].caption);
        CommandTools_[i]->setText(caption);
        CommandTools_[i]->setToolTip(caption);
    }
    adoStdMarks_->setCaption(QStringLiteral("Select Qu."));
    LabNo_->setText(QStringLiteral("NO.:"));
    Label2_->setText(QStringLiteral("Mark:"));
    Label3_->setText(QStringLiteral("Answer:"));
    Label5_->setText(QStringLiteral("Total Questions:"));
    Label7_->setText(QStringLiteral("Total Points:"));
    CmdSetAnswer_->setText(QStringLiteral("SET"));
    Frame2_->setTitle(QStringLiteral("Question title"));
    for (int i = 0; i < 6; ++i)
        LabItem_[i]->setText(QStringLiteral("Option") + QChar(u'A' + i) + u':');
    table_.SetCaption(0, QStringLiteral("NO."));
    table_.SetCaption(1, QStringLiteral("Mark"));
    table_.SetCaption(2, QStringLiteral("Answer"));
    table_.SetCaption(3, QStringLiteral("Question title"));
    for (int i = 0; i < 6; ++i)
        table_.SetCaption(4 + i, QStringLiteral("Option") + QChar(u'A' + i));
    ShowOptionF();
}

// Option F follows the answer mode: its label, its box (where the panel is
// enabled at all) and its grid column.
void FormPaper::ShowOptionF() {
    const bool hidden = HidesOptionF(state_.AnswerType());
    LabItem_[5]->setEnabled(!hidden);
    TextItems_[5]->setEnabled(!hidden && TextItems_[4]->isEnabled());
    DataGrid1_->setColumnHidden(9, hidden);
    MenuBar_->ShowAnswerMode(IsMultipleAnswerMode(state_.AnswerType()));
}

void FormPaper::ComputeScale() {
    scaleX_ = float(seams_.platform.ScreenWidthTwips() / kReferenceWidth);
    scaleY_ = float(seams_.platform.ScreenHeightTwips() / kReferenceHeight);
    fontScale_ = scaleX_ <= scaleY_ ? scaleX_ : scaleY_;
}

void FormPaper::Place(QWidget* widget, double left, double top, double width, double height) {
    const QRectF twips(left * scaleX_, top * scaleY_, width * scaleX_, height * scaleY_);
    twips_.insert(widget->objectName(), twips);
    const double k = seams_.platform.LogicalDpi() / 1440.0;
    widget->setGeometry(int(std::lround(twips.x() * k)), int(std::lround(twips.y() * k)),
                        int(std::lround(twips.width() * k)), int(std::lround(twips.height() * k)));
}

void FormPaper::ScaleFont(QWidget* widget, double basePointSize) {
    QFont font = widget->font();
    font.setPointSizeF(basePointSize * fontScale_);
    widget->setFont(font);
}

void FormPaper::Form_LoadPro() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    ComputeScale();
    const double k = seams_.platform.LogicalDpi() / 1440.0;
    const QSize window(int(std::lround(kReferenceWidth * scaleX_ * k)),
                       int(std::lround(kReferenceHeight * scaleY_ * k)));
    LayOut(window);
    // The window covers the screen; the menu bar and the status bar take
    // their height from the spare band below the grid.
    resize(window);
    laidOut_ = window;
    startSize_ = window;
    startScaleX_ = scaleX_;
    startScaleY_ = scaleY_;
    startMenu_ = MenuBar_->height();
}

// Places and sizes every control from the reference table at the current
// factors, fonts from their design sizes, so that laying out again never
// compounds.
void FormPaper::LayOut(QSize window) {
    // The menu bar's height, which the layout lies below, follows its font.
    MenuBar_->SetScale(fontScale_);
    Place(FrameTools_, 120, 0, 15014, 710);
    for (int i = 0; i < kCommandCount; ++i) {
        const double left = i <= 4 ? 50 + 850 * i : i <= 8 ? 200 + 850 * i : 8000 + 850 * (i - 9);
        Place(CommandTools_[i], left, 140, 850, 520);
    }
    Place(Frame1_, 120, 700, 12735, 1935);
    Place(adoStdMarks_, 120, 240, 2175, 405);
    Place(LabNo_, 2520, 240, 825, 195);
    Place(LabelNo_, 2520, 480, 555, 245);
    Place(Label2_, 3720, 240, 1095, 195);
    Place(TextScore_, 3720, 480, 550, 255);
    Place(Label1_, 4320, 480, 735, 255);
    Place(Label3_, 5760, 240, 1185, 195);
    Place(LabelAnswer_, 5760, 480, 855, 255);
    Place(CmdSetAnswer_, 6630, 460, 1245, 300);
    Place(Frame2_, 120, 720, 7815, 1095);
    Place(TextTitle_, 0, 240, 7815, 855);
    for (int i = 0; i < 6; ++i) {
        Place(LabItem_[i], 8160, 190 + 290 * i, 855, 255);
        Place(TextItems_[i], 9000, 150 + 290 * i, 3495, 270);
    }
    Place(Label5_, 12960, 840, 2175, 300);
    Place(LabNoCount_, 13560, 1200, 975, 285);
    Place(Label7_, 12960, 1800, 2175, 300);
    Place(LabScoreCount_, 13560, 2160, 975, 285);
    Place(DataGrid1_, 120, 2760, 15015, 7695);

    for (QWidget* w : std::initializer_list<QWidget*>{
             FrameTools_, Frame1_, adoStdMarks_, LabNo_, LabelNo_, Label2_, TextScore_, Label3_,
             LabelAnswer_, CmdSetAnswer_, Frame2_, TextTitle_, Label5_, Label7_})
        ScaleFont(w, kDefaultPoints);
    for (auto* b : CommandTools_) ScaleFont(b, kDefaultPoints);
    for (int i = 0; i < 6; ++i) {
        ScaleFont(LabItem_[i], kDefaultPoints);
        ScaleFont(TextItems_[i], kDefaultPoints);
    }
    {
        QFont arial(QStringLiteral("Arial"));
        arial.setPointSizeF(kRangePoints * fontScale_);
        Label1_->setFont(arial);
    }
    ScaleFont(LabNoCount_, kCountPoints);
    ScaleFont(LabScoreCount_, kCountPoints);
    ScaleFont(DataGrid1_, kGridPoints);
    ScaleFont(DataGrid1_->horizontalHeader(), kGridPoints);
    DataGrid1_->verticalHeader()->setDefaultSectionSize(DataGrid1_->fontMetrics().height() + 6);
    const double k = seams_.platform.LogicalDpi() / 1440.0;
    for (int c = 0; c < QuestionTable::kColumnCount; ++c)
        DataGrid1_->setColumnWidth(c, int(std::lround(kGridColumnTwips[std::size_t(c)] * scaleX_ * k)));

    ArrangeAreas(window);
    for (auto* b : CommandTools_) FitCommandIcon(*b, fontScale_);
    // The dialogs this window owns scale with it.
    setProperty(kLayoutScaleProperty, double(fontScale_));
}

// A resized or maximized window is laid out again, each factor scaled by how
// much the area below the menu bar changed against its size after start-up.
void FormPaper::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (startSize_.isEmpty() || size() == laidOut_) return;
    // The area below the menu bar as it stood after start-up: the menu's own
    // height follows the scale, which must not feed back into it.
    const double startBelow = std::max(1, startSize_.height() - startMenu_);
    const double below = std::max(1, height() - startMenu_);
    // Never smaller than the smallest layout: the area scrolls instead.
    scaleX_ = std::max(float(startScaleX_ * width() / startSize_.width()),
                       std::min(kSmallestScale, startScaleX_));
    scaleY_ =
        std::max(float(startScaleY_ * below / startBelow), std::min(kSmallestScale, startScaleY_));
    fontScale_ = scaleX_ <= scaleY_ ? scaleX_ : scaleY_;
    laidOut_ = size();
    LayOut(size());
}

// The menu bar on top, the status bar at the bottom, and the area between
// them for the layout. The grid gives up the room the bars take, down to a
// few rows; a window lower than that scrolls.
void FormPaper::ArrangeAreas(QSize window) {
    const int menu = MenuBar_->sizeHint().height();
    const int status = StatusBar_->sizeHint().height();
    MenuBar_->setGeometry(0, 0, window.width(), menu);
    StatusBar_->setGeometry(0, window.height() - status, window.width(), status);
    PaperArea_->setGeometry(0, menu, window.width(), std::max(0, window.height() - menu - status));

    const double k = seams_.platform.LogicalDpi() / 1440.0;
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, PaperArea_);
    // The controls end at the grid's right edge, short of the full width:
    // that band leaves room for a vertical scroll bar.
    const int needWidth = DataGrid1_->geometry().right() + 3;
    const QRect grid = DataGrid1_->geometry();
    const int fullGrid = int(std::lround(7695 * scaleY_ * k));
    const int fewRows = DataGrid1_->horizontalHeader()->sizeHint().height() +
                        4 * DataGrid1_->verticalHeader()->defaultSectionSize() +
                        2 * DataGrid1_->frameWidth();
    int viewHeight = PaperArea_->height() - (needWidth > window.width() ? bar : 0);
    const int gap = int(std::lround(60 * scaleY_ * k));  // below the grid
    const int gridHeight =
        std::clamp(viewHeight - grid.top() - gap, std::min(fewRows, fullGrid), fullGrid);
    if (gridHeight != grid.height()) {
        DataGrid1_->resize(grid.width(), gridHeight);
        QRectF& twips = twips_[DataGrid1_->objectName()];
        twips.setHeight(gridHeight / k);
    }
    const int needHeight = grid.top() + gridHeight + gap;
    int viewWidth = window.width() - (needHeight > viewHeight ? bar : 0);
    if (needWidth > viewWidth) viewHeight = PaperArea_->height() - bar;
    PaperContent_->resize(std::max(needWidth, viewWidth), std::max(needHeight, viewHeight));
}

void FormPaper::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!framed_) {
        framed_ = true;
        // The window manager adds the frame once the window is shown.
        QTimer::singleShot(0, this, &FormPaper::FitFrameToScreen);
    }
}

// The window covers the screen with its frame: where the title bar and the
// desktop's panels would push its bottom off the screen, the window is made
// that much lower and the grid gives up the room.
void FormPaper::FitFrameToScreen() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    const QScreen* shown = screen();
    if (!shown || startSize_.isEmpty()) return;
    const QRect available = shown->availableGeometry();
    const int over = frameGeometry().height() - available.height();
    if (over <= 0 || over >= height() / 4) return;
    const QSize lower(width(), height() - over);
    startSize_ = lower;
    laidOut_ = lower;
    resize(lower);
    LayOut(lower);
    if (frameGeometry().bottom() > available.bottom()) move(x(), available.top());
}

void FormPaper::ShowFileName(const QString& fileName) {
    // A paper's name is known when it was opened or saved.
    if (!fileName.isEmpty()) {
        recent_.Add(fileName);
        MenuBar_->ShowRecentPapers(recent_.List());
    }
}

// The question stays as it is when the row being edited cannot be written.
void FormPaper::ShowQuestion(int position) {
    if (!CheckCurrentRow() || !table_.SetAbsolutePosition(position)) return;
    raise();
    activateWindow();
}

void FormPaper::OpenFile(const QString& path) {
    // Like a command, opening works on the written paper.
    if (!CheckCurrentRow()) return;
    workspace_->Paper().OpenFile(path);
}

void FormPaper::OpenRecentPaper(const QString& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path.toStdString(), ec)) {
        ShowMessage(seams_.prompts,
                    QStringLiteral("The paper %1 no longer exists; it is taken off the list of "
                                   "recent papers.")
                        .arg(QDir::toNativeSeparators(path)));
        recent_.Remove(path);
        MenuBar_->ShowRecentPapers(recent_.List());
        return;
    }
    // Every recent paper was opened or saved as a paper, whatever its name.
    if (!CheckCurrentRow()) return;
    workspace_->Paper().OpenFile(path, PaperCommands::Way::AsPaper);
}

void FormPaper::SetAnswerMode(bool multiple) {
    workspace_->SetAnswerMode(multiple);
}

void FormPaper::OnCurrentRowChanged(int row) {
    if (row >= 0) {
        const QModelIndex current = DataGrid1_->currentIndex();
        if (!current.isValid() || current.row() != row)
            DataGrid1_->selectionModel()->setCurrentIndex(
                table_.index(row, current.isValid() ? current.column() : 0),
                QItemSelectionModel::NoUpdate);
    }
    DataGrid1_RowColChange();
    ShowCurrentRow();
    // The mark box of another row starts unedited.
    TextScore_->setModified(false);
}

// Exactly the current row is marked in the grid.
void FormPaper::DataGrid1_RowColChange() {
    QItemSelectionModel* selection = DataGrid1_->selectionModel();
    selection->clearSelection();
    if (!table_.BOF() && !table_.Eof()) {
        const int row = table_.Bookmark().toInt();
        selection->select(table_.index(row, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (DataGrid1_->currentIndex().row() != row)
            selection->setCurrentIndex(table_.index(row, 0), QItemSelectionModel::NoUpdate);
    }
}

void FormPaper::ShowCurrentRow() {
    if (pushing_) return;  // the panel itself wrote this value
    showingRow_ = true;
    const bool has = table_.HasCurrentRow();
    LabelNo_->setText(has ? table_.Field(QuestionTable::QuestionNo).toString() : QString());
    scoreLimit_->Show(
        has ? table_.data(table_.index(table_.CurrentRow(), QuestionTable::Score), Qt::EditRole)
                  .toString()
            : QString());
    const QString answer = has ? table_.Field(QuestionTable::Answer).toString() : QString();
    if (LabelAnswer_->text() != answer) LabelAnswer_->setText(answer);
    titleLimit_->Show(has ? table_.Field(QuestionTable::Title).toString() : QString());
    for (int i = 0; i < 6; ++i)
        itemLimits_[i]->Show(has ? table_.Field(QuestionTable::ItemA + i).toString() : QString());
    for (QWidget* w :
         std::initializer_list<QWidget*>{TextScore_, LabelAnswer_, CmdSetAnswer_, TextTitle_})
        w->setEnabled(has);
    for (int i = 0; i < 6; ++i)
        TextItems_[i]->setEnabled(has && !(i == 5 && HidesOptionF(state_.AnswerType())));
    showingRow_ = false;
}

void FormPaper::PushToTable(int column, const QString& text) {
    if (showingRow_ || !table_.HasCurrentRow()) return;
    pushing_ = true;
    table_.SetBoundValue(column, text);
    pushing_ = false;
}

// The column a panel box edits, -1 for any other object.
int FormPaper::BoxColumn(const QObject* box) const {
    if (box == TextScore_) return QuestionTable::Score;
    if (box == TextTitle_) return QuestionTable::Title;
    for (int i = 0; i < 6; ++i)
        if (box == TextItems_[i]) return QuestionTable::ItemA + i;
    return -1;
}

bool FormPaper::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride && historyActions_) {
        const int column = BoxColumn(watched);
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        const bool history = historyActions_->UndoAction()->shortcuts().contains(pressed) ||
                             historyActions_->RedoAction()->shortcuts().contains(pressed);
        // Left unaccepted, the key goes to the menu's Undo or Redo.
        if (column >= 0 && history && !table_.HasBoundEdit(column)) return true;
    }
    // The mark is checked when the focus is about to leave its box.
    if (watched == TextScore_ && event->type() == QEvent::FocusOut && !closing_) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
            !TextScore_Validate()) {
            QTimer::singleShot(0, TextScore_, [box = TextScore_] { box->setFocus(); });
        }
    }
    // A cell that cannot be edited takes no typing; the view would otherwise
    // jump to a row whose text starts with the key.
    if (watched == DataGrid1_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool chord =
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        const QModelIndex cell = DataGrid1_->currentIndex();
        if (!chord && !key->text().isEmpty() && key->text().front().isPrint() &&
            !(table_.flags(cell) & Qt::ItemIsEditable))
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

// The check of leaving the mark box. Only a mark the user typed is checked
// and rewritten: a mark that came with the paper stays exactly as it is.
bool FormPaper::TextScore_Validate() {
    if (!table_.HasCurrentRow() || !TextScore_->isModified()) return true;
    const auto v = RoundToInt16(ReadLeadingNumber(TextScore_->text()));
    if (v && *v == 0 && TextScore_->text() != QStringLiteral("0")) {
        scoreLimit_->Show(QStringLiteral("0"));
        PushToTable(QuestionTable::Score, TextScore_->text());
    }
    if (v && IsValidMark(*v)) return true;
    TellMarkRange();
    return false;
}

// Every refusal says why, but once per event: the focus leaving the box and
// the click that took it refuse together.
void FormPaper::TellMarkRange() {
    if (markTold_) return;
    ShowMessage(seams_.prompts, QStringLiteral("The mark should be between 0 and 250."));
    markTold_ = true;
    QTimer::singleShot(0, this, [this] { markTold_ = false; });
}

bool FormPaper::CheckCurrentRow() {
    if (!TextScore_Validate()) {
        TextScore_->setFocus();
        return false;
    }
    // An open cell editor of the grid holds an edit as well.
    if (QWidget* editor = DataGrid1_->indexWidget(DataGrid1_->currentIndex());
        editor && !writingCell_) {
        const QScopedValueRollback writing(writingCell_, true);
        gridDelegate_->Finish(editor);
    }
    return table_.Update();
}

// The check of a row about to be written. What the write changes (ScoreList,
// the total, the modified flag, the step to undo) the paper document keeps.
void FormPaper::adoStdMarks_WillChangeRecord(bool* cancel) {
    const int p = table_.AbsolutePosition();
    if (p < 1 || p > kMaxQuestions) return;
    // A row's mark is always a number: an emptied mark is written as 0.
    if (table_.Field(QuestionTable::Score).isNull())
        table_.SetBoundValue(QuestionTable::Score, QVariant(0.0f));
    // The mark the row is written with: the edited one, else its own, so
    // ScoreList always holds the row's mark.
    const float m = table_.Field(QuestionTable::Score).toFloat();
    if (m != state_.ScoreList(p) && !IsValidMark(m)) {
        TellMarkRange();
        TextScore_->setFocus();
        *cancel = true;
    }
}

void FormPaper::CmdSetAnswer_Click() {
    // A refused mark keeps the focus; the answer waits.
    if (!TextScore_Validate()) {
        TextScore_->setFocus();
        return;
    }
    state_.CurrentAnswer = AnswerTextToMask(LabelAnswer_->text());
    if (IsMultipleAnswerMode(state_.AnswerType())) {
        DlgAnswerSet dialog(state_, *LabelAnswer_, this);
        dialog.LabelNo->setText(LabelNo_->text());
        seams_.modal.Exec(dialog);
    } else {
        DlgAnswerSet17 dialog(state_, *LabelAnswer_, this);
        dialog.LabelNo->setText(LabelNo_->text());
        seams_.modal.Exec(dialog);
    }
}

void FormPaper::CommandTools_Click(int index) {
    if (index < 0 || index >= kCommandCount) return;
    // A command works on the written paper: the edit of the current row is
    // written first, and a refused edit stops the command.
    if (!CheckCurrentRow()) return;
    kCommands[std::size_t(index)].run(*this);
}

void FormPaper::Help_Click() {
    // Without a viewer for the compiled help, its pages open in the browser.
    // A missing help file is not worth a message; help that is there but
    // that nothing opens is, so the teacher knows where to find it.
    const auto folder = seams_.platform.ProgramFolder();
    std::error_code ec;
    bool present = false;
    for (const auto& help : {folder / "quillary.chm", folder / "help" / "index.html"}) {
        if (!std::filesystem::is_regular_file(help, ec)) continue;
        present = true;
        if (seams_.platform.OpenWithDesktop(help)) return;
    }
    if (!present) return;
    const auto pages = folder / "help";
    const auto shown = std::filesystem::is_directory(pages, ec) ? pages : folder;
    ShowMessage(seams_.prompts,
                QStringLiteral("The help could not be opened: no viewer for it was found. Its "
                               "pages are in the folder %1.")
                    .arg(QDir::toNativeSeparators(QString::fromStdString(shown.string()))));
}

void FormPaper::Form_Unload(bool& cancel) {
    if (!state_.PaperModified) return;
    switch (AskToSaveChanges(seams_.prompts)) {
        case MsgAnswer::Yes:
            workspace_->Paper().SavePaper_Click();
            if (state_.PaperModified) cancel = true;
            break;
        case MsgAnswer::No:
            break;
        default:
            cancel = true;
            break;
    }
}

void FormPaper::closeEvent(QCloseEvent* event) {
    if (!CheckCurrentRow()) {
        event->ignore();
        return;
    }
    bool cancel = false;
    Form_Unload(cancel);
    if (cancel) {
        event->ignore();
        return;
    }
    closing_ = true;
    // A normal end: the paper kept for recovery goes.
    workspace_->Recovery().EndSession();
    event->accept();
}

}  // namespace scrivane
