#include "editor/formpaper.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
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
#include <QUrl>
#include <cmath>
#include <utility>

#include "core/answercode.h"
#include "core/numbers.h"
#include "core/paperrules.h"
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
#include "editor/picturestrip.h"
#include "editor/recordnavigator.h"
#include "editor/typinglimit.h"
#include "history/historyactions.h"
#include "history/paperhistory.h"
#include "paperfile/interchangecommands.h"
#include "paperfile/papercommands.h"
#include "pictures/pictureload.h"
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

// The room a strip of thumbnails takes under its box, and the button beside
// a box, in twips of the reference layout.
constexpr double kStripTwips = 660;
constexpr double kPictureButtonTwips = 225;

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
    // Pictures dropped on a box or its strip are the box's; the window's own
    // filter, installed before, opens any other file as a paper.
    TextTitle_->viewport()->installEventFilter(this);
    for (PictureStrip* strip : PictureStrips_) {
        strip->installEventFilter(this);
        strip->viewport()->installEventFilter(this);
    }
    // A box's "Picture…" button shows while the box (or the button, or its
    // strip) has the focus.
    connect(qApp, &QApplication::focusChanged, this, [this] { ShowPictureButtons(); });
    context_ = std::make_unique<PaperContext>(
        PaperContext{state_, seams_, document_, history, workspace_->Paper(), *workspace_,
                     settings_, *MenuBar_, [this] { return CheckCurrentRow(); },
                     [this](int position) { ShowQuestion(position); }, *this});
    // Export As and Import From: the paper in the other programs' formats.
    AttachInterchangeCommands(*context_, workspace_->Interchange());
    Form_Load();
}

