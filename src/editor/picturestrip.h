// The pictures of one box of the edit panel (the title or an option) as a
// strip of thumbnails under it. A picture is removed by its context menu
// ("Remove Picture") or by the Delete key while it is selected; the window
// makes the change, so that it is written with the row and undone like any
// other edit.
#pragma once

#include <QHash>
#include <QIcon>
#include <QListWidget>
#include <QPixmap>

#include "core/pictures.h"

namespace scrivane {

// The small picture sign: beside a grid cell that holds pictures and on the
// "Picture…" buttons.
QIcon PictureSign();

class PictureStrip : public QListWidget {
    Q_OBJECT
public:
    explicit PictureStrip(QWidget* parent = nullptr);

    // Shows these pictures; shows the same ones again without decoding.
    void Show(const QList<Picture>& pictures);
    const QList<Picture>& Shown() const { return shown_; }
    // The thumbnails' side in pixels, as the window is laid out.
    void SetThumbnailSide(int pixels);

signals:
    // The picture at index is to be removed.
    void RemoveRequested(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPixmap Thumbnail(const Picture& picture);

    QList<Picture> shown_;
    int side_ = 40;
    QHash<QByteArray, QPixmap> thumbnails_;  // by the picture's digest, at side_
};

}  // namespace scrivane
