#include "AviFile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using Texts = std::array<QString, 7>;

namespace {

QByteArray le32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

// RIFF header with `riffSize` as found, then `body`.
QByteArray riff(quint32 riffSize, const QByteArray& form, const QByteArray& body) {
    return "RIFF" + le32(riffSize) + form + body;
}

// An AVI whose sizes add up: a small hdrl list only.
QByteArray smallAvi() {
    const QByteArray hdrl = "LIST" + le32(4 + 8 + 56) + "hdrl" + "avih" + le32(56) + QByteArray(56, '\x11');
    return riff(quint32(4 + hdrl.size()), "AVI ", hdrl);
}

// The LIST chunk for all texts empty: seven subchunks of size 1, INAM of size 15.
QByteArray emptyInfo() {
    QByteArray e;
    const auto empty = [&](const char* id) { e += QByteArray(id) + QByteArray("\x01\0\0\0\0\0", 6); };
    e += "LIST" + le32(88) + "INFO";
    empty("ICOP");
    empty("IART");
    empty("ICMT");
    e += "INAM" + le32(15) + QByteArray("Video Kelvanor\0\0", 16);
    empty("IPRD");
    empty("ISBJ");
    empty("ISRC");
    return e;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

class tst_AviFile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString file(const char* name) { return m_dir.filePath(QString::fromLatin1(name)); }

private slots:
    void allTextsEmpty() {
        const QString path = file("empty.avi");
        const QByteArray avi = smallAvi();
        writeFile(path, avi);
        AviFile::WriteAviInfoChunk(path, Texts{});
        const QByteArray after = readAll(path);
        QCOMPARE(after.size(), avi.size() + 96);
        QCOMPARE(after.mid(avi.size()), emptyInfo());
        QCOMPARE(qFromLittleEndian<quint32>(after.constData() + 4), quint32(avi.size() - 8 + 96));
        QCOMPARE(after.mid(8, avi.size() - 8), avi.mid(8));
    }

    // Sizes count the NUL; a pad byte follows an odd size and is not counted.
    void textsAndPadBytes() {
        const QString path = file("texts.avi");
        const QByteArray avi = smallAvi();
        writeFile(path, avi);
        Texts texts;
        texts[0] = QStringLiteral("ab");   // copyright: size 3, pad
        texts[1] = QStringLiteral("abc");  // artist: size 4, no pad
        texts[2] = QStringLiteral("S");    // subject
        texts[5] = QStringLiteral("Note"); // comments
        texts[6] = QStringLiteral("never written");
        AviFile::WriteAviInfoChunk(path, texts);

        QByteArray info = "INFO";
        info += "ICOP" + le32(3) + QByteArray("ab\0\0", 4);
        info += "IART" + le32(4) + QByteArray("abc\0", 4);
        info += "ICMT" + le32(5) + QByteArray("Note\0\0", 6);
        info += "INAM" + le32(15) + QByteArray("Video Kelvanor\0\0", 16);
        info += "IPRD" + le32(1) + QByteArray("\0\0", 2);
        info += "ISBJ" + le32(2) + QByteArray("S\0", 2);
        info += "ISRC" + le32(1) + QByteArray("\0\0", 2);
        const QByteArray expected = "LIST" + le32(quint32(info.size())) + info;

        const QByteArray after = readAll(path);
        QCOMPARE(after.mid(avi.size()), expected);
        QCOMPARE(qFromLittleEndian<quint32>(after.constData() + 4), quint32(after.size() - 8));
    }

    void riffSizeGrows_data() {
        QTest::addColumn<qint64>("fileSize");
        QTest::addColumn<quint32>("riffSize");
        QTest::addColumn<quint32>("expected");
        // A 16 MB movie (sparse): sizes add up.
        QTest::newRow("above 16 MB") << qint64(16777216 + 300) << quint32(16777216 + 292)
                                     << quint32(16777216 + 292 + 96);
        // Sizes that do not add up: the stored size grows as found.
        QTest::newRow("inconsistent, as found")
            << qint64(64) << quint32(0x01FFFFF0) << quint32(0x01FFFFF0 + 96);
    }
    void riffSizeGrows() {
        QFETCH(qint64, fileSize);
        QFETCH(quint32, riffSize);
        QFETCH(quint32, expected);
        const QString path = file("big.avi");
        writeFile(path, riff(riffSize, "AVI ", "JUNK"));
        QVERIFY(QFile::resize(path, fileSize));
        AviFile::WriteAviInfoChunk(path, Texts{});
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.size(), fileSize + 96);
        QCOMPARE(qFromLittleEndian<quint32>(f.read(8).constData() + 4), expected);
        QVERIFY(f.seek(fileSize));
        QCOMPARE(f.readAll(), emptyInfo());
    }

