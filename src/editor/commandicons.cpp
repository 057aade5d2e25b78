#include "editor/commandicons.h"

#include <QStyle>
#include <QToolButton>
#include <cmath>

#include "editor/commandtable.h"

namespace scrivane {

namespace {

constexpr int kDesignIconSize = 16;
constexpr int kSmallestIcon = 6;

}  // namespace

QIcon CommandIcon(int index) {
    if (index < 0 || index >= kCommandCount) return {};
    const CommandRow& row = kCommands[std::size_t(index)];
    const QString theme = QString::fromLatin1(row.themeIcon);
    if (QIcon::hasThemeIcon(theme)) return QIcon::fromTheme(theme);
    return QIcon(QStringLiteral(":/icons/%1.svg").arg(QString::fromLatin1(row.ownIcon)));
}

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/icons/scrivane.svg"));
}

void FitCommandIcon(QToolButton& button, double scale) {
    // The label stands inside the frame: the picture, a gap of 4 and a line
    // of the caption. Whatever height the caption needs comes out of the
    // picture.
    const int frame = button.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, &button);
    const int room = button.height() - 2 * frame - 4 - button.fontMetrics().height();
    const int side =
        std::max(kSmallestIcon, std::min(int(std::lround(kDesignIconSize * scale)), room));
    button.setIconSize(QSize(side, side));
}

}  // namespace scrivane
