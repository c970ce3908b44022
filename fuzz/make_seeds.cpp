// Writes the valid seeds of the fuzz corpora with the program's own writers, and a
// few broken ones made from them (cut short, a byte changed, sizes that lie).
// Usage: fuzz_make_seeds <corpus folder>   (fuzz/corpus)
#include "AviFile.h"
#include "JPEG.h"
#include "JpegEncoder.h"
#include "MsgBox.h"
#include "PictureBox.h"
#include "PictureFile.h"
#include "Registry.h"
#include "SystemDirectory.h"
#include "recorder/SingleFrameWriter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <cstdio>
#include <linux/videodev2.h>

namespace {

QString g_root;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put(const char* corpus, const char* name, const QByteArray& bytes) {
    const QString folder = g_root + QLatin1Char('/') + QLatin1String(corpus);
    QDir().mkpath(folder);
    QFile file(folder + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        std::fprintf(stderr, "cannot write %s/%s\n", corpus, name);
}

QByteArray flipped(QByteArray bytes, qsizetype at) {
    if (at < bytes.size()) bytes[at] = char(bytes[at] ^ 0xFF);
    return bytes;
}

QImage picture(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QPainter painter(&image);
    painter.fillRect(0, 0, size.width() / 2, size.height() / 2, Qt::yellow);
    painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, QStringLiteral("KL"));
    return image;
}

QByteArray cameraHeader(int format, std::uint32_t width, std::uint32_t height, std::uint32_t bytesPerLine,
                        std::uint32_t used) {
    QByteArray h(1, char(format));
    for (auto [value, bytes] : {std::pair{width, 2}, {height, 2}, {bytesPerLine, 4}, {used, 4}})
        for (int i = 0; i < bytes; ++i)
            h += char((value >> (8 * i)) & 0xFF);
    return h;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds <corpus folder>\n");
        return 2;
    }
    g_root = QString::fromLocal8Bit(argv[1]);
    MsgBoxTest::enable();
    QTemporaryDir scratch;

    // codec.kl as the build makes it.
    const QByteArray codecs = readAll(QStringLiteral(KV_CODEC_INFO));
    put("codecinfo", "codec.kl", codecs);
    put("codecinfo", "cut.kl", codecs.left(codecs.size() / 3));
    put("codecinfo", "header-only.kl", codecs.left(codecs.indexOf('\n') + 1));
    put("codecinfo", "flipped.kl", flipped(codecs, 3));
    put("codecinfo", "quoted.kl", QByteArray("\"LM3111!DPEFD!JOGP!:1:2\"xx,NKQH!Npujpo\r\n\"OKQH\n", 46));

    // system.ini as the program writes it for this machine.
    SystemDirectory::setPath(scratch.filePath(QStringLiteral("system")));
    SystemDirectory::writeSystemIni();
    const QByteArray ini = readAll(SystemDirectory::path() + QStringLiteral("/system.ini"));
    put("systemini", "system.ini", ini);
    put("systemini", "cut.ini", ini.left(ini.size() / 2));
    put("systemini", "quoted.ini",
        "[drivers32]\r\nVIDC.\"MJPG=unclosed\nVIDC.AB\n[DRIVERS]\nVIDC.IV50=ir50.dll,\"x\"y\n");

