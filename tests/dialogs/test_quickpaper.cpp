// The quick answer sheets of both modes: paging, the rows rebuilt from
// QuickAnswers, the colours and OK, through the real buttons.
#include <QAbstractButton>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "core/moddule1.h"
#include "dialogs/formquickpaper.h"
#include "dialogs/formquickpaper17.h"
#include "widgetlook.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

QAbstractButton* Option(const QWidget& form, int i) {
    return Control<QAbstractButton>(form, QStringLiteral("OptionAnswer_%1").arg(i));
}
QLabel* Number(const QWidget& form, int k) {
    return Control<QLabel>(form, QStringLiteral("LabelNo_%1").arg(k));
}
QFrame* Row(const QWidget& form, int k) {
    return Control<QFrame>(form, QStringLiteral("FrameItem_%1").arg(k));
}
QPushButton* Button(const QWidget& form, const char* name) {
    return Control<QPushButton>(form, QString::fromLatin1(name));
}
QString PageLabel(const QWidget& form) {
    return Control<QLabel>(form, QStringLiteral("LabelPage"))->text();
}

Moddule1 StateWith(int count, float mark = 10) {
    Moddule1 state;
    state.QuickQuestionCount = std::int16_t(count);
    state.DefaultScore = mark;
    state.QuickNewResult = true;  // the sheet must clear it
    return state;
}

// What both sheets share: the pages, their labels, buttons and rows.
template <typename Form>
void CheckPaging(int count, int pages, int last) {
    Moddule1 state = StateWith(count);
    Form form(state);
    QCOMPARE(int(form.PageCount()), pages);
    QCOMPARE(int(form.LastPageCount()), last);
    for (int page = 1; page <= pages; ++page) {
        if (page > 1) QTest::mouseClick(Button(form, "CommandDown"), Qt::LeftButton);
        QCOMPARE(int(form.CurrentPage()), page);
        QCOMPARE(PageLabel(form), QStringLiteral("%1/%2").arg(page).arg(pages));
        QCOMPARE(Button(form, "CommandUP")->isEnabled(), page > 1);
        QCOMPARE(Button(form, "CommandDown")->isEnabled(), page < pages);
        const int rows = page == pages ? last : 20;
        for (int k = 0; k < 20; ++k) {
            QCOMPARE(!Row(form, k)->isHidden(), k < rows);
            if (k < rows)
                QCOMPARE(Number(form, k)->text(), QString::number((page - 1) * 20 + k + 1));
        }
    }
    // Paging past either end stays on the end page.
    Form again(state);
    QVERIFY(!Button(again, "CommandUP")->isEnabled());
    Button(again, "CommandUP")->click();  // disabled: nothing happens
    QCOMPARE(int(again.CurrentPage()), 1);
    for (int i = 0; i < pages + 2; ++i) Button(again, "CommandDown")->click();
    QCOMPARE(int(again.CurrentPage()), pages);
    for (int i = 0; i < pages + 2; ++i) Button(again, "CommandUP")->click();
    QCOMPARE(int(again.CurrentPage()), 1);
}

template <typename Form>
void CheckResetAndResult() {
    Moddule1 state = StateWith(45, 7.5f);
    for (int i = 1; i <= 100; ++i) {
        QuestionRecord& r = state.QuickAnswers(i);
        r.QuestionNo = 999;
        r.Score = -1;
        r.Answer = 16;
        r.Title = QStringLiteral("old");
        r.Items[5] = QStringLiteral("old F");
    }
    {
        Form form(state);
        QVERIFY(!state.QuickNewResult);
        for (int i = 1; i <= 100; ++i) {
            const QuestionRecord& r = state.QuickAnswers(i);
            QCOMPARE(int(r.QuestionNo), i);
            QCOMPARE(r.Score, 7.5f);
            QCOMPARE(int(r.Answer), 0);
            QVERIFY(r.Title.isEmpty());
            for (const QString& item : r.Items) QVERIFY(item.isEmpty());
        }
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::keyClick(&form, Qt::Key_Escape);  // would lose the picks: ignored
        QVERIFY(form.isVisible());
        // Enter on a choice does not end the sheet either: only OK does.
        for (const char* name : {"CommandUP", "CommandDown", "CommandOK"})
            QVERIFY(!Button(form, name)->isDefault() && !Button(form, name)->autoDefault());
        Option(form, 7)->setFocus();
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
            QTest::keyClick(Option(form, 7), key);
        QVERIFY(form.isVisible());
        QVERIFY(!state.QuickNewResult);
        QCOMPARE(Number(form, 0)->y(), qRound(195 * form.logicalDpiY() / 1440.0));
        form.close();  // the close box
        QVERIFY(!state.QuickNewResult);
        QCOMPARE(form.result(), int(QDialog::Rejected));
    }
    Form form(state);
    QCOMPARE(form.windowTitle(), QStringLiteral("Set Answer"));
    QCOMPARE(Button(form, "CommandUP")->text(), QStringLiteral("Prev Page"));
    QCOMPARE(Button(form, "CommandDown")->text(), QStringLiteral("Next Page"));
    QCOMPARE(Button(form, "CommandOK")->text(), QStringLiteral("OK"));
    QCOMPARE(Control<QLabel>(form, "Label1")->text(), QStringLiteral("Page No."));
    QCOMPARE(Control<QLabel>(form, "Label2")->text(), QStringLiteral("Question No."));
    QCOMPARE(Control<QLabel>(form, "Label4")->text(), QStringLiteral("Answer"));
    QCOMPARE(Back(Control<QLabel>(form, "LabelPage")), QColor(Qt::white));
    QVERIFY(form.template findChild<QFrame*>(QStringLiteral("Frame1")));
    // A sizable window.
    QVERIFY(form.maximumWidth() > form.width());
    QTest::mouseClick(Button(form, "CommandOK"), Qt::LeftButton);
    QVERIFY(state.QuickNewResult);
    QCOMPARE(form.result(), int(QDialog::Accepted));
}

