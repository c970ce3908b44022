#include "CommandRun.h"

#include "CameraSettings.h"
#include "DiskSpace.h"
#include "DriverList.h"
#include "EventLog.h"
#include "InstanceLock.h"
#include "JPEG.h"
#include "MSVIDEO.h"
#include "MainModule.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "PictureFile.h"
#include "ScheduledStart.h"
#include "TerminationSignals.h"
#include "TextInsertion.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "cMaster.h"
#include "vfw.h"
#include "wImage.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace CommandRun {

namespace {

using CommandLine::Command;
using CommandLine::Request;

void say(const QString& text) {
    std::fputs(("kelvanor: " + text + '\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

QString fourccText(std::uint32_t fourcc) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        const char c = char((fourcc >> (8 * i)) & 0xFF);
        text += QLatin1Char(c >= 32 && c < 127 ? c : '?');
    }
    return text;
}

QString rateText(const FrameInterval& interval) {
    const double fps = interval.framesPerSecond();
    return fps == double(qint64(fps)) ? QString::number(qint64(fps)) : QString::number(fps, 'f', 2);
}

// "5,10,15", or "1-60" for a run of every whole rate between two.
QStringList ratesText(const std::vector<FrameInterval>& intervals) {
    QStringList rates;
    std::vector<double> fps;
    for (const FrameInterval& interval : intervals) {
        rates << rateText(interval);
        fps.push_back(interval.framesPerSecond());
    }
    std::sort(fps.begin(), fps.end());
    bool run = fps.size() > 2;
    for (std::size_t i = 0; run && i < fps.size(); ++i)
        run = fps[i] == double(qint64(fps[i])) && (i == 0 || fps[i] == fps[i - 1] + 1);
    if (run) return {QStringLiteral("%1-%2").arg(qint64(fps.front())).arg(qint64(fps.back()))};
    return rates;
}

QString sizeText(qint64 bytes) {
    if (bytes < 1024 * 1024) return QStringLiteral("%1 kB").arg(double(bytes) / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

QString clockText(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool isBitmapName(const QString& path) {
    return path.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive);
}

// The one line that shows how a recording or a run goes: rewritten in place on a
// terminal, a line a second elsewhere (with --progress), nothing otherwise.
class ProgressLine {
public:
    using Reading = std::function<QString()>;

    ProgressLine(bool forced, Reading reading)
        : m_terminal(::isatty(STDERR_FILENO) == 1), m_on(m_terminal || forced),
          m_reading(std::move(reading)) {
        m_timer.setInterval(m_terminal ? 250 : 1000);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { show(); });
    }
    void start() {
        if (!m_on) return;
        show();
        m_timer.start();
    }
    // The last reading, and the line ended.
    void finish() {
        if (!m_on || !m_timer.isActive()) return;
        m_timer.stop();
        show();
        if (m_terminal) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    void show() {
        const QString text = m_reading();
        if (m_terminal)
            std::fputs(("\r" + text + "\x1b[K").toLocal8Bit().constData(), stderr);
        else
            std::fputs((text + '\n').toLocal8Bit().constData(), stderr);
        std::fflush(stderr);
    }

    bool m_terminal;
    bool m_on;
    Reading m_reading;
    QTimer m_timer;
};

// One capture command, from the loaded form to the written file.
class Runner {
public:
    explicit Runner(const Request& request) : r(request) {}

    int run(const QString& folder);

private:
    int fail(const QString& text) {
        say(text);
        WriteLog(QStringLiteral("Command line: failed: ") + text);
        return 1;
    }
    int usage(const QString& text) {
        say(text);
        std::fputs("Try 'kelvanor --help' for the options.\n", stderr);
        return 2;
    }
    int setUp();
    bool waitForTheStart();
    int shot(const QString& path, int quality);
    int movie();
    int multipleImageRun();
    void onSignal(int signalNumber);
    QString boxesText() const { return m_boxes.join(QLatin1Char(' ')); }

    const Request& r;
    Master* m = nullptr;
    QStringList m_boxes; // what message boxes said meanwhile
    QEventLoop* m_waiting = nullptr;
    std::function<void()> m_stop; // ends what is under way as its stop does
    int m_signal = 0;
};

int Runner::run(const QString& folder) {
    // Checked before anything is opened, so a mistyped name costs nothing.
    if (r.command == Command::Shot || r.command == Command::Record) {
        if (const QString why = whyNotWritable(r.file); !why.isEmpty()) {
            say(why);
            return 1;
        }
    }
    if (r.command == Command::Run) {
        const QFileInfo info(r.file);
        if (!info.isFile() || !info.isReadable()) {
            say(QStringLiteral("Cannot read the parameters file %1: %2.")
                    .arg(r.file, info.exists() ? QStringLiteral("not a readable file")
                                               : QStringLiteral("there is no such file")));
            return 1;
        }
        if (!r.output.isEmpty())
            if (const QString why = whyNotWritable(r.output); !why.isEmpty()) {
                say(why);
                return 1;
            }
    }
    int device = -1;
    if (!r.device.isEmpty()) {
        QString reason;
        device = findDevice(r.device, &reason);
        if (device < 0) {
            say(reason);
            return 1;
        }
    }

    std::unique_ptr<InstanceLock> lock;
    QString refusal;
    if (!OpenProgramFolder(folder, lock, &refusal)) {
        say(refusal);
        return 1;
    }
    WriteLog(QStringLiteral("Command line: ") + QCoreApplication::arguments().mid(1).join(QLatin1Char(' ')));

    // Nobody is there to press a box's button: what it says is kept for the message.
    MsgBoxHandler::set([this](const QString& text, int style, const QString&) {
        m_boxes << QString(text).replace(QLatin1Char('\n'), QLatin1Char(' '));
        WriteLog(QStringLiteral("Command line: box: ") + m_boxes.constLast());
        return MsgBoxHandler::firstButton(style);
    });
    struct Restore {
        ~Restore() {
            MsgBoxHandler::set({});
            CameraSettings::setReadOnly(false);
        }
    } restore;

    MasterEvents::setInitialValues();
    TerminationSignals termination;
    termination.setForcedEndLog(LogPath());
    QObject::connect(&termination, &TerminationSignals::requested, &termination,
                     [this](int signalNumber) { onSignal(signalNumber); });

    CameraSettings::setReadOnly(true);
    QPointer<Master> form = new Master;
    m = form.data();
    auto* events = new MasterEvents(*m);
    events->Form_Load({false, device});
    int code = setUp();
    if (code < 0) {
        code = 1;
        if (waitForTheStart()) {
            switch (r.command) {
            case Command::Shot:
                code = shot(r.file, r.quality);
                break;
            case Command::Record:
                code = movie();
                break;
            case Command::Run:
                if (m->MoviePanel->Visible())
                    code = movie();
                else if (m->ImagePanel->Visible())
                    code = shot(r.output, 90);
                else
                    code = multipleImageRun();
                break;
            default:
                break;
            }
        }
    }
    WriteLog(QStringLiteral("Command line: end (%1)").arg(code));
    // The capture window and its camera thread go while everything they use exists.
    delete form.data();
    return code;
}

// -1 when the capture can go ahead; else the exit status.
int Runner::setUp() {
    const QString problem = MSVIDEO::DeviceProblem(MSVIDEO::CaptureWindow);
    const QString deviceName = m->MSVIDEODevice->currentText();
    if (!problem.isEmpty())
        return fail(QStringLiteral("The device %1 cannot be used: %2").arg(deviceName, problem));
    if (r.size.isValid()) {
        QString reason;
        if (!MSVIDEO::SetFrameSize(MSVIDEO::CaptureWindow, r.size, &reason)) return fail(reason);
    }

    switch (r.command) {
    case Command::Shot:
        cMaster::SelectImageMode(*m);
        applyShotStamps(*m, r);
        return -1;
    case Command::Record:
        cMaster::SelectMovieMode(*m);
        MSVIDEO::MovieFileName = r.file;
        break;
    case Command::Run: {
        if (!cMaster::LoadCaptureParameters(*m, r.file))
            return fail(QStringLiteral("%1 is not a capture parameters file (or it ends before its mode).")
                            .arg(r.file));
        if (m->WebcamPanel->Visible())
            return fail(QStringLiteral("%1 is set up for webcam mode, which captures nothing.").arg(r.file));
        if (m->ImagePanel->Visible()) {
            if (r.output.isEmpty())
                return usage(
                    QStringLiteral("%1 is set up for image mode: give the shot's file with --output FILE.")
                        .arg(r.file));
            return -1;
        }
        if (!r.output.isEmpty()) MSVIDEO::MovieFileName = r.output;
        if (m->MultipleImagePanel->Visible()) {
            if (m->MultipleImageMode->currentIndex() == 5)
                return fail(
                    QStringLiteral("%1 puts its shots on the clipboard, which a capture without a window "
                                   "cannot keep; save it with another shoot type.")
                        .arg(r.file));
            if (MSVIDEO::MovieFileName.isEmpty())
                return usage(QStringLiteral("%1 names no file: give one with --output FILE.").arg(r.file));
            const QString check =
                m->MultipleImageMode->currentIndex() == 0
                    ? MSVIDEO::MovieFileName
                    : cMaster::WithExtension(MSVIDEO::MovieFileName, 4, QStringLiteral("jpg"));
            if (const QString why = whyNotWritable(check); !why.isEmpty()) return fail(why);
            return -1;
        }
        break;
    }
    default:
        return fail(QStringLiteral("Nothing to do."));
    }
    // A movie: the movie and audio panels as the command line asks.
    if (r.command == Command::Record) {
        m->MovieDisableLimit->setChecked(!r.seconds.has_value());
        if (r.seconds) {
            m->MovieHoursControl->setValue(MSVIDEO::HoursPart(*r.seconds));
            m->MovieMinutesControl->setValue(MSVIDEO::MinutesPart(*r.seconds));
            m->MovieSecondsControl->setValue(MSVIDEO::SecondsPart(*r.seconds));
        }
        if (r.rate) m->MovieFrameRateControl->setValue(*r.rate);
        if (r.sound) m->ShowAudioPanel(*r.sound);
        if (!r.encoder.isEmpty()) {
            QString reason;
            if (!MSVIDEO::SetCompressor(MSVIDEO::CaptureWindow, r.encoder, &reason)) return fail(reason);
        }
    }
    if (MSVIDEO::MovieFileName.isEmpty())
        return usage(QStringLiteral("%1 names no movie file: give one with --output FILE.").arg(r.file));
    if (const QString why = whyNotWritable(MSVIDEO::MovieFileName); !why.isEmpty()) return fail(why);
    return -1;
}

bool Runner::waitForTheStart() {
    if (m_signal) {
        fail(QStringLiteral("Ended by signal %1 before the capture started.").arg(m_signal));
        return false;
    }
    if (!r.at && !r.afterSeconds) return true;
    ScheduledWait wait;
    if (r.at)
        wait.setMoment(*r.at);
    else
        wait.setDelay(*r.afterSeconds);
    WriteLog(r.at ? QStringLiteral("Command line: the capture starts at ") +
                        r.at->toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                  : QStringLiteral("Command line: the capture starts after %1 s").arg(*r.afterSeconds));
    // No frames are needed meanwhile: the camera rests until the start.
    SendMessageA(MSVIDEO::CaptureWindow, WM_CAP_SET_PREVIEW, FALSE, 0);
    QEventLoop loop;
    QObject::connect(&wait, &ScheduledWait::due, &loop, &QEventLoop::quit);
    m_waiting = &loop;
    ProgressLine progress(r.progress, [&wait] {
        return QStringLiteral("starts in %1").arg(clockText(wait.remainingMs() + 999));
    });
    wait.start();
    progress.start();
    if (!wait.isDone()) loop.exec();
    progress.finish();
    m_waiting = nullptr;
    if (m_signal) {
        fail(QStringLiteral("Ended by signal %1 before the capture started.").arg(m_signal));
        return false;
    }
    cMSVIDEO::SetPreviewMode(*m, MSVIDEO::PreviewRate);
    if (const QString problem = MSVIDEO::DeviceProblem(MSVIDEO::CaptureWindow); !problem.isEmpty()) {
        fail(
            QStringLiteral("The device %1 cannot be used: %2").arg(m->MSVIDEODevice->currentText(), problem));
        return false;
    }
    return true;
}

void Runner::onSignal(int signalNumber) {
    WriteLog(QStringLiteral("Command line: signal %1").arg(signalNumber));
    m_signal = signalNumber;
    if (m_waiting) m_waiting->quit();
    if (m_stop) m_stop();
}

int Runner::shot(const QString& path, int quality) {
    // The image mode's capture action: one stamped shot into the image window.
    cMaster::CaptureAction(*m, true);
    QString reason;
    if (!writeShot(*m, path, quality, &reason)) {
        if (!m_boxes.isEmpty()) reason += QLatin1Char(' ') + boxesText();
        return fail(reason);
    }
    return 0;
}

int Runner::movie() {
    const QString file = MSVIDEO::MovieFileName;
    ProgressLine progress(r.progress, [file] {
        CAPSTATUS s{};
        MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, s);
        return QStringLiteral("recording %1  frames %2  dropped %3  %4")
            .arg(clockText(s.dwCurrentTimeElapsedMS))
            .arg(s.dwCurrentVideoFrame)
            .arg(s.dwCurrentVideoFramesDropped)
            .arg(sizeText(QFileInfo(file).size()));
    });
    // The capture action returns once the movie is closed (the capture does not yield).
    MSVIDEO::CaptureParms.fYield = 0;
    m_stop = [] { MSVIDEO::StopCapture(MSVIDEO::CaptureWindow); };
    // A signal that comes while the recording is being set up (the capture action
    // passes pending events before it starts) finds nothing to stop yet: it is
    // repeated until the recording has ended.
    QTimer repeat;
    repeat.setInterval(100);
    QObject::connect(&repeat, &QTimer::timeout, [this] {
        if (m_signal) MSVIDEO::StopCapture(MSVIDEO::CaptureWindow);
    });
    repeat.start();
    progress.start();
    cMaster::CaptureAction(*m, true);
    progress.finish();
    repeat.stop();
    m_stop = nullptr;
    const bool ok = MSVIDEO::CaptureResult != 0;
    const QString lastError = cMSVIDEO::LastErrorText();
    if (!ok) {
        QString reason = lastError.isEmpty() ? m->StatusString->text() : lastError;
        if (reason.isEmpty()) reason = QStringLiteral("the capture did not start.");
        const bool kept = QFileInfo(file).isFile();
        return fail(
            QStringLiteral("The recording into %1 failed: %2%3")
                .arg(file, reason,
                     kept ? QStringLiteral(" The movie holds what was recorded until then.") : QString()));
    }
    if (!lastError.isEmpty()) say(QStringLiteral("warning: ") + lastError);
    if (m_signal) WriteLog(QStringLiteral("Command line: recording ended by signal %1").arg(m_signal));
    return 0;
}

int Runner::multipleImageRun() {
    // Nobody is there to press Shoot: the shots come every interval.
    m->MultipleImageAutoShoot->setChecked(true);
    const int type = m->MultipleImageMode->currentIndex();
    const QString file = MSVIDEO::MovieFileName;
    QElapsedTimer elapsed;
    elapsed.start();
    qint32 shots = 0;
    ProgressLine progress(r.progress, [&] {
        const QString sizeOf = type == 0 ? file : QString();
        return QStringLiteral("run %1  shots %2%3")
            .arg(clockText(elapsed.elapsed()))
            .arg(shots)
            .arg(sizeOf.isEmpty() ? QString() : QStringLiteral("  ") + sizeText(QFileInfo(sizeOf).size()));
    });

    QEventLoop loop;
    QString failure;
    bool ended = false;
    const auto end = [&] {
        if (ended) return;
        // A shot that waits for its frame finishes first.
        if (cMaster::ShotInProgress()) {
            QTimer::singleShot(20, &loop, [&] {
                if (!ended && m_stop) m_stop();
            });
            return;
        }
        ended = true;
        cMaster::CaptureAction(*m, false);
        if (type == 0 && MSVIDEO::CaptureResult == 0 && failure.isEmpty())
            failure =
                QStringLiteral("The movie %1 could not be closed: %2").arg(file, cMSVIDEO::LastErrorText());
        loop.quit();
    };
    m_stop = end;
    // After each tick of the interval timer (and so after its shot): the count, and
    // whatever went wrong.
    const QMetaObject::Connection afterTick =
        QObject::connect(m->MultipleImageTimer, &QTimer::timeout, &loop, [&] {
            if (ended) return;
            shots = Vars::ImageCounter;
            const QString status = m->StatusString->text();
            if (status.startsWith(QLatin1String("Cannot write ")))
                failure = status;
            else if (!m_boxes.isEmpty())
                failure = boxesText();
            else if (type == 0 && !cMSVIDEO::LastErrorText().isEmpty())
                failure = cMSVIDEO::LastErrorText();
            if (!failure.isEmpty() || (r.count && shots >= *r.count && !cMaster::ShotInProgress())) end();
        });

    cMaster::CaptureAction(*m, true);
    if (type == 0 && MSVIDEO::CaptureResult == 0) {
        QObject::disconnect(afterTick);
        m_stop = nullptr;
        cMaster::CaptureAction(*m, false);
        QFile::remove(file);
        const QString why = cMSVIDEO::LastErrorText();
        return fail(QStringLiteral("The movie %1 cannot be made: %2")
                        .arg(file, why.isEmpty() ? m->StatusString->text() : why));
    }
    progress.start();
    if (!ended && !m_signal) loop.exec();
    if (!ended) end();
    progress.finish();
    QObject::disconnect(afterTick);
    m_stop = nullptr;
    if (!failure.isEmpty()) return fail(QStringLiteral("The run failed: ") + failure);
    return 0;
}

} // namespace

int run(const CommandLine::Parsed& parsed) {
    const Request& r = parsed.request;
    if (r.command == Command::ListDevices) {
        std::fputs(deviceListing().toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
        return 0;
    }
    Runner runner(r);
    return runner.run(parsed.folder);
}

QString deviceListing() {
    QString out;
    const std::vector<DriverList::Entry> entries = DriverList::entries();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DriverList::Entry& e = entries[i];
        out += QStringLiteral("%1: %2 (%3)\n")
                   .arg(i)
                   .arg(e.name, e.node.isEmpty() ? QStringLiteral("built-in") : e.node);
        std::unique_ptr<CaptureDriver> driver = e.create ? e.create() : nullptr;
        if (!driver || !driver->open()) {
            out += QStringLiteral("    cannot be opened: %1\n").arg(driver ? driver->lastError() : QString());
            continue;
        }
        // One line per pixel format: its sizes, each with its rates.
        std::vector<std::pair<std::uint32_t, QStringList>> lines;
        QStringList names;
        for (const FormatOption& o : driver->formats()) {
            auto it =
                std::find_if(lines.begin(), lines.end(), [&](const auto& l) { return l.first == o.fourcc; });
            if (it == lines.end()) {
                lines.push_back({o.fourcc, {}});
                names << o.pixelFormatName;
                it = lines.end() - 1;
            }
            const QStringList rates = ratesText(o.intervals);
            it->second << QStringLiteral("%1x%2%3")
                              .arg(o.size.width())
                              .arg(o.size.height())
                              .arg(rates.isEmpty() ? QString()
                                                   : QLatin1Char('@') + rates.join(QLatin1Char(',')));
        }
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const QString name = names[qsizetype(k)];
            out += QStringLiteral("    %1%2: %3\n")
                       .arg(fourccText(lines[k].first),
                            name.isEmpty() ? QString() : QStringLiteral(" (") + name + QLatin1Char(')'),
                            lines[k].second.join(QLatin1Char(' ')));
        }
        driver->close();
    }
    return out;
}

int findDevice(const QString& wanted, QString* reason) {
    const std::vector<DriverList::Entry> entries = DriverList::entries();
    bool isNumber = false;
    const int index = wanted.toInt(&isNumber);
    if (isNumber) {
        if (index >= 0 && std::size_t(index) < entries.size()) return index;
    } else {
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].name.compare(wanted, Qt::CaseInsensitive) == 0 || entries[i].node == wanted ||
                (!entries[i].node.isEmpty() && QFileInfo(wanted).canonicalFilePath() == entries[i].node))
                return int(i);
    }
    QStringList there;
    for (std::size_t i = 0; i < entries.size(); ++i)
        there << QStringLiteral("%1: %2").arg(i).arg(entries[i].name);
    if (reason)
        *reason = QStringLiteral("There is no device '%1'. The devices are: %2.")
                      .arg(wanted, there.join(QStringLiteral(", ")));
    return -1;
}

