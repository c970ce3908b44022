#include "MSVIDEO.h"

#include "MsgBox.h"
#include "VfwTestHooks.h"

#include <QWidget>
#include <QtTest>
#include <functional>
#include <set>

namespace {

struct Sent {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

} // namespace

class TestMSVIDEO : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void countDrivers_data();
    void countDrivers();
    void driverTexts();
    void startPreviewPeriods_data();
    void startPreviewPeriods();
    void startPreviewAnswers_data();
    void startPreviewAnswers();
    void operationsSendTheirMessage_data();
    void operationsSendTheirMessage();
    void dialogFailureBoxes_data();
    void dialogFailureBoxes();
    void frameRateToMicroSec_data();
    void frameRateToMicroSec();
    void timeSplits_data();
    void timeSplits();
    void timeToSeconds_data();
    void timeToSeconds();
    void fitCaptureWindowBySums();
    void fitCaptureWindowWithoutStatus();
    void captureFileName();
    void createConnectAndDestroy();
    void audioFormatBufferIsNeverOverrun();
    void resetRestoresStartValues();

private:
    // Scripts every message: records it and answers `answer(message)`.
    void scriptMessages(std::function<LRESULT(UINT)> answer);

    std::vector<Sent> m_sent;
};

void TestMSVIDEO::initTestCase() {
    MsgBoxTest::enable();
}

void TestMSVIDEO::init() {
    MSVIDEO::reset();
    MsgBoxTest::clear();
    m_sent.clear();
}

void TestMSVIDEO::cleanup() {
    VfwTest::setMessageHook({});
    VfwTest::setDescriptionHook({});
}

void TestMSVIDEO::scriptMessages(std::function<LRESULT(UINT)> answer) {
    VfwTest::setMessageHook([this, answer](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        m_sent.push_back({window, message, wParam, lParam});
        return std::optional<LRESULT>(answer(message));
    });
}

void TestMSVIDEO::countDrivers_data() {
    QTest::addColumn<QList<int>>("present");
    QTest::addColumn<int>("count");
    QTest::newRow("0 and 1") << QList<int>{0, 1} << 2;
    QTest::newRow("0 and 2, gap at 1") << QList<int>{0, 2} << 1;
    QTest::newRow("only 1") << QList<int>{1} << 0;
    QTest::newRow("none") << QList<int>{} << 0;
}

void TestMSVIDEO::countDrivers() {
    QFETCH(QList<int>, present);
    QFETCH(int, count);
    VfwTest::setDescriptionHook([present](UINT index) -> std::optional<std::pair<QString, QString>> {
        if (!present.contains(int(index))) return std::nullopt;
        return std::pair(QStringLiteral("Camera %1").arg(index), QStringLiteral("1.%1").arg(index));
    });
    QCOMPARE(MSVIDEO::CountDrivers(), count);
    QCOMPARE(MSVIDEO::HasDrivers(), count > 0);
}

void TestMSVIDEO::driverTexts() {
    VfwTest::setDescriptionHook([](UINT index) -> std::optional<std::pair<QString, QString>> {
        if (index == 0) return std::pair(QStringLiteral("Caméra USB"), QStringLiteral("6.1.0"));
        if (index == 1) // longer than the 128-character buffers: cut, never overrun
            return std::pair(QString(300, QLatin1Char('n')), QString(300, QLatin1Char('v')));
        return std::nullopt;
    });
    QCOMPARE(MSVIDEO::GetDriverName(0), QStringLiteral("Caméra USB"));
    QCOMPARE(MSVIDEO::GetDriverVersion(0), QStringLiteral("6.1.0"));
    QCOMPARE(MSVIDEO::GetDriverName(1), QString(127, QLatin1Char('n')));
    QCOMPARE(MSVIDEO::GetDriverVersion(1), QString(127, QLatin1Char('v')));
    QCOMPARE(MSVIDEO::GetDriverName(2), QStringLiteral("Error!"));
    QCOMPARE(MSVIDEO::GetDriverVersion(2), QStringLiteral("Error!"));
    QCOMPARE(MSVIDEO::GetDriverName(-1), QStringLiteral("Error!"));
}

