#include "editor/picturestrip.h"

#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QMenu>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>

#include "pictures/picturedraw.h"

namespace scrivane {

namespace {

// Enough for the pictures of the questions a teacher moves between.
constexpr int kKeptThumbnails = 64;

}  // namespace

QIcon PictureSign() {
    // A framed landscape, drawn at two sizes so that it stays sharp.
    QIcon icon;
    for (const int side : {16, 32}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(side / 16.0, side / 16.0);
        painter.setPen(QPen(QColor(0x44, 0x55, 0x66), 1.2));
        painter.setBrush(QColor(0xe8, 0xf0, 0xf8));
        painter.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.5, 1.5);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xf0, 0xb0, 0x20));
        painter.drawEllipse(QPointF(5, 6), 1.6, 1.6);
        painter.setBrush(QColor(0x3a, 0x8a, 0x4a));
        painter.drawPolygon(QPolygonF{QPointF(2.5, 12.5), QPointF(7, 7.5), QPointF(9.5, 10),
                                      QPointF(11, 8.5), QPointF(13.5, 12.5)});
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

PictureStrip::PictureStrip(QWidget* parent) : QListWidget(parent) {
    // Each thumbnail in a box of its own, which the selection fills.
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(false);
    setMovement(QListView::Static);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setSpacing(2);
    setIconSize(QSize(side_, side_));
}

void PictureStrip::SetThumbnailSide(int pixels) {
    pixels = std::max(8, pixels);
    if (pixels == side_) return;
    side_ = pixels;
    thumbnails_.clear();
    setIconSize(QSize(side_, side_));
    const QList<Picture> pictures = shown_;
    shown_.clear();
    Show(pictures);
}

QPixmap PictureStrip::Thumbnail(const Picture& picture) {
    const QByteArray key = QCryptographicHash::hash(picture.Data, QCryptographicHash::Sha1);
    if (const auto it = thumbnails_.constFind(key); it != thumbnails_.constEnd()) return *it;
    QPixmap thumbnail = QPixmap::fromImage(PictureImage(picture, QSize(side_, side_)));
    if (thumbnail.isNull()) {
        // A picture that cannot be drawn still shows where it is.
        thumbnail = QPixmap(side_, side_);
        thumbnail.fill(palette().color(QPalette::Mid));
    }
    if (thumbnails_.size() >= kKeptThumbnails) thumbnails_.clear();
    thumbnails_.insert(key, thumbnail);
    return thumbnail;
}

void PictureStrip::Show(const QList<Picture>& pictures) {
    if (pictures == shown_ && count() == pictures.size()) return;
    const int selected = currentRow();
    shown_ = pictures;
    clear();
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const Picture& picture = pictures[i];
        auto* item = new QListWidgetItem(QIcon(Thumbnail(picture)), QString(), this);
        const QString name =
            picture.Name.isEmpty() ? QStringLiteral("Picture %1").arg(i + 1) : picture.Name;
        item->setToolTip(name);
        item->setData(Qt::AccessibleTextRole, name);
    }
    // The thumbnails are shown unselected; one is selected once the strip
    // has the focus.
    if (count() > 0)
        setCurrentRow(
            std::clamp(selected, 0, count() - 1),
            hasFocus() ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::NoUpdate);
}

void PictureStrip::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    if (currentItem() && selectedItems().isEmpty()) currentItem()->setSelected(true);
}

void PictureStrip::focusOutEvent(QFocusEvent* event) {
    QListWidget::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason) clearSelection();
}

void PictureStrip::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) &&
        event->modifiers() == Qt::NoModifier && currentRow() >= 0 && currentItem()->isSelected()) {
        emit RemoveRequested(currentRow());
        return;
    }
    QListWidget::keyPressEvent(event);
}

void PictureStrip::contextMenuEvent(QContextMenuEvent* event) {
    QListWidgetItem* item = itemAt(event->pos());
    if (!item && event->reason() == QContextMenuEvent::Keyboard) item = currentItem();
    if (!item) return;
    setCurrentItem(item);
    const int index = row(item);
    QMenu menu(this);
    QAction* remove = menu.addAction(QStringLiteral("Remove Picture"));
    remove->setObjectName(QStringLiteral("RemovePicture"));
    remove->setShortcut(QKeySequence::Delete);
    connect(remove, &QAction::triggered, this, [this, index] { emit RemoveRequested(index); });
    menu.exec(event->globalPos());
}

}  // namespace scrivane
