// The answer setting dialogs of both modes, driven through their real boxes
// and buttons.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QVBoxLayout>

#include "core/answercode.h"
#include "core/moddule1.h"
#include "dialogs/dialogscale.h"
#include "dialogs/dlganswerset.h"
#include "dialogs/dlganswerset17.h"
#include "dialogs/formquickpaper17.h"
#include "widgetlook.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

// The main window's side: its answer box, holding a known text.
struct Host {
    QWidget window;
    QLineEdit* answerBox = new QLineEdit(QStringLiteral("before"), &window);
    QLineEdit* other = new QLineEdit(&window);
    Moddule1 state;
    Host() {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(other);
        layout->addWidget(answerBox);
    }
};

QAbstractButton* Option(const QWidget& dlg, int i) {
    return Control<QAbstractButton>(dlg, QStringLiteral("OptionAnswer_%1").arg(i));
}

QPushButton* Button(const QWidget& dlg, const char* name) {
    return Control<QPushButton>(dlg, QString::fromLatin1(name));
}

}  // namespace

class TestAnswerSet : public QObject {
    Q_OBJECT
private slots:
    void multipleShowsMaskOnOpening_data();
    void multipleShowsMaskOnOpening();
    void multipleUncheckingFollowsClicks();
    void multipleUncheckAllGivesUncertain();
    void multipleSpaceTogglesFocusedBox();
    void multipleLayoutAndCaptions();
    void singleShowsMaskOnOpening_data();
    void singleShowsMaskOnOpening();
    void singleChoosingAnotherLetter();
    void singleCaptionsAndLabelColour();
    void cancelCloseAndEscapeLeaveAnswerText_data();
    void cancelCloseAndEscapeLeaveAnswerText();
    void okGivesAnswerBoxTheFocus();
    void eachOpeningStartsFromCurrentAnswer();
    void letterKeysTickOrChoose();
    void uncertainIsWhole();
};

void TestAnswerSet::multipleShowsMaskOnOpening_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<QString>("text");
    QTest::newRow("uncertain") << 0 << "Uncertain";
    QTest::newRow("A") << 1 << "A";
    QTest::newRow("AC") << 5 << "AC";
    QTest::newRow("F") << 32 << "F";
    QTest::newRow("all") << 63 << "ABCDEF";
}

void TestAnswerSet::multipleShowsMaskOnOpening() {
    QFETCH(int, mask);
    QFETCH(QString, text);
    Host host;
    host.state.CurrentAnswer = AnswerMask(mask);
    DlgAnswerSet dlg(host.state, *host.answerBox);
    dlg.LabelNo->setText(QStringLiteral("7"));
    int count = 0;
    for (int i = 0; i < 6; ++i) {
        const bool on = (mask >> i) & 1;
        count += on;
        QCOMPARE(Option(dlg, i)->isChecked(), on);
        QCOMPARE(Back(Option(dlg, i)), on ? kGreen : Face());
    }
    QCOMPARE(Fore(dlg.LabelNo), count == 1 ? kBlack : kRed);
    QCOMPARE(int(host.state.CurrentAnswer), mask);

    Button(dlg, "OKButton")->click();
    QCOMPARE(host.answerBox->text(), text);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestAnswerSet::multipleUncheckingFollowsClicks() {
    Host host;
    host.state.CurrentAnswer = 5;  // AC
    DlgAnswerSet dlg(host.state, *host.answerBox);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(Fore(dlg.LabelNo), kRed);

    QAbstractButton* c = Option(dlg, 2);
    QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(8, c->height() / 2));
    QVERIFY(!c->isChecked());
    QCOMPARE(Back(c), Face());
    QCOMPARE(Back(Option(dlg, 0)), kGreen);
    QCOMPARE(Fore(dlg.LabelNo), kBlack);
    QCOMPARE(int(host.state.CurrentAnswer), 1);

    // Adding a second letter turns the number red again.
    Option(dlg, 5)->click();
    QCOMPARE(int(host.state.CurrentAnswer), 33);
    QCOMPARE(Back(Option(dlg, 5)), kGreen);
    QCOMPARE(Fore(dlg.LabelNo), kRed);
    Option(dlg, 5)->click();

    QTest::mouseClick(Button(dlg, "OKButton"), Qt::LeftButton);
    QCOMPARE(host.answerBox->text(), QStringLiteral("A"));
    QVERIFY(!dlg.isVisible());
}

