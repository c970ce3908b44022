#pragma once

// The parts of a desktop session that the program meets, each started and stopped by the
// test itself in a throwaway XDG_RUNTIME_DIR, never the machine's own:
//  - a headless Weston, the Wayland compositor (packages weston and qt6-wayland);
//  - PipeWire with WirePlumber and PipeWire's PulseAudio server, on a private session
//    bus (packages pipewire, wireplumber, pipewire-pulse, dbus-daemon), with a null sink
//    whose monitor is the default source;
// and the program itself (the harness) run in that session as a process.
// start() answers empty when the service runs, otherwise why it does not; a missing
// package is said as such, so the test can skip on it and on nothing else.

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtMath>
#include <csignal>
#include <list>

class DesktopSession {
public:
    DesktopSession() {
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~DesktopSession() { stop(); }

    QString runtimeDir() const { return m_runtime.path(); }
    // The environment of a program in this session: the runtime folder, a home of its
    // own, and what the started services add.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY", "PULSE_SERVER", "PULSE_SINK", "PULSE_SOURCE",
                                 "DBUS_SESSION_BUS_ADDRESS", "KELVANOR_FOLDER"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
        env.insert(QStringLiteral("HOME"), m_runtime.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_runtime.filePath(QStringLiteral("home/.local/share")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_runtime.filePath(QStringLiteral("home/.config")));
        for (auto it = m_env.cbegin(); it != m_env.cend(); ++it)
            env.insert(it.key(), it.value());
        return env;
    }

    // A headless Weston of 1024 x 768 pixels; its clients use Qt's Wayland platform.
    QString startWeston() {
        if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
            return QStringLiteral("weston is not installed (package weston)");
        const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                               QStringLiteral("/platforms/libqwayland-generic.so");
        if (!QFile::exists(plugin))
            return QStringLiteral("Qt's Wayland platform is not installed (package qt6-wayland)");
        const QString socket = QStringLiteral("kv-wayland");
        QProcess& weston =
            launch(QStringLiteral("weston"),
                   {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--socket=") + socket,
                    QStringLiteral("--idle-time=0"), QStringLiteral("--width=1024"),
                    QStringLiteral("--height=768"), QStringLiteral("--no-config")});
        if (!weston.waitForStarted()) return QStringLiteral("weston does not start");
        if (!waitFor(weston, [&] { return QFileInfo::exists(m_runtime.filePath(socket)); }))
            return QStringLiteral("weston makes no socket: ") +
                   QString::fromLocal8Bit(weston.readAll().right(2000));
        m_env.insert(QStringLiteral("WAYLAND_DISPLAY"), socket);
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        return {};
    }

    // PipeWire, WirePlumber and pipewire-pulse (no PulseAudio daemon), a null sink
    // "kvsink" as the default sink and its monitor as the default source.
    QString startPipeWire() {
        for (const auto& [program, package] :
             {std::pair{"pipewire", "pipewire"}, std::pair{"wireplumber", "wireplumber"},
              std::pair{"pipewire-pulse", "pipewire-pulse"}, std::pair{"dbus-daemon", "dbus-daemon"},
              std::pair{"pactl", "pulseaudio-utils"}})
            if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
                return QStringLiteral("%1 is not installed (package %2)").arg(program, package);
        // WirePlumber needs a session bus: a private one.
        const QString bus = QStringLiteral("unix:path=") + m_runtime.filePath(QStringLiteral("bus"));
        QProcess& dbus =
            launch(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--address=") + bus});
        if (!dbus.waitForStarted() ||
            !waitFor(dbus, [&] { return QFileInfo::exists(m_runtime.filePath(QStringLiteral("bus"))); }))
            return QStringLiteral("dbus-daemon does not start: ") +
                   QString::fromLocal8Bit(dbus.readAll().right(2000));
        m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), bus);
        QProcess& pipewire = launch(QStringLiteral("pipewire"), {});
        if (!pipewire.waitForStarted() || !waitFor(pipewire, [&] {
                return QFileInfo::exists(m_runtime.filePath(QStringLiteral("pipewire-0")));
            }))
            return QStringLiteral("pipewire does not start: ") +
                   QString::fromLocal8Bit(pipewire.readAll().right(2000));
        QProcess& wireplumber = launch(QStringLiteral("wireplumber"), {});
        QProcess& pulse = launch(QStringLiteral("pipewire-pulse"), {});
        const QString socket = m_runtime.filePath(QStringLiteral("pulse/native"));
        if (!wireplumber.waitForStarted() || !pulse.waitForStarted() ||
            !waitFor(pulse, [&] { return QFileInfo::exists(socket); }))
            return QStringLiteral("pipewire-pulse does not start: ") +
                   QString::fromLocal8Bit(pulse.readAll().right(2000));
        m_env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:") + socket);
        QString out;
        if (!pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                    QStringLiteral("sink_name=kvsink")},
                   &out))
            return QStringLiteral("no null sink: ") + out;
        m_env.insert(QStringLiteral("PULSE_SINK"), QStringLiteral("kvsink"));
        m_env.insert(QStringLiteral("PULSE_SOURCE"), QStringLiteral("kvsink.monitor"));
        // WirePlumber links streams to their targets: wait until it has made the sink the
        // default, which it does once it runs.
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired()) {
            if (wireplumber.state() != QProcess::Running)
                return QStringLiteral("wireplumber exited: ") +
                       QString::fromLocal8Bit(wireplumber.readAll().right(2000));
            if (pactl({QStringLiteral("info")}, &out) && out.contains(QStringLiteral("Default Sink: kvsink")))
                return {};
            wireplumber.waitForReadyRead(100);
        }
        return QStringLiteral("wireplumber does not take the null sink: ") + out;
    }

    // Runs pactl against this session's sound server.
    bool pactl(const QStringList& args, QString* output = nullptr) {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("pactl"), args);
        const bool ok =
            p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (output) *output = QString::fromLocal8Bit(p.readAll());
        return ok;
    }

    // Plays a 440 Hz tone into the sink until stop() (a 30 s stretch of it).
    bool playTone() {
        const int rate = 44100;
        QByteArray pcm(rate * 30 * 2, Qt::Uninitialized);
        auto* s = reinterpret_cast<int16_t*>(pcm.data());
        for (int i = 0; i < rate * 30; ++i)
            s[i] = int16_t(12000 * qSin(2 * M_PI * 440 * i / rate));
        const QString file = m_runtime.filePath(QStringLiteral("tone.raw"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(pcm) != pcm.size()) return false;
        f.close();
        QProcess& tone =
            launch(QStringLiteral("pacat"),
                   {QStringLiteral("--playback"), QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                    QStringLiteral("--rate=44100"), QStringLiteral("--channels=1"), file});
        return tone.waitForStarted();
    }

    // Ends every process it started, the last started first.
    void stop() {
        for (auto it = m_processes.rbegin(); it != m_processes.rend(); ++it) {
            if (it->state() == QProcess::NotRunning) continue;
            it->terminate();
            if (!it->waitForFinished(5000)) it->kill();
            it->waitForFinished(5000);
        }
        m_processes.clear();
        m_env.clear();
    }

private:
    QProcess& launch(const QString& program, const QStringList& args) {
        QProcess& p = m_processes.emplace_back();
        QDir().mkpath(m_runtime.filePath(QStringLiteral("home")));
        p.setProcessEnvironment(environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args);
        return p;
    }
    // Bounded wait for a started service to be ready, watching its output meanwhile.
    template <class Ready> static bool waitFor(QProcess& p, Ready ready) {
        QDeadlineTimer deadline(20000);
        while (!ready()) {
            if (p.state() != QProcess::Running || deadline.hasExpired()) return false;
            p.waitForReadyRead(50);
        }
        return true;
    }

    QTemporaryDir m_runtime;
    QMap<QString, QString> m_env;
    std::list<QProcess> m_processes;
};

