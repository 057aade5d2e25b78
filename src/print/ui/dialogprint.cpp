#include "print/ui/dialogprint.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace scrivane {

namespace {

template <typename T>
T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QCheckBox* Check(QWidget* parent, const char* name, const QString& text, bool on) {
    auto* box = Named(new QCheckBox(text, parent), name);
    box->setChecked(on);
    return box;
}

}  // namespace

DialogPrint::DialogPrint(const PrintSettings& settings, Prompts& prompts, QWidget* parent)
    : QDialog(parent), prompts_(prompts), settings_(settings) {
    setObjectName(QStringLiteral("DialogPrint"));
    setWindowTitle(QStringLiteral("Print"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* page = new QGroupBox(QStringLiteral("Page"), this);
    TextHeading_ = Named(new QLineEdit(settings.heading, page), "TextHeading");
    TextSubheading_ = Named(new QLineEdit(settings.subheading, page), "TextSubheading");
    CheckNameLine_ =
        Check(page, "CheckNameLine", QStringLiteral("Name and class lines"), settings.nameLines);
    CheckMarks_ = Check(page, "CheckMarks", QStringLiteral("Show marks"), settings.marks);
    auto* pageForm = new QFormLayout(page);
    pageForm->addRow(QStringLiteral("Heading:"), TextHeading_);
    pageForm->addRow(QStringLiteral("Second line:"), TextSubheading_);
    pageForm->addRow(CheckNameLine_);
    pageForm->addRow(CheckMarks_);

    auto* what = new QGroupBox(QStringLiteral("Contents"), this);
    CheckPaper_ = Check(what, "CheckPaper", QStringLiteral("Question paper"), settings.paper);
    CheckKey_ = Check(what, "CheckKey", QStringLiteral("Answer key"), settings.key);
    CheckAnswerSheet_ =
        Check(what, "CheckAnswerSheet", QStringLiteral("Answer sheet"), settings.answerSheet);
    SpinIdDigits_ = Named(new QSpinBox(what), "SpinIdDigits");
    SpinIdDigits_->setRange(0, kMaxIdDigits);
    SpinIdDigits_->setValue(settings.idDigits);
    SpinIdDigits_->setSpecialValueText(QStringLiteral("None"));
    SpinIdDigits_->setEnabled(settings.answerSheet);
    connect(CheckAnswerSheet_, &QCheckBox::toggled, SpinIdDigits_, &QWidget::setEnabled);
    auto* idDigits = new QFormLayout;
    idDigits->setContentsMargins(20, 0, 0, 0);
    idDigits->addRow(QStringLiteral("Student number digits:"), SpinIdDigits_);
    auto* whatLayout = new QVBoxLayout(what);
    whatLayout->addWidget(CheckPaper_);
    whatLayout->addWidget(CheckKey_);
    whatLayout->addWidget(CheckAnswerSheet_);
    whatLayout->addLayout(idDigits);

    auto* versions = new QGroupBox(QStringLiteral("Versions"), this);
    SpinVersions_ = Named(new QSpinBox(versions), "SpinVersions");
    SpinVersions_->setRange(1, kMaxVersions);
    SpinVersions_->setValue(settings.versions.count);
    CheckShuffleQuestions_ =
        Check(versions, "CheckShuffleQuestions", QStringLiteral("Shuffle questions"),
              settings.versions.shuffleQuestions);
    CheckShuffleOptions_ = Check(versions, "CheckShuffleOptions", QStringLiteral("Shuffle options"),
                                 settings.versions.shuffleOptions);
    TextSeed_ = Named(new QLineEdit(QString::number(settings.versions.seed), versions), "TextSeed");
    auto* versionsForm = new QFormLayout(versions);
    versionsForm->addRow(QStringLiteral("Versions (A, B, C\u2026):"), SpinVersions_);
    versionsForm->addRow(CheckShuffleQuestions_);
    versionsForm->addRow(CheckShuffleOptions_);
    versionsForm->addRow(QStringLiteral("Seed:"), TextSeed_);

    ButtonOK_ = Named(new QPushButton(QStringLiteral("OK"), this), "ButtonOK");
    ButtonOK_->setDefault(true);
    ButtonCancel_ = Named(new QPushButton(QStringLiteral("Cancel"), this), "ButtonCancel");
    connect(ButtonOK_, &QPushButton::clicked, this, &DialogPrint::ButtonOK_Click);
    connect(ButtonCancel_, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonOK_);
    buttons->addWidget(ButtonCancel_);
    auto* columns = new QHBoxLayout;
    columns->addWidget(what);
    columns->addWidget(versions);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(page);
    layout->addLayout(columns);
    layout->addLayout(buttons);
    TextHeading_->setFocus();
}

PrintSettings DialogPrint::Settings() const {
    PrintSettings settings = settings_;
    settings.heading = TextHeading_->text();
    settings.subheading = TextSubheading_->text();
    settings.nameLines = CheckNameLine_->isChecked();
    settings.marks = CheckMarks_->isChecked();
    settings.paper = CheckPaper_->isChecked();
    settings.key = CheckKey_->isChecked();
    settings.answerSheet = CheckAnswerSheet_->isChecked();
    settings.idDigits = SpinIdDigits_->value();
    settings.versions.count = SpinVersions_->value();
    settings.versions.shuffleQuestions = CheckShuffleQuestions_->isChecked();
    settings.versions.shuffleOptions = CheckShuffleOptions_->isChecked();
    bool ok = false;
    const std::uint32_t seed = TextSeed_->text().trimmed().toUInt(&ok);
    if (ok) settings.versions.seed = seed;
    return settings;
}

void DialogPrint::ButtonOK_Click() {
    bool ok = false;
    TextSeed_->text().trimmed().toUInt(&ok);
    if (!ok) {
        ShowMessage(prompts_,
                    QStringLiteral("The seed should be a whole number from 0 to 4294967295."));
        TextSeed_->setFocus();
        TextSeed_->selectAll();
        return;
    }
    if (!Settings().PrintsSomething()) {
        ShowMessage(prompts_, QStringLiteral("Choose at least one of the question paper, the "
                                             "answer key and the answer sheet."));
        CheckPaper_->setFocus();
        return;
    }
    accept();
}

}  // namespace scrivane
