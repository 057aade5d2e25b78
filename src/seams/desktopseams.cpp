#include "seams/desktopseams.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>

#include "dialogs/dialogscale.h"

namespace scrivane {

namespace {

QMessageBox::StandardButton ToStandard(MsgAnswer answer) {
    switch (answer) {
        case MsgAnswer::Ok:
            return QMessageBox::Ok;
        case MsgAnswer::Yes:
            return QMessageBox::Yes;
        case MsgAnswer::No:
            return QMessageBox::No;
        case MsgAnswer::Cancel:
            return QMessageBox::Cancel;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon ToIcon(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::None:
            return QMessageBox::NoIcon;
        case MsgIcon::Information:
            return QMessageBox::Information;
        case MsgIcon::Exclamation:
            return QMessageBox::Warning;
        case MsgIcon::Question:
            return QMessageBox::Question;
        case MsgIcon::Critical:
            return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

QString ToQtFilter(const QString& filter) {
    return QtNameFilters(filter);
}

// Whether the desktop names a program for the file's type. Where it cannot
// be asked, the opener is left to try.
bool HasDesktopViewer(const QString& path) {
    const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (xdgMime.isEmpty()) return true;
    const QString type = QMimeDatabase().mimeTypeForFile(path).name();
    QProcess query;
    query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return true;
    }
    return !query.readAllStandardOutput().trimmed().isEmpty();
}

}  // namespace

QString QtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        // Qt reads the patterns from the last parentheses, separated by
        // blanks: "*.pdf;*.png" there would be one pattern that names nothing.
        const QString patterns =
            parts[i + 1]
                .split(QRegularExpression(QStringLiteral("[ ;]")), Qt::SkipEmptyParts)
                .join(u' ');
        const qsizetype open = description.lastIndexOf(u'(');
        const QString named = open >= 0 && description.endsWith(u')')
                                  ? description.mid(open + 1).chopped(1).simplified()
                                  : QString();
        if (named == patterns)
            entries << description;
        else
            entries << (open >= 0 && description.endsWith(u')') ? description.left(open).trimmed()
                                                                : description) +
                           QStringLiteral(" (") + patterns + u')';
    }
    return entries.join(QStringLiteral(";;"));
}

MsgAnswer DesktopPrompts::MsgBox(const MessageRequest& request) {
    QMessageBox box(ToIcon(request.icon), request.title, request.text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    if (!request.informativeText.isEmpty()) box.setInformativeText(request.informativeText);
    switch (request.buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    if (request.defaultButton) box.setDefaultButton(ToStandard(*request.defaultButton));
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        default:
            return request.buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
    }
}

std::optional<QString> DesktopPrompts::ChooseFile(const FileRequest& request) {
    const auto choice = ChooseFileAndFilter(request);
    if (!choice) return std::nullopt;
    return choice->path;
}

std::optional<FileChoice> DesktopPrompts::ChooseFileAndFilter(const FileRequest& request) {
    const QString filters = ToQtFilter(request.filter);
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.folder, filters);
    const bool save = request.kind == FileRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The program asks about overwriting itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const int filter = int(filters.split(QStringLiteral(";;")).indexOf(dialog.selectedNameFilter()));
    return FileChoice{dialog.selectedFiles().constFirst(), std::max(filter, 0)};
}

QStringList DesktopPrompts::ChooseFiles(const FileRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.folder,
                       ToQtFilter(request.filter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

QSize DesktopPlatform::ScreenPixels() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->size() : QSize(1024, 768);
}

double DesktopPlatform::LogicalDpi() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

std::filesystem::path DesktopPlatform::ProgramFolder() const {
    return std::filesystem::path(QCoreApplication::applicationDirPath().toStdString());
}

void DesktopPlatform::SetWaitCursor(bool on) {
    // Nested long operations share one hourglass.
    if (on) {
        if (waitDepth_++ == 0) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (waitDepth_ > 0 && --waitDepth_ == 0) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void DesktopPlatform::ProcessPendingEvents() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool DesktopPlatform::OpenWithDesktop(const std::filesystem::path& file) {
    const QString path = QString::fromStdString(file.string());
    // The desktop would start its opener even for a file no program takes.
    if (!HasDesktopViewer(path)) return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// ~/.config/scrivane/scrivane.conf
QString DesktopPlatform::SettingsFile() const {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/scrivane/scrivane.conf");
}

int DesktopModalRunner::Exec(QDialog& dialog) {
    // A dialog is never made smaller than its design, only larger with a
    // window laid out larger.
    const QScreen* screen = dialog.screen();
    FitDialog(dialog, std::max(1.0, OwnerLayoutScale(dialog)),
              screen ? screen->availableGeometry() : QRect());
    return dialog.exec();
}

}  // namespace scrivane
