#include "editor/mainmenu.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <algorithm>
#include <cmath>

#include "editor/commandtable.h"

namespace scrivane {

namespace {

// The style leaves too little room for the text of a checkable item in a
// large font and cuts it short; the menu is made wide enough for its texts.
void FitMenuWidth(QMenu& menu) {
    const QFontMetrics metrics(menu.font());
    int widest = 0;
    for (const QAction* action : menu.actions()) {
        QString text = action->text();
        text.remove(u'&');
        int width = metrics.horizontalAdvance(text);
        if (!action->shortcut().isEmpty())
            width +=
                metrics.horizontalAdvance(action->shortcut().toString(QKeySequence::NativeText)) +
                2 * metrics.height();
        widest = std::max(widest, width);
    }
    menu.setMinimumWidth(widest + 3 * metrics.height());
}

}  // namespace

MainMenu::MainMenu(QWidget* parent) : QMenuBar(parent) {
    setObjectName(QStringLiteral("MenuBar"));
    // The menu bar belongs to the window even on desktops with a global menu.
    setNativeMenuBar(false);

    auto menu = [this](const QString& title, const QString& name) {
        QMenu* m = addMenu(title);
        m->setObjectName(name);
        m->menuAction()->setObjectName(name + QStringLiteral("Action"));
        return m;
    };
    // A command's action is built from its row of the command table.
    auto command = [this](QMenu* m, Command index) {
        const CommandRow& row = kCommands[std::size_t(index)];
        QAction* action = NewAction(m, tr(row.menuText), QString::fromLatin1(row.objectName),
                                    QString::fromLatin1(row.shortcut));
        connect(action, &QAction::triggered, this, [this, index] { emit CommandChosen(index); });
        commands_[std::size_t(index)] = action;
    };

    file_ = menu(tr("&File"), QStringLiteral("menuFile"));
    command(file_, NEW);
    command(file_, OPEN);
    recent_ = file_->addMenu(tr("Open &Recent"));
    recent_->setObjectName(QStringLiteral("menuRecent"));
    recent_->setEnabled(false);
    command(file_, SAVE);
    file_->addSeparator();
    command(file_, IMPORT);
    command(file_, EXPORT);
    quitSeparator_ = file_->addSeparator();
    command(file_, EXIT);

    edit_ = menu(tr("&Edit"), QStringLiteral("menuEdit"));
    setAnswer_ = NewAction(edit_, tr("Set &Answer…"), QStringLiteral("actionSetAnswer"));
    connect(setAnswer_, &QAction::triggered, this, &MainMenu::SetAnswerChosen);
    edit_->addSeparator();
    command(edit_, ADD);
    command(edit_, DEL);
    edit_->addSeparator();
    command(edit_, UP);
    command(edit_, DOWN);

    settings_ = menu(tr("&Settings"), QStringLiteral("menuSettings"));
    QMenu* mode = settings_->addMenu(tr("&Answer Mode"));
    mode->setObjectName(QStringLiteral("menuAnswerMode"));
    auto* modes = new QActionGroup(this);
    modes->setExclusive(true);
    singleMode_ = NewAction(mode, tr("&Single Answer"), QStringLiteral("actionSingleMode"));
    multipleMode_ = NewAction(mode, tr("&Multiple Answers"), QStringLiteral("actionMultipleMode"));
    for (QAction* a : {singleMode_, multipleMode_}) {
        a->setCheckable(true);
        modes->addAction(a);
    }
    // Only a choice by the user reports; ShowAnswerMode sets the check quietly.
    connect(singleMode_, &QAction::triggered, this, [this] { emit AnswerModeChosen(false); });
    connect(multipleMode_, &QAction::triggered, this, [this] { emit AnswerModeChosen(true); });

    help_ = menu(tr("&Help"), QStringLiteral("menuHelp"));
    command(help_, HELP);
    help_->addSeparator();
    about_ = NewAction(help_, tr("&About Scrivane"), QStringLiteral("actionAbout"));
    about_->setMenuRole(QAction::AboutRole);
    connect(about_, &QAction::triggered, this, &MainMenu::AboutChosen);
}

QAction* MainMenu::NewAction(QMenu* menu, const QString& text, const QString& name,
                             const QString& shortcut) {
    auto* action = new QAction(text, this);
    action->setObjectName(name);
    if (!shortcut.isEmpty()) action->setShortcut(QKeySequence(shortcut));
    menu->addAction(action);
    return action;
}

void MainMenu::AddFileAction(QAction* action) {
    file_->insertAction(quitSeparator_, action);
}

void MainMenu::AddEditAction(QAction* action, bool atTop) {
    if (!atTop) {
        edit_->addAction(action);
        return;
    }
    if (!editTopSeparator_) editTopSeparator_ = edit_->insertSeparator(setAnswer_);
    edit_->insertAction(editTopSeparator_, action);
}

void MainMenu::AddEditSeparator() {
    edit_->addSeparator();
}

void MainMenu::SetScale(double scale) {
    scale_ = std::max(1.0, scale);
    QFont font = QApplication::font(this);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale_);
    else
        font.setPixelSize(int(std::lround(font.pixelSize() * scale_)));
    setFont(font);
    // The menus are windows of their own: the font is given to each.
    for (QMenu* menu : findChildren<QMenu*>()) {
        menu->setFont(font);
        if (!menu->property("fitsItsText").toBool()) {
            menu->setProperty("fitsItsText", true);
            connect(menu, &QMenu::aboutToShow, menu, [menu] { FitMenuWidth(*menu); });
        }
    }
}

void MainMenu::ShowAnswerMode(bool multiple) {
    (multiple ? multipleMode_ : singleMode_)->setChecked(true);
}

void MainMenu::ShowRecentPapers(const QStringList& paths) {
    recent_->clear();
    int n = 0;
    for (const QString& path : paths) {
        ++n;
        // The first nine get a number key; the full path is in the tooltip.
        const QString number = n <= 9 ? QStringLiteral("&%1 ").arg(n) : QString();
        auto* action = recent_->addAction(number + QFileInfo(path).fileName());
        action->setObjectName(QStringLiteral("actionRecent_%1").arg(n - 1));
        action->setToolTip(QDir::toNativeSeparators(path));
        action->setStatusTip(QDir::toNativeSeparators(path));
        action->setData(path);
        connect(action, &QAction::triggered, this, [this, path] { emit RecentPaperChosen(path); });
    }
    recent_->setToolTipsVisible(true);
    recent_->setEnabled(!paths.isEmpty());
}

MessageRequest AboutScrivane() {
    MessageRequest about;
    about.title = QObject::tr("About Scrivane");
    about.text = QStringLiteral("Scrivane %1").arg(QStringLiteral(SCRIVANE_VERSION));
    about.informativeText =
        QObject::tr(
            "An editor for multiple-choice test papers.\n\nLicence: %1\nQt %2 (built "
            "with %3)")
            .arg(QStringLiteral(SCRIVANE_LICENCE), QString::fromLatin1(qVersion()),
                 QStringLiteral(QT_VERSION_STR));
    about.icon = MsgIcon::Information;
    return about;
}

}  // namespace scrivane
