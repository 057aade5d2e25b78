// The quick new paper dialog: its key filter, reading of the boxes, the
// order of OK's checks and the keyboard, through the real widgets.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/moddule1.h"
#include "dialogs/dialogquicknew.h"
#include "fakeseams.h"
#include "widgetlook.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

const QString kMarkMessage = QStringLiteral("The mark should be between 0 and 250.");
const QString kAmountMessage = QStringLiteral("The question amount should be between 1 and 100.");

struct Fixture {
    Moddule1 state;
    FakePrompts prompts;
    DialogQuickNew dlg{state, prompts};
    QLineEdit* score = Control<QLineEdit>(dlg, QStringLiteral("TextScore"));
    QLineEdit* amount = Control<QLineEdit>(dlg, QStringLiteral("TextQuNo"));
    QPushButton* ok = Control<QPushButton>(dlg, QStringLiteral("OKButton"));
    QPushButton* cancel = Control<QPushButton>(dlg, QStringLiteral("CancelButton"));

    Fixture() {
        state.DefaultScore = 10;
        state.QuickQuestionCount = 0;
    }
    bool Show() {
        dlg.show();
        dlg.activateWindow();
        return QTest::qWaitForWindowActive(&dlg);
    }
};

// Empties a box with the keyboard, then types into it through the filter.
void Type(QLineEdit* box, const QString& text) {
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End);
    while (!box->text().isEmpty()) QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, text);
}

// Replaces a box's text by pasting it with Ctrl+V, which the filter lets by.
void Paste(QLineEdit* box, const QString& text) {
    QApplication::clipboard()->setText(text);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

}  // namespace

class TestQuickNew : public QObject {
    Q_OBJECT
private slots:
    void loadState();
    void okChecks_data();
    void okChecks();
    void keyFilterDropsOtherCharacters();
    void editingKeysStillWork();
    void pastedTextReadsByLeadingNumber_data();
    void pastedTextReadsByLeadingNumber();
    void pastedAmountReadsByLeadingNumber();
    void markStaysWhenAmountRefusedThenCancel();
    void messageMovesFocusToBoxAtFault();
    void focusStartsInMarkAndTabOrder();
    void enterInEitherBoxPressesOk_data();
    void enterInEitherBoxPressesOk();
    void escapeAndCloseBoxLeaveResultFalse();
};

