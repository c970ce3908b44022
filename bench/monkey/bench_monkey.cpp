// A seeded monkey: the program as its executable runs it (the same set-up, StartUp and
// event loop), with random user input played into its widget tree every few
// milliseconds: menu and toolbar commands, buttons, boxes, lists, keys and mouse
// clicks on whatever window is in front (the dialogs included, file dialogs too),
// Escape and clicks during recordings and runs. After the time given it sends itself
// one of the termination signals, as a terminal or a logout does, and the program
// must end by itself.
//
// bench_monkey <seed> <seconds> [event log]
//
// Every event is written (and flushed) to the event log before it is played, so the
// last ones survive a crash; the same seed plays the same choices. A watchdog thread
// watches the UI thread: when no event was played for KV_MONKEY_STALL_S seconds (30 by
// default), or the program has not ended that long after the signal, it names every
// thread of the process with its state and kernel wait, prints the seed and the last
// 50 events, and aborts the UI thread (a sanitizer build prints its stack then, with
// ASAN_OPTIONS handle_abort=1). A sanitizer's finding prints the seed and the last 50
// events too.
//
// The Delete key is never sent, nor F2 to a file dialog (its list's rename), no
// command of a file dialog's own menus (rename, delete, new folder) is chosen, and neither is the program's
// File, Exit (the round ends with the signal). Run it as an unprivileged user with a throwaway home
// (bench/monkey/run.sh does).
#include "MainModule.h"
#include "Master.h"
#include "wSplash.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPointer>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <mutex>
#include <pthread.h>
#include <random>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

// Present in a sanitizer build only.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

std::uint64_t g_seed = 0;
std::FILE* g_log = nullptr;
std::mutex g_recentMutex;
std::deque<std::string> g_recent; // the last 50 events
std::atomic<std::uint64_t> g_events{0};
std::atomic<bool> g_signalled{false};

void printRecent() {
    std::unique_lock lock(g_recentMutex, std::try_to_lock); // a crash may come while it is held
    std::fprintf(stderr, "MONKEY seed %llu, last %zu of %llu events:\n", (unsigned long long)g_seed,
                 g_recent.size(), (unsigned long long)g_events.load());
    for (const std::string& e : g_recent)
        std::fprintf(stderr, "  %s\n", e.c_str());
    std::fflush(stderr);
}

void note(const QString& what) {
    const std::uint64_t n = ++g_events;
    const std::string line = std::to_string(n) + " " + what.toStdString();
    if (g_log) {
        std::fprintf(g_log, "%s\n", line.c_str());
        std::fflush(g_log);
    }
    std::lock_guard lock(g_recentMutex);
    g_recent.push_back(line);
    if (g_recent.size() > 50) g_recent.pop_front();
}

QString describe(const QObject* o) {
    if (!o) return QStringLiteral("(none)");
    QString text;
    if (auto* b = qobject_cast<const QAbstractButton*>(o))
        text = b->text();
    else if (auto* a = qobject_cast<const QAction*>(o))
        text = a->text();
    else if (auto* w = qobject_cast<const QWidget*>(o))
        text = w->windowTitle();
    QString name = QString::fromLatin1(o->metaObject()->className());
    if (!o->objectName().isEmpty()) name += QLatin1Char('#') + o->objectName();
    if (!text.isEmpty()) name += QStringLiteral(" '") + text.remove(QLatin1Char('&')) + QLatin1Char('\'');
    return name;
}

// The program's close request (File, Exit): the monkey works on until its time is up,
// and the program is ended from outside then.
bool isExit(const QAction* a) {
    return QString(a->text()).remove(QLatin1Char('&')) == QLatin1String("Exit");
}

bool insideFileDialog(const QObject* o) {
    for (; o; o = o->parent())
        if (qobject_cast<const QFileDialog*>(o)) return true;
    return false;
}