void TestMSVIDEO::startPreviewPeriods_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("periodMs");
    QTest::newRow("0") << 0 << 0;
    QTest::newRow("negative") << -4 << 0;
    QTest::newRow("3") << 3 << 333;
    QTest::newRow("7") << 7 << 143;
    QTest::newRow("10") << 10 << 100;
    QTest::newRow("12") << 12 << 83;
    QTest::newRow("16") << 16 << 62;
    QTest::newRow("24") << 24 << 42;
    QTest::newRow("40") << 40 << 25;
    QTest::newRow("2000: half rounds to even") << 2000 << 0;
    QTest::newRow("400: 2.5 rounds to 2") << 400 << 2;
    QTest::newRow("667: 1.499 rounds to 1") << 667 << 1;
}

void TestMSVIDEO::startPreviewPeriods() {
    QFETCH(int, rate);
    QFETCH(int, periodMs);
    scriptMessages([](UINT) { return 1; });
    QVERIFY(MSVIDEO::StartPreview(7, rate));
    QCOMPARE(m_sent.size(), std::size_t(2));
    QCOMPARE(m_sent[0].window, HWND(7));
    QCOMPARE(m_sent[0].message, WM_CAP_SET_PREVIEW);
    QCOMPARE(m_sent[0].wParam, WPARAM(1));
    QCOMPARE(m_sent[1].message, WM_CAP_SET_PREVIEWRATE);
    QCOMPARE(m_sent[1].wParam, WPARAM(periodMs));
    QVERIFY(MsgBoxTest::texts().isEmpty());
}

void TestMSVIDEO::startPreviewAnswers_data() {
    QTest::addColumn<LRESULT>("previewAnswer");
    QTest::addColumn<LRESULT>("rateAnswer");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("box");
    QTest::newRow("both succeed") << LRESULT(1) << LRESULT(1) << true << false;
    QTest::newRow("preview fails") << LRESULT(0) << LRESULT(1) << false << false;
    QTest::newRow("rate fails") << LRESULT(1) << LRESULT(0) << false << true;
    QTest::newRow("both fail") << LRESULT(0) << LRESULT(0) << false << true;
}

void TestMSVIDEO::startPreviewAnswers() {
    QFETCH(LRESULT, previewAnswer);
    QFETCH(LRESULT, rateAnswer);
    QFETCH(bool, result);
    QFETCH(bool, box);
    scriptMessages([=](UINT message) { return message == WM_CAP_SET_PREVIEW ? previewAnswer : rateAnswer; });
    QCOMPARE(MSVIDEO::StartPreview(7, 16), result);
    if (box) {
        QCOMPARE(MsgBoxTest::shown().size(), std::size_t(1));
        QCOMPARE(MsgBoxTest::shown()[0].text, QStringLiteral("Ostrelle: Cannot set preview mode."));
        QCOMPARE(MsgBoxTest::shown()[0].style, int(MsgBoxStyle::vbCritical));
        QCOMPARE(MsgBoxTest::shown()[0].title, QStringLiteral("Video Kelvanor 2000"));
    } else {
        QVERIFY(MsgBoxTest::shown().empty());
    }
}