    // The registry file, values of every type written through the registry calls.
    const QString store = scratch.filePath(QStringLiteral("registry.ini"));
    Registry::setStorePath(store);
    {
        using namespace Registry;
        Key info, own;
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                       info.out());
        RegSetValueEx(info.get(), QStringLiteral("PATH"), REG_SZ, QByteArray("/usr/bin/msinfo32", 18));
        RegCreateKeyEx(HKEY_CURRENT_USER, QStringLiteral("Software\\Kelvanor"), own.out());
        RegSetValueEx(own.get(), QStringLiteral("text"), REG_SZ, QByteArray("a, b = c", 9));
        RegSetValueEx(own.get(), QStringLiteral("number"), REG_DWORD, QByteArray("\x2c\x01\0\0", 4));
        RegSetValueEx(own.get(), QStringLiteral("bytes"), REG_BINARY, QByteArray("\x01\x02\xff", 3));
        RegSetValueEx(own.get(), QStringLiteral("typed"), 7, QByteArray("x\0y\0\0", 5));
    }
    const QByteArray registry = readAll(store);
    put("registry", "registry.ini", registry);
    put("registry", "cut.ini", registry.left(registry.size() * 2 / 3));
    put("registry", "badhex.ini",
        "[HKEY_CURRENT_USER]\nSoftware\\Kelvanor\\bytes=hex(ffffffff):1,2,zz\nSoftware\\Kelvanor\\number="
        "dword:\n"
        "Software\\Kelvanor\\text=\"unclosed\n");

    // Pictures as the image window saves them: BMP and JPEG.
    PictureBox box;
    box.setPicture(picture({40, 30}));
    WriteBitmapFile(box, scratch.filePath(QStringLiteral("p.bmp")), nullptr);
    SaveImageAsJpeg(box, scratch.filePath(QStringLiteral("p.jpg")));
    const QByteArray bmp = readAll(scratch.filePath(QStringLiteral("p.bmp")));
    const QByteArray jpg = readAll(scratch.filePath(QStringLiteral("p.jpg")));
    put("picture", "picture.bmp", bmp);
    put("picture", "picture.jpg", jpg);
    put("picture", "cut.jpg", jpg.left(jpg.size() / 2));
    put("picture", "cut.bmp", bmp.left(60));
    QByteArray huge = bmp;
    huge[18] = char(0xff), huge[19] = char(0xff), huge[20] = char(0x00); // 65535 pixels wide
    put("picture", "wide.bmp", huge);

    // Movies as single-frame capture writes them; one with its info chunk; one of two
    // RIFF chunks (OpenDML's AVIX after the first).
    RecorderSettings settings;
    settings.filePath = scratch.filePath(QStringLiteral("m.avi"));
    SingleFrameWriter writer;
    writer.open(settings, {32, 24});
    for (int i = 0; i < 2; ++i) {
        const VideoFrame frame(picture({32, 24}));
        writer.append(frame);
    }
    writer.close();
    const QByteArray avi = readAll(settings.filePath);
    put("avifile", "movie.avi", avi);
    std::array<QString, 7> texts{QStringLiteral("c"), QStringLiteral("a")};
    AviFile::WriteAviInfoChunk(settings.filePath, texts);
    put("avifile", "withinfo.avi", readAll(settings.filePath));
    put("avifile", "opendml.avi", avi + QByteArray("RIFF\x0c\0\0\0AVIXJUNK\0\0\0\0", 20));
    put("avifile", "cut.avi", avi.left(avi.size() / 2));
    put("avifile", "oddsize.avi", QByteArray("RIFF\x05\0\0\0AVI x", 13));

    // Camera buffers: a frame as the camera sends it, then the same cut short or lying.
    const QImage frame = picture({64, 48}).convertToFormat(QImage::Format_RGB888);
    QByteArray rgb;
    for (int y = 0; y < frame.height(); ++y)
        rgb.append(reinterpret_cast<const char*>(frame.constScanLine(y)), 64 * 3);
    JpegEncoder encoder;
    const QByteArray mjpeg = encoder.encode(frame, 80);
    put("camera", "rgb", cameraHeader(0, 0, 0, 0, 0xFFFFFFFF) + rgb);
    put("camera", "yuyv", cameraHeader(1, 0, 0, 0, 0xFFFFFFFF) + rgb);
    put("camera", "mjpeg", cameraHeader(2, 0, 0, 0, 0xFFFFFFFF) + mjpeg);
    put("camera", "mjpeg-cut", cameraHeader(2, 0, 0, 0, 0xFFFFFFFF) + mjpeg.left(mjpeg.size() / 2));
    put("camera", "mjpeg-flipped", cameraHeader(2, 0, 0, 0, 0xFFFFFFFF) + flipped(mjpeg, mjpeg.size() / 2));
    put("camera", "mjpeg-smaller", cameraHeader(2, 32, 24, 0, 0xFFFFFFFF) + mjpeg);
    put("camera", "mjpeg-larger", cameraHeader(2, 128, 96, 0, 0xFFFFFFFF) + mjpeg);
    put("camera", "rgb-short", cameraHeader(0, 0, 0, 0, 0xFFFFFFFF) + rgb.left(1000));
    put("camera", "rgb-overreported", cameraHeader(0, 0, 0, 0, 0x7FFFFFFF) + rgb);
    put("camera", "rgb-oddsize", cameraHeader(0, 63, 47, 190, 0xFFFFFFFF) + rgb);
    return 0;
}