// Each thread of the process: id, name, state and what it waits in.
void printThreads() {
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        auto read = [&](const char* file) {
            QFile f(tasks.filePath(tid) + QLatin1Char('/') + QLatin1String(file));
            return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()).trimmed() : QString();
        };
        const QString stat = read("stat");
        const int close = int(stat.lastIndexOf(QLatin1Char(')')));
        const QString state = close > 0 ? stat.mid(close + 2, 1) : QStringLiteral("?");
        std::fprintf(stderr, "  thread %s%s '%s' state %s wchan %s\n", qPrintable(tid),
                     tid.toInt() == getpid() ? " (UI)" : "", qPrintable(read("comm")), qPrintable(state),
                     qPrintable(read("wchan")));
    }
}

class Monkey : public QObject {
public:
    Monkey(std::uint64_t seed, double seconds) : m_random(seed), m_seconds(seconds) {
        m_timer.setInterval(qEnvironmentVariableIsSet("KV_MONKEY_INTERVAL_MS")
                                ? qEnvironmentVariableIntValue("KV_MONKEY_INTERVAL_MS")
                                : 5);
        connect(&m_timer, &QTimer::timeout, this, &Monkey::tick);
        m_timer.start();
    }

private:
    int pick(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(m_random); }
    template <typename T> T* pickOf(const QList<T*>& list) {
        return list.isEmpty() ? nullptr : list[pick(int(list.size()))];
    }