FormPaper::~FormPaper() {
    // The children destroyed below move the focus; the panel is gone by then.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

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
    scoreLimit_ = new TypingLimit(*TextScore_, kMarkTypedLength);
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
    titleLimit_ = new TypingLimit(*TextTitle_, kTitleTypedLength);
    for (int i = 0; i < 6; ++i) {
        LabItem_[i] = Named(new QLabel(Frame1_), QStringLiteral("LabItem_%1").arg(i));
        TextItems_[i] = Named(new QLineEdit(Frame1_), QStringLiteral("TextItems_%1").arg(i));
        itemLimits_[i] = new TypingLimit(*TextItems_[i], kOptionTypedLength);
        LabItem_[i]->setBuddy(TextItems_[i]);
    }
    for (int box = 0; box < kPictureBoxes; ++box) {
        const QString name =
            box == kPictureTitle ? QStringLiteral("Title") : QStringLiteral("Item_%1").arg(box - 1);
        auto* button = Named(new QToolButton(Frame1_), QStringLiteral("Picture") + name);
        button->setText(QStringLiteral("Picture…"));
        button->setToolTip(box == kPictureTitle
                               ? QStringLiteral("Picture… (add a picture to the question title)")
                               : QStringLiteral("Picture… (add a picture to option %1)")
                                     .arg(QChar(u'A' + box - 1)));
        button->setIcon(PictureSign());
        button->setToolButtonStyle(Qt::ToolButtonIconOnly);
        button->setAutoRaise(true);
        // A click leaves the focus in the box, and Tab goes from box to box as
        // ever: from the keyboard, the box's context menu offers "Picture…".
        button->setFocusPolicy(Qt::NoFocus);
        button->hide();
        connect(button, &QToolButton::clicked, this, [this, box] { Picture_Click(box); });
        PictureButtons_[std::size_t(box)] = button;
        auto* strip =
            Named(new PictureStrip(box == kPictureTitle ? static_cast<QWidget*>(Frame2_) : Frame1_),
                  QStringLiteral("Pictures") + name);
        strip->setAccessibleName(
            box == kPictureTitle
                ? QStringLiteral("Pictures of the question title")
                : QStringLiteral("Pictures of option %1").arg(QChar(u'A' + box - 1)));
        strip->hide();
        connect(strip, &PictureStrip::RemoveRequested, this,
                [this, box](int index) { RemovePicture(box, index); });
        PictureStrips_[std::size_t(box)] = strip;
    }
    Label5_ = Named(new QLabel(PaperContent_), QStringLiteral("Label5"));
    LabNoCount_ = Named(new QLabel(PaperContent_), QStringLiteral("LabNoCount"));
    Label7_ = Named(new QLabel(PaperContent_), QStringLiteral("Label7"));
    LabScoreCount_ = Named(new QLabel(PaperContent_), QStringLiteral("LabScoreCount"));

    DataGrid1_ = Named(new QTableView(PaperContent_), QStringLiteral("DataGrid1"));
    table_.SetPictureSign(PictureSign());
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
    // Each box, then its pictures where it has any.
    QWidget* previous = CmdSetAnswer_;
    for (int box = 0; box < kPictureBoxes; ++box) {
        QWidget* text =
            box == kPictureTitle ? static_cast<QWidget*>(TextTitle_) : TextItems_[box - 1];
        for (QWidget* next :
             std::initializer_list<QWidget*>{text, PictureStrips_[std::size_t(box)]}) {
            setTabOrder(previous, next);
            previous = next;
        }
    }
    setTabOrder(previous, DataGrid1_);

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
    // Room under each box that holds pictures: the panel grows by it and the
    // grid gives it up. A question without pictures is laid out as ever.
    const unsigned withPictures = BoxesWithPictures();
    picturesLaidOut_ = withPictures;
    const auto has = [withPictures](int box) { return ((withPictures >> box) & 1u) != 0; };
    const double titleRoom = has(kPictureTitle) ? kStripTwips : 0;
    std::array<double, 6> optionShift{};
    double optionRoom = 0;
    for (int i = 0; i < 6; ++i) {
        optionShift[std::size_t(i)] = optionRoom;
        if (has(PictureBoxOfItem(i))) optionRoom += kStripTwips;
    }
    panelGrowth_ = std::max(titleRoom, optionRoom);
    Place(Frame1_, 120, 700, 12735, 1935 + panelGrowth_);
    Place(adoStdMarks_, 120, 240, 2175, 405);
    Place(LabNo_, 2520, 240, 825, 195);
    Place(LabelNo_, 2520, 480, 555, 245);
    Place(Label2_, 3720, 240, 1095, 195);
    Place(TextScore_, 3720, 480, 550, 255);
    Place(Label1_, 4320, 480, 735, 255);
    Place(Label3_, 5760, 240, 1185, 195);
    Place(LabelAnswer_, 5760, 480, 855, 255);
    Place(CmdSetAnswer_, 6630, 460, 1245, 300);
    Place(Frame2_, 120, 720, 7815, 1095 + titleRoom);
    Place(TextTitle_, 0, 240, 7815, 855);
    Place(PictureStrips_[kPictureTitle], 0, 1095, 7815, kStripTwips - 30);
    Place(PictureButtons_[kPictureTitle], 7935, 960, kPictureButtonTwips, 270);
    for (int i = 0; i < 6; ++i) {
        const double top = 150 + 290 * i + optionShift[std::size_t(i)];
        Place(LabItem_[i], 8160, top + 40, 855, 255);
        Place(TextItems_[i], 9000, top, 3495, 270);
        Place(PictureButtons_[std::size_t(PictureBoxOfItem(i))], 12495, top, kPictureButtonTwips,
              270);
        Place(PictureStrips_[std::size_t(PictureBoxOfItem(i))], 9000, top + 285, 3495,
              kStripTwips - 30);
    }
    Place(Label5_, 12960, 840, 2175, 300);
    Place(LabNoCount_, 13560, 1200, 975, 285);
    Place(Label7_, 12960, 1800, 2175, 300);
    Place(LabScoreCount_, 13560, 2160, 975, 285);
    Place(DataGrid1_, 120, 2760 + panelGrowth_, 15015, 7695 - panelGrowth_);

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
    for (QToolButton* button : PictureButtons_) {
        const int side = std::max(8, int(std::lround(12 * fontScale_)));
        button->setIconSize(QSize(side, side));
    }
    for (PictureStrip* strip : PictureStrips_)
        strip->SetThumbnailSide(strip->height() - 2 * strip->frameWidth() - 8);
    ScaleFont(LabNoCount_, kCountPoints);
    ScaleFont(LabScoreCount_, kCountPoints);
    ScaleFont(DataGrid1_, kGridPoints);
    ScaleFont(DataGrid1_->horizontalHeader(), kGridPoints);
    DataGrid1_->verticalHeader()->setDefaultSectionSize(DataGrid1_->fontMetrics().height() + 6);
    const double k = seams_.platform.LogicalDpi() / 1440.0;
    for (int c = 0; c < QuestionTable::kColumnCount; ++c)
        DataGrid1_->setColumnWidth(
            c, int(std::lround(kGridColumnTwips[std::size_t(c)] * scaleX_ * k)));

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
    const int fullGrid = int(std::lround((7695 - panelGrowth_) * scaleY_ * k));
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
    ShowPictures();
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
    // Ctrl+V with a picture on the clipboard adds it to the box; text pastes
    // as ever.
    if (event->type() == QEvent::KeyPress && (watched == TextTitle_ || BoxColumn(watched) >= 0) &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste) &&
        PastePicture(PictureBoxOf(watched)))
        return true;
    // The box's own context menu, with "Picture…" below.
    if (event->type() == QEvent::ContextMenu &&
        (watched == TextTitle_->viewport() || BoxColumn(watched) >= 0)) {
        const int box = PictureBoxOf(watched);
        const auto* request = static_cast<QContextMenuEvent*>(event);
        std::unique_ptr<QMenu> menu(box == kPictureTitle
                                        ? TextTitle_->createStandardContextMenu(request->pos())
                                        : TextItems_[box - 1]->createStandardContextMenu());
        menu->addSeparator();
        QAction* picture = menu->addAction(PictureSign(), QStringLiteral("Picture…"));
        picture->setObjectName(QStringLiteral("AddPicture"));
        picture->setEnabled(
            table_.HasCurrentRow() &&
            (box == kPictureTitle ? static_cast<QWidget*>(TextTitle_) : TextItems_[box - 1])
                ->isEnabled());
        connect(picture, &QAction::triggered, this, [this, box] { Picture_Click(box); });
        menu->exec(request->globalPos());
        return true;
    }
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
        event->type() == QEvent::Drop) {
        const int box = PictureBoxOf(watched);
        if (box >= 0 && DropPictures(box, event)) return true;
    }
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