namespace {

struct Operation {
    const char* name;
    std::function<bool(HWND)> call;
    UINT message;
    WPARAM wParam;
    bool hasRecord; // lParam carries a record or text
};

CAPDRIVERCAPS g_caps;
CAPSTATUS g_status;
CAPTUREPARMS g_parms;

LRESULT statusCallback(HWND, int, const char*) {
    return 0;
}

const std::vector<Operation>& operations() {
    static const std::vector<Operation> list = {
        {"SetStatusCallback", [](HWND w) { return MSVIDEO::SetStatusCallback(w, &statusCallback); },
         WM_CAP_SET_CALLBACK_STATUSA, 0, true},
        {"ConnectDriver", [](HWND w) { return MSVIDEO::ConnectDriver(w, 3); }, WM_CAP_DRIVER_CONNECT, 3,
         false},
        {"GetDriverCaps", [](HWND w) { return MSVIDEO::GetDriverCaps(w, g_caps); }, WM_CAP_DRIVER_GET_CAPS,
         44, true},
        {"SetCaptureFileName",
         [](HWND w) { return MSVIDEO::SetCaptureFileName(w, QStringLiteral("/tmp/a.avi")); },
         WM_CAP_FILE_SET_CAPTURE_FILEA, 0, true},
        {"CopyFrameToClipboard", [](HWND w) { return MSVIDEO::CopyFrameToClipboard(w); }, WM_CAP_EDIT_COPY, 0,
         false},
        {"StartOverlay", [](HWND w) { return MSVIDEO::StartOverlay(w); }, WM_CAP_SET_OVERLAY, 1, false},
        {"SetPreviewScale on", [](HWND w) { return MSVIDEO::SetPreviewScale(w, true); }, WM_CAP_SET_SCALE, 1,
         false},
        {"SetPreviewScale off", [](HWND w) { return MSVIDEO::SetPreviewScale(w, false); }, WM_CAP_SET_SCALE,
         0, false},
        {"GetCaptureStatus", [](HWND w) { return MSVIDEO::GetCaptureStatus(w, g_status); }, WM_CAP_GET_STATUS,
         76, true},
        {"CaptureSequence", [](HWND w) { return MSVIDEO::CaptureSequence(w); }, WM_CAP_SEQUENCE, 0, false},
        {"SetCaptureSetup", [](HWND w) { return MSVIDEO::SetCaptureSetup(w, g_parms); },
         WM_CAP_SET_SEQUENCE_SETUP, 96, true},
        {"GetCaptureSetup", [](HWND w) { return MSVIDEO::GetCaptureSetup(w, g_parms); },
         WM_CAP_GET_SEQUENCE_SETUP, 96, true},
        {"StopCapture", [](HWND w) { return MSVIDEO::StopCapture(w); }, WM_CAP_STOP, 0, false},
        {"OpenSingleFrameCapture", [](HWND w) { return MSVIDEO::OpenSingleFrameCapture(w); },
         WM_CAP_SINGLE_FRAME_OPEN, 0, false},
        {"CloseSingleFrameCapture", [](HWND w) { return MSVIDEO::CloseSingleFrameCapture(w); },
         WM_CAP_SINGLE_FRAME_CLOSE, 0, false},
        {"CaptureSingleFrame", [](HWND w) { return MSVIDEO::CaptureSingleFrame(w); }, WM_CAP_SINGLE_FRAME, 0,
         false},
    };
    return list;
}

} // namespace

void TestMSVIDEO::operationsSendTheirMessage_data() {
    QTest::addColumn<int>("operation");
    QTest::addColumn<LRESULT>("answer");
    for (std::size_t i = 0; i < operations().size(); ++i) {
        QTest::newRow(QByteArray(operations()[i].name) + " true") << int(i) << LRESULT(1);
        QTest::newRow(QByteArray(operations()[i].name) + " other nonzero") << int(i) << LRESULT(-2);
        QTest::newRow(QByteArray(operations()[i].name) + " false") << int(i) << LRESULT(0);
    }
}

void TestMSVIDEO::operationsSendTheirMessage() {
    QFETCH(int, operation);
    QFETCH(LRESULT, answer);
    const Operation& op = operations()[std::size_t(operation)];
    scriptMessages([answer](UINT) { return answer; });
    QCOMPARE(op.call(42), answer != 0);
    QCOMPARE(m_sent.size(), std::size_t(1));
    QCOMPARE(m_sent[0].window, HWND(42));
    QCOMPARE(m_sent[0].message, op.message);
    QCOMPARE(m_sent[0].wParam, op.wParam);
    QCOMPARE(m_sent[0].lParam != 0, op.hasRecord);
    QVERIFY(MsgBoxTest::shown().empty());
}