    void tick() {
        if (m_stopped) return;
        if (m_loading) {
            // The splash's own timer would close it after 4 s: run its handler now.
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* splash = qobject_cast<wSplash*>(w); splash && splash->isVisible())
                    splash->Timer1_Timer();
            Master* m = Master::instance();
            if (!m || !m->isVisible()) return;
            m_loading = false;
            m_start = std::chrono::steady_clock::now();
            note(QStringLiteral("main window loaded"));
        }
        if (std::chrono::steady_clock::now() - m_start > std::chrono::duration<double>(m_seconds)) {
            m_stopped = true;
            static const int endSignals[] = {SIGTERM, SIGINT, SIGHUP};
            const int sig = endSignals[pick(3)];
            note(QStringLiteral("signal %1").arg(sig));
            g_signalled = true;
            ::kill(getpid(), sig);
            return;
        }
        // Each event is an event of its own, not played inside this timer's handler: a
        // dialog or a recording it starts waits inside it, and a timer does not fire
        // again while its handler runs.
        if (m_queued || m_depth > 8) return; // a deep stack of nested event loops: let them end first
        m_queued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_queued = false;
                if (m_stopped) return;
                ++m_depth;
                act();
                --m_depth;
            },
            Qt::QueuedConnection);
    }

    // The window a user's input would reach: an open popup, the modal dialog, or any
    // visible window.
    QWidget* scope() {
        if (QWidget* w = QApplication::activePopupWidget()) return w;
        if (QWidget* w = QApplication::activeModalWidget()) return w;
        QList<QWidget*> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && !qobject_cast<QMenu*>(w)) windows << w;
        return pickOf(windows);
    }

    template <typename T> QList<T*> visible(QWidget* scope) {
        QList<T*> list;
        for (T* w : scope->findChildren<T*>())
            if (w->isVisible() && w->isEnabled() && w->window() == scope->window()) list << w;
        return list;
    }

    void act() {
        QPointer<QWidget> s = scope();
        if (!s) return;
        const int kind = pick(100);
        if (kind < 22) {
            // A command of the window's menus and toolbars.
            QList<QAction*> actions;
            for (QAction* a : s->findChildren<QAction*>())
                if (a->isEnabled() && a->isVisible() && !a->isSeparator() && !a->menu() && !isExit(a) &&
                    !insideFileDialog(a))
                    actions << a;
            if (auto* popup = qobject_cast<QMenu*>(s.data()))
                for (QAction* a : popup->actions())
                    if (a->isEnabled() && a->isVisible() && !a->isSeparator() && !a->menu() && !isExit(a) &&
                        !insideFileDialog(popup))
                        actions << a;
            if (QAction* a = pickOf(actions)) {
                note(QStringLiteral("trigger ") + describe(a) + QStringLiteral(" in ") + describe(s));
                a->trigger();
            }
        } else if (kind < 45) {
            if (QAbstractButton* b = pickOf(visible<QAbstractButton>(s))) {
                note(QStringLiteral("click ") + describe(b) + QStringLiteral(" in ") + describe(s));
                QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
            }
        } else if (kind < 52) {
            if (QComboBox* c = pickOf(visible<QComboBox>(s)); c && c->count() > 0) {
                const int i = pick(c->count());
                note(QStringLiteral("choose %1 in ").arg(i) + describe(c));
                c->setCurrentIndex(i);
            }
        } else if (kind < 57) {
            if (QAbstractSpinBox* b = pickOf(visible<QAbstractSpinBox>(s))) {
                const int steps = pick(21) - 10;
                note(QStringLiteral("step %1 ").arg(steps) + describe(b));
                b->stepBy(steps);
            } else if (QAbstractSlider* l = pickOf(visible<QAbstractSlider>(s))) {
                const int v = l->minimum() + pick(l->maximum() - l->minimum() + 1);
                note(QStringLiteral("slide to %1 ").arg(v) + describe(l));
                l->setValue(v);
            }
        } else if (kind < 62) {
            if (QLineEdit* e = pickOf(visible<QLineEdit>(s)); e && !e->isReadOnly()) {
                static const char* words[] = {"a",     "movie",    "9", "-1",    "12:00:00",
                                              "x.avi", "shot.jpg", "",  "99999", "\xc3\xa9t\xc3\xa9",
                                              "..",    "sub/dir"};
                const QString w = QString::fromUtf8(words[pick(12)]);
                note(QStringLiteral("type '%1' into ").arg(w) + describe(e));
                // As a keyboard layout sends them, one character per key (Qt's test
                // keys know ASCII only).
                for (const QChar c : w) {
                    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
                    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
                    QApplication::sendEvent(e, &press);
                    QApplication::sendEvent(e, &release);
                }
            }
        } else if (kind < 65) {
            QList<QAbstractItemView*> views = visible<QAbstractItemView>(s);
            if (QAbstractItemView* v = pickOf(views);
                v && v->model() && v->model()->rowCount(v->rootIndex()) > 0) {
                const int row = pick(v->model()->rowCount(v->rootIndex()));
                note(QStringLiteral("select row %1 in ").arg(row) + describe(v));
                v->setCurrentIndex(v->model()->index(row, 0, v->rootIndex()));
            }
        } else if (kind < 67) {
            if (QTabWidget* t = pickOf(visible<QTabWidget>(s)); t && t->count() > 0) {
                const int i = pick(t->count());
                note(QStringLiteral("tab %1 of ").arg(i) + describe(t));
                t->setCurrentIndex(i);
            }
        } else if (kind < 85) {
            // A key to the focused widget. Never Delete.
            static const Qt::Key keys[] = {Qt::Key_Escape, Qt::Key_Escape, Qt::Key_Escape,   Qt::Key_Return,
                                           Qt::Key_Enter,  Qt::Key_Space,  Qt::Key_Tab,      Qt::Key_Backtab,
                                           Qt::Key_Up,     Qt::Key_Down,   Qt::Key_Left,     Qt::Key_Right,
                                           Qt::Key_Home,   Qt::Key_End,    Qt::Key_PageUp,   Qt::Key_PageDown,
                                           Qt::Key_F1,     Qt::Key_F2,     Qt::Key_F5,       Qt::Key_F10,
                                           Qt::Key_A,      Qt::Key_S,      Qt::Key_R,        Qt::Key_X,
                                           Qt::Key_1,      Qt::Key_0,      Qt::Key_Backspace};
            const Qt::Key key = keys[pick(int(std::size(keys)))];
            static const Qt::KeyboardModifiers mods[] = {Qt::NoModifier,      Qt::NoModifier,
                                                         Qt::NoModifier,      Qt::AltModifier,
                                                         Qt::ControlModifier, Qt::ShiftModifier};
            const Qt::KeyboardModifiers mod = mods[pick(6)];
            QWidget* target = QApplication::focusWidget();
            if (!target || target->window() != s->window()) target = s;
            // F2 in a file dialog's list renames the file or folder under the cursor.
            if (key == Qt::Key_F2 && insideFileDialog(target)) return;
            note(QStringLiteral("key %1 mod %2 to ").arg(int(key), 0, 16).arg(int(mod), 0, 16) +
                 describe(target));
            QTest::keyClick(target, key, mod);
        } else {
            // A mouse click somewhere in a widget of the window (a recording's abort).
            QList<QWidget*> widgets = visible<QWidget>(s);
            widgets << s;
            QWidget* w = pickOf(widgets);
            if (!w || w->width() <= 0 || w->height() <= 0) return;
            const QPoint at(pick(w->width()), pick(w->height()));
            const Qt::MouseButton button = pick(4) == 0 ? Qt::RightButton : Qt::LeftButton;
            const bool twice = pick(6) == 0;
            note(QStringLiteral("%1 %2 at %3,%4 in ")
                     .arg(twice ? QStringLiteral("double-click") : QStringLiteral("click"))
                     .arg(button == Qt::LeftButton ? QStringLiteral("left") : QStringLiteral("right"))
                     .arg(at.x())
                     .arg(at.y()) +
                 describe(w));
            if (twice)
                QTest::mouseDClick(w, button, {}, at);
            else
                QTest::mouseClick(w, button, {}, at);
        }
    }

    std::mt19937_64 m_random;
    double m_seconds;
    QTimer m_timer;
    bool m_loading = true;
    bool m_stopped = false;
    bool m_queued = false;
    int m_depth = 0;
    std::chrono::steady_clock::time_point m_start;
};