// The program (the harness) as a process in a session, in a folder of its own.
struct ProgramRun {
    QTemporaryDir dir;
    QProcess process;
    QByteArray output;

    ~ProgramRun() {
        if (process.state() == QProcess::NotRunning) return;
        process.kill(); // a failed test leaves it running
        process.waitForFinished(10000);
    }

    // Starts `scenario` with `env`; the program's folder is this run's, unless `folder` is
    // false (then it is the home's data folder, as for a user).
    void start(QProcessEnvironment env, const QStringList& args, bool ownFolder = true,
               const QString& workingDirectory = QString()) {
        if (ownFolder) env.insert(QStringLiteral("KELVANOR_FOLDER"), dir.path());
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workingDirectory.isEmpty() ? dir.path() : workingDirectory);
        process.start(QStringLiteral(KV_HARNESS), args);
    }
    // Waits for a line that starts with `word` and answers it (empty when none came).
    QString waitFor(const QByteArray& word, int ms = 60000) {
        const QDeadlineTimer deadline(ms);
        while (true) {
            for (const QByteArray& line : output.split('\n'))
                if (line == word || line.startsWith(word + ' ')) return QString::fromLocal8Bit(line);
            if (process.state() == QProcess::NotRunning || deadline.hasExpired()) return {};
            process.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
            output += process.readAllStandardOutput();
        }
    }
    bool finished(int ms = 60000) {
        const bool done = process.waitForFinished(ms);
        output += process.readAllStandardOutput();
        return done;
    }
    bool endedCleanly() const {
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }
    void signal(int number) { ::kill(pid_t(process.processId()), number); }
    QString describe() {
        return QStringLiteral("exit %1 (%2); output: %3; stderr: %4")
            .arg(process.exitCode())
            .arg(process.exitStatus() == QProcess::NormalExit ? "normal" : "crashed")
            .arg(QString::fromLocal8Bit(output.right(2000)),
                 QString::fromLocal8Bit(process.readAllStandardError().right(2000)));
    }
};
