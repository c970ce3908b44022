#include "WindowActivation.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>

namespace {

// Sees each top-level window's activation before the window's own handling does.
class Follower : public QObject {
public:
    using QObject::QObject;
    QPointer<const QWidget> active; // the program's window activated last
    bool changed = false;           // its latest activation changed which one it is

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::WindowActivate)
            if (const auto* w = qobject_cast<const QWidget*>(watched); w && w->isWindow()) {
                changed = w != active;
                active = w;
            }
        return false;
    }
};

QPointer<Follower> g_follower;

} // namespace

namespace WindowActivation {

void follow() {
    if (g_follower || !qApp) return;
    g_follower = new Follower(qApp);
    qApp->installEventFilter(g_follower);
}

bool fromOwnWindow(const QWidget* window) {
    if (!g_follower) return true;
    return g_follower->active != window || g_follower->changed;
}

} // namespace WindowActivation
