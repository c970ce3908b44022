// The capture service as the program sees it: only vfw.h and Qt.
#include "drivers/TestPattern.h"
#include "vfw.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <cstring>

class TestVfwApi : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void listsTheDriversWithTheTestPatternLast();
    void connectReadsCapsAndStatus();
    void previewPaintsNewFrames();
    void editCopyPutsTheFrameOnTheClipboard();
    void formatDialogChangesTheStatus();
    void captureFileDefaultsAndReplacement();
    void sequenceSetupDefaultsAndRoundTrip();
    void audioFormatRoundTrip();
    void setWindowPosMovesAndSizes();
    void statusCallbackHearsPreview();
    void deadHandlesAnswerZero_data();
    void deadHandlesAnswerZero();

private:
    UINT testPatternIndex() const;
    HWND connectTestPattern();
    QImage grabVideo() const;

    std::unique_ptr<QWidget> m_parent;
    HWND m_window = 0;
};

namespace {

std::vector<std::pair<int, QString>> g_statuses;

LRESULT recordStatus(HWND, int id, const char* text) {
    g_statuses.emplace_back(id, QString::fromLocal8Bit(text));
    return 0;
}

// Runs `action` on the modal dialog that the next message opens.
void onNextDialog(std::function<void(QDialog*)> action) {
    QTimer::singleShot(0, [action] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        action(dialog);
    });
}

} // namespace

void TestVfwApi::init() {
    m_parent = std::make_unique<QWidget>();
    m_parent->resize(800, 600);
    m_parent->show();
    g_statuses.clear();
}

void TestVfwApi::cleanup() {
    DestroyWindow(m_window);
    m_window = 0;
    m_parent.reset();
}

UINT TestVfwApi::testPatternIndex() const {
    char name[128];
    char version[128];
    UINT index = 0;
    while (capGetDriverDescriptionA(index + 1, name, sizeof name, version, sizeof version))
        ++index;
    return index;
}

HWND TestVfwApi::connectTestPattern() {
    m_window =
        capCreateCaptureWindowA("VIDEO WINDOW", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, m_parent.get(), 0);
    if (m_window && !SendMessageA(m_window, WM_CAP_DRIVER_CONNECT, testPatternIndex(), 0)) return 0;
    return m_window;
}

QImage TestVfwApi::grabVideo() const {
    CAPSTATUS status{};
    SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof status, LPARAM(&status));
    return m_parent->grab(QRect(0, 0, int(status.uiImageWidth), int(status.uiImageHeight))).toImage();
}

void TestVfwApi::listsTheDriversWithTheTestPatternLast() {
    char name[128];
    char version[128];
    const UINT last = testPatternIndex();
    QVERIFY(capGetDriverDescriptionA(last, name, sizeof name, version, sizeof version));
    QCOMPARE(QString::fromLocal8Bit(name), QStringLiteral("Kelvanor Test Pattern"));
    QVERIFY(std::strlen(version) > 0);
    QVERIFY(!capGetDriverDescriptionA(last + 1, name, sizeof name, version, sizeof version));
    // Texts are cut to the buffer, NUL included.
    char small[5];
    QVERIFY(capGetDriverDescriptionA(last, small, sizeof small, version, sizeof version));
    QCOMPARE(QByteArray(small), QByteArray("Kelv"));
}

