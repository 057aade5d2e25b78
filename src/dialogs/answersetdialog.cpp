#include "dialogs/answersetdialog.h"

#include <QAbstractButton>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "core/answercode.h"
#include "dialogs/twips.h"

namespace scrivane {

AnswerSetDialog::AnswerSetDialog(Moddule1& state, QLineEdit& answerBox, int heightTwips,
                                 QWidget* parent)
    : QDialog(parent), state_(state), answerBox_(answerBox) {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(TwipsSize(*this, 6030, heightTwips));

    FrameItem_ = new QFrame(this);
    FrameItem_->setObjectName(QStringLiteral("FrameItem_0"));
    FrameItem_->setFrameShape(QFrame::Box);
    FrameItem_->setGeometry(TwipsRect(*this, 120, 120, 5775, 495));

    LabelNo = new QLabel(FrameItem_);
    LabelNo->setObjectName(QStringLiteral("LabelNo"));
    LabelNo->setGeometry(TwipsRect(*this, 240, 195, 480, 300));
}

void AnswerSetDialog::AddButtons(int okX) {
    OKButton_ = new QPushButton(this);
    OKButton_->setObjectName(QStringLiteral("OKButton"));
    OKButton_->setGeometry(TwipsRect(*this, okX, 720, 1215, 375));
    CancelButton_ = new QPushButton(this);
    CancelButton_->setObjectName(QStringLiteral("CancelButton"));
    CancelButton_->setGeometry(TwipsRect(*this, 3360, 720, 1215, 375));
    connect(OKButton_, &QPushButton::clicked, this, &AnswerSetDialog::OKButton_Click);
    connect(CancelButton_, &QPushButton::clicked, this, &QDialog::reject);

    setWindowTitle(QStringLiteral("Answer Setting"));
    OKButton_->setText(QStringLiteral("OK"));
    CancelButton_->setText(QStringLiteral("Cancel"));
}

void AnswerSetDialog::OKButton_Click() {
    answerBox_.setText(AnswerMaskToText(state_.CurrentAnswer));
    accept();
    answerBox_.setFocus();
}

void AnswerSetDialog::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool chord =
        event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!chord && key >= Qt::Key_A && key <= Qt::Key_F) {
        const QString letter(QChar(u'A' + (key - Qt::Key_A)));
        for (QAbstractButton* choice : FrameItem_->findChildren<QAbstractButton*>()) {
            if (choice->text() != letter || !choice->isEnabled()) continue;
            choice->setFocus(Qt::ShortcutFocusReason);
            choice->click();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

}  // namespace scrivane
