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
//   idle     (or any other word) leaves the main window idle
// It prints "LOADED" once the main window has loaded, "RECORDING" once a movie has
// frames, and "RUNNING" once a run has three shots.
//
// From the environment: KV_HARNESS_SIGNAL_GRACE_MS sets the grace period for a
// repeated termination signal; with KV_HARNESS_HOLD_END=1 the UI thread stops when
// the first termination signal reaches it, prints "SIGNALLED" and waits until its
// standard input closes, so the orderly end cannot finish before the test's next
// signal.

#include "MSVIDEO.h"
#include "MainModule.h"
#include "Master.h"
#include "TerminationSignals.h"
#include "cMaster.h"
#include "vfw.h"
#include "wSplash.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>

namespace {

void say(const char* word) {
    std::printf("%s\n", word);
    std::fflush(stdout);
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
            step = Step::Watch;
            // The user's step runs as an event of its own: a recording waits inside
            // it, and this timer must go on ticking meanwhile.
            QTimer::singleShot(0, m, [m, &step, scenario, movie] {
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
                } else if (scenario == QLatin1String("record")) {
                    cMaster::SelectMovieMode(*m);
                    m->ShowAudioPanel(false);
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
                }
            });
            break;
        }
        case Step::Watch: {
            if (scenario != QLatin1String("record")) break;
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
    return StartUp();
}
