#include "editor/recordnavigator.h"

#include <QLabel>
#include <QResizeEvent>
#include <QToolButton>

#include "core/questiontable.h"

namespace scrivane {

namespace {

QToolButton* MakeButton(QWidget* parent, const char* name, Qt::ArrowType arrow,
                        const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setArrowType(arrow);
    button->setToolTip(tip);
    // Screen readers name an arrow by what it does, not by its picture.
    button->setAccessibleName(tip);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

RecordNavigator::RecordNavigator(QuestionTable& table, QWidget* parent)
    : QFrame(parent), table_(table) {
    setFrameShape(QFrame::StyledPanel);
    first_ = MakeButton(this, "adoStdMarks_First", Qt::UpArrow, tr("First question"));
    previous_ = MakeButton(this, "adoStdMarks_Previous", Qt::LeftArrow, tr("Previous question"));
    next_ = MakeButton(this, "adoStdMarks_Next", Qt::RightArrow, tr("Next question"));
    last_ = MakeButton(this, "adoStdMarks_Last", Qt::DownArrow, tr("Last question"));
    first_->setText(QStringLiteral("|<"));
    last_->setText(QStringLiteral(">|"));
    first_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    last_->setToolButtonStyle(Qt::ToolButtonTextOnly);
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("adoStdMarks_Caption"));
    caption_->setAlignment(Qt::AlignCenter);

    connect(first_, &QToolButton::clicked, this, [this] {
        if (MayLeave()) table_.MoveFirst();
    });
    connect(last_, &QToolButton::clicked, this, [this] {
        if (MayLeave()) table_.MoveLast();
    });
    // Next and previous stop at the ends rather than leaving the table.
    connect(next_, &QToolButton::clicked, this, [this] {
        if (MayLeave() && table_.AbsolutePosition() < table_.RecordCount()) table_.MoveNext();
    });
    connect(previous_, &QToolButton::clicked, this, [this] {
        if (MayLeave() && table_.AbsolutePosition() > 1) table_.MovePrevious();
    });
    // Every change of the rows ends with the cursor placed anew.
    connect(&table_, &QuestionTable::CurrentRowChanged, this, &RecordNavigator::UpdateButtons);
    UpdateButtons();
}

void RecordNavigator::setCaption(const QString& caption) {
    caption_->setText(caption);
}
QString RecordNavigator::caption() const {
    return caption_->text();
}

void RecordNavigator::UpdateButtons() {
    const int position = table_.AbsolutePosition();
    const int count = table_.RecordCount();
    first_->setEnabled(count > 0);
    last_->setEnabled(count > 0);
    previous_->setEnabled(position > 1);
    next_->setEnabled(position >= 1 && position < count);
}

void RecordNavigator::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    const int h = height();
    const int w = width();
    const int b = std::min(h * 2 / 3, w / 8);  // narrow buttons, the caption in the middle
    first_->setGeometry(0, 0, b, h);
    previous_->setGeometry(b, 0, b, h);
    next_->setGeometry(w - 2 * b, 0, b, h);
    last_->setGeometry(w - b, 0, b, h);
    caption_->setGeometry(2 * b, 0, std::max(0, w - 4 * b), h);
}

}  // namespace scrivane
