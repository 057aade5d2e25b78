// Pictures in the edit panel through the real window: the "Picture…" button
// with a scripted file dialog, Ctrl+V of a clipboard image, a dropped file,
// removal by the Delete key and by the context menu, each an undo step; the
// grid's sign; hostile pictures refused with nothing changed; and the panel
// laid out as ever for a question without pictures.
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <QDir>
#include <QTemporaryDir>
#include "editor/picturestrip.h"
#include "harness.h"
#include "history/paperhistory.h"
#include "paperfile/papercommands.h"
#include "recovery/recoverystore.h"
#include "spreadsheet/paperio.h"
#include "workspace/paperworkspace.h"

using namespace scrivane;
using scrivane::test::Harness;

namespace {

QString Fixture(const char* name) {
    return QStringLiteral(SCRIVANE_FIXTURES "/pictures/") + QLatin1String(name);
}

void Activate(Harness& h) {
    QApplication::setActiveWindow(h.window.get());
    QVERIFY(QTest::qWaitForWindowActive(h.window.get()));
}

// Drags files onto a widget and drops them, as the desktop does.
bool DropFiles(QWidget* target, const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
    mime.setUrls(urls);
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

QList<Picture> PicturesOf(Harness& h, int box) {
    return h.window->Document().Row(1).Pictures[std::size_t(box)];
}

}  // namespace

class EditorPicturesTest : public QObject {
    Q_OBJECT
private slots:
    // The button beside a box shows while the box has the focus, asks for
    // files, and adds them as one step; undo and redo take it back and forth,
    // with the strip, the grid's sign and the layout following.
    void buttonAddsAndUndoRedo() {
        Harness h;
        Activate(h);
        const QRectF gridBefore = h.window->TwipsGeometry(QStringLiteral("DataGrid1"));
        const QRectF optionC = h.window->TwipsGeometry(QStringLiteral("TextItems_2"));
        auto* option = h.Find<QLineEdit>("TextItems_1");
        auto* button = h.Find<QToolButton>("PictureItem_1");
        auto* strip = h.Find<PictureStrip>("PicturesItem_1");
        QVERIFY(!button->isVisible());
        option->setFocus();
        QTest::keyClicks(option, QStringLiteral("Lakes"));
        QVERIFY(button->isVisible());
        QVERIFY(!h.Find<QToolButton>("PictureItem_0")->isVisible());
        QCOMPARE(button->text(), QStringLiteral("Picture…"));

        h.fake.prompts.fileLists.push_back(
            {Fixture("square-blue.svg"), Fixture("two-frames-red-blue.gif")});
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(h.fake.prompts.fileRequests.back().filter,
                 QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif *.svg)|*.png *.jpg *.jpeg "
                                "*.gif *.svg"));
        const QList<Picture> added = PicturesOf(h, PictureBoxOfItem(1));
        QCOMPARE(added.size(), 2);
        QCOMPARE(added[0].Format, QStringLiteral("svg"));
        QCOMPARE(added[1].Format, QStringLiteral("png"));  // the GIF's first frame
        // The typing of the box went with the row, as one step.
        QCOMPARE(h.window->Document().Row(1).Items[1], QStringLiteral("Lakes"));
        QCOMPARE(h.window->History().UndoText(), QStringLiteral("Edit of question 1"));
        QVERIFY(h.state.PaperModified);
        QVERIFY(strip->isVisible());
        QCOMPARE(strip->count(), 2);
        QVERIFY(
            !h.table().data(h.table().index(0, QuestionTable::ItemB), Qt::DecorationRole).isNull());
        QVERIFY(
            h.table().data(h.table().index(0, QuestionTable::ItemA), Qt::DecorationRole).isNull());
        QCOMPARE(h.table().data(h.table().index(0, QuestionTable::ItemB)).toString(),
                 QStringLiteral("Lakes"));
        // The panel makes room under option B; the options below and the grid move down.
        QVERIFY(h.window->TwipsGeometry(QStringLiteral("DataGrid1")).top() > gridBefore.top());
        QVERIFY(h.window->TwipsGeometry(QStringLiteral("TextItems_2")).top() > optionC.top());
        QVERIFY(strip->geometry().bottom() < h.Find<QLineEdit>("TextItems_2")->geometry().top());

        h.window->History().Undo();
        QVERIFY(PicturesOf(h, PictureBoxOfItem(1)).isEmpty());
        QVERIFY(!strip->isVisible());
        QCOMPARE(h.window->TwipsGeometry(QStringLiteral("DataGrid1")), gridBefore);
        QCOMPARE(h.window->TwipsGeometry(QStringLiteral("TextItems_2")), optionC);
        h.window->History().Redo();
        QCOMPARE(PicturesOf(h, PictureBoxOfItem(1)), added);
        QCOMPARE(strip->count(), 2);