void TestVfwApi::connectReadsCapsAndStatus() {
    QVERIFY(connectTestPattern());
    CAPDRIVERCAPS caps{};
    QVERIFY(SendMessageA(m_window, WM_CAP_DRIVER_GET_CAPS, sizeof caps, LPARAM(&caps)));
    QCOMPARE(caps.wDeviceIndex, testPatternIndex());
    QCOMPARE(caps.fHasOverlay, 1);
    QCOMPARE(caps.fHasDlgVideoSource, 1);
    QCOMPARE(caps.fHasDlgVideoFormat, 1);
    QCOMPARE(caps.fHasDlgVideoDisplay, 1);
    CAPSTATUS status{};
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
    QCOMPARE(status.uiImageWidth, 320u);
    QCOMPARE(status.uiImageHeight, 240u);
    QCOMPARE(status.fLiveWindow, 0);
    QCOMPARE(status.fCapturingNow, 0);
    // A reconnect to a driver that does not exist fails and leaves nothing connected.
    QVERIFY(!SendMessageA(m_window, WM_CAP_DRIVER_CONNECT, testPatternIndex() + 1, 0));
    QVERIFY(!SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
}

void TestVfwApi::previewPaintsNewFrames() {
    QVERIFY(connectTestPattern());
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_PREVIEW, 1, 0));
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_PREVIEWRATE, 62, 0));
    QVERIFY(SetWindowPos(m_window, 0, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER));
    CAPSTATUS status{};
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
    QCOMPARE(status.fLiveWindow, 1);
    QCOMPARE(status.fOverlayWindow, 0);
    int first = -1;
    QTRY_VERIFY_WITH_TIMEOUT((first = decodeFrameNumberStrip(grabVideo())) >= 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(decodeFrameNumberStrip(grabVideo()) > first, 10000);
    // Overlay replaces preview.
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_OVERLAY, 1, 0));
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
    QCOMPARE(status.fLiveWindow, 0);
    QCOMPARE(status.fOverlayWindow, 1);
}

void TestVfwApi::editCopyPutsTheFrameOnTheClipboard() {
    QVERIFY(connectTestPattern());
    QApplication::clipboard()->clear();
    // No preview running: the copy waits for the driver's first frame.
    QVERIFY(SendMessageA(m_window, WM_CAP_EDIT_COPY, 0, 0));
    const QImage picture = QApplication::clipboard()->image();
    QCOMPARE(picture.size(), QSize(320, 240));
    QVERIFY(decodeFrameNumberStrip(picture) >= 0);
}

void TestVfwApi::formatDialogChangesTheStatus() {
    QVERIFY(connectTestPattern());
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_PREVIEW, 1, 0));
    onNextDialog([](QDialog* dialog) {
        auto* size = dialog->findChild<QComboBox*>(QStringLiteral("frameSize"));
        auto* rate = dialog->findChild<QComboBox*>(QStringLiteral("frameRate"));
        QVERIFY(size && rate);
        size->setCurrentIndex(size->findText(QStringLiteral("320 x 240")));
        rate->setCurrentIndex(rate->findText(QStringLiteral("25 frames/s")));
        QVERIFY(size->currentIndex() >= 0 && rate->currentIndex() >= 0);
        dialog->accept();
    });
    QVERIFY(SendMessageA(m_window, WM_CAP_DLG_VIDEOFORMAT, 0, 0));
    CAPSTATUS status{};
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
    QCOMPARE(status.uiImageWidth, 320u);
    QCOMPARE(status.uiImageHeight, 240u);
    QVERIFY(SendMessageA(m_window, WM_CAP_EDIT_COPY, 0, 0));
    QTRY_COMPARE_WITH_TIMEOUT(QApplication::clipboard()->image().size(), QSize(320, 240), 5000);

    // Cancel changes nothing.
    onNextDialog([](QDialog* dialog) {
        auto* size = dialog->findChild<QComboBox*>(QStringLiteral("frameSize"));
        size->setCurrentIndex(size->findText(QStringLiteral("160 x 120")));
        dialog->reject();
    });
    QVERIFY(SendMessageA(m_window, WM_CAP_DLG_VIDEOFORMAT, 0, 0));
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_STATUS, sizeof status, LPARAM(&status)));
    QCOMPARE(status.uiImageWidth, 320u);
}

