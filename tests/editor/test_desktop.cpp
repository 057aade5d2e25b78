// The desktop around the specified window: the menu bar, files opened from
// the command line, a drop or the recent papers, the answer mode switched at
// run time, the layout on resize and on large or scaled screens, the
// pictures, HELP's fallback and the dialogs fitted to the screen.
#include <sys/stat.h>
#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QUrl>
#include <fstream>

#include "dialogs/dialogscale.h"
#include "dialogs/dlganswerset.h"
#include "dialogs/formquickpaper.h"
#include "editor/commandicons.h"
#include "workspace/editorsettings.h"
#include "editor/mainmenu.h"
#include "editor/recentpapers.h"
#include "harness.h"

using namespace scrivane;
using scrivane::test::Harness;

namespace {

const QString kAsk = QStringLiteral("The paper has been modified. Save or not?");
const QString kMarkRange = QStringLiteral("The mark should be between 0 and 250.");

QAction* Action(Harness& h, const char* name) {
    auto* action = h.window->findChild<QAction*>(QString::fromLatin1(name));
    if (!action) qFatal("no action %s", name);
    return action;
}

std::function<void(QDialog&)> Press(const char* button) {
    return [=](QDialog& d) { d.findChild<QAbstractButton*>(button)->click(); };
}

// A copy of a test workbook under a name of our choosing.
QString Fixture(const QTemporaryDir& dir, const char* fixture, const char* name) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile::remove(path);
    QFile::copy(QStringLiteral(SCRIVANE_FIXTURES "/") + fixture, path);
    return path;
}

void Drop(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
}

std::int16_t AnswerTypeInFile(Harness& h) {
    std::ifstream in(h.fake.platform.ProgramFolder() / kTypeInfoFileName, std::ios::binary);
    std::array<std::uint8_t, TypeInfoRecord::kSize> bytes{};
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    const auto record = TypeInfoRecord::FromBytes(bytes.data(), std::size_t(in.gcount()));
    return record.CheckValue == TypeInfoRecord::kCheckValue ? record.AnswerType : -1;
}

// Every named control lies inside the window.
void ExpectAllInside(Harness& h, const QString& when) {
    const QRect window = h.window->rect();
    for (QWidget* w : h.window->findChildren<QWidget*>()) {
        if (w->objectName().isEmpty() || w->isWindow() || !w->isVisibleTo(h.window.get())) continue;
        const QRect at(w->mapTo(h.window.get(), QPoint(0, 0)), w->size());
        QVERIFY2(window.contains(at), qPrintable(when + ": " + w->objectName() + " outside"));
    }
}

// The caption and the picture of every command fit its button.
void ExpectCaptionsWhole(Harness& h, const QString& when) {
    for (int i = 0; i < FormPaper::kCommandCount; ++i) {
        auto* b = h.Find<QToolButton>(QStringLiteral("CommandTools_%1").arg(i));
        // Inside the frame: the picture, a gap of 4 and a line of the caption.
        const int frame = b->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, b);
        const QSize need(b->fontMetrics().horizontalAdvance(b->text()) + 2 * frame,
                         b->iconSize().height() + 4 + b->fontMetrics().height() + 2 * frame);
        QVERIFY2(need.width() <= b->width() && need.height() <= b->height(),
                 qPrintable(QStringLiteral("%1: %2 needs %3x%4 in %5x%6")
                                .arg(when, b->text())
                                .arg(need.width())
                                .arg(need.height())
                                .arg(b->width())
                                .arg(b->height())));
        QVERIFY(b->iconSize().height() >= 6);
    }
}

}  // namespace

