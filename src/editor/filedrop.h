// Files dropped anywhere on a window: the boxes that take dropped text would
// otherwise swallow a file's address as text.
#pragma once

#include <QObject>
#include <QString>

class QMimeData;
class QWidget;

namespace scrivane {

class FileDrop : public QObject {
    Q_OBJECT
public:
    // Watches window and every widget inside it.
    explicit FileDrop(QWidget& window);

    // The first local file of a drag, or nothing.
    static QString DroppedFile(const QMimeData* data);

signals:
    void FileDropped(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace scrivane