void TestQuickNew::loadState() {
    Moddule1 state;
    state.QuickNewResult = true;
    FakePrompts prompts;
    DialogQuickNew dlg(state, prompts);
    QVERIFY(!state.QuickNewResult);
    QCOMPARE(dlg.objectName(), QStringLiteral("DialogQuickNew"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Create New Paper quickly"));
    const QStringList names = {"Label1", "Label2", "Label3", "Label4"};
    const QStringList texts = {"Question amount:", "Default score:", "(1-100)", "(0-250)"};
    for (int i = 0; i < 4; ++i) QCOMPARE(Control<QLabel>(dlg, names[i])->text(), texts[i]);
    QCOMPARE(Control<QLineEdit>(dlg, "TextQuNo")->text(), QStringLiteral("10"));
    QCOMPARE(Control<QLineEdit>(dlg, "TextScore")->text(), QStringLiteral("10"));
    QCOMPARE(Control<QPushButton>(dlg, "OKButton")->text(), QStringLiteral("OK"));
    QVERIFY(Control<QPushButton>(dlg, "OKButton")->isDefault());
    QCOMPARE(Control<QPushButton>(dlg, "CancelButton")->text(), QStringLiteral("Cancel"));
    const int w = qRound(5070 * dlg.logicalDpiX() / 1440.0);
    QCOMPARE(dlg.minimumWidth(), w);
    QCOMPARE(dlg.maximumWidth(), w);
}

void TestQuickNew::okChecks_data() {
    QTest::addColumn<QString>("mark");
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("message");  // empty: accepted
    QTest::addColumn<float>("defaultScore");
    QTest::addColumn<int>("count");
    QTest::newRow("OK at once") << "10"
                                << "10"
                                << "" << 10.0f << 10;
    QTest::newRow("empty mark is 0") << ""
                                     << "5"
                                     << "" << 0.0f << 5;
    QTest::newRow("empty amount") << "7"
                                  << "" << kAmountMessage << 7.0f << 0;
    QTest::newRow("upper bounds") << "250"
                                  << "100"
                                  << "" << 250.0f << 100;
    QTest::newRow("lower bounds") << "0"
                                  << "1"
                                  << "" << 0.0f << 1;
    QTest::newRow("mark 251") << "251"
                              << "10" << kMarkMessage << 10.0f << 0;
    QTest::newRow("amount 0") << "10"
                              << "0" << kAmountMessage << 10.0f << 0;
    QTest::newRow("amount 101") << "10"
                                << "101" << kAmountMessage << 10.0f << 0;
    QTest::newRow("both wrong: the mark only") << "300"
                                               << "0" << kMarkMessage << 10.0f << 0;
    QTest::newRow("per cent after") << "10%"
                                    << "20%"
                                    << "" << 10.0f << 20;
    QTest::newRow("per cent first") << "%10"
                                    << "3"
                                    << "" << 0.0f << 3;
    QTest::newRow("apostrophe after") << "12'"
                                      << "4'5"
                                      << "" << 12.0f << 4;
    QTest::newRow("mark past 16 bits") << "99999"
                                       << "10" << kMarkMessage << 10.0f << 0;
    QTest::newRow("mark 32768") << "32768"
                                << "10" << kMarkMessage << 10.0f << 0;
    QTest::newRow("amount 32767") << "10"
                                  << "32767" << kAmountMessage << 10.0f << 0;
    QTest::newRow("amount past 16 bits") << "10"
                                         << "40000" << kAmountMessage << 10.0f << 0;
    QTest::newRow("many digits") << "10"
                                 << "123456789012345678901234567890" << kAmountMessage << 10.0f
                                 << 0;
    QTest::newRow("leading zeros") << "0005"
                                   << "0099"
                                   << "" << 5.0f << 99;
}

void TestQuickNew::okChecks() {
    QFETCH(QString, mark);
    QFETCH(QString, amount);
    QFETCH(QString, message);
    QFETCH(float, defaultScore);
    QFETCH(int, count);
    Fixture f;
    Type(f.score, mark);
    Type(f.amount, amount);
    QCOMPARE(f.score->text(), mark);
    QCOMPARE(f.amount->text(), amount);
    f.ok->click();
    if (message.isEmpty()) {
        QVERIFY(f.prompts.messages.empty());
        QCOMPARE(f.dlg.result(), int(QDialog::Accepted));
        QVERIFY(f.state.QuickNewResult);
    } else {
        QCOMPARE(f.prompts.Texts(), QStringList{message});
        QCOMPARE(f.prompts.messages[0].title, QStringLiteral("Scrivane"));
        QVERIFY(f.prompts.messages[0].buttons == MsgButtons::Ok);
        QVERIFY(!f.state.QuickNewResult);
        QCOMPARE(f.dlg.result(), int(QDialog::Rejected));  // still open, nothing chosen
        // The other box keeps its text.
        QCOMPARE(f.score->text(), mark);
        QCOMPARE(f.amount->text(), amount);
    }
    QCOMPARE(f.state.DefaultScore, defaultScore);
    QCOMPARE(int(f.state.QuickQuestionCount), count);
}

void TestQuickNew::keyFilterDropsOtherCharacters() {
    for (const char* name : {"TextScore", "TextQuNo"}) {
        Fixture f;
        QLineEdit* box = Control<QLineEdit>(f.dlg, name);
        Type(box, QStringLiteral("1a-.B 2,\t5"));
        QCOMPARE(box->text(), QStringLiteral("125"));
        QTest::keyClicks(box, QStringLiteral("%'x"));
        QCOMPARE(box->text(), QStringLiteral("125%'"));
        QTest::keyClick(box, Qt::Key_Minus, Qt::KeypadModifier);
        QTest::keyClick(box, Qt::Key_Period, Qt::ShiftModifier);
        for (const QString& typed : {QStringLiteral("\u00e9"), QStringLiteral("\u20ac"),
                                     QStringLiteral("\u0663"), QStringLiteral("\u200d")})
            QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, typed, Qt::NoModifier);
        QCOMPARE(box->text(), QStringLiteral("125%'"));
        QTest::keyClick(box, Qt::Key_Backspace);
        QCOMPARE(box->text(), QStringLiteral("125%"));
    }
}

void TestQuickNew::editingKeysStillWork() {
    Fixture f;
    QVERIFY(f.Show());
    Type(f.amount, QStringLiteral("123"));
    QTest::keyClick(f.amount, Qt::Key_Home);
    QTest::keyClick(f.amount, Qt::Key_Delete);
    QCOMPARE(f.amount->text(), QStringLiteral("23"));
    QTest::keyClick(f.amount, Qt::Key_Right);
    QTest::keyClicks(f.amount, QStringLiteral("7"));
    QCOMPARE(f.amount->text(), QStringLiteral("273"));
    QTest::keyClick(f.amount, Qt::Key_A, Qt::ControlModifier);  // select all
    QTest::keyClicks(f.amount, QStringLiteral("9"));
    QCOMPARE(f.amount->text(), QStringLiteral("9"));
}

void TestQuickNew::pastedTextReadsByLeadingNumber_data() {
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<float>("mark");
    QTest::newRow("2.5 halves to even") << "2.5" << 2.0f;
    QTest::newRow("3.5 halves to even") << "3.5" << 4.0f;
    QTest::newRow("text after") << "12 points" << 12.0f;
    QTest::newRow("leading blanks") << "   40" << 40.0f;
    QTest::newRow("no number") << "abc" << 0.0f;
    QTest::newRow("249.6 rounds up") << "249.6" << 250.0f;
    QTest::newRow("-0.4 rounds to 0") << "-0.4" << 0.0f;
    QTest::newRow("a blank ends the number") << "1 2" << 1.0f;
    QTest::newRow("&H is no number") << "&H14" << 0.0f;
    QTest::newRow("&O is no number") << "&O17" << 0.0f;
    QTest::newRow("plus sign") << "+3" << 3.0f;
    QTest::newRow("exponent") << "1e2" << 100.0f;
}

void TestQuickNew::pastedTextReadsByLeadingNumber() {
    QFETCH(QString, pasted);
    QFETCH(float, mark);
    Fixture f;
    Paste(f.score, pasted);
    QCOMPARE(f.score->text(), pasted);  // pasting is not filtered
    f.ok->click();
    QVERIFY(f.prompts.messages.empty());
    QVERIFY(f.state.QuickNewResult);
    QCOMPARE(f.state.DefaultScore, mark);
}

// The amount box reads the same way: "1 2" is one question, "&H14" none.
void TestQuickNew::pastedAmountReadsByLeadingNumber() {
    const std::pair<QString, int> cases[] = {{"1 2", 1}, {" 7 questions", 7}, {"&H14", 0}};
    for (const auto& [pasted, count] : cases) {
        Fixture f;
        Paste(f.amount, pasted);
        f.ok->click();
        QCOMPARE(f.state.QuickNewResult, count > 0);
        QCOMPARE(f.prompts.Texts(), count > 0 ? QStringList{} : QStringList{kAmountMessage});
        if (count > 0) QCOMPARE(int(f.state.QuickQuestionCount), count);
    }
}

void TestQuickNew::markStaysWhenAmountRefusedThenCancel() {
    Fixture f;
    Type(f.score, QStringLiteral("20"));
    Type(f.amount, QStringLiteral("0"));
    f.ok->click();
    QCOMPARE(f.prompts.Texts(), QStringList{kAmountMessage});
    f.cancel->click();
    QVERIFY(!f.state.QuickNewResult);
    QCOMPARE(f.state.DefaultScore, 20.0f);
    QCOMPARE(f.dlg.result(), int(QDialog::Rejected));
    QVERIFY(!f.dlg.isVisible());

    // A negative pasted mark is refused and stores nothing.
    Fixture g;
    Paste(g.score, QStringLiteral("-3"));
    g.ok->click();
    QCOMPARE(g.prompts.Texts(), QStringList{kMarkMessage});
    QCOMPARE(g.state.DefaultScore, 10.0f);
}

void TestQuickNew::messageMovesFocusToBoxAtFault() {
    Fixture f;
    QVERIFY(f.Show());
    Type(f.score, QStringLiteral("251"));
    f.amount->setFocus();
    QTest::mouseClick(f.ok, Qt::LeftButton);
    QCOMPARE(f.prompts.Texts(), QStringList{kMarkMessage});
    QCOMPARE(QApplication::focusWidget(), f.score);
    QVERIFY(f.dlg.isVisible());

    Type(f.score, QStringLiteral("25"));
    Type(f.amount, QStringLiteral("101"));
    f.score->setFocus();
    QTest::mouseClick(f.ok, Qt::LeftButton);
    QCOMPARE(f.prompts.Texts(), (QStringList{kMarkMessage, kAmountMessage}));
    QCOMPARE(QApplication::focusWidget(), f.amount);
    QCOMPARE(f.state.DefaultScore, 25.0f);

    Type(f.amount, QStringLiteral("100"));
    QTest::mouseClick(f.ok, Qt::LeftButton);
    QVERIFY(!f.dlg.isVisible());
    QVERIFY(f.state.QuickNewResult);
    QCOMPARE(int(f.state.QuickQuestionCount), 100);
}

void TestQuickNew::focusStartsInMarkAndTabOrder() {
    Fixture f;
    QVERIFY(f.Show());
    QCOMPARE(QApplication::focusWidget(), f.score);
    const QList<QWidget*> order = {f.amount, f.cancel, f.ok, f.score};
    for (QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestQuickNew::enterInEitherBoxPressesOk_data() {
    QTest::addColumn<bool>("inScore");
    QTest::addColumn<int>("key");
    QTest::newRow("mark, Return") << true << int(Qt::Key_Return);
    QTest::newRow("amount, Return") << false << int(Qt::Key_Return);
    QTest::newRow("amount, keypad Enter") << false << int(Qt::Key_Enter);
}

void TestQuickNew::enterInEitherBoxPressesOk() {
    QFETCH(bool, inScore);
    QFETCH(int, key);
    Fixture f;
    QVERIFY(f.Show());
    Type(f.amount, QStringLiteral("30"));
    QLineEdit* box = inScore ? f.score : f.amount;
    box->setFocus();
    QTest::keyClick(box, Qt::Key(key));
    QVERIFY(!f.dlg.isVisible());
    QVERIFY(f.state.QuickNewResult);
    QCOMPARE(int(f.state.QuickQuestionCount), 30);

    // Enter with a refused value shows the message and keeps the dialog.
    Fixture g;
    QVERIFY(g.Show());
    Type(g.amount, QStringLiteral("0"));
    QTest::keyClick(g.amount, Qt::Key_Return);
    QCOMPARE(g.prompts.Texts(), QStringList{kAmountMessage});
    QVERIFY(g.dlg.isVisible());
}

void TestQuickNew::escapeAndCloseBoxLeaveResultFalse() {
    for (bool escape : {true, false}) {
        Fixture f;
        QVERIFY(f.Show());
        if (escape)
            QTest::keyClick(f.score, Qt::Key_Escape);
        else
            f.dlg.close();
        QVERIFY(!f.dlg.isVisible());
        QVERIFY(!f.state.QuickNewResult);
        QCOMPARE(f.dlg.result(), int(QDialog::Rejected));
        QVERIFY(f.prompts.messages.empty());
    }
}

QTEST_MAIN(TestQuickNew)
#include "test_quicknew.moc"