    // A movie past 1 GB holds a second RIFF chunk; that one, at the end, grows.
    void secondRiffChunkGrows() {
        const QString path = file("opendml.avi");
        const QByteArray first = smallAvi();
        const QByteArray second =
            riff(4 + 8 + 10, "AVIX", "LIST" + le32(10) + "movi" + QByteArray(6, '\x22'));
        writeFile(path, first + second);
        QVERIFY(AviFile::WriteAviInfoChunk(path, Texts{}));
        const QByteArray after = readAll(path);
        QCOMPARE(after.left(first.size()), first);
        QCOMPARE(qFromLittleEndian<quint32>(after.constData() + first.size() + 4),
                 quint32(second.size() - 8 + 96));
        QCOMPARE(after.mid(first.size() + second.size()), emptyInfo());
    }

    // A movie whose last chunk has an odd size and no pad byte: the pad byte is
    // written first, so the information chunk starts at an even offset.
    void missingPadByteIsWrittenFirst() {
        const QString path = file("odd.avi");
        const QByteArray avi = riff(4 + 8 + 3, "AVI ", "JUNK" + le32(3) + "abc");
        writeFile(path, avi);
        QVERIFY(AviFile::WriteAviInfoChunk(path, Texts{}));
        const QByteArray after = readAll(path);
        QCOMPARE(after.left(8), "RIFF" + le32(quint32(avi.size() + 1 + 96 - 8)));
        QCOMPARE(after.mid(8, avi.size() - 8), avi.mid(8));
        QCOMPARE(after.mid(avi.size()), QByteArray(1, '\0') + emptyInfo());
    }

    void otherFilesAreLeftAlone_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("wave file") << riff(40, "WAVE", QByteArray(36, '\0'));
        QTest::newRow("text file") << QByteArray("CLIP.avi is not a movie\n");
        QTest::newRow("shorter than a header") << QByteArray("RIFF\x04");
        QTest::newRow("empty file") << QByteArray();
        // The RIFF chunk would pass 4 GB: its size field cannot hold it.
        QTest::newRow("size would overflow") << riff(0xFFFFFFF0u, "AVI ", QByteArray(8, '\0'));
    }
    void otherFilesAreLeftAlone() {
        QFETCH(QByteArray, content);
        const QString path = file("other.avi");
        writeFile(path, content);
        QString reason;
        QVERIFY(!AviFile::WriteAviInfoChunk(path, Texts{}, &reason));
        QVERIFY(!reason.isEmpty()); // said, not skipped in silence
        QCOMPARE(readAll(path), content);
    }

    void missingFileIsNotCreated() {
        const QString path = file("missing.avi");
        QString reason;
        QVERIFY(!AviFile::WriteAviInfoChunk(path, Texts{}, &reason));
        QCOMPARE(reason, QStringLiteral("the file does not exist"));
        QVERIFY(!QFile::exists(path));
    }

    void readOnlyFileIsLeftAlone() {
        const QString path = file("readonly.avi");
        writeFile(path, smallAvi());
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        if (QFile probe(path); probe.open(QIODevice::ReadWrite))
            QSKIP("file permissions do not bind this user (root)");
        AviFile::WriteAviInfoChunk(path, Texts{});
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QCOMPARE(readAll(path), smallAvi());
    }

    // FFmpeg reads the movie and its tags after the append.
    void ffprobeReadsTheTags() {
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        const QString ffprobe = QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
        if (ffmpeg.isEmpty() || ffprobe.isEmpty()) QSKIP("ffmpeg and ffprobe are needed");
        const QString path = file("real.avi");
        QProcess make;
        make.start(ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=5",
                            "-frames:v", "5", "-c:v", "mjpeg", path});
        QVERIFY(make.waitForFinished(60000));
        QCOMPARE(make.exitCode(), 0);

        Texts texts;
        texts[0] = QStringLiteral("(c) 2026 Kelvanor");
        texts[1] = QStringLiteral("Ann");
        texts[5] = QStringLiteral("Garden, morning");
        AviFile::WriteAviInfoChunk(path, texts);
        const QByteArray after = readAll(path);
        QCOMPARE(qFromLittleEndian<quint32>(after.constData() + 4), quint32(after.size() - 8));

        QProcess probe;
        probe.start(ffprobe,
                    {"-v", "error", "-count_frames", "-show_format", "-show_streams", "-of", "json", path});
        QVERIFY(probe.waitForFinished(60000));
        QCOMPARE(probe.exitCode(), 0);
        const QJsonObject root = QJsonDocument::fromJson(probe.readAllStandardOutput()).object();
        const QJsonObject tags = root[QStringLiteral("format")][QStringLiteral("tags")].toObject();
        QCOMPARE(tags[QStringLiteral("title")].toString(), QStringLiteral("Video Kelvanor"));
        QCOMPARE(tags[QStringLiteral("copyright")].toString(), texts[0]);
        QCOMPARE(tags[QStringLiteral("artist")].toString(), texts[1]);
        QCOMPARE(tags[QStringLiteral("comment")].toString(), texts[5]);
        const QJsonObject video = root[QStringLiteral("streams")].toArray().first().toObject();
        QCOMPARE(video[QStringLiteral("nb_read_frames")].toString(), QStringLiteral("5"));
    }
};

QTEST_MAIN(tst_AviFile)
#include "tst_avifile.moc"