void PagingTable() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("last");
    QTest::newRow("1") << 1 << 1 << 1;
    QTest::newRow("20") << 20 << 1 << 20;
    QTest::newRow("21") << 21 << 2 << 1;
    QTest::newRow("40") << 40 << 2 << 20;
    QTest::newRow("45") << 45 << 3 << 5;
    QTest::newRow("100") << 100 << 5 << 20;
    // Counts the amount dialog never gives are held to 1 to 100.
    QTest::newRow("0") << 0 << 1 << 1;
    QTest::newRow("150") << 150 << 5 << 20;
    QTest::newRow("-5") << -5 << 1 << 1;
}

}  // namespace

class TestQuickPaper : public QObject {
    Q_OBJECT
private slots:
    void singlePaging_data() { PagingTable(); }
    void singlePaging() {
        QFETCH(int, count);
        QFETCH(int, pages);
        QFETCH(int, last);
        CheckPaging<FormQuickPaper17>(count, pages, last);
    }
    void multiplePaging_data() { PagingTable(); }
    void multiplePaging() {
        QFETCH(int, count);
        QFETCH(int, pages);
        QFETCH(int, last);
        CheckPaging<FormQuickPaper>(count, pages, last);
    }
    void singleResetAndResult() { CheckResetAndResult<FormQuickPaper17>(); }
    void multipleResetAndResult() { CheckResetAndResult<FormQuickPaper>(); }

    void singleOpensOnUncertain();
    void singlePickAndUncertain();
    void singlePickKeptAcrossPages();
    void singleOkOnFirstPageLeavesOthersUncertain();
    void singleShowPageShowsStoredMasks();
    void multipleOpensUnchecked();
    void multipleCheckingColoursAndMask();
    void multiplePicksKeptAcrossPages();
    void multipleReusedRowFollowsNewQuestion();
};

void TestQuickPaper::singleOpensOnUncertain() {
    Moddule1 state = StateWith(45);
    FormQuickPaper17 form(state);
    QCOMPARE(Control<QLabel>(form, "Label4")->text(), QStringLiteral("Answer"));
    for (int k = 0; k < 20; ++k) {
        QCOMPARE(Option(form, 6 * k + 5)->text(), QStringLiteral("Uncertain"));
        for (int j = 0; j < 6; ++j) {
            QCOMPARE(Option(form, 6 * k + j)->isChecked(), j == 5);
            QCOMPARE(Back(Option(form, 6 * k + j)), j == 5 ? kRed : Face());
        }
    }
}

void TestQuickPaper::singlePickAndUncertain() {
    Moddule1 state = StateWith(45);
    FormQuickPaper17 form(state);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(Button(form, "CommandDown"), Qt::LeftButton);
    QCOMPARE(Number(form, 1)->text(), QStringLiteral("22"));
    QAbstractButton* c = Option(form, 6 * 1 + 2);
    QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(6, c->height() / 2));
    QCOMPARE(int(state.QuickAnswers(22).Answer), 4);
    for (int j = 0; j < 6; ++j) {
        QCOMPARE(Option(form, 6 + j)->isChecked(), j == 2);
        QCOMPARE(Back(Option(form, 6 + j)), j == 2 ? kGreen : Face());
    }
    // Other rows are untouched.
    QCOMPARE(Back(Option(form, 5)), kRed);
    QCOMPARE(int(state.QuickAnswers(21).Answer), 0);

    Option(form, 6 + 5)->click();
    QCOMPARE(int(state.QuickAnswers(22).Answer), 0);
    QCOMPARE(Back(Option(form, 6 + 5)), kRed);
    QCOMPARE(Back(Option(form, 6 + 2)), Face());
    QVERIFY(!Option(form, 6 + 2)->isChecked());

    Option(form, 6 + 4)->click();
    QCOMPARE(int(state.QuickAnswers(22).Answer), 16);
}