void TestAnswerSet::multipleUncheckAllGivesUncertain() {
    Host host;
    host.state.CurrentAnswer = 0b101101;
    DlgAnswerSet dlg(host.state, *host.answerBox);
    for (int i = 0; i < 6; ++i)
        if (Option(dlg, i)->isChecked()) Option(dlg, i)->click();
    QCOMPARE(int(host.state.CurrentAnswer), 0);
    QCOMPARE(Fore(dlg.LabelNo), kRed);
    for (int i = 0; i < 6; ++i) QCOMPARE(Back(Option(dlg, i)), Face());
    Button(dlg, "OKButton")->click();
    QCOMPARE(host.answerBox->text(), QStringLiteral("Uncertain"));
}

void TestAnswerSet::multipleSpaceTogglesFocusedBox() {
    Host host;
    DlgAnswerSet dlg(host.state, *host.answerBox);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    Option(dlg, 1)->setFocus();
    QTest::keyClick(Option(dlg, 1), Qt::Key_Space);
    QCOMPARE(int(host.state.CurrentAnswer), 2);
    QCOMPARE(Back(Option(dlg, 1)), kGreen);
    QCOMPARE(Fore(dlg.LabelNo), kBlack);
}

void TestAnswerSet::multipleLayoutAndCaptions() {
    Host host;
    DlgAnswerSet dlg(host.state, *host.answerBox);
    QCOMPARE(dlg.objectName(), QStringLiteral("DlgAnswerSet"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Answer Setting"));
    QCOMPARE(Button(dlg, "OKButton")->text(), QStringLiteral("OK"));
    QCOMPARE(Button(dlg, "CancelButton")->text(), QStringLiteral("Cancel"));
    const QString letters = QStringLiteral("ABCDEF");
    for (int i = 0; i < 6; ++i) QCOMPARE(Option(dlg, i)->text(), QString(letters[i]));
    QVERIFY(dlg.findChild<QWidget*>(QStringLiteral("FrameItem_0")));
    QCOMPARE(dlg.LabelNo->objectName(), QStringLiteral("LabelNo"));
    QVERIFY(dlg.LabelNo->font().bold());
    QCOMPARE(dlg.LabelNo->y(), qRound(195 * dlg.logicalDpiY() / 1440.0));
    // A fixed-size window: 6030 by 1335 twips.
    const int w = qRound(6030 * dlg.logicalDpiX() / 1440.0);
    QCOMPARE(dlg.minimumWidth(), w);
    QCOMPARE(dlg.maximumWidth(), w);
    // The boxes lie left to right in one row, inside the window.
    for (int i = 1; i < 6; ++i) QVERIFY(Option(dlg, i)->x() > Option(dlg, i - 1)->x());
    QVERIFY(Button(dlg, "OKButton")->x() < Button(dlg, "CancelButton")->x());
}

void TestAnswerSet::singleShowsMaskOnOpening_data() {
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("selected");
    QTest::addColumn<int>("after");
    QTest::addColumn<QString>("text");
    QTest::newRow("uncertain") << 0 << 5 << 0 << "Uncertain";
    QTest::newRow("A") << 1 << 0 << 1 << "A";
    QTest::newRow("B") << 2 << 1 << 2 << "B";
    QTest::newRow("C") << 4 << 2 << 4 << "C";
    QTest::newRow("D") << 8 << 3 << 8 << "D";
    QTest::newRow("E") << 16 << 4 << 16 << "E";
    QTest::newRow("F has no button") << 32 << 5 << 0 << "Uncertain";
    QTest::newRow("AB is not one answer") << 3 << 5 << 0 << "Uncertain";
    QTest::newRow("all") << 63 << 5 << 0 << "Uncertain";
}

void TestAnswerSet::singleShowsMaskOnOpening() {
    QFETCH(int, mask);
    QFETCH(int, selected);
    QFETCH(int, after);
    QFETCH(QString, text);
    Host host;
    host.state.CurrentAnswer = AnswerMask(mask);
    DlgAnswerSet17 dlg(host.state, *host.answerBox);
    for (int i = 0; i < 6; ++i) QCOMPARE(Option(dlg, i)->isChecked(), i == selected);
    QCOMPARE(int(host.state.CurrentAnswer), after);
    Button(dlg, "OKButton")->click();
    QCOMPARE(host.answerBox->text(), text);
}

void TestAnswerSet::singleChoosingAnotherLetter() {
    Host host;
    host.state.CurrentAnswer = 8;  // D
    DlgAnswerSet17 dlg(host.state, *host.answerBox);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QAbstractButton* b = Option(dlg, 1);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(8, b->height() / 2));
    QVERIFY(b->isChecked());
    QVERIFY(!Option(dlg, 3)->isChecked());
    QCOMPARE(int(host.state.CurrentAnswer), 2);
    Option(dlg, 5)->click();
    QCOMPARE(int(host.state.CurrentAnswer), 0);
    Option(dlg, 1)->click();
    QTest::mouseClick(Button(dlg, "OKButton"), Qt::LeftButton);
    QCOMPARE(host.answerBox->text(), QStringLiteral("B"));
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestAnswerSet::singleCaptionsAndLabelColour() {
    Host host;
    const QColor design = QLabel().palette().color(QPalette::WindowText);
    host.state.CurrentAnswer = 3;
    DlgAnswerSet17 dlg(host.state, *host.answerBox);
    QCOMPARE(dlg.objectName(), QStringLiteral("DlgAnswerSet17"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Answer Setting"));
    const QStringList captions = {"A", "B", "C", "D", "E", "Uncertain"};
    for (int i = 0; i < 6; ++i) QCOMPARE(Option(dlg, i)->text(), captions[i]);
    QCOMPARE(Button(dlg, "OKButton")->text(), QStringLiteral("OK"));
    QCOMPARE(Button(dlg, "CancelButton")->text(), QStringLiteral("Cancel"));
    // This dialog never colours its number, whatever the choice.
    QCOMPARE(Fore(dlg.LabelNo), design);
    Option(dlg, 2)->click();
    QCOMPARE(Fore(dlg.LabelNo), design);
    QCOMPARE(dlg.LabelNo->y(), qRound(195 * dlg.logicalDpiY() / 1440.0));
    const int h = qRound(1305 * dlg.logicalDpiY() / 1440.0);
    QCOMPARE(dlg.minimumHeight(), h);
    QCOMPARE(dlg.maximumHeight(), h);
}

void TestAnswerSet::cancelCloseAndEscapeLeaveAnswerText_data() {
    QTest::addColumn<bool>("multiple");
    QTest::addColumn<int>("how");  // 0 Cancel, 1 close box, 2 Escape
    for (bool multiple : {true, false}) {
        const char* mode = multiple ? "multiple" : "single";
        QTest::addRow("%s cancel", mode) << multiple << 0;
        QTest::addRow("%s close box", mode) << multiple << 1;
        QTest::addRow("%s escape", mode) << multiple << 2;
    }
}

void TestAnswerSet::cancelCloseAndEscapeLeaveAnswerText() {
    QFETCH(bool, multiple);
    QFETCH(int, how);
    Host host;
    host.state.CurrentAnswer = 1;
    std::unique_ptr<QDialog> dlg;
    if (multiple)
        dlg = std::make_unique<DlgAnswerSet>(host.state, *host.answerBox);
    else
        dlg = std::make_unique<DlgAnswerSet17>(host.state, *host.answerBox);
    dlg->show();
    QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
    Option(*dlg, 2)->click();
    Option(*dlg, 3)->click();
    Option(*dlg, 0)->click();
    if (how == 0) Button(*dlg, "CancelButton")->click();
    if (how == 1) dlg->close();
    if (how == 2) QTest::keyClick(Option(*dlg, 3), Qt::Key_Escape);
    QVERIFY(!dlg->isVisible());
    QCOMPARE(dlg->result(), int(QDialog::Rejected));
    QCOMPARE(host.answerBox->text(), QStringLiteral("before"));
}

void TestAnswerSet::okGivesAnswerBoxTheFocus() {
    Host host;
    host.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host.window));
    host.other->setFocus();
    host.state.CurrentAnswer = 4;
    for (bool multiple : {true, false}) {
        std::unique_ptr<QDialog> dlg;
        if (multiple)
            dlg = std::make_unique<DlgAnswerSet>(host.state, *host.answerBox, &host.window);
        else
            dlg = std::make_unique<DlgAnswerSet17>(host.state, *host.answerBox, &host.window);
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
        host.other->setFocus();
        Button(*dlg, "OKButton")->click();
        QCOMPARE(host.answerBox->text(), QStringLiteral("C"));
        QCOMPARE(host.window.focusWidget(), host.answerBox);
    }
}

void TestAnswerSet::eachOpeningStartsFromCurrentAnswer() {
    Host host;
    host.state.CurrentAnswer = 1;
    {
        DlgAnswerSet first(host.state, *host.answerBox);
        Option(first, 4)->click();
        Option(first, 5)->click();
        Button(first, "CancelButton")->click();
    }
    host.state.CurrentAnswer = 2;
    DlgAnswerSet second(host.state, *host.answerBox);
    for (int i = 0; i < 6; ++i) QCOMPARE(Option(second, i)->isChecked(), i == 1);
    QCOMPARE(Fore(second.LabelNo), kBlack);

    host.state.CurrentAnswer = 1;
    {
        DlgAnswerSet17 first(host.state, *host.answerBox);
        Option(first, 4)->click();
        first.close();
    }
    host.state.CurrentAnswer = 8;
    DlgAnswerSet17 again(host.state, *host.answerBox);
    for (int i = 0; i < 6; ++i) QCOMPARE(Option(again, i)->isChecked(), i == 3);
}

// A keyboard user presses the letter: a box is ticked or unticked, an option
// chosen. Letters the dialog does not offer change nothing.
void TestAnswerSet::letterKeysTickOrChoose() {
    {
        Host host;
        DlgAnswerSet dlg(host.state, *host.answerBox);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_B);
        QTest::keyClick(Option(dlg, 1), Qt::Key_F);
        QCOMPARE(int(host.state.CurrentAnswer), 2 | 32);
        QCOMPARE(Back(Option(dlg, 5)), kGreen);
        QTest::keyClick(&dlg, Qt::Key_B, Qt::ShiftModifier);  // B, typed as a capital
        QTest::keyClick(&dlg, Qt::Key_G);
        QCOMPARE(int(host.state.CurrentAnswer), 32);
        QTest::keyClick(&dlg, Qt::Key_Return);
        QCOMPARE(host.answerBox->text(), QStringLiteral("F"));
    }
    {
        Host host;
        DlgAnswerSet17 dlg(host.state, *host.answerBox);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QTest::keyClick(&dlg, Qt::Key_D);
        QVERIFY(Option(dlg, 3)->isChecked());
        QCOMPARE(int(host.state.CurrentAnswer), 8);
        QTest::keyClick(&dlg, Qt::Key_F);  // no option F in this mode
        QVERIFY(Option(dlg, 3)->isChecked());
        QTest::keyClick(&dlg, Qt::Key_A);
        QCOMPARE(int(host.state.CurrentAnswer), 1);
    }
}

// "Uncertain" is shown whole inside its frame, in the dialog and on the
// sheet, at the design size and scaled up with the main window.
void TestAnswerSet::uncertainIsWhole() {
    for (const double scale : {1.0, 1.5, 2.0}) {
        Host host;
        DlgAnswerSet17 dlg(host.state, *host.answerBox);
        FormQuickPaper17 sheet(host.state);
        for (QDialog* w : {static_cast<QDialog*>(&dlg), static_cast<QDialog*>(&sheet)}) {
            FitDialog(*w, scale, QRect(0, 0, 8000, 6000));
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
            for (auto* option : w->findChildren<QRadioButton*>()) {
                if (option->text() != QStringLiteral("Uncertain")) continue;
                const QWidget* frame = option->parentWidget();
                const QString where = QStringLiteral("%1 at %2").arg(w->objectName()).arg(scale);
                QVERIFY2(option->width() >= option->sizeHint().width(), qPrintable(where));
                QVERIFY2(frame->contentsRect().contains(option->geometry()), qPrintable(where));
                const QRect inWindow(option->mapTo(w, QPoint()), option->size());
                QVERIFY2(w->rect().contains(inWindow), qPrintable(where));
            }
            w->hide();
        }
    }
}

QTEST_MAIN(TestAnswerSet)
#include "test_answerset.moc"
