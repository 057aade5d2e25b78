// Undo, redo and recovery through the real window: keys, commands, the menu's
// actions, the scripted dialogs; a child editor killed with SIGKILL.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QTableView>

#include "childeditor.h"
#include "core/numbers.h"
#include "harness.h"
#include "history/paperhistory.h"
#include "papermodel.h"
#include "recovery/recoverystore.h"

using namespace scrivane;
using namespace scrivane::test;

namespace {

QAction* Action(Harness& h, const char* name) {
    return h.window->findChild<QAction*>(QString::fromLatin1(name));
}

// Ctrl+Z or Ctrl+Y with the focus in the grid, where no box keeps the key.
void HistoryKey(Harness& h, bool undo) {
    QApplication::setActiveWindow(h.window.get());
    auto* grid = h.Find<QTableView>("DataGrid1");
    grid->setFocus();
    QTest::keyClick(grid, undo ? Qt::Key_Z : Qt::Key_Y, Qt::ControlModifier);
}

// Replaces the title of the current question by typing, leaving it unwritten.
void TypeTitle(Harness& h, const QString& text) {
    auto* title = h.Find<QPlainTextEdit>("TextTitle");
    title->setFocus();
    title->selectAll();
    QTest::keyClicks(title, text);
}

void CompareWindow(Harness& h, const Model& model) {
    CompareWithModel(h.window->Document(), h.state, h.window->History(), model);
    QCOMPARE(h.Text("LabNoCount"), QString::number(model.rows.size()));
    float total = 0;
    for (const auto& q : model.rows) total += q.Score;
    QCOMPARE(h.Text("LabScoreCount"), FormatSingle(total));
    QCOMPARE(h.window->windowTitle(), QStringLiteral("Quennet  ") + model.fileName);
}

// The paper a child editor makes before it is killed: saved, then changed.
const QString kRecoverTitle = QStringLiteral("typed before the crash");

const QString kTypedTitle = QStringLiteral("typed, never written");
const QString kTypedOption = QStringLiteral("option typed");

// What the child does before it is killed, by the file "mode" in its data
// folder: "typing" types into the panel of the start-up paper and writes
// nothing; "recover" takes the paper left in the folder and is killed at
// once; otherwise it saves a paper and changes it.
int RunChild(const QString& dataFolder) {
    QFile modeFile(QDir(dataFolder).filePath(QStringLiteral("mode")));
    const QByteArray mode = modeFile.open(QIODevice::ReadOnly) ? modeFile.readAll() : QByteArray();
    Harness h(3, {1024, 768}, [&](FakeSeams& fake) {
        fake.platform.dataFolder = dataFolder;
        if (mode == "recover") fake.prompts.answers = {MsgAnswer::Yes};
    });
    if (mode == "recover") return ReadyUntilKilled();
    if (mode == "typing") {
        TypeTitle(h, kTypedTitle);
        auto* option = h.Find<QLineEdit>("TextItems_0");
        option->setFocus();
        QTest::keyClicks(option, kTypedOption);
    } else {
        h.fake.prompts.files = {QDir(dataFolder).filePath(QStringLiteral("saved.tpf"))};
        h.Click(FormPaper::SAVE);
        TypeTitle(h, kRecoverTitle);
        h.Click(FormPaper::ADD);
    }
    // Ready once the recovery file is written, at most two seconds on.
    for (int i = 0; i < 300 && QDir(dataFolder + QStringLiteral("/recovery"))
                                   .entryList({QStringLiteral("*.json")}, QDir::Files)
                                   .isEmpty();
         ++i)
        QTest::qWait(10);
    // Typing the first write did not hold is written within the delay.
    if (mode == "typing") QTest::qWait(RecoveryStore::kWriteDelayMs + 200);
    return ReadyUntilKilled();
}

void SetChildMode(const QTemporaryDir& data, const QByteArray& mode) {
    QFile file(data.filePath(QStringLiteral("mode")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(mode);
}

}  // namespace

class UndoTest : public QObject {
    Q_OBJECT
private slots:
    // Ctrl+N, Enter (No), Escape (the blank paper): one Ctrl+Z brings the
    // paper back whole.
    void theThreeKeyLossIsOneUndo() {
        Harness h;
        TypeTitle(h, QStringLiteral("worth keeping"));
        h.Click(FormPaper::ADD);
        h.fake.prompts.files = {QDir(h.fake.platform.data.path()).filePath("kept.tpf")};
        h.Click(FormPaper::SAVE);
        TypeTitle(h, QStringLiteral("second"));
        h.Click(FormPaper::UP);
        const PaperSnapshot before = h.window->Document().Snapshot();
        QVERIFY(before.modified);

        h.fake.modal.steps.push_back([](QDialog& d) { QTest::keyClick(&d, Qt::Key_Return); });
        h.fake.modal.steps.push_back([](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
        QApplication::setActiveWindow(h.window.get());
        QTest::keyClick(h.window.get(), Qt::Key_N, Qt::ControlModifier);
        QCOMPARE(h.table().RecordCount(), 1);
        QCOMPARE(Action(h, "actionUndo")->text(), QStringLiteral("Undo New paper"));

        HistoryKey(h, true);
        QVERIFY(h.window->Document().Snapshot() == before);
        QCOMPARE(h.Text("LabNoCount"), QStringLiteral("2"));
        QCOMPARE(h.window->windowTitle(), "Quennet  " + before.fileName);
        QCOMPARE(h.Find<QPlainTextEdit>("TextTitle")->toPlainText(), QStringLiteral("second"));
    }

    // Undoing to the state saved clears the flag; closing then asks nothing.
    void undoToTheSavedStateClearsModified() {
        Harness h;
        TypeTitle(h, QStringLiteral("saved title"));
        h.fake.prompts.files = {QDir(h.fake.platform.data.path()).filePath("a.tpf")};
        h.Click(FormPaper::SAVE);
        QVERIFY(!h.state.PaperModified);
        TypeTitle(h, QStringLiteral("changed"));
        HistoryKey(h, true);  // writes the change, then undoes it
        QVERIFY(!h.state.PaperModified);
        QCOMPARE(h.table().Field(QuestionTable::Title).toString(), QStringLiteral("saved title"));
        HistoryKey(h, false);
        QVERIFY(h.state.PaperModified);
        QCOMPARE(Action(h, "actionUndo")->text(), QStringLiteral("Undo Title of question 1"));
        HistoryKey(h, true);
        QVERIFY(h.window->close());
        QVERIFY(h.fake.prompts.messages.empty());
    }

    // A box holding an unwritten edit keeps Ctrl+Z for its typing; without
    // one the key undoes the last step.
    void ctrlZInATextBox() {
        Harness h;
        h.Click(FormPaper::ADD);
        auto* option = h.Find<QLineEdit>("TextItems_1");
        QApplication::setActiveWindow(h.window.get());
        option->setFocus();
        QTest::keyClicks(option, QStringLiteral("abc"));
        QTest::keyClick(option, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(option->text() != QStringLiteral("abc"));
        QCOMPARE(h.table().RecordCount(), 2);  // the ADD stands

        h.Click(FormPaper::DOWN);  // writes the option; nothing to move
        option->setFocus();
        QTest::keyClick(option, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(h.table().Field(QuestionTable::ItemB).toString(), QString());
        QTest::keyClick(option, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(h.table().RecordCount(), 1);
    }

    // Saved as a paper, rebalanced, saved under a new name, the rebalance
    // undone and a question deleted: SAVE offers the new name and the first
    // file stays as it was.
    void undoLeavesTheFileSaveWritesTo() {
        Harness h;
        QTemporaryDir dir;
        const QString first = dir.filePath(QStringLiteral("endofterm.tpf"));
        const QString second = dir.filePath(QStringLiteral("rb_test.tpf"));
        auto bytes = [](const QString& path) {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        h.Click(FormPaper::ADD);
        h.Click(FormPaper::ADD);
        h.fake.prompts.files = {first};
        h.Click(FormPaper::SAVE);
        const QByteArray saved = bytes(first);
        QVERIFY(!saved.isEmpty());
        auto rows = h.window->Document().Rows();
        rows[0].Answer = 2;
        h.window->History().ReplaceRows(QStringLiteral("Rebalance answers"), rows);
        h.fake.prompts.files = {second};
        h.Click(FormPaper::SAVE);
        HistoryKey(h, true);
        QCOMPARE(h.window->Document().Row(1).Answer, AnswerMask(0));
        h.Click(FormPaper::DEL);
        QCOMPARE(h.state.PaperFileName, second);
        QCOMPARE(h.window->windowTitle(), QStringLiteral("Quennet  ") + second);
        h.fake.prompts.files = {second};
        h.Click(FormPaper::SAVE);
        QCOMPARE(h.fake.prompts.fileRequests.back().fileName, QStringLiteral("rb_test.tpf"));
        QVERIFY(h.fake.prompts.messages.empty());  // its own file: nothing asked
        QCOMPARE(bytes(first), saved);
        QVERIFY(bytes(second) != saved);
    }

    void randomSequenceFollowsThePlainModel() {
        Harness h;
        Model model;
        model.current = 1;
        QRandomGenerator random(12);
        auto pick = [&](int n) { return int(random.bounded(n)); };
        bool pending = false;
        QString typed;
        // A typed title is written by whatever runs next.
        auto commit = [&] {
            if (!pending) return;
            pending = false;
            const int p = model.current;
            QuestionRecord after = model.rows[std::size_t(p - 1)];
            after.Title = typed;
            if (after == model.rows[std::size_t(p - 1)]) return;
            Model::Step s;
            s.position = p;
            s.before = model.rows[std::size_t(p - 1)];
            s.after = after;
            model.Push(s);
            model.modified = true;
        };
        for (int op = 0; op < 250; ++op) {
            const int count = int(model.rows.size());
            const int kind = pick(12);
            if (kind < 2 && model.current > 0) {
                typed = QStringLiteral("t%1").arg(pick(3));
                TypeTitle(h, typed);
                pending = true;
                continue;  // unwritten: nothing to compare yet
            }
            enum { Add, Delete, Up, Undo, Redo, Save, New } act = Redo;
            if (kind == 10 && count > 0)
                act = Save;
            else if (kind == 11)
                act = New;
            else if (kind < 4 && count < kMaxQuestions)
                act = Add;
            else if (kind == 4 && model.current > 0)
                act = Delete;
            else if (kind == 5 && model.current > 1)
                act = Up;
            else if (kind < 8)
                act = Undo;
            // A disabled Undo or Redo takes no key, so nothing is written.
            const bool blocked = (act == Undo && model.index <= model.floor) ||
                                 (act == Redo && model.index >= int(model.steps.size()));
            if (!blocked) commit();
            Model::Step s;
            switch (act) {
                case Add:
                    s.kind = Model::Step::Add;
                    s.after = Blank();
                    s.currentBefore = model.current;
                    h.Click(FormPaper::ADD);
                    break;
                case Delete:
                    s.kind = Model::Step::Delete;
                    s.position = model.current;
                    s.before = model.rows[std::size_t(s.position - 1)];
                    h.Click(FormPaper::DEL);
                    break;
                case Up:
                    s.kind = Model::Step::Move;
                    s.position = model.current;
                    s.to = s.position - 1;
                    h.Click(FormPaper::UP);
                    break;
                case Undo:
                    HistoryKey(h, true);
                    model.Undo();
                    break;
                case Redo:
                    HistoryKey(h, false);
                    model.Redo();
                    break;
                case Save: {
                    const QString path = QDir(h.fake.platform.data.path())
                                             .filePath(QStringLiteral("s%1.tpf").arg(op));
                    h.fake.prompts.files = {path};
                    h.Click(FormPaper::SAVE);
                    model.Save(path);
                    model.current = count;  // the export leaves the last question current
                    break;
                }
                case New:  // the blank paper: No to saving, Cancel to the quick dialog
                    s.kind = Model::Step::Replace;
                    s.rowsBefore = model.rows;
                    s.fileBefore = model.fileName;
                    s.currentBefore = model.current;
                    s.rowsAfter = {Blank()};
                    s.currentAfter = 1;
                    if (model.modified)
                        h.fake.modal.steps.push_back([](QDialog& d) {
                            d.findChild<QAbstractButton*>(QStringLiteral("NoButton"))->click();
                        });
                    h.fake.modal.steps.push_back([](QDialog& d) {
                        d.findChild<QAbstractButton*>(QStringLiteral("CancelButton"))->click();
                    });
                    h.Click(FormPaper::NEW);
                    model.Push(s);  // the flag stays as it was
                    if (!model.modified) model.MarkRead();
                    break;
            }
            if (act == Add || act == Delete || act == Up) {
                model.Push(s);
                model.modified = true;
            }
            CompareWindow(h, model);
            if (QTest::currentTestFailed()) {
                qWarning("operation %d (kind %d)", op, kind);
                return;
            }
        }
    }

    // A child editor killed after an edit: the next start offers its paper
    // and restores it exactly, modified and with its name in the caption.
    void aKilledEditorsPaperComesBack() {
        QTemporaryDir data;
        QProcess child;
        QVERIFY(StartChildEditor(child, data.path()));
        QVERIFY(KillChildEditor(child));

        Harness h(3, {1024, 768}, [&](FakeSeams& fake) {
            fake.platform.dataFolder = data.path();
            fake.prompts.answers = {MsgAnswer::Yes};
        });
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        const MessageRequest& ask = h.fake.prompts.messages[0];
        QCOMPARE(ask.text,
                 QStringLiteral("Scrivane was not closed properly. Recover the unsaved paper?"));
        QCOMPARE(ask.title, QStringLiteral("Scrivane"));
        QCOMPARE(ask.icon, MsgIcon::Question);
        QCOMPARE(ask.buttons, MsgButtons::YesNo);

        QuestionRecord first, second;
        first.QuestionNo = 1;
        first.Score = 10;
        first.Title = kRecoverTitle;
        second.QuestionNo = 2;
        second.Score = 10;
        QVERIFY(h.window->Document().Rows() == (std::vector<QuestionRecord>{first, second}));
        const QString saved = QDir(data.path()).filePath(QStringLiteral("saved.tpf"));
        QCOMPARE(h.state.PaperFileName, saved);
        QCOMPARE(h.window->windowTitle(), QStringLiteral("Quennet  ") + saved);
        QVERIFY(h.state.PaperModified);
        QCOMPARE(h.Text("LabNoCount"), QStringLiteral("2"));
        QVERIFY(!Action(h, "actionUndo")->isEnabled());

        // Taken once: the killed editor's files are gone, once this editor's
        // own copy of the paper is written.
        const QString own = QString::number(QCoreApplication::applicationPid()) + u'.';
        const QStringList files =
            QDir(data.filePath(QStringLiteral("recovery"))).entryList(QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString& file : files) QVERIFY2(file.startsWith(own), qPrintable(file));
    }

    // Typing on screen but not written, on a paper never modified, comes
    // back into the panel of its question, still unwritten.
    void typingNotYetWrittenComesBackIntoThePanel() {
        QTemporaryDir data;
        SetChildMode(data, "typing");
        QProcess child;
        QVERIFY(StartChildEditor(child, data.path()));
        QVERIFY(KillChildEditor(child));

        Harness h(3, {1024, 768}, [&](FakeSeams& fake) {
            fake.platform.dataFolder = data.path();
            fake.prompts.answers = {MsgAnswer::Yes};
        });
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QCOMPARE(h.Find<QPlainTextEdit>("TextTitle")->toPlainText(), kTypedTitle);
        QCOMPARE(h.Text("TextItems_0"), kTypedOption);
        QCOMPARE(h.Text("LabelNo"), QStringLiteral("1"));
        QCOMPARE(h.window->Document().Row(1).Title, QString());  // not written yet
        QVERIFY(h.window->CheckCurrentRow());
        QCOMPARE(h.window->Document().Row(1).Title, kTypedTitle);
        QCOMPARE(h.window->Document().Row(1).Items[0], kTypedOption);
    }

    // Killed at once after Yes: the paper it recovered is offered again.
    void aPaperKilledRightAfterItsRecoveryComesBack() {
        QTemporaryDir data;
        SetChildMode(data, "recover");
        const QString folder = data.filePath(QStringLiteral("recovery"));
        QDir().mkpath(folder);
        const std::vector<QuestionRecord> rows{Blank(3), Blank(4), Blank(5)};
        QString why;
        QVERIFY(
            RecoveryStore::Write(folder + QStringLiteral("/999999"), {rows, {}, 3, 0, {}}, &why));
        QProcess child;
        QVERIFY(StartChildEditor(child, data.path()));
        QVERIFY(KillChildEditor(child));

        Harness h(3, {1024, 768}, [&](FakeSeams& fake) {
            fake.platform.dataFolder = data.path();
            fake.prompts.answers = {MsgAnswer::Yes};
        });
        QCOMPARE(h.fake.prompts.messages.size(), std::size_t(1));
        QCOMPARE(h.table().RecordCount(), 3);
        QCOMPARE(h.Text("LabScoreCount"), QStringLiteral("12"));
    }

    // No deletes a left-over paper; a damaged one is told and set aside; the
    // start-up paper stays in both cases.
    void leftOverPapersAnsweredNoOrDamaged() {
        QTemporaryDir data;
        const QString folder = data.filePath(QStringLiteral("recovery"));
        QDir().mkpath(folder);
        QFile damaged(folder + QStringLiteral("/111.json"));
        QVERIFY(damaged.open(QIODevice::WriteOnly));
        damaged.write("{\"fileName\":");
        damaged.flush();
        // The older of the two, so it is offered first.
        damaged.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                            QFileDevice::FileModificationTime);
        damaged.close();
        QString why;
        QVERIFY(RecoveryStore::Write(folder + QStringLiteral("/222"), {{Blank(3)}, {}, 3, 0, {}},
                                     &why));

        Harness h(3, {1024, 768}, [&](FakeSeams& fake) {
            fake.platform.dataFolder = data.path();
            fake.prompts.answers = {MsgAnswer::Yes, MsgAnswer::No};
        });
        QCOMPARE(h.fake.prompts.Texts(),
                 (QStringList{"Scrivane was not closed properly. Recover the unsaved paper?",
                              "The unsaved paper could not be recovered.",
                              "Scrivane was not closed properly. Recover the unsaved paper?"}));
        QCOMPARE(h.fake.prompts.messages[1].icon, MsgIcon::Exclamation);
        QVERIFY(h.fake.prompts.messages[1].informativeText.contains(
            QDir::toNativeSeparators(folder + QStringLiteral("/damaged"))));
        QCOMPARE(h.table().RecordCount(), 1);
        QVERIFY(!h.state.PaperModified);
        QCOMPARE(QDir(folder + QStringLiteral("/damaged")).entryList(QDir::Files).size(), 1);

        Harness later(3, {1024, 768},
                      [&](FakeSeams& fake) { fake.platform.dataFolder = data.path(); });
        QVERIFY(later.fake.prompts.messages.empty());
    }
};

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (IsChildEditor(argc, argv)) return RunChild(QString::fromLocal8Bit(argv[2]));
    UndoTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_undo.moc"