void TestVfwApi::captureFileDefaultsAndReplacement() {
    QVERIFY(connectTestPattern());
    char buffer[512];
    QVERIFY(SendMessageA(m_window, WM_CAP_FILE_GET_CAPTURE_FILEA, sizeof buffer, LPARAM(buffer)));
    QString folder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    if (folder.isEmpty()) folder = QDir::homePath();
    QCOMPARE(QString::fromLocal8Bit(buffer), QDir(folder).absoluteFilePath(QStringLiteral("capture.avi")));
    QVERIFY(SendMessageA(m_window, WM_CAP_FILE_SET_CAPTURE_FILEA, 0, LPARAM("/tmp/movie é.avi")));
    QVERIFY(SendMessageA(m_window, WM_CAP_FILE_GET_CAPTURE_FILEA, sizeof buffer, LPARAM(buffer)));
    QCOMPARE(QString::fromLocal8Bit(buffer), QStringLiteral("/tmp/movie é.avi"));
    // A short buffer gets a cut, NUL-terminated text.
    char small[6];
    QVERIFY(SendMessageA(m_window, WM_CAP_FILE_GET_CAPTURE_FILEA, sizeof small, LPARAM(small)));
    QCOMPARE(QByteArray(small), QByteArray("/tmp/"));
    QVERIFY(!SendMessageA(m_window, WM_CAP_FILE_SET_CAPTURE_FILEA, 0, LPARAM("")));
}

void TestVfwApi::sequenceSetupDefaultsAndRoundTrip() {
    QVERIFY(connectTestPattern());
    CAPTUREPARMS parms{};
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_SEQUENCE_SETUP, sizeof parms, LPARAM(&parms)));
    QCOMPARE(parms.dwRequestMicroSecPerFrame, 66667u);
    QCOMPARE(parms.wPercentDropForError, 10u);
    QCOMPARE(parms.fYield, 0);
    QCOMPARE(parms.dwIndexSize, 34952u);
    QCOMPARE(parms.vKeyAbort, 0x1Bu);
    QCOMPARE(parms.fAbortLeftMouse, 1);
    QCOMPARE(parms.fAbortRightMouse, 1);
    QCOMPARE(parms.fLimitEnabled, 0);
    QCOMPARE(parms.AVStreamMaster, AVSTREAMMASTER_AUDIO);
    parms.fYield = 1;
    parms.wTimeLimit = 90;
    parms.fLimitEnabled = 1;
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_SEQUENCE_SETUP, sizeof parms, LPARAM(&parms)));
    CAPTUREPARMS back{};
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_SEQUENCE_SETUP, sizeof back, LPARAM(&back)));
    QCOMPARE(std::memcmp(&parms, &back, sizeof parms), 0);
    // A record that is too small is refused.
    QVERIFY(!SendMessageA(m_window, WM_CAP_SET_SEQUENCE_SETUP, 40, LPARAM(&parms)));
}

void TestVfwApi::audioFormatRoundTrip() {
    QVERIFY(connectTestPattern());
    // The program asks with a 22-byte buffer: only the record's own 18 bytes are written.
    unsigned char buffer[22];
    std::memset(buffer, 0xEE, sizeof buffer);
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_AUDIOFORMAT, sizeof buffer, LPARAM(buffer)));
    WAVEFORMATEX format{};
    std::memcpy(&format, buffer, sizeof format);
    QCOMPARE(format.wFormatTag, WAVE_FORMAT_PCM);
    QCOMPARE(buffer[18], 0xEE);
    format.nChannels = 2;
    format.wBitsPerSample = 16;
    format.nSamplesPerSec = 44100;
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_AUDIOFORMAT, sizeof format, LPARAM(&format)));
    WAVEFORMATEX back{};
    QVERIFY(SendMessageA(m_window, WM_CAP_GET_AUDIOFORMAT, sizeof back, LPARAM(&back)));
    QCOMPARE(back.nChannels, WORD(2));
    QCOMPARE(back.nSamplesPerSec, 44100u);
    QCOMPARE(back.nBlockAlign, WORD(4));
    QCOMPARE(back.nAvgBytesPerSec, 176400u);
    format.wBitsPerSample = 12;
    QVERIFY(!SendMessageA(m_window, WM_CAP_SET_AUDIOFORMAT, sizeof format, LPARAM(&format)));
}

