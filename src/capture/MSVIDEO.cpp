#include "MSVIDEO.h"

#include "CaptureWindow.h"
#include "MsgBox.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

namespace MSVIDEO {
namespace {

constexpr int kTextBuffer = 128;
const char* const kNoDriver = "Error!";

// numerator / denominator for positive values, rounded to the nearest whole number
// with halves to even.
qint64 divideRoundHalfEven(qint64 numerator, qint64 denominator) {
    qint64 quotient = numerator / denominator;
    const qint64 twiceRemainder = 2 * (numerator % denominator);
    if (twiceRemainder > denominator || (twiceRemainder == denominator && (quotient & 1))) ++quotient;
    return quotient;
}

bool send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageA(window, message, wParam, lParam) != 0;
}

void dialog(HWND window, UINT message, const char* failure) {
    if (!send(window, message))
        MsgBox(QString::fromLatin1(failure), MsgBoxStyle::vbCritical, QString::fromLatin1(kAppTitle));
}

// Name (or version) of driver `index`, "Error!" when there is none.
QString describe(int index, bool name) {
    std::array<char, kTextBuffer> driverName{};
    std::array<char, kTextBuffer> driverVersion{};
    if (index < 0 || capGetDriverDescriptionA(UINT(index), driverName.data(), kTextBuffer,
                                              driverVersion.data(), kTextBuffer) != 1)
        return QString::fromLatin1(kNoDriver);
    driverName.back() = driverVersion.back() = '\0';
    return QString::fromLocal8Bit(name ? driverName.data() : driverVersion.data());
}

} // namespace

void reset() {
    CaptureWindow = 0;
    CaptureResult = 0;
    DeviceIndex = 0;
    PreviewRate = 10;
    CapStatus = {};
    CapDriverCaps = {};
    CaptureParms = {};
    AudioFormat = {};
    MovieFrameRate = 0;
    MovieFileName.clear();
    resetOtherInfo();
}

QString GetDriverName(int index) {
    return describe(index, true);
}

QString GetDriverVersion(int index) {
    return describe(index, false);
}

int CountDrivers() {
    int count = 0;
    while (GetDriverName(count) != QLatin1String(kNoDriver))
        ++count;
    return count;
}

bool HasDrivers() {
    return CountDrivers() > 0;
}

HWND CreateCaptureWindow(QWidget* parent) {
    return capCreateCaptureWindowA("VIDEO WINDOW", WS_CHILD | WS_VISIBLE, 0, 0, 160, 120, parent, 0);
}

bool DestroyCaptureWindow(HWND window) {
    send(window, WM_CAP_DRIVER_DISCONNECT);
    return DestroyWindow(window) != 0;
}

bool FitCaptureWindow(HWND window, int top, int left, int height, int width) {
    CAPSTATUS status{};
    if (!GetCaptureStatus(window, status)) return false;
    // The tests are on the sums, as the callers use them: all zeros, or a place of 0, 0
    // with the video's size.
    if (left + top + height + width == 0)
        SetWindowPos(window, 0, 0, 0, int(status.uiImageWidth), int(status.uiImageHeight),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOSENDCHANGING);
    else if (height + width == 0)
        SetWindowPos(window, 0, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOSENDCHANGING);
    else
        SetWindowPos(window, 0, left, top, width, height, SWP_NOZORDER | SWP_NOSENDCHANGING);
    return true;
}

bool SetStatusCallback(HWND window, CAPSTATUSCALLBACK callback) {
    return send(window, WM_CAP_SET_CALLBACK_STATUSA, 0, reinterpret_cast<LPARAM>(callback));
}

bool ConnectDriver(HWND window, int index) {
    return send(window, WM_CAP_DRIVER_CONNECT, WPARAM(index));
}

bool GetDriverCaps(HWND window, CAPDRIVERCAPS& caps) {
    // Without an answer the record is empty: it must not go on describing the
    // driver that was connected before.
    if (send(window, WM_CAP_DRIVER_GET_CAPS, sizeof caps, reinterpret_cast<LPARAM>(&caps))) return true;
    caps = {};
    return false;
}

bool SetCaptureFileName(HWND window, const QString& path) {
    const QByteArray bytes = path.toLocal8Bit();
    return send(window, WM_CAP_FILE_SET_CAPTURE_FILEA, 0, reinterpret_cast<LPARAM>(bytes.constData()));
}

QString GetCaptureFileName(HWND window) {
    // Room for any path the system allows, in bytes of its 8-bit form.
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    if (!send(window, WM_CAP_FILE_GET_CAPTURE_FILEA, WPARAM(buffer.size()),
              reinterpret_cast<LPARAM>(buffer.data())))
        return QString();
    buffer.back() = '\0';
    return QString::fromLocal8Bit(buffer.data());
}

bool CopyFrameToClipboard(HWND window) {
    return send(window, WM_CAP_EDIT_COPY);
}

bool GetAudioFormat(HWND window, WAVEFORMATEX& format, int size) {
    // The record is 18 bytes; the driver is never told that a larger buffer is there.
    const WPARAM bytes = WPARAM(std::clamp<int>(size, 0, int(sizeof format)));
    return send(window, WM_CAP_GET_AUDIOFORMAT, bytes, reinterpret_cast<LPARAM>(&format));
}

