// The program as its executable runs it (the same set-up, StartUp and event loop),
// with a user's steps played in: the test that starts this process watches its
// output and sends it signals, as a terminal or a desktop would.
//
// kelvanor_harness <scenario> [movie file]
//   preview  shows the live picture, then the event loop is left without the close
//            request (as when the desktop session ends)
//   record   records a movie without a time limit into the movie file
//   run      a multiple-image run of single-frame movie shots into the movie file
//   devices  prints "DEVICE <name>" for each capture driver, in order, and leaves
//   sound    records a movie with sound, without a time limit, into the movie file
//   play     plays the movie file in the movie viewer, then leaves the event loop
//   quit     the close request, its question answered Yes
//   codecs   opens the compressors window, then leaves the event loop
//   full     opens the full-screen video window, then closes it with a key
//   camera <index> <node> [value]
//            selects capture driver <index>, prints "BRIGHTNESS <value>" with the
//            brightness its node <node> has then (the kept one, restored), sets it to
//            <value> when given (through a descriptor of its own, as another program
//            would), and ends with the close request, its question answered Yes
//   idle     (or any other word) leaves the main window idle
// It prints "LOADED" once the main window has loaded (then "PLATFORM <name>" and
// "WINDOW <outer width>x<height>"), "RECORDING" once a movie has frames, "RUNNING" once
// a run has three shots, "PLAYING <width>x<height>" once the viewer shows a picture,
// "CODECS <entries> <described>" for the compressors window, "FULL <window geometry>
// <screen geometry> <full screen or not>" for the full-screen window. Boxes are not
// shown but answered with their first button (OK, Yes) in the scenarios quit, codecs and
// full, and in any scenario when StartUp ends without a main window; each prints
// "BOX <text>" before the program ends. The program's folder comes from the environment
// (KELVANOR_FOLDER) as for the program.
//
// From the environment: KV_HARNESS_SIGNAL_GRACE_MS sets the grace period for a
// repeated termination signal; with KV_HARNESS_HOLD_END=1 the UI thread stops when
// the first termination signal reaches it, prints "SIGNALLED" and waits until its
// standard input closes, so the orderly end cannot finish before the test's next
// signal.

#include "MSVIDEO.h"
#include "MainModule.h"
#include "Master.h"
#include "MovieFrameView.h"
#include "MoviePlayer.h"
#include "MsgBox.h"
#include "TerminationSignals.h"
#include "cMaster.h"
#include "vfw.h"
#include "wCODECS.h"
#include "wMSVIDEOFullScreen.h"
#include "wMovieViewer.h"
#include "wSplash.h"

#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void say(const char* word) {
    std::printf("%s\n", word);
    std::fflush(stdout);
}

void say(const QString& line) {
    say(line.toLocal8Bit().constData());
}

QString text(QRect r) {
    return QStringLiteral("%1,%2,%3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// Stops the UI thread at the first activation of the termination signals' pipe.
class HoldAtFirstSignal : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_held && event->type() == QEvent::SockAct &&
            qobject_cast<TerminationSignals*>(watched->parent())) {
            m_held = true;
            say("SIGNALLED");
            char line[64];
            while (std::fgets(line, sizeof line, stdin)) {
            }
        }
        return false;
    }