void applyShotStamps(Master& m, const Request& request) {
    const struct {
        const CommandLine::Stamp& stamp;
        const char* key;
        QComboBox* place;
        quint32* colour;
        QLabel* swatch;
    } stamps[] = {
        {request.time, "time", m.ImageTimePosition, &Vars::StampTimeColor, m.ImageTimeColor},
        {request.date, "date", m.ImageDatePosition, &Vars::StampDateColor, m.ImageDateColor},
        {request.text, "text", m.ImageTextPosition, &Vars::StampTextColor, m.ImageTextColor},
    };
    for (const auto& s : stamps) {
        m.ImageToolbar->setValue(QLatin1String(s.key), s.stamp.place >= 0 ? 1 : 0);
        if (s.stamp.place >= 0) s.place->setCurrentIndex(s.stamp.place);
        if (s.stamp.colour) {
            *s.colour = *s.stamp.colour;
            Master::paintSwatch(s.swatch, *s.colour);
        }
    }
    m.ImageText->setText(request.stampText);
    cMaster::UpdateStampText(m);
}

bool writeShot(Master& m, const QString& path, int quality, QString* reason) {
    wImage* window = wImage::mainInstance(m.MDIClient);
    PictureBox& box = *window->MasterImage();
    if (!box.hasPicture()) {
        const QString problem = MSVIDEO::DeviceProblem(MSVIDEO::CaptureWindow);
        *reason = QStringLiteral("No picture came from the device%1")
                      .arg(problem.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + problem);
        return false;
    }
    QString error;
    const bool ok =
        isBitmapName(path) ? WriteBitmapFile(box, path, &error) : WriteJpegImage(box, path, quality);
    if (ok) return true;
    const auto free = DiskSpace::freeBytesFor(path);
    if (free && *free < quint64(box.image().sizeInBytes()))
        error = QStringLiteral("there is no room left on its disk");
    *reason = QStringLiteral("Cannot write %1%2")
                  .arg(path, error.isEmpty() ? QStringLiteral(".")
                                             : QStringLiteral(": ") + error + QLatin1Char('.'));
    return false;
}

QString whyNotWritable(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) return QStringLiteral("Cannot write %1: it is a folder.").arg(path);
    const QFileInfo folder(info.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("Cannot write %1: the folder %2 does not exist.").arg(path, folder.filePath());
    // The writers put a file beside the old one and rename it: the folder must take it.
    if (::access(QFile::encodeName(folder.filePath()).constData(), W_OK | X_OK) != 0)
        return QStringLiteral("Cannot write %1: the folder %2 cannot be written to.")
            .arg(path, folder.filePath());
    if (info.exists() && ::access(QFile::encodeName(path).constData(), W_OK) != 0)
        return QStringLiteral("Cannot write %1: the file cannot be replaced.").arg(path);
    return {};
}

} // namespace CommandRun