void TestMSVIDEO::dialogFailureBoxes_data() {
    QTest::addColumn<int>("which");
    QTest::addColumn<UINT>("message");
    QTest::addColumn<QString>("text");
    QTest::newRow("format") << 0 << WM_CAP_DLG_VIDEOFORMAT << "Ostrelle: Cannot show Video Format Dialog.";
    QTest::newRow("source") << 1 << WM_CAP_DLG_VIDEOSOURCE << "Ostrelle: Cannot show Video Source Dialog.";
    QTest::newRow("display") << 2 << WM_CAP_DLG_VIDEODISPLAY << "Ostrelle: Cannot show Video Display Dialog.";
    QTest::newRow("compression") << 3 << WM_CAP_DLG_VIDEOCOMPRESSION
                                 << "Ostrelle: Cannot show Video Compression Dialog.";
}

void TestMSVIDEO::dialogFailureBoxes() {
    QFETCH(int, which);
    QFETCH(UINT, message);
    QFETCH(QString, text);
    const std::function<void(HWND)> show[] = {MSVIDEO::ShowVideoFormatDialog, MSVIDEO::ShowVideoSourceDialog,
                                              MSVIDEO::ShowVideoDisplayDialog,
                                              MSVIDEO::ShowVideoCompressionDialog};
    LRESULT answer = 1;
    scriptMessages([&answer](UINT) { return answer; });
    show[which](5);
    QCOMPARE(m_sent.size(), std::size_t(1));
    QCOMPARE(m_sent[0].message, message);
    QVERIFY(MsgBoxTest::shown().empty());

    answer = 0;
    show[which](5);
    QCOMPARE(MsgBoxTest::shown().size(), std::size_t(1));
    QCOMPARE(MsgBoxTest::shown()[0].text, text);
    QCOMPARE(MsgBoxTest::shown()[0].style, int(MsgBoxStyle::vbCritical));
    QCOMPARE(MsgBoxTest::shown()[0].title, QStringLiteral("Video Kelvanor 2000"));

    // With no device (handle 0) the real service answers 0: the box shows too.
    VfwTest::setMessageHook({});
    MsgBoxTest::clear();
    show[which](0);
    QCOMPARE(MsgBoxTest::texts(), QStringList{text});
}

void TestMSVIDEO::frameRateToMicroSec_data() {
    QTest::addColumn<qlonglong>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("0") << 0LL << 0;
    QTest::newRow("negative") << -15LL << 0;
    QTest::newRow("1") << 1LL << 1000000;
    QTest::newRow("15") << 15LL << 66667;
    QTest::newRow("25") << 25LL << 40000;
    QTest::newRow("30") << 30LL << 33333;
    QTest::newRow("66667 back to 15") << 66667LL << 15;
    QTest::newRow("33333 back to 30") << 33333LL << 30;
    QTest::newRow("1000000 back to 1") << 1000000LL << 1;
    QTest::newRow("2000000: half to even 0") << 2000000LL << 0;
    QTest::newRow("400000: 2.5 to 2") << 400000LL << 2;
    QTest::newRow("285714: 3.5 to 4") << 285714LL << 4; // 3.50000..., just above the half
}

void TestMSVIDEO::frameRateToMicroSec() {
    QFETCH(qlonglong, value);
    QFETCH(int, expected);
    QCOMPARE(MSVIDEO::FrameRateToMicroSec(value), expected);
}

void TestMSVIDEO::timeSplits_data() {
    QTest::addColumn<qlonglong>("seconds");
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("secs");
    QTest::newRow("0") << 0LL << 0 << 0 << 0;
    QTest::newRow("3660") << 3660LL << 1 << 1 << 0;
    QTest::newRow("3599") << 3599LL << 0 << 59 << 59;
    QTest::newRow("3725") << 3725LL << 1 << 2 << 5;
    QTest::newRow("86399") << 86399LL << 23 << 59 << 59;
    QTest::newRow("100 hours") << 360000LL << 100 << 0 << 0;
}

void TestMSVIDEO::timeSplits() {
    QFETCH(qlonglong, seconds);
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, secs);
    QCOMPARE(MSVIDEO::HoursPart(seconds), hours);
    QCOMPARE(MSVIDEO::MinutesPart(seconds), minutes);
    QCOMPARE(MSVIDEO::SecondsPart(seconds), secs);
    QCOMPARE(MSVIDEO::TimeToSeconds(hours, minutes, secs), seconds);
}