void TestQuickPaper::singlePickKeptAcrossPages() {
    Moddule1 state = StateWith(45);
    FormQuickPaper17 form(state);
    Button(form, "CommandDown")->click();
    Option(form, 6 + 2)->click();      // C for 22
    Option(form, 6 * 4 + 0)->click();  // A for 25
    Button(form, "CommandDown")->click();
    QCOMPARE(PageLabel(form), QStringLiteral("3/3"));
    // Row 1 now shows question 42, which has no answer yet.
    QVERIFY(Option(form, 6 + 5)->isChecked());
    QCOMPARE(Back(Option(form, 6 + 5)), kRed);
    QCOMPARE(Back(Option(form, 6 + 2)), Face());
    Option(form, 6 + 3)->click();  // D for 42
    Button(form, "CommandUP")->click();
    QCOMPARE(PageLabel(form), QStringLiteral("2/3"));
    QVERIFY(Option(form, 6 + 2)->isChecked());
    QCOMPARE(Back(Option(form, 6 + 2)), kGreen);
    QCOMPARE(Back(Option(form, 6 + 5)), Face());
    QVERIFY(Option(form, 6 * 4)->isChecked());
    QCOMPARE(int(state.QuickAnswers(22).Answer), 4);
    QCOMPARE(int(state.QuickAnswers(25).Answer), 1);
    QCOMPARE(int(state.QuickAnswers(42).Answer), 8);
    QCOMPARE(int(state.QuickAnswers(2).Answer), 0);
}

void TestQuickPaper::singleOkOnFirstPageLeavesOthersUncertain() {
    Moddule1 state = StateWith(45);
    FormQuickPaper17 form(state);
    Option(form, 0 + 1)->click();       // B for 1
    Option(form, 6 * 19 + 4)->click();  // E for 20
    Button(form, "CommandOK")->click();
    QVERIFY(state.QuickNewResult);
    QCOMPARE(int(state.QuickAnswers(1).Answer), 2);
    QCOMPARE(int(state.QuickAnswers(20).Answer), 16);
    for (int q = 21; q <= 45; ++q) QCOMPARE(int(state.QuickAnswers(q).Answer), 0);
}

void TestQuickPaper::singleShowPageShowsStoredMasks() {
    // Masks that name no single letter show as a red "Uncertain".
    Moddule1 state = StateWith(20);
    FormQuickPaper17 form(state);
    const int masks[] = {1, 2, 4, 8, 16, 32, 3, 0};
    const int columns[] = {0, 1, 2, 3, 4, 5, 5, 5};
    for (int k = 0; k < 8; ++k) state.QuickAnswers(k + 1).Answer = AnswerMask(masks[k]);
    form.ShowPage();
    for (int k = 0; k < 8; ++k) {
        for (int j = 0; j < 6; ++j) {
            QCOMPARE(Option(form, 6 * k + j)->isChecked(), j == columns[k]);
            const QColor want = j != columns[k] ? Face() : j == 5 ? kRed : kGreen;
            QCOMPARE(Back(Option(form, 6 * k + j)), want);
        }
    }
    form.ClearRowColors(0);
    for (int j = 0; j < 6; ++j) QCOMPARE(Back(Option(form, j)), Face());
}

void TestQuickPaper::multipleOpensUnchecked() {
    Moddule1 state = StateWith(45);
    FormQuickPaper form(state);
    QCOMPARE(Control<QLabel>(form, "Label4")->text(), QStringLiteral("Answer"));
    const QString letters = QStringLiteral("ABCDEF");
    for (int k = 0; k < 20; ++k) {
        QCOMPARE(Fore(Number(form, k)), kRed);
        QVERIFY(Number(form, k)->font().bold());
        for (int j = 0; j < 6; ++j) {
            QCOMPARE(Option(form, 6 * k + j)->text(), QString(letters[j]));
            QVERIFY(!Option(form, 6 * k + j)->isChecked());
            QCOMPARE(Back(Option(form, 6 * k + j)), Face());
        }
    }
}

