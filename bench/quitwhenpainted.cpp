// Preloaded into a Qt Widgets program by bench_startup: the program quits as
// soon as its first window has been painted, so that its whole process from
// exec to a window on the screen can be timed. The same for the editor of
// any build and for the bare window, without a hook in either.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace {

class QuitWhenPainted : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !quitting_ && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            quitting_ = true;
            // After this paint and the flush that puts it on the screen.
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool quitting_ = false;
};

void Install() {
    qApp->installEventFilter(new QuitWhenPainted(qApp));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Install)