int FormPaper::PictureBoxOf(const QObject* object) const {
    if (!object) return -1;
    for (int box = 0; box < kPictureBoxes; ++box) {
        const QWidget* text =
            box == kPictureTitle ? static_cast<QWidget*>(TextTitle_) : TextItems_[box - 1];
        const PictureStrip* strip = PictureStrips_[std::size_t(box)];
        if (object == text || object == PictureButtons_[std::size_t(box)] || object == strip ||
            object == strip->viewport() ||
            (box == kPictureTitle && object == TextTitle_->viewport()))
            return box;
    }
    return -1;
}

unsigned FormPaper::BoxesWithPictures() const {
    unsigned boxes = 0;
    for (int box = 0; box < kPictureBoxes; ++box)
        if (!table_.Pictures(box).isEmpty()) boxes |= 1u << box;
    return boxes;
}

// The strips follow the current question; the panel is laid out again only
// when the boxes that hold pictures change.
void FormPaper::ShowPictures() {
    for (int box = 0; box < kPictureBoxes; ++box) {
        const QList<Picture> pictures = table_.Pictures(box);
        PictureStrip* strip = PictureStrips_[std::size_t(box)];
        strip->Show(pictures);
        strip->setVisible(!pictures.isEmpty());
    }
    if (BoxesWithPictures() != picturesLaidOut_ && !laidOut_.isEmpty()) LayOut(laidOut_);
    ShowPictureButtons();
}