class DesktopTest : public QObject {
    Q_OBJECT
private slots:
    void menusAndActionsHaveTheirNames() {
        Harness h;
        for (const char* menu : {"menuFile", "menuRecent", "menuEdit", "menuSettings", "menuHelp"})
            QVERIFY2(h.window->findChild<QMenu*>(menu), menu);
        const std::pair<const char*, const char*> shortcuts[] = {{"actionNew", "Ctrl+N"},
                                                                 {"actionOpen", "Ctrl+O"},
                                                                 {"actionSave", "Ctrl+S"},
                                                                 {"actionImport", "Ctrl+I"},
                                                                 {"actionExport", "Ctrl+E"},
                                                                 {"actionExit", "Ctrl+Q"},
                                                                 {"actionAdd", "Ctrl+Shift+A"},
                                                                 {"actionDelete", "Ctrl+Shift+D"},
                                                                 {"actionUp", "Alt+Up"},
                                                                 {"actionDown", "Alt+Down"},
                                                                 {"actionHelp", "F1"},
                                                                 {"actionSetAnswer", ""},
                                                                 {"actionSingleMode", ""},
                                                                 {"actionMultipleMode", ""},
                                                                 {"actionAbout", ""}};
        for (const auto& [name, keys] : shortcuts)
            QCOMPARE(Action(h, name)->shortcut(), QKeySequence(QString::fromLatin1(keys)));
        QVERIFY(Action(h, "actionMultipleMode")->isChecked());
        QVERIFY(!Action(h, "actionSingleMode")->isChecked());
    }

    void eachActionRunsItsCommand() {
        Harness h;
        auto& prompts = h.fake.prompts;
        auto& modal = h.fake.modal;

        for (int i = 0; i < 5; ++i) prompts.files.push_back(std::nullopt);
        Action(h, "actionOpen")->trigger();
        QCOMPARE(prompts.fileRequests.back().title,
                 QString("Please choose a file (test paper) to open"));
        Action(h, "actionImport")->trigger();
        QCOMPARE(prompts.fileRequests.back().title,
                 QString("Please select the file should be imported."));
        Action(h, "actionExport")->trigger();
        QVERIFY(prompts.fileRequests.back().filter.contains("*.xls"));
        Action(h, "actionSave")->trigger();
        QVERIFY(prompts.fileRequests.back().filter.contains("*.tpf"));
        QCOMPARE(prompts.fileRequests.size(), std::size_t(4));

        Action(h, "actionAdd")->trigger();
        QCOMPARE(h.table().RecordCount(), 2);
        QCOMPARE(h.table().AbsolutePosition(), 2);
        Action(h, "actionUp")->trigger();
        QCOMPARE(h.table().AbsolutePosition(), 1);
        Action(h, "actionDown")->trigger();
        QCOMPARE(h.table().AbsolutePosition(), 2);
        Action(h, "actionDelete")->trigger();
        QCOMPARE(h.table().RecordCount(), 1);

        modal.steps.push_back(Press("CancelButton"));
        Action(h, "actionSetAnswer")->trigger();
        QCOMPARE(modal.shown.back(), QString("DlgAnswerSet"));

        h.state.PaperModified = false;
        modal.steps.push_back(Press("CancelButton"));
        Action(h, "actionNew")->trigger();
        QCOMPARE(modal.shown.back(), QString("DialogQuickNew"));

        std::ofstream(h.fake.platform.ProgramFolder() / "quillary.chm") << "help";
        Action(h, "actionHelp")->trigger();
        QCOMPARE(h.fake.platform.opened.size(), std::size_t(1));

        Action(h, "actionAbout")->trigger();
        QCOMPARE(prompts.messages.back().title, QString("About Scrivane"));
        QVERIFY(prompts.messages.back().text.startsWith("Scrivane "));
        QVERIFY(prompts.messages.back().informativeText.contains(qVersion()));

        h.window->show();
        h.state.PaperModified = false;
        Action(h, "actionExit")->trigger();
        QVERIFY(!h.window->isVisible());
    }