void TestMSVIDEO::timeToSeconds_data() {
    QTest::addColumn<int>("hours");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<qlonglong>("expected");
    QTest::newRow("-1, 5, 7") << -1 << 5 << 7 << 307LL;
    QTest::newRow("0, -3, 10") << 0 << -3 << 10 << 10LL;
    QTest::newRow("1, 0, 0") << 1 << 0 << 0 << 3600LL;
    QTest::newRow("seconds unbounded") << 0 << 1 << 90 << 150LL;
    QTest::newRow("negative seconds kept") << 0 << 1 << -10 << 50LL;
}

void TestMSVIDEO::timeToSeconds() {
    QFETCH(int, hours);
    QFETCH(int, minutes);
    QFETCH(int, seconds);
    QFETCH(qlonglong, expected);
    QCOMPARE(MSVIDEO::TimeToSeconds(hours, minutes, seconds), expected);
}

void TestMSVIDEO::fitCaptureWindowBySums() {
    QWidget parent;
    parent.resize(1000, 800);
    const HWND window = MSVIDEO::CreateCaptureWindow(&parent);
    QVERIFY(window);
    QVERIFY(MSVIDEO::ConnectDriver(window, MSVIDEO::CountDrivers() - 1)); // the test pattern
    auto* widget = parent.findChild<QWidget*>(QStringLiteral("VIDEO WINDOW"));
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), QRect(0, 0, 160, 120));
    QVERIFY(SetWindowPos(window, 0, 30, 40, 0, 0, SWP_NOSIZE));

    // All zeros: the video's size, the place kept.
    QVERIFY(MSVIDEO::FitCaptureWindow(window, 0, 0, 0, 0));
    QCOMPARE(widget->geometry(), QRect(30, 40, 320, 240));
    // Top 10, left 20, no size: moved only.
    QVERIFY(MSVIDEO::FitCaptureWindow(window, 10, 20, 0, 0));
    QCOMPARE(widget->geometry(), QRect(20, 10, 320, 240));
    // A place and a size.
    QVERIFY(MSVIDEO::FitCaptureWindow(window, 0, 0, 100, 200));
    QCOMPARE(widget->geometry(), QRect(0, 0, 200, 100));
    // The tests are on the sums: top 5 and left -5 add up to 0, so this sizes to the video.
    QVERIFY(MSVIDEO::FitCaptureWindow(window, 5, -5, 0, 0));
    QCOMPARE(widget->geometry(), QRect(0, 0, 320, 240));
    QVERIFY(MSVIDEO::DestroyCaptureWindow(window));
}

void TestMSVIDEO::fitCaptureWindowWithoutStatus() {
    scriptMessages([](UINT) { return 0; });
    QVERIFY(!MSVIDEO::FitCaptureWindow(9, 0, 0, 240, 320));
    QCOMPARE(m_sent.size(), std::size_t(1));
    QCOMPARE(m_sent[0].message, WM_CAP_GET_STATUS);
    VfwTest::setMessageHook({});
    QVERIFY(!MSVIDEO::FitCaptureWindow(0, 0, 0, 0, 0));
}

void TestMSVIDEO::captureFileName() {
    QCOMPARE(MSVIDEO::GetCaptureFileName(0), QString());
    QWidget parent;
    const HWND window = MSVIDEO::CreateCaptureWindow(&parent);
    // Not connected yet: the window still knows its file.
    QVERIFY(MSVIDEO::GetCaptureFileName(window).endsWith(QStringLiteral("/capture.avi")));
    QVERIFY(QDir::isAbsolutePath(MSVIDEO::GetCaptureFileName(window)));
    QVERIFY(MSVIDEO::ConnectDriver(window, MSVIDEO::CountDrivers() - 1));
    QVERIFY(MSVIDEO::SetCaptureFileName(window, QStringLiteral("/tmp/ünïcode movie.avi")));
    QCOMPARE(MSVIDEO::GetCaptureFileName(window), QStringLiteral("/tmp/ünïcode movie.avi"));
    MSVIDEO::DestroyCaptureWindow(window);
    QCOMPARE(MSVIDEO::GetCaptureFileName(window), QString());
}