void FormPaper::ShowPictureButtons() {
    const int focused = PictureBoxOf(QApplication::focusWidget());
    for (int box = 0; box < kPictureBoxes; ++box) {
        const QWidget* text =
            box == kPictureTitle ? static_cast<QWidget*>(TextTitle_) : TextItems_[box - 1];
        PictureButtons_[std::size_t(box)]->setVisible(box == focused && text->isEnabled());
    }
}

void FormPaper::Picture_Click(int box) {
    if (!table_.HasCurrentRow()) return;
    FileRequest request;
    request.title = QStringLiteral("Add Picture");
    request.filter = PictureFileFilter();
    const QStringList paths = seams_.prompts.ChooseFiles(request);
    if (!paths.isEmpty()) AddPictureFiles(box, paths);
}

void FormPaper::AddPictureFiles(int box, const QStringList& paths) {
    QList<Picture> pictures;
    QStringList refusals;
    for (const QString& path : paths) {
        PictureTaken taken = TakePictureFile(path);
        if (taken.Ok())
            pictures << taken.picture;
        else
            refusals << taken.error;
    }
    AddPictures(box, pictures, refusals);
}

bool FormPaper::PastePicture(int box) {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (box < 0 || !mime || !table_.HasCurrentRow()) return false;
    // Picture files copied in a file manager, an SVG, or an image without
    // text beside it; anything else is text for the box.
    QStringList files;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && HasPictureSuffix(url.toLocalFile())) files << url.toLocalFile();
    if (!files.isEmpty() && files.size() == mime->urls().size()) {
        AddPictureFiles(box, files);
        return true;
    }
    PictureTaken taken;
    if (mime->hasFormat(QStringLiteral("image/svg+xml")))
        taken = TakePictureData(mime->data(QStringLiteral("image/svg+xml")), {});
    else if (mime->hasImage() && !mime->hasText())
        taken = TakePictureImage(qvariant_cast<QImage>(mime->imageData()));
    else
        return false;
    if (taken.Ok())
        AddPictures(box, {taken.picture}, {});
    else
        AddPictures(box, {}, {taken.error});
    return true;
}

// Picture files dropped on a box are added to it; any other drop is left to
// the box or, for a paper file, to the window.
bool FormPaper::DropPictures(int box, QEvent* event) {
    auto* drag = static_cast<QDropEvent*>(event);
    const QMimeData* mime = drag->mimeData();
    if (!mime || !mime->hasUrls()) return false;
    QStringList files;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile() || !HasPictureSuffix(url.toLocalFile())) return false;
        files << url.toLocalFile();
    }
    const QWidget* text =
        box == kPictureTitle ? static_cast<QWidget*>(TextTitle_) : TextItems_[box - 1];
    if (files.isEmpty() || !text->isEnabled()) return false;
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    if (event->type() == QEvent::Drop) AddPictureFiles(box, files);
    return true;
}

void FormPaper::AddPictures(int box, const QList<Picture>& pictures, const QStringList& refusals) {
    if (!refusals.isEmpty()) ShowMessage(seams_.prompts, refusals.join(u'\n'));
    if (pictures.isEmpty() || !table_.HasCurrentRow()) return;
    table_.SetBoundPictures(box, table_.Pictures(box) + pictures);
    // Written with the row at once, so that it is a step of its own; a mark
    // refused keeps it in the row's edit until the row is written.
    CheckCurrentRow();
    ShowPictures();
}

void FormPaper::RemovePicture(int box, int index) {
    QList<Picture> pictures = table_.Pictures(box);
    if (index < 0 || index >= pictures.size()) return;
    pictures.removeAt(index);
    table_.SetBoundPictures(box, pictures);
    CheckCurrentRow();
    ShowPictures();
    // The focus stays with the pictures left, else goes back to the box.
    PictureStrip* strip = PictureStrips_[std::size_t(box)];
    if (strip->isVisible())
        strip->setFocus();
    else
        (box == kPictureTitle ? static_cast<QWidget*>(TextTitle_) : TextItems_[box - 1])
            ->setFocus();
}

}  // namespace scrivane