// Watches the UI thread's progress from a thread of its own.
void watchdog(int stallSeconds) {
    pthread_setname_np(pthread_self(), "kv-monkey-watch");
    std::uint64_t last = g_events.load();
    int quiet = 0;
    for (;;) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const std::uint64_t now = g_events.load();
        if (now != last && !g_signalled) {
            last = now;
            quiet = 0;
            continue;
        }
        if (++quiet < stallSeconds) continue;
        std::fprintf(stderr, "MONKEY HANG: %s for %d s; the threads:\n",
                     g_signalled ? "the program has not ended after the termination signal"
                                 : "no event played",
                     stallSeconds);
        printThreads();
        printRecent();
        syscall(SYS_tgkill, getpid(), getpid(),
                SIGABRT); // the UI thread's stack, where a sanitizer prints it
        std::this_thread::sleep_for(std::chrono::seconds(10));
        _exit(3);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <seed> <seconds> [event log]\n", argv[0]);
        return 2;
    }
    g_seed = std::strtoull(argv[1], nullptr, 10);
    const double seconds = std::atof(argv[2]);
    if (argc > 3) g_log = std::fopen(argv[3], "w");
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(printRecent);

    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs); // Qt's own file dialogs, in the widget tree
    QApplication app(argc, argv);
    SetUpApplication();
    const int stall = qEnvironmentVariableIsSet("KV_MONKEY_STALL_S")
                          ? qEnvironmentVariableIntValue("KV_MONKEY_STALL_S")
                          : 30;
    std::thread(watchdog, stall).detach();
    Monkey monkey(g_seed, seconds);
    const int code = StartUp();
    std::printf("MONKEY END seed %llu events %llu exit code %d\n", (unsigned long long)g_seed,
                (unsigned long long)g_events.load(), code);
    std::fflush(stdout);
    return code;
}