private:
    bool m_held = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SetUpApplication();
    if (qEnvironmentVariableIsSet("KV_HARNESS_SIGNAL_GRACE_MS"))
        TerminationSignals::setGracePeriod(
            std::chrono::milliseconds(qEnvironmentVariableIntValue("KV_HARNESS_SIGNAL_GRACE_MS")));
    HoldAtFirstSignal hold;
    if (qEnvironmentVariableIntValue("KV_HARNESS_HOLD_END") == 1) app.installEventFilter(&hold);
    const QString scenario = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString movie = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QStringList arguments = app.arguments().mid(2);
    // Boxes answered in place of a user; a refused start shows one before any window.
    MsgBoxTest::enable();
    const bool answersBoxes = scenario == QLatin1String("quit") || scenario == QLatin1String("codecs") ||
                              scenario == QLatin1String("full") || scenario == QLatin1String("camera");
    QPointer<wMovieViewer> viewer;

    // One step at a time, on the UI thread, as events among the program's own.
    enum class Step { Splash, Load, Watch, Done } step = Step::Splash;
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, [&] {
        switch (step) {
        case Step::Splash:
            // The splash's own timer would close it after 4 s: run its handler now.
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* splash = qobject_cast<wSplash*>(w); splash && splash->isVisible()) {
                    splash->Timer1_Timer();
                    step = Step::Load;
                }
            break;
        case Step::Load: {
            Master* m = Master::instance();
            if (!m || !m->isVisible() || !m->MasterTimer->isActive()) break;
            say("LOADED");
            say(QStringLiteral("PLATFORM ") + QGuiApplication::platformName());
            say(QStringLiteral("WINDOW %1x%2")
                    .arg(m->frameGeometry().width())
                    .arg(m->frameGeometry().height()));
            if (!answersBoxes) MsgBoxTest::disable();
            step = Step::Watch;
            // The user's step runs as an event of its own: a recording waits inside
            // it, and this timer must go on ticking meanwhile.
            QTimer::singleShot(0, m, [m, &step, &viewer, scenario, movie, arguments] {
                if (scenario == QLatin1String("devices")) {
                    char name[256], version[256];
                    for (UINT i = 0; capGetDriverDescriptionA(i, name, sizeof name, version, sizeof version);
                         ++i)
                        std::printf("DEVICE %s\n", name);
                    std::fflush(stdout);
                    step = Step::Done;
                    QCoreApplication::exit(0);
                } else if (scenario == QLatin1String("preview")) {
                    step = Step::Done;
                    QCoreApplication::exit(0);
                } else if (scenario == QLatin1String("record") || scenario == QLatin1String("sound")) {
                    cMaster::SelectMovieMode(*m);
                    m->ShowAudioPanel(scenario == QLatin1String("sound"));
                    m->MovieDisableLimit->setChecked(true);
                    MSVIDEO::MovieFileName = movie;
                    m->GlobalToolbar->button(QStringLiteral("record"))->trigger(); // returns when it ends
                } else if (scenario == QLatin1String("run")) {
                    cMaster::SelectMultipleImageMode(*m);
                    m->MultipleImageMode->setCurrentIndex(0);
                    MSVIDEO::MovieFileName = movie;
                    m->GlobalToolbar->button(QStringLiteral("record"))->trigger();
                    for (int i = 0; i < 3; ++i)
                        m->Shooter->click();
                    say("RUNNING");
                } else if (scenario == QLatin1String("play")) {
                    viewer = wMovieViewer::OpenMovie(movie);
                } else if (scenario == QLatin1String("camera") && arguments.size() >= 2) {
                    const int index = arguments[0].toInt();
                    m->MSVIDEODevice->setCurrentIndex(index); // as the user picks it
                    emit m->MSVIDEODevice->activated(index);
                    const int fd = ::open(QFile::encodeName(arguments[1]).constData(), O_RDWR | O_CLOEXEC);
                    v4l2_control control{V4L2_CID_BRIGHTNESS, 0};
                    if (fd >= 0 && ::ioctl(fd, VIDIOC_G_CTRL, &control) == 0)
                        say(QStringLiteral("BRIGHTNESS %1").arg(control.value));
                    if (fd >= 0 && arguments.size() >= 3) {
                        control.value = arguments[2].toInt();
                        if (::ioctl(fd, VIDIOC_S_CTRL, &control) != 0) say("NOT SET");
                    }
                    if (fd >= 0) ::close(fd);
                    step = Step::Done;
                    m->close();
                } else if (scenario == QLatin1String("quit")) {
                    step = Step::Done;
                    m->close();
                } else if (scenario == QLatin1String("codecs")) {
                    step = Step::Done;
                    wCODECS w(m);
                    int described = 0;
                    for (int i = 0; i < w.codecs->topLevelItemCount(); ++i) {
                        const QString t = w.codecs->topLevelItem(i)->text(0);
                        if (!t.isEmpty() && !t.startsWith(QLatin1String("Unknown CODEC"))) ++described;
                    }
                    say(QStringLiteral("CODECS %1 %2").arg(w.codecs->topLevelItemCount()).arg(described));
                    QCoreApplication::exit(0);
                } else if (scenario == QLatin1String("full")) {
                    m->menuItem(QStringLiteral("ViewMenu"), 3)->trigger(); // returns when it closes
                    step = Step::Done;
                    QCoreApplication::exit(0);
                }
            });
            break;
        }
        case Step::Watch: {
            if (scenario == QLatin1String("play")) {
                if (viewer && !viewer->Movie->view()->picture().isNull()) {
                    const QSize size = viewer->Movie->view()->picture().size();
                    say(QStringLiteral("PLAYING %1x%2").arg(size.width()).arg(size.height()));
                    step = Step::Done;
                    QCoreApplication::exit(0);
                }
                break;
            }
            if (scenario == QLatin1String("full")) {
                // Once the desktop has made it full screen (a Wayland compositor says
                // so a moment after it is shown).
                auto* full = qobject_cast<wMSVIDEOFullScreen*>(QApplication::activeModalWidget());
                const QScreen* screen = full ? full->screen() : nullptr;
                if (!full || !screen || full->geometry() != screen->geometry()) break;
                say(QStringLiteral("FULL %1 %2 %3")
                        .arg(text(full->geometry()), text(screen->geometry()),
                             full->isFullScreen() ? QStringLiteral("fullscreen") : QStringLiteral("normal")));
                QTest::keyClick(full, Qt::Key_Escape);
                step = Step::Done;
                break;
            }
            if (scenario != QLatin1String("record") && scenario != QLatin1String("sound")) break;
            CAPSTATUS status{};
            if (MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, status) && status.fCapturingNow &&
                status.dwCurrentVideoFrame >= 5) {
                say("RECORDING");
                step = Step::Done;
            }
            break;
        }
        case Step::Done:
            break;
        }
    });
    driver.start();
    const int code = StartUp();
    for (const QString& box : MsgBoxTest::texts())
        say(QStringLiteral("BOX ") + QString(box).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    return code;
}
