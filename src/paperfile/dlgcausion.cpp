#include "paperfile/dlgcausion.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "dialogs/twips.h"

namespace scrivane {

DlgCausion::DlgCausion(Moddule1& state, std::function<void()> save, QWidget* parent)
    : QDialog(parent), state_(state), save_(std::move(save)) {
    setObjectName(QStringLiteral("DlgCausion"));
    setFixedSize(TwipsSize(*this, 5070, 2475));
    Label1_ = new QLabel(this);
    Label1_->setObjectName(QStringLiteral("Label1"));
    Label1_->setWordWrap(true);
    Label1_->setGeometry(TwipsRect(*this, 720, 360, 3855, 735));
    auto button = [this](const char* name, int x) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(TwipsRect(*this, x, 1440, 1215, 495));
        // None of the buttons is the default: Enter presses the focused one.
        b->setAutoDefault(true);
        b->setDefault(false);
        return b;
    };
    OKButton_ = button("OKButton", 360);
    NoButton_ = button("NoButton", 1920);
    CancelButton_ = button("CancelButton", 3480);
    setTabOrder(NoButton_, CancelButton_);
    setTabOrder(CancelButton_, OKButton_);
    connect(OKButton_, &QPushButton::clicked, this, &DlgCausion::OKButton_Click);
    connect(NoButton_, &QPushButton::clicked, this, &DlgCausion::NoButton_Click);
    connect(CancelButton_, &QPushButton::clicked, this, &DlgCausion::CancelButton_Click);

    // Form_Load
    setWindowTitle(QStringLiteral("Warning"));
    Label1_->setText(QStringLiteral("The test paper has been modified. Save or not?"));
    OKButton_->setText(QStringLiteral("Yes"));
    NoButton_->setText(QStringLiteral("No"));
    CancelButton_->setText(QStringLiteral("Cancel"));
    state_.CausionResult = false;
    NoButton_->setFocus();
}

void DlgCausion::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    NoButton_->setFocus();
}

void DlgCausion::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();  // Escape does nothing here
        return;
    }
    QDialog::keyPressEvent(event);
}

void DlgCausion::OKButton_Click() {
    save_();
    state_.CausionResult = !state_.PaperModified;
    accept();
}

void DlgCausion::NoButton_Click() {
    state_.CausionResult = true;
    accept();
}

void DlgCausion::CancelButton_Click() {
    state_.CausionResult = false;
    reject();
}

}  // namespace scrivane