        // Cancelling the dialog changes nothing.
        h.fake.prompts.fileLists.push_back({});
        QTest::mouseClick(h.Find<QToolButton>("PictureItem_1"), Qt::LeftButton);
        QCOMPARE(PicturesOf(h, PictureBoxOfItem(1)), added);

        // From the keyboard: the box's context menu (Shift+F10) offers "Picture…".
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        title->setFocus();
        h.fake.prompts.fileLists.push_back({Fixture("square-blue.svg")});
        bool offered = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            for (QAction* action : menu->actions())
                if (action->objectName() == QStringLiteral("AddPicture")) {
                    offered = action->text() == QStringLiteral("Picture…");
                    action->trigger();
                }
            menu->close();
        });
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5),
                              title->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(title->viewport(), &key);
        QVERIFY(offered);
        QCOMPARE(PicturesOf(h, kPictureTitle).size(), 1);
        QCOMPARE(h.window->History().UndoText(), QStringLiteral("Title picture of question 1"));
    }

    // SAVE keeps the pictures in the paper file and OPEN brings them back
    // byte for byte, each in its box; the recovery copy holds them too.
    void saveReopenAndRecovery() {
        Harness h;
        Activate(h);
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        title->setFocus();
        QTest::keyClicks(title, QStringLiteral("Which rock is this?"));
        h.fake.prompts.fileLists.push_back({Fixture("rock.jpg")});
        QTest::mouseClick(h.Find<QToolButton>("PictureTitle"), Qt::LeftButton);
        auto* option = h.Find<QLineEdit>("TextItems_1");
        option->setFocus();
        QTest::keyClicks(option, QStringLiteral("Granite"));
        h.fake.prompts.fileLists.push_back({Fixture("square-blue.svg"), Fixture("river map.png")});
        QTest::mouseClick(h.Find<QToolButton>("PictureItem_1"), Qt::LeftButton);
        const QuestionRecord made = h.window->Document().Row(1);
        QCOMPARE(made.Pictures[kPictureTitle].size(), 1);
        QCOMPARE(made.Pictures[std::size_t(PictureBoxOfItem(1))].size(), 2);

        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("rocks.tpf"));
        std::vector<QuestionRecord> back;
        // The recovery copy of the modified paper is written now, pictures and all.
        RecoveryStore& recovery = h.window->Workspace().Recovery();
        QVERIFY(recovery.WriteNow());
        const QStringList copies =
            QDir(recovery.Folder())
                .entryList({recovery.Id() + QStringLiteral("*.tpf")}, QDir::Files);
        QCOMPARE(copies.size(), 1);
        QCOMPARE(ReadPaperFile(QDir(recovery.Folder()).filePath(copies[0]), back).outcome,
                 ImportReport::Outcome::Imported);
        QCOMPARE(back.at(0).Pictures, made.Pictures);

        h.fake.prompts.files.push_back(path);
        h.window->Paper().SavePaper_Click();
        QVERIFY(QFile::exists(path));
        QVERIFY(!h.state.PaperModified);
        QVERIFY(h.window->Paper().OpenChosenPaper(path));
        QCOMPARE(h.window->Document().Row(1).Pictures, made.Pictures);
        QCOMPARE(h.window->Document().Row(1).Title, made.Title);
        QCOMPARE(PicturesOf(h, PictureBoxOfItem(1))[0].Data,
                 made.Pictures[std::size_t(PictureBoxOfItem(1))][0].Data);
        QCOMPARE(h.Find<PictureStrip>("PicturesItem_1")->count(), 2);
    }

    // Ctrl+V of an image adds it; of text, pastes the text.
    void pasteImageOrText() {
        Harness h;
        Activate(h);
        auto* title = h.Find<QPlainTextEdit>("TextTitle");
        title->setFocus();
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(Qt::green);
        QGuiApplication::clipboard()->setImage(image);
        QTest::keyClick(title, Qt::Key_V, Qt::ControlModifier);
        const QList<Picture> pasted = PicturesOf(h, kPictureTitle);
        QCOMPARE(pasted.size(), 1);
        QCOMPARE(QImage::fromData(pasted[0].Data).pixelColor(5, 5), QColor(Qt::green));
        QCOMPARE(h.window->History().UndoText(), QStringLiteral("Title picture of question 1"));
        QVERIFY(h.Find<PictureStrip>("PicturesTitle")->isVisible());
        QVERIFY(title->toPlainText().isEmpty());

        auto* option = h.Find<QLineEdit>("TextItems_0");
        option->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("Volcano"));
        QTest::keyClick(option, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(option->text(), QStringLiteral("Volcano"));
        QVERIFY(PicturesOf(h, PictureBoxOfItem(0)).isEmpty());
    }

    // A picture file dropped on a box is added to it; a hostile or damaged
    // one is refused with its reason, and nothing changes.
    void dropAddsOrRefuses() {
        Harness h;
        Activate(h);
        auto* option = h.Find<QLineEdit>("TextItems_3");
        QVERIFY(DropFiles(option, {Fixture("square-blue.svg")}));
        QCOMPARE(PicturesOf(h, PictureBoxOfItem(3)).size(), 1);
        const QString undo = h.window->History().UndoText();

        h.state.PaperModified = false;
        for (const char* hostile :
             {"billion-laughs.svg", "image-etc-passwd.svg", "header-9000x9000.png"}) {
            const auto before = h.fake.prompts.messages.size();
            QVERIFY(DropFiles(h.Find<QPlainTextEdit>("TextTitle")->viewport(), {Fixture(hostile)}));
            QCOMPARE(h.fake.prompts.messages.size(), before + 1);
            QVERIFY2(h.fake.prompts.messages.back().text.startsWith(
                         QStringLiteral("The picture %1 ").arg(QLatin1String(hostile))),
                     qPrintable(h.fake.prompts.messages.back().text));
        }
        const QStringList reasons = h.fake.prompts.Texts();
        QVERIFY(reasons.join(u'\n').contains(QStringLiteral("declares a DOCTYPE or entities")));
        QVERIFY(
            reasons.join(u'\n').contains(QStringLiteral("refers to /etc/passwd outside itself")));
        QVERIFY(reasons.join(u'\n').contains(QStringLiteral("more than the 40 megapixels")));
        QVERIFY(PicturesOf(h, kPictureTitle).isEmpty());
        QCOMPARE(h.window->History().UndoText(), undo);
        QVERIFY(!h.state.PaperModified);
    }

    // A selected thumbnail goes by the Delete key or by its context menu,
    // each an undo step; the focus stays with the pictures left.
    void removeByKeyAndMenu() {
        Harness h;
        Activate(h);
        h.window->AddPictureFiles(PictureBoxOfItem(0),
                                  {Fixture("square-blue.svg"), Fixture("two-frames-red-blue.gif"),
                                   Fixture("inner-references.svg")});
        auto* strip = h.Find<PictureStrip>("PicturesItem_0");
        QCOMPARE(strip->count(), 3);
        strip->setFocus();
        strip->setCurrentRow(1);
        QTest::keyClick(strip, Qt::Key_Delete);
        QList<Picture> left = PicturesOf(h, PictureBoxOfItem(0));
        QCOMPARE(left.size(), 2);
        QCOMPARE(left[1].Name, QStringLiteral("inner-references.svg"));
        QCOMPARE(h.window->History().UndoText(), QStringLiteral("Option A picture of question 1"));
        QVERIFY(strip->hasFocus());

        bool shown = false;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            shown = true;
            for (QAction* action : menu->actions())
                if (action->objectName() == QStringLiteral("RemovePicture")) action->trigger();
            menu->close();
        });
        const QRect first = strip->visualItemRect(strip->item(0));
        QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, first.center(),
                                    strip->viewport()->mapToGlobal(first.center()));
        QApplication::sendEvent(strip->viewport(), &menuEvent);
        QVERIFY(shown);
        left = PicturesOf(h, PictureBoxOfItem(0));
        QCOMPARE(left.size(), 1);
        QCOMPARE(left[0].Name, QStringLiteral("inner-references.svg"));
        h.window->History().Undo();
        h.window->History().Undo();
        QCOMPARE(PicturesOf(h, PictureBoxOfItem(0)).size(), 3);
    }

    // A picture added while the mark box holds a refused mark waits in the
    // row's edit, shown, and is written with the row once the mark is fixed.
    void heldBackByARefusedMark() {
        Harness h;
        Activate(h);
        auto* mark = h.Find<QLineEdit>("TextScore");
        mark->setFocus();
        mark->selectAll();
        QTest::keyClicks(mark, QStringLiteral("999"));
        h.window->AddPictureFiles(kPictureTitle, {Fixture("square-blue.svg")});
        QCOMPARE(h.fake.prompts.messages.back().text,
                 QStringLiteral("The mark should be between 0 and 250."));
        QVERIFY(PicturesOf(h, kPictureTitle).isEmpty());
        QCOMPARE(h.table().Pictures(kPictureTitle).size(), 1);
        QVERIFY(h.Find<PictureStrip>("PicturesTitle")->isVisible());
        mark->selectAll();
        QTest::keyClicks(mark, QStringLiteral("7"));
        QVERIFY(h.window->CheckCurrentRow());
        QCOMPARE(PicturesOf(h, kPictureTitle).size(), 1);
        QCOMPARE(h.window->Document().Row(1).Score, 7.f);
    }
};

QTEST_MAIN(EditorPicturesTest)
#include "test_editorpictures.moc"