    void anActionChecksTheRowFirst() {
        // The edited mark is checked before the command runs, as for a click
        // on its button; a refused mark stops the command.
        Harness h;
        auto* mark = h.Find<QLineEdit>("TextScore");
        mark->setFocus();
        mark->selectAll();
        QTest::keyClicks(mark, "999");
        Action(h, "actionAdd")->trigger();
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kMarkRange});
        QCOMPARE(h.table().RecordCount(), 1);
    }

    // A capability shows a question through the context: the edit of the
    // current one is written first, and a refused mark keeps it current.
    void theContextShowsAQuestionAfterTheRowIsWritten() {
        Harness h;
        for (int i = 0; i < 3; ++i) h.Click(FormPaper::ADD);
        PaperContext& context = h.window->Context();
        QVERIFY(h.table().SetAbsolutePosition(1));
        auto* mark = h.Find<QLineEdit>("TextScore");
        mark->setFocus();
        mark->selectAll();
        QTest::keyClicks(mark, "999");
        context.showQuestion(3);
        QCOMPARE(h.fake.prompts.Texts(), QStringList{kMarkRange});
        QCOMPARE(context.document.Current(), 1);

        mark->selectAll();
        QTest::keyClicks(mark, "7");
        context.showQuestion(3);
        QCOMPARE(context.document.Current(), 3);
        QCOMPARE(context.document.Row(1).Score, 7.f);
        QCOMPARE(h.Text("LabelNo"), QStringLiteral("3"));
    }

    void shortcutsReachTheActions() {
        Harness h;
        h.window->show();
        QApplication::setActiveWindow(h.window.get());
        QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
        QTest::keyClick(h.window.get(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(h.table().RecordCount(), 2);
        h.fake.prompts.files.push_back(std::nullopt);
        QTest::keyClick(h.window.get(), Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(h.fake.prompts.fileRequests.size(), std::size_t(1));
    }

    void filesFromAnywhereOpenAsTheCommandsDo_data() {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("command line") << false;
        QTest::newRow("dropped") << true;
    }
    void filesFromAnywhereOpenAsTheCommandsDo() {
        QFETCH(bool, dropped);
        QTemporaryDir dir;
        auto open = [&](Harness& h, const QString& path) {
            if (dropped)
                Drop(h.Find<QPlainTextEdit>("TextTitle")->viewport(), path);
            else
                h.window->OpenFile(path);
        };
        for (const char* name : {"three.tpf", "THREE.Tpf"}) {  // a test paper opens as OPEN
            Harness h;
            const QString paper = Fixture(dir, "plain-3q.lo.xls", name);
            open(h, paper);
            QCOMPARE(h.table().RecordCount(), 3);
            QCOMPARE(h.state.PaperFileName, paper);
            QCOMPARE(h.window->windowTitle(), "Quennet  " + paper);
            QVERIFY(h.fake.prompts.messages.empty());
        }
        // Any other file is imported in whatever format its content shows,
        // whatever its name says.
        const struct {
            const char* fixture;
            const char* name;
            int count;
        } others[] = {{"bank.gift", "colleague.gift", 3},  {"bank.aiken.txt", "aiken.txt", 2},
                      {"bank.moodle.xml", "quiz", 2},      {"plain-3q.lo.csv", "marks.csv", 3},
                      {"plain-3q.lo.ods", "marks.ods", 3}, {"bank.gift", "looks-like.xls", 3}};
        for (const auto& other : others) {
            Harness h;
            open(h, Fixture(dir, other.fixture, other.name));
            QVERIFY2(h.table().RecordCount() == other.count, other.name);
            QVERIFY(h.state.PaperFileName.isEmpty());
            QCOMPARE(h.fake.prompts.Texts(), QStringList{"Import succeed"});
        }
        {  // any other workbook is imported, with IMPORT's message
            Harness h;
            open(h, Fixture(dir, "plain-3q.lo.xls", "three.xls"));
            QCOMPARE(h.table().RecordCount(), 3);
            QVERIFY(h.state.PaperFileName.isEmpty());
            QCOMPARE(h.fake.prompts.Texts(), QStringList{"Import succeed"});
        }
        {  // a refused file keeps the blank paper
            Harness h;
            const QString bad = dir.filePath("bad.tpf");
            std::ofstream(bad.toStdString()) << "not a workbook";
            open(h, bad);
            QCOMPARE(h.fake.prompts.Texts(), QStringList{"Invalid format"});
            QCOMPARE(h.table().RecordCount(), 1);
            QVERIFY(h.state.PaperFileName.isEmpty());
        }
        {  // unsaved changes are asked about first; Cancel keeps them
            Harness h;
            h.Click(FormPaper::ADD);
            h.state.PaperModified = true;
            h.fake.prompts.answers = {MsgAnswer::Cancel, MsgAnswer::No};
            const QString paper = Fixture(dir, "plain-3q.lo.xls", "three.tpf");
            open(h, paper);
            QCOMPARE(h.fake.prompts.Texts(), QStringList{kAsk});
            QCOMPARE(h.table().RecordCount(), 2);
            open(h, paper);
            QCOMPARE(h.fake.prompts.Texts(), (QStringList{kAsk, kAsk}));
            QCOMPARE(h.table().RecordCount(), 3);
        }
        {  // Yes saves first; the file opens shortly after, as OPEN runs again
            Harness h;
            h.Click(FormPaper::ADD);
            h.state.PaperModified = true;
            h.fake.prompts.answers = {MsgAnswer::Yes};
            const QString saved = dir.filePath("saved.tpf");
            h.fake.prompts.files.push_back(saved);
            open(h, Fixture(dir, "plain-3q.lo.xls", "three.tpf"));
            QVERIFY(QFile::exists(saved));
            QCOMPARE(h.table().RecordCount(), 2);
            QTRY_COMPARE(h.table().RecordCount(), 3);
            QCOMPARE(h.fake.prompts.Texts(), QStringList{kAsk});
            QCOMPARE(h.fake.platform.waitDepth, 0);
        }
    }

    void aDropWithoutAFileIsLeftToTheBox() {
        Harness h;
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        QMimeData data;
        data.setText("typed elsewhere");
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(title->viewport(), &enter);
        QVERIFY(enter.isAccepted());  // the box takes text as before
        QCOMPARE(h.table().RecordCount(), 1);
        QVERIFY(h.fake.prompts.messages.empty());
    }

    void recentPapersKeepEightNewestFirst() {
        QTemporaryDir dir;
        EditorSettings settings(dir.filePath("settings.conf"));
        {
            RecentPapers recent(settings);
            for (int i = 1; i <= 10; ++i)
                recent.Add(dir.filePath(QStringLiteral("p%1.tpf").arg(i)));
            recent.Add(dir.filePath("p5.tpf"));  // opened again: first, and once
        }
        const QStringList list = RecentPapers(settings).List();  // kept in the file
        QStringList expected;
        for (int i : {5, 10, 9, 8, 7, 6, 4, 3})
            expected << dir.filePath(QStringLiteral("p%1.tpf").arg(i));
        QCOMPARE(list, expected);
        EditorSettings none{QString()};
        RecentPapers memory(none);
        memory.Add("/a.tpf");
        QCOMPARE(memory.List(), QStringList{"/a.tpf"});
    }

    // A settings file that is a pipe, or larger than 64 KiB, is never opened
    // or changed: the window appears, one message says so, and the recent
    // papers hold for the run.
    void aRefusedSettingsFileIsLeftAlone_data() {
        QTest::addColumn<QByteArray>("bytes");  // empty: a pipe
        QTest::newRow("pipe") << QByteArray();
        QTest::newRow("over 64 KiB")
            << "[General]\nrecentPapers=" + QByteArray(EditorSettings::kMaxSize, 'x') + '\n';
    }
    void aRefusedSettingsFileIsLeftAlone() {
        QFETCH(QByteArray, bytes);
        QString file;
        Harness h(3, {1024, 768}, [&](test::FakeSeams& fake) {
            file = fake.platform.SettingsFile();
            if (bytes.isEmpty()) {
                QCOMPARE(::mkfifo(file.toLocal8Bit().constData(), 0600), 0);
            } else {
                QFile big(file);
                QVERIFY(big.open(QIODevice::WriteOnly));
                big.write(bytes);
            }
        });
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QVERIFY(h.fake.prompts.messages[0].text.startsWith("The settings file " +
                                                           QDir::toNativeSeparators(file)));
        QTemporaryDir dir;
        const QString paper = dir.filePath("kept.tpf");
        h.fake.prompts.files.push_back(paper);
        Action(h, "actionSave")->trigger();
        QVERIFY(QFile::exists(paper));
        auto* menu = h.Find<QMenu>("menuRecent");
        QCOMPARE(menu->actions().size(), 1);
        QCOMPARE(menu->actions()[0]->data().toString(), paper);
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));  // told once
        if (bytes.isEmpty()) {
            QVERIFY(QFileInfo(file).isFile() == false && QFileInfo::exists(file));
        } else {
            QFile big(file);
            QVERIFY(big.open(QIODevice::ReadOnly));
            QCOMPARE(big.readAll(), bytes);
        }
    }

    void openRecentListsSavedPapersAndDropsVanishedOnes() {
        Harness h;
        QTemporaryDir dir;
        auto* menu = h.Find<QMenu>("menuRecent");
        QVERIFY(!menu->isEnabled());
        const QString first = Fixture(dir, "plain-3q.lo.xls", "first.tpf");
        const QString second = dir.filePath("second.tpf");
        h.window->OpenFile(first);
        h.fake.prompts.files.push_back(second);
        Action(h, "actionSave")->trigger();  // saved under a new name
        QVERIFY(QFile::exists(second));
        QVERIFY(menu->isEnabled());
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions()[0]->data().toString(), second);
        QCOMPARE(menu->actions()[1]->data().toString(), first);

        // Choosing the older one opens it; it moves to the top.
        menu->actions()[1]->trigger();
        QCOMPARE(h.state.PaperFileName, first);
        QCOMPARE(menu->actions()[0]->data().toString(), first);

        // A paper saved under a name of its own choosing opens as a paper,
        // not as an import, whatever its ending.
        const QString odd = dir.filePath("week1.v2");
        h.fake.prompts.files.push_back(odd);
        Action(h, "actionSave")->trigger();
        h.window->OpenFile(first);
        QCOMPARE(menu->actions()[1]->data().toString(), odd);
        menu->actions()[1]->trigger();
        QCOMPARE(h.state.PaperFileName, odd);
        QCOMPARE(h.window->windowTitle(), "Quennet  " + odd);
        QVERIFY(h.fake.prompts.messages.empty());

        // A paper that is gone is told and taken off the list; the paper stays.
        QFile::remove(second);
        menu->actions()[2]->trigger();
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QVERIFY(h.fake.prompts.messages.back().text.contains("second.tpf"));
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(h.state.PaperFileName, odd);
    }

    void answerModeSwitchesAtOnceAndIsWritten() {
        Harness h;  // multiple-answer mode
        h.Click(FormPaper::ADD);
        h.table().SetField(QuestionTable::Answer, QStringLiteral("BF"));
        Action(h, "actionSingleMode")->trigger();
        QCOMPARE(AnswerTypeInFile(h), std::int16_t(0));
        QVERIFY(!h.Find<QLineEdit>("TextItems_5")->isEnabled());
        QVERIFY(!h.Find<QLabel>("LabItem_5")->isEnabled());
        QVERIFY(h.Find<QTableView>("DataGrid1")->isColumnHidden(9));
        QCOMPARE(h.table().Field(QuestionTable::Answer).toString(), QString("BF"));  // kept
        h.fake.modal.steps.push_back(Press("CancelButton"));
        h.Find<QPushButton>("CmdSetAnswer")->click();
        QCOMPARE(h.fake.modal.shown.back(), QString("DlgAnswerSet17"));

        Action(h, "actionMultipleMode")->trigger();
        QCOMPARE(AnswerTypeInFile(h), std::int16_t(3));
        QVERIFY(h.Find<QLineEdit>("TextItems_5")->isEnabled());
        QVERIFY(!h.Find<QTableView>("DataGrid1")->isColumnHidden(9));
        h.fake.modal.steps.push_back(Press("CancelButton"));
        h.Find<QPushButton>("CmdSetAnswer")->click();
        QCOMPARE(h.fake.modal.shown.back(), QString("DlgAnswerSet"));
        QVERIFY(h.fake.prompts.messages.empty());
    }

    void answerModeInAReadOnlyFolderHoldsForTheRun() {
        Harness h{0};
        const auto folder = h.fake.platform.ProgramFolder();
        const auto file = folder / kTypeInfoFileName;
        if (geteuid() == 0) {
            // Permissions do not stop root: a folder in the file's place does.
            std::filesystem::remove(file);
            std::filesystem::create_directory(file);
        } else {
            std::filesystem::permissions(file, std::filesystem::perms::owner_read);
            std::filesystem::permissions(
                folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        }
        Action(h, "actionMultipleMode")->trigger();
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QVERIFY(h.fake.prompts.messages[0].text.contains("could not be saved"));
        QVERIFY(h.Find<QLineEdit>("TextItems_5")->isEnabled());
        QVERIFY(Action(h, "actionMultipleMode")->isChecked());
        QVERIFY(IsMultipleAnswerMode(h.state.AnswerType()));
    }

    // A record the program does not know is never rewritten, and a pipe in
    // its place is never opened: the mode holds for the run either way.
    void answerModeLeavesAForeignRecordAlone_data() {
        QTest::addColumn<QByteArray>("bytes");  // empty: a pipe
        QTest::addColumn<QString>("message");
        const QString foreign = QStringLiteral(
            "TypeInfo.con is not a valid type record; the answer mode holds until the program "
            "ends.");
        QTest::newRow("short") << QByteArray(60, 'x') << foreign;
        QTest::newRow("no check value") << QByteArray(116, '\0') << foreign;
        QTest::newRow("pipe") << QByteArray()
                              << QStringLiteral(
                                     "The answer mode could not be saved; it applies "
                                     "until the program ends.");
    }
    void answerModeLeavesAForeignRecordAlone() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        Harness h{0};
        const auto file = h.fake.platform.ProgramFolder() / kTypeInfoFileName;
        std::filesystem::remove(file);
        if (bytes.isEmpty()) {
            QCOMPARE(::mkfifo(file.c_str(), 0600), 0);
        } else {
            std::ofstream(file, std::ios::binary).write(bytes.constData(), bytes.size());
        }
        Action(h, "actionMultipleMode")->trigger();
        QCOMPARE(h.fake.prompts.Texts(), QStringList{message});
        QVERIFY(IsMultipleAnswerMode(h.state.AnswerType()));
        QVERIFY(h.Find<QLineEdit>("TextItems_5")->isEnabled());
        if (bytes.isEmpty()) {
            QVERIFY(std::filesystem::is_fifo(file));
        } else {
            QFile kept(QString::fromStdString(file.string()));
            QVERIFY(kept.open(QIODevice::ReadOnly));
            QCOMPARE(kept.readAll(), bytes);
        }
    }

    // A resize lays the window out again, never smaller than 90 % of the
    // reference layout: a window snapped to half the screen fits whole, a
    // smaller one keeps that layout and scrolls.
    void resizingLaysOutAgainWithoutCuttingOff() {
        Harness h(3, {1920, 1080});
        const QSize start = h.window->size();
        const QRect grid = h.Find("DataGrid1")->geometry();
        const int menu = h.Find("MenuBar")->height();
        auto* area = h.Find<QScrollArea>("PaperArea");
        const QSize sizes[] = {{960, 1040}, {1200, 800},  {800, 600}, {640, 480},
                               {1200, 250}, {2560, 1400}, start};
        for (const QSize& size : sizes) {
            h.window->resize(size);
            const QString when = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
            // The factors follow the area below the menu bar of start-up.
            const double x = 1.875 * size.width() / start.width();
            const double y = 1.40625 * (size.height() - menu) / (start.height() - menu);
            QVERIFY(qAbs(h.window->ScaleX() - std::max(x, 0.9)) < 1e-4);
            QVERIFY(qAbs(h.window->ScaleY() - std::max(y, 0.9)) < 1e-4);
            QCOMPARE(h.Find<QTableView>("DataGrid1")->font().pointSizeF(),
                     8.25 * double(h.window->FontScale()));
            QVERIFY(h.Find<QTableView>("DataGrid1")->font().pointSizeF() >= 7.4);
            // Lower than the layout, the grid gives up the room, down to a
            // few rows; only then does the area scroll.
            const bool low = size.height() <= 250;
            const bool whole = x >= 0.9 && !low;
            QCOMPARE(area->horizontalScrollBar()->maximum() > 0, x < 0.9);
            QCOMPARE(area->verticalScrollBar()->maximum() > 0, low);
            auto* rows = h.Find<QTableView>("DataGrid1");
            QVERIFY(rows->height() >= 4 * rows->verticalHeader()->defaultSectionSize());
            QVERIFY(rows->height() <= qRound(7695 * double(h.window->ScaleY()) / 15) + 1);
            if (whole) ExpectAllInside(h, when);
            // Every control lies on the scrolled layout, none cut off it.
            QWidget* content = h.Find("PaperContent");
            for (const char* name : {"CommandTools_9", "CommandTools_10", "TextItems_5",
                                     "LabItem_5", "LabNoCount", "LabScoreCount", "DataGrid1"}) {
                QWidget* w = h.Find(name);
                const QRect at(w->mapTo(content, QPoint()), w->size());
                QVERIFY2(content->rect().contains(at), qPrintable(when + " " + name));
                if (whole)
                    QVERIFY2(h.window->rect().contains(
                                 QRect(w->mapTo(h.window.get(), QPoint()), w->size())),
                             qPrintable(when + " " + name));
            }
        }
        // Back at its first size the window looks as it did: nothing compounds.
        QCOMPARE(h.Find("DataGrid1")->geometry(), grid);
        QCOMPARE(h.window->FontScale(), 1.40625f);

        // A start-up layout smaller than 90 % is the smallest a resize gives.
        Harness small(3, {800, 600});
        small.window->resize(640, 480);
        QCOMPARE(small.window->ScaleX(), 0.78125f);
        QCOMPARE(small.window->FontScale(), 0.78125f);
        QVERIFY(small.Find<QScrollArea>("PaperArea")->horizontalScrollBar()->maximum() > 0);
    }

    // A recovery copy that cannot be written is told at the bottom of the
    // window, never in a box, and goes once the paper is protected again.
    void recoveryFailureIsToldUntilACopyIsWritten() {
        QTemporaryDir data;
        const QString folder = data.filePath("recovery");
        std::ofstream(folder.toStdString()) << "a file where the folder should be";
        Harness h(3, {1024, 768}, [&](test::FakeSeams& f) { f.platform.dataFolder = data.path(); });
        auto* status = h.Find<QStatusBar>("StatusBar");
        const QString told = QString::fromLatin1(FormPaper::kRecoveryFailedText);
        QVERIFY(status->currentMessage().isEmpty());
        h.Click(FormPaper::ADD);
        QTRY_COMPARE_WITH_TIMEOUT(status->currentMessage(), told, 3000);
        // Saved, the paper needs no copy.
        h.fake.prompts.files.push_back(data.filePath("saved.tpf"));
        h.Click(FormPaper::SAVE);
        QVERIFY(status->currentMessage().isEmpty());
        // A later failure is told again; a copy written clears it.
        h.Click(FormPaper::ADD);
        QTRY_COMPARE_WITH_TIMEOUT(status->currentMessage(), told, 3000);
        QFile::remove(folder);
        QVERIFY(QDir().mkpath(folder));
        h.Click(FormPaper::ADD);
        QTRY_VERIFY_WITH_TIMEOUT(status->currentMessage().isEmpty(), 3000);
        QVERIFY(h.fake.prompts.messages.empty());
    }

    void captionsAndIconsStayWholeOnScaledScreens_data() {
        QTest::addColumn<QSize>("screen");
        // QT_SCALE_FACTOR=2 on 1920 x 1080 gives a screen of 960 x 540.
        QTest::newRow("scale factor 2") << QSize(960, 540);
        QTest::newRow("reference") << QSize(1024, 768);
        QTest::newRow("4K") << QSize(3840, 2160);
    }
    void captionsAndIconsStayWholeOnScaledScreens() {
        QFETCH(QSize, screen);
        Harness h(3, screen);
        ExpectCaptionsWhole(h, QStringLiteral("start-up"));
        auto* button = h.Find<QToolButton>("CommandTools_0");
        QCOMPARE(button->font().pointSizeF(), 8.25 * double(h.window->FontScale()));
        if (screen.width() > 3000) QVERIFY(button->iconSize().height() >= 40);
        // Snapped to half the screen's width.
        h.window->resize(h.window->width() / 2, h.window->height());
        ExpectCaptionsWhole(h, QStringLiteral("half width"));
    }

    void elevenDistinctPictures() {
        QList<QImage> pictures;
        for (int i = 0; i < FormPaper::kCommandCount; ++i) {
            const QIcon icon = CommandIcon(i);
            QVERIFY2(!icon.isNull(), qPrintable(QString::number(i)));
            const QImage image = icon.pixmap(32, 32).toImage();
            QVERIFY2(!image.isNull(), qPrintable(QString::number(i)));
            for (int j = 0; j < pictures.size(); ++j)
                QVERIFY2(image != pictures[j], qPrintable(QStringLiteral("%1 = %2").arg(i).arg(j)));
            pictures << image;
        }
    }

    void helpFallsBackToItsPages_data() {
        QTest::addColumn<bool>("chm");
        QTest::addColumn<bool>("pages");
        QTest::addColumn<bool>("viewer");
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<bool>("told");
        QTest::newRow("viewer") << true << true << true << QStringList{"quillary.chm"} << false;
        QTest::newRow("no viewer")
            << true << true << false << QStringList{"quillary.chm", "help/index.html"} << true;
        QTest::newRow("pages only")
            << false << true << true << QStringList{"help/index.html"} << false;
        QTest::newRow("pages, no viewer")
            << false << true << false << QStringList{"help/index.html"} << true;
        QTest::newRow("no help file") << false << false << false << QStringList{} << false;
    }
    void helpFallsBackToItsPages() {
        QFETCH(bool, chm);
        QFETCH(bool, pages);
        QFETCH(bool, viewer);
        QFETCH(QStringList, opened);
        QFETCH(bool, told);
        Harness h;
        const auto folder = h.fake.platform.ProgramFolder();
        if (chm) std::ofstream(folder / "quillary.chm") << "help";
        if (pages) {
            std::filesystem::create_directory(folder / "help");
            std::ofstream(folder / "help" / "index.html") << "<html></html>";
        }
        h.fake.platform.openResult = viewer;
        h.Click(FormPaper::HELP);
        QStringList actual;
        for (const auto& p : h.fake.platform.opened)
            actual << QString::fromStdString(p.lexically_relative(folder).generic_string());
        QCOMPARE(actual, opened);
        // Help that nothing opens is told, with the folder it is in.
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(told ? 1 : 0));
        if (told)
            QVERIFY(h.fake.prompts.messages[0].text.contains(
                QString::fromStdString((folder / "help").string())));
    }

    void dialogsScaleWithTheWindowAndFitTheScreen() {
        Harness h(3, {3840, 2160});
        const double scale = OwnerLayoutScale(*h.Find("CmdSetAnswer"));
        QCOMPARE(scale, 2.8125);
        {
            DlgAnswerSet dialog(h.state, *h.Find<QLineEdit>("LabelAnswer"), h.window.get());
            const QSize design = dialog.size();
            const int ok = dialog.findChild<QWidget*>("OKButton")->width();
            const double points = dialog.findChild<QWidget*>("OKButton")->font().pointSizeF();
            FitDialog(dialog, OwnerLayoutScale(dialog), QRect(0, 0, 3840, 2100));
            QVERIFY(qAbs(dialog.width() - design.width() * scale) <= 1);
            QVERIFY(qAbs(dialog.findChild<QWidget*>("OKButton")->width() - ok * scale) <= 1);
            QVERIFY(qAbs(dialog.findChild<QWidget*>("OKButton")->font().pointSizeF() -
                         points * scale) < 0.01);
            QVERIFY(!dialog.findChild<QScrollArea*>());
        }
        {
            // The tall answer sheet scrolls inside the available height, with
            // every row still there to reach.
            h.state.QuickQuestionCount = 30;
            FormQuickPaper sheet(h.state, h.window.get());
            const QSize design = sheet.size();
            const QRect available(0, 0, 1920, 1000);
            FitDialog(sheet, 2.0, available);
            QVERIFY(sheet.height() <= available.height());
            auto* area = sheet.findChild<QScrollArea*>("ScrollArea");
            QVERIFY(area);
            QCOMPARE(area->widget()->size(), design * 2);
            QVERIFY(area->widget()->findChild<QWidget*>("FrameItem_19"));
            QVERIFY(area->widget()->findChild<QWidget*>("CommandOK"));
        }
        {
            // At the reference screen nothing changes.
            FormQuickPaper sheet(h.state, h.window.get());
            const QSize design = sheet.size();
            FitDialog(sheet, 1.0, QRect(0, 0, 1024, 768));
            QCOMPARE(sheet.size(), design);
            QVERIFY(!sheet.findChild<QScrollArea*>());
        }
    }
};

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