void ShowVideoFormatDialog(HWND window) {
    dialog(window, WM_CAP_DLG_VIDEOFORMAT, "Ostrelle: Cannot show Video Format Dialog.");
}

void ShowVideoSourceDialog(HWND window) {
    dialog(window, WM_CAP_DLG_VIDEOSOURCE, "Ostrelle: Cannot show Video Source Dialog.");
}

void ShowVideoDisplayDialog(HWND window) {
    dialog(window, WM_CAP_DLG_VIDEODISPLAY, "Ostrelle: Cannot show Video Display Dialog.");
}

void ShowVideoCompressionDialog(HWND window) {
    dialog(window, WM_CAP_DLG_VIDEOCOMPRESSION, "Ostrelle: Cannot show Video Compression Dialog.");
}

int PreviewPeriodMs(int framesPerSecond) {
    return framesPerSecond < 1 ? 0 : int(divideRoundHalfEven(1000, framesPerSecond));
}

bool StartPreview(HWND window, int framesPerSecond) {
    const int periodMs = PreviewPeriodMs(framesPerSecond);
    const bool previewOn = send(window, WM_CAP_SET_PREVIEW, 1);
    if (!send(window, WM_CAP_SET_PREVIEWRATE, WPARAM(periodMs))) {
        MsgBox(QStringLiteral("Ostrelle: Cannot set preview mode."), MsgBoxStyle::vbCritical,
               QString::fromLatin1(kAppTitle));
        return false;
    }
    return previewOn;
}

bool StartOverlay(HWND window) {
    return send(window, WM_CAP_SET_OVERLAY, 1);
}

bool SetPreviewScale(HWND window, bool on) {
    return send(window, WM_CAP_SET_SCALE, on ? 1 : 0);
}

bool GetCaptureStatus(HWND window, CAPSTATUS& status) {
    if (send(window, WM_CAP_GET_STATUS, sizeof status, reinterpret_cast<LPARAM>(&status))) return true;
    status = {}; // as with the capabilities: nothing of an earlier device stays
    return false;
}

bool CaptureSequence(HWND window) {
    return send(window, WM_CAP_SEQUENCE);
}

bool SetCaptureSetup(HWND window, const CAPTUREPARMS& parms) {
    return send(window, WM_CAP_SET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<LPARAM>(&parms));
}

bool GetCaptureSetup(HWND window, CAPTUREPARMS& parms) {
    return send(window, WM_CAP_GET_SEQUENCE_SETUP, sizeof parms, reinterpret_cast<LPARAM>(&parms));
}

bool StopCapture(HWND window) {
    return send(window, WM_CAP_STOP);
}

bool SetFrameSize(HWND window, QSize size, QString* reason) {
    ::CaptureWindow* w = ::CaptureWindow::find(window);
    if (!w) {
        if (reason) *reason = QStringLiteral("No device is connected.");
        return false;
    }
    return w->setFrameSize(size, reason);
}

bool SetCompressor(HWND window, const QString& encoder, QString* reason) {
    ::CaptureWindow* w = ::CaptureWindow::find(window);
    if (!w) {
        if (reason) *reason = QStringLiteral("No device is connected.");
        return false;
    }
    QStringList names;
    for (const VideoEncoderInfo& info : aviVideoEncoders()) {
        if (info.name == encoder) {
            VideoCompression compression = w->compression();
            compression.encoder = encoder;
            w->setCompression(compression);
            return true;
        }
        names << info.name;
    }
    if (reason)
        *reason = QStringLiteral("There is no video encoder \"%1\" for AVI; there are: %2.")
                      .arg(encoder, names.join(QStringLiteral(", ")));
    return false;
}

QString DeviceProblem(HWND window) {
    ::CaptureWindow* w = ::CaptureWindow::find(window);
    return w ? w->problem() : QStringLiteral("No device is connected.");
}

bool OpenSingleFrameCapture(HWND window) {
    return send(window, WM_CAP_SINGLE_FRAME_OPEN);
}

bool CloseSingleFrameCapture(HWND window) {
    return send(window, WM_CAP_SINGLE_FRAME_CLOSE);
}

bool CaptureSingleFrame(HWND window) {
    return send(window, WM_CAP_SINGLE_FRAME);
}

qint32 FrameRateToMicroSec(qint64 value) {
    if (value <= 0) return 0;
    return qint32(divideRoundHalfEven(1000000, value));
}

qint32 HoursPart(qint64 seconds) {
    return qint32(std::max<qint64>(0, seconds) / 3600);
}

qint32 MinutesPart(qint64 seconds) {
    return qint32(std::max<qint64>(0, seconds) % 3600 / 60);
}

qint32 SecondsPart(qint64 seconds) {
    return qint32(std::max<qint64>(0, seconds) % 60);
}

qint64 TimeToSeconds(qint64 hours, qint64 minutes, qint64 seconds) {
    return std::max<qint64>(0, hours) * 3600 + std::max<qint64>(0, minutes) * 60 + seconds;
}

} // namespace MSVIDEO