void TestMSVIDEO::createConnectAndDestroy() {
    QVERIFY(!MSVIDEO::DestroyCaptureWindow(0));
    QWidget parent;
    const HWND window = MSVIDEO::CreateCaptureWindow(&parent);
    QVERIFY(window);
    auto* widget = parent.findChild<QWidget*>(QStringLiteral("VIDEO WINDOW"));
    QVERIFY(widget);
    QVERIFY(!widget->isHidden());
    QVERIFY(!MSVIDEO::GetDriverCaps(window, MSVIDEO::CapDriverCaps)); // nothing connected yet
    QVERIFY(MSVIDEO::ConnectDriver(window, MSVIDEO::CountDrivers() - 1));
    QVERIFY(MSVIDEO::GetDriverCaps(window, MSVIDEO::CapDriverCaps));
    QCOMPARE(MSVIDEO::CapDriverCaps.fHasDlgVideoFormat, 1);
    QVERIFY(MSVIDEO::StartPreview(window, 16));
    QVERIFY(MSVIDEO::GetCaptureStatus(window, MSVIDEO::CapStatus));
    QCOMPARE(MSVIDEO::CapStatus.fLiveWindow, 1);
    QVERIFY(MSVIDEO::DestroyCaptureWindow(window));
    QVERIFY(!parent.findChild<QWidget*>(QStringLiteral("VIDEO WINDOW")));
    QVERIFY(!MSVIDEO::GetCaptureStatus(window, MSVIDEO::CapStatus));
    QVERIFY(!MSVIDEO::DestroyCaptureWindow(window));
}

void TestMSVIDEO::audioFormatBufferIsNeverOverrun() {
    scriptMessages([](UINT) { return 18; });
    QVERIFY(MSVIDEO::GetAudioFormat(3, MSVIDEO::AudioFormat, 22));
    QCOMPARE(m_sent[0].message, WM_CAP_GET_AUDIOFORMAT);
    QCOMPARE(m_sent[0].wParam, WPARAM(sizeof(WAVEFORMATEX)));
    QCOMPARE(m_sent[0].lParam, reinterpret_cast<LPARAM>(&MSVIDEO::AudioFormat));
    // And from the real window: the record is filled.
    VfwTest::setMessageHook({});
    QWidget parent;
    const HWND window = MSVIDEO::CreateCaptureWindow(&parent);
    QVERIFY(MSVIDEO::ConnectDriver(window, MSVIDEO::CountDrivers() - 1));
    QVERIFY(MSVIDEO::GetAudioFormat(window, MSVIDEO::AudioFormat, 22));
    QCOMPARE(MSVIDEO::AudioFormat.wFormatTag, WAVE_FORMAT_PCM);
    QVERIFY(MSVIDEO::AudioFormat.nSamplesPerSec > 0);
    MSVIDEO::DestroyCaptureWindow(window);
}

void TestMSVIDEO::resetRestoresStartValues() {
    MSVIDEO::CaptureWindow = 5;
    MSVIDEO::PreviewRate = 30;
    MSVIDEO::CaptureParms.fYield = 1;
    MSVIDEO::MovieFileName = QStringLiteral("x.avi");
    MSVIDEO::OtherInfo[2] = QStringLiteral("subject");
    MSVIDEO::reset();
    QCOMPARE(MSVIDEO::CaptureWindow, HWND(0));
    QCOMPARE(MSVIDEO::PreviewRate, qint16(10));
    QCOMPARE(MSVIDEO::CaptureParms.fYield, 0);
    QVERIFY(MSVIDEO::MovieFileName.isEmpty());
    QVERIFY(MSVIDEO::OtherInfo[2].isEmpty());
}

QTEST_MAIN(TestMSVIDEO)
#include "tst_msvideo.moc"