void TestQuickPaper::multipleCheckingColoursAndMask() {
    Moddule1 state = StateWith(45);
    FormQuickPaper form(state);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QAbstractButton* a = Option(form, 6 * 2 + 0);
    QTest::mouseClick(a, Qt::LeftButton, {}, QPoint(6, a->height() / 2));
    QCOMPARE(int(state.QuickAnswers(3).Answer), 1);
    QCOMPARE(Back(a), kGreen);
    QCOMPARE(Fore(Number(form, 2)), kBlack);
    QCOMPARE(Fore(Number(form, 1)), kRed);

    Option(form, 6 * 2 + 2)->click();
    QCOMPARE(int(state.QuickAnswers(3).Answer), 5);
    QCOMPARE(Back(Option(form, 6 * 2 + 2)), kGreen);
    QCOMPARE(Fore(Number(form, 2)), kRed);

    Option(form, 6 * 2 + 5)->click();
    QCOMPARE(int(state.QuickAnswers(3).Answer), 37);
    a->click();
    Option(form, 6 * 2 + 2)->click();
    QCOMPARE(int(state.QuickAnswers(3).Answer), 32);
    QCOMPARE(Fore(Number(form, 2)), kBlack);
    Option(form, 6 * 2 + 5)->click();
    QCOMPARE(int(state.QuickAnswers(3).Answer), 0);
    QCOMPARE(Fore(Number(form, 2)), kRed);
    for (int j = 0; j < 6; ++j) QCOMPARE(Back(Option(form, 6 * 2 + j)), Face());

    // The space bar checks the focused box like a click.
    Option(form, 6 * 3 + 1)->setFocus();
    QTest::keyClick(Option(form, 6 * 3 + 1), Qt::Key_Space);
    QCOMPARE(int(state.QuickAnswers(4).Answer), 2);
}

void TestQuickPaper::multiplePicksKeptAcrossPages() {
    Moddule1 state = StateWith(45);
    FormQuickPaper form(state);
    Button(form, "CommandDown")->click();
    Option(form, 6 * 4 + 1)->click();  // B for 25
    Option(form, 6 * 4 + 3)->click();  // D for 25
    Option(form, 6 * 5 + 4)->click();  // E for 26
    QCOMPARE(int(state.QuickAnswers(25).Answer), 10);
    Button(form, "CommandUP")->click();
    QCOMPARE(PageLabel(form), QStringLiteral("1/3"));
    QCOMPARE(int(state.QuickAnswers(5).Answer), 0);
    QVERIFY(!Option(form, 6 * 4 + 1)->isChecked());
    Button(form, "CommandDown")->click();
    for (int j = 0; j < 6; ++j) {
        const bool on = j == 1 || j == 3;
        QCOMPARE(Option(form, 6 * 4 + j)->isChecked(), on);
        QCOMPARE(Back(Option(form, 6 * 4 + j)), on ? kGreen : Face());
    }
    QCOMPARE(Number(form, 4)->text(), QStringLiteral("25"));
    QCOMPARE(Fore(Number(form, 4)), kRed);
    QCOMPARE(Fore(Number(form, 5)), kBlack);
    QCOMPARE(int(state.QuickAnswers(25).Answer), 10);
    QCOMPARE(int(state.QuickAnswers(26).Answer), 16);
    Button(form, "CommandOK")->click();
    QVERIFY(state.QuickNewResult);
    QCOMPARE(int(state.QuickAnswers(25).Answer), 10);
}

void TestQuickPaper::multipleReusedRowFollowsNewQuestion() {
    Moddule1 state = StateWith(30);
    FormQuickPaper form(state);
    Option(form, 6 * 2 + 0)->click();   // A for 3
    Option(form, 6 * 2 + 4)->click();   // E for 3
    Option(form, 6 * 12 + 1)->click();  // B for 13, a row that page 2 hides
    Button(form, "CommandDown")->click();
    QCOMPARE(PageLabel(form), QStringLiteral("2/2"));
    // Row 2 now shows 23, which has nothing checked.
    QCOMPARE(Number(form, 2)->text(), QStringLiteral("23"));
    for (int j = 0; j < 6; ++j) {
        QVERIFY(!Option(form, 6 * 2 + j)->isChecked());
        QCOMPARE(Back(Option(form, 6 * 2 + j)), Face());
    }
    QCOMPARE(Fore(Number(form, 2)), kRed);
    QVERIFY(Row(form, 12)->isHidden());
    QCOMPARE(int(state.QuickAnswers(3).Answer), 17);
    QCOMPARE(int(state.QuickAnswers(23).Answer), 0);
    QCOMPARE(int(state.QuickAnswers(13).Answer), 2);
    QCOMPARE(int(state.QuickAnswers(33).Answer), 0);
    Option(form, 6 * 2 + 2)->click();  // C for 23
    Button(form, "CommandUP")->click();
    QVERIFY(Option(form, 6 * 2 + 0)->isChecked());
    QVERIFY(!Option(form, 6 * 2 + 2)->isChecked());
    QCOMPARE(Back(Option(form, 6 * 2 + 2)), Face());
    QCOMPARE(int(state.QuickAnswers(3).Answer), 17);
    QCOMPARE(int(state.QuickAnswers(23).Answer), 4);
    QCOMPARE(int(state.QuickAnswers(13).Answer), 2);
}

QTEST_MAIN(TestQuickPaper)
#include "test_quickpaper.moc"
