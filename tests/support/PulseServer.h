#pragma once

// A private PulseAudio server with a null sink for tests that need a real sound
// source: the sink's monitor is the default source, and a tone played into the
// sink is what a recording hears. Started and stopped by its process id.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtMath>

class PulseServer {
public:
    // Empty when the server runs; otherwise why it does not.
    QString start() {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty())
            return QStringLiteral("pulseaudio is not installed (packages pulseaudio and pulseaudio-utils)");
        m_socket = m_dir.filePath(QStringLiteral("native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
        env.insert(QStringLiteral("HOME"), m_dir.path());
        m_server.setProcessEnvironment(env);
        m_server.setProcessChannelMode(QProcess::MergedChannels);
        m_server.start(
            QStringLiteral("pulseaudio"),
            {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"), QStringLiteral("-n"),
             QStringLiteral("--use-pid-file=no"), QStringLiteral("--load=module-null-sink sink_name=kvsink"),
             QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + m_socket});
        if (!m_server.waitForStarted()) return QStringLiteral("pulseaudio does not start");
        qputenv("PULSE_SERVER", ("unix:" + m_socket).toLocal8Bit());
        qputenv("PULSE_SOURCE", "kvsink.monitor");
        qputenv("PULSE_SINK", "kvsink");
        QElapsedTimer waited;
        waited.start();
        // Bounded wait for the server to answer (it takes a few hundred ms).
        while (waited.elapsed() < 10000) {
            if (m_server.state() != QProcess::Running)
                return QStringLiteral("pulseaudio exited: ") + QString::fromLocal8Bit(m_server.readAll());
            QProcess info;
            info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
            if (info.waitForFinished(3000) && info.exitCode() == 0) return {};
            m_server.waitForReadyRead(100);
        }
        return QStringLiteral("pulseaudio does not answer");
    }

    // Plays a sine tone into the sink until stop() (a 30 s loop of it).
    bool playTone(int hz = 440) {
        const int rate = 44100;
        QByteArray pcm(rate * 30 * 2, Qt::Uninitialized);
        auto* s = reinterpret_cast<int16_t*>(pcm.data());
        for (int i = 0; i < rate * 30; ++i)
            s[i] = int16_t(12000 * qSin(2 * M_PI * hz * i / rate));
        const QString file = m_dir.filePath(QStringLiteral("tone.raw"));
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly) || f.write(pcm) != pcm.size()) return false;
        f.close();
        m_tone.start(QStringLiteral("pacat"),
                     {QStringLiteral("--playback"), QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                      QStringLiteral("--rate=44100"), QStringLiteral("--channels=1"), file});
        return m_tone.waitForStarted();
    }

    void stop() {
        for (QProcess* p : {&m_tone, &m_server}) {
            if (p->state() == QProcess::NotRunning) continue;
            p->terminate();
            if (!p->waitForFinished(5000)) p->kill();
            p->waitForFinished(5000);
        }
        qunsetenv("PULSE_SERVER");
        qunsetenv("PULSE_SOURCE");
        qunsetenv("PULSE_SINK");
    }
    ~PulseServer() { stop(); }

private:
    QTemporaryDir m_dir;
    QString m_socket;
    QProcess m_server;
    QProcess m_tone;
};