void TestVfwApi::setWindowPosMovesAndSizes() {
    QVERIFY(connectTestPattern());
    auto* widget = m_parent->childAt(5, 5);
    QVERIFY(widget);
    QVERIFY(SetWindowPos(m_window, 0, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOSENDCHANGING));
    QCOMPARE(widget->geometry(), QRect(10, 20, 160, 120));
    QVERIFY(SetWindowPos(m_window, 0, 99, 99, 320, 240, SWP_NOMOVE | SWP_NOZORDER));
    QCOMPARE(widget->geometry(), QRect(10, 20, 320, 240));
    QVERIFY(SetWindowPos(m_window, 0, 0, 0, 640, 480, SWP_NOZORDER));
    QCOMPARE(widget->geometry(), QRect(0, 0, 640, 480));
}

void TestVfwApi::statusCallbackHearsPreview() {
    QVERIFY(connectTestPattern());
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_CALLBACK_STATUSA, 0, LPARAM(&recordStatus)));
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_PREVIEW, 1, 0));
    QCOMPARE(g_statuses.size(), std::size_t(1));
    QCOMPARE(g_statuses[0].first, IDS_CAP_STAT_LIVE_MODE);
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_CALLBACK_STATUSA, 0, 0));
    QVERIFY(SendMessageA(m_window, WM_CAP_SET_OVERLAY, 1, 0));
    QCOMPARE(g_statuses.size(), std::size_t(1));
}

void TestVfwApi::deadHandlesAnswerZero_data() {
    QTest::addColumn<UINT>("message");
    for (UINT message : {WM_CAP_DRIVER_CONNECT,
                         WM_CAP_DRIVER_DISCONNECT,
                         WM_CAP_DRIVER_GET_CAPS,
                         WM_CAP_FILE_SET_CAPTURE_FILEA,
                         WM_CAP_FILE_GET_CAPTURE_FILEA,
                         WM_CAP_EDIT_COPY,
                         WM_CAP_GET_AUDIOFORMAT,
                         WM_CAP_SET_AUDIOFORMAT,
                         WM_CAP_DLG_VIDEOFORMAT,
                         WM_CAP_DLG_VIDEOSOURCE,
                         WM_CAP_DLG_VIDEODISPLAY,
                         WM_CAP_DLG_VIDEOCOMPRESSION,
                         WM_CAP_SET_PREVIEW,
                         WM_CAP_SET_OVERLAY,
                         WM_CAP_SET_PREVIEWRATE,
                         WM_CAP_SET_SCALE,
                         WM_CAP_GET_STATUS,
                         WM_CAP_SEQUENCE,
                         WM_CAP_SET_SEQUENCE_SETUP,
                         WM_CAP_GET_SEQUENCE_SETUP,
                         WM_CAP_STOP,
                         WM_CAP_SINGLE_FRAME_OPEN,
                         WM_CAP_SINGLE_FRAME_CLOSE,
                         WM_CAP_SINGLE_FRAME,
                         WM_CAP_SET_CALLBACK_STATUSA})
        QTest::newRow(QByteArray("0x") + QByteArray::number(message, 16)) << message;
}

void TestVfwApi::deadHandlesAnswerZero() {
    QFETCH(UINT, message);
    // Records large enough for any message, so that a wrong answer cannot write out of bounds.
    alignas(8) char buffer[512] = "/tmp/x.avi";
    QCOMPARE(SendMessageA(0, message, 1, LPARAM(buffer)), LRESULT(0));
    QVERIFY(connectTestPattern());
    const HWND dead = m_window;
    QVERIFY(DestroyWindow(dead));
    m_window = 0;
    QCOMPARE(SendMessageA(dead, message, sizeof buffer, LPARAM(buffer)), LRESULT(0));
    QVERIFY(!DestroyWindow(dead));
    QVERIFY(!SetWindowPos(dead, 0, 0, 0, 10, 10, 0));
    // A window destroyed with its parent is dead too.
    QVERIFY(connectTestPattern());
    const HWND orphan = m_window;
    m_parent.reset();
    m_window = 0;
    QCOMPARE(SendMessageA(orphan, message, sizeof buffer, LPARAM(buffer)), LRESULT(0));
    m_parent = std::make_unique<QWidget>();
}

QTEST_MAIN(TestVfwApi)
#include "tst_vfwapi.moc"
