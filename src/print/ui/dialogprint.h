// Asks what to print: the headings, the paper, key and answer sheet (with the
// digits of its student number), and the versions with their shuffling and
// seed.
#pragma once

#include <QDialog>

#include "core/prompts.h"
#include "print/versions/printsettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace scrivane {

class DialogPrint : public QDialog {
    Q_OBJECT
public:
    // Shows the given choices; the seed box shows settings.versions.seed.
    DialogPrint(const PrintSettings& settings, Prompts& prompts, QWidget* parent = nullptr);

    // The choices as they stand in the boxes (valid once the dialog was accepted).
    PrintSettings Settings() const;

private:
    void ButtonOK_Click();

    Prompts& prompts_;
    PrintSettings settings_;
    QLineEdit* TextHeading_;
    QLineEdit* TextSubheading_;
    QCheckBox* CheckNameLine_;
    QCheckBox* CheckMarks_;
    QCheckBox* CheckPaper_;
    QCheckBox* CheckKey_;
    QCheckBox* CheckAnswerSheet_;
    QSpinBox* SpinIdDigits_;
    QSpinBox* SpinVersions_;
    QCheckBox* CheckShuffleQuestions_;
    QCheckBox* CheckShuffleOptions_;
    QLineEdit* TextSeed_;
    QPushButton* ButtonOK_;
    QPushButton* ButtonCancel_;
};

}  // namespace scrivane
