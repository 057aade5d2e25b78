#include "dialogs/desktopseams.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

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

// "Test Paper (*.tpf)|*.tpf" becomes "Test Paper (*.tpf)".
QString ToQtFilter(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString& patterns = parts[i + 1];
        entries << (description.contains(patterns) ? description
                                                   : description + " (" + patterns + ")");
    }
    return entries.join(";;");
}

}  // namespace

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
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.folder,
                       ToQtFilter(request.filter));
    const bool save = request.kind == FileRequest::Kind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The program asks about overwriting itself.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
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
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
}

int DesktopModalRunner::Exec(QDialog& dialog) {
    return dialog.exec();
}

}  // namespace scrivane
