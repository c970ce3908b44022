#include "Codec.h"
#include "MsgBox.h"
#include "SystemDirectory.h"
#include "Vars.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The codec information file: its header, its shifted items and the lookups.
class TestCodec : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    // The installed data folders ($XDG_DATA_DIRS): two of the test's own.
    QTemporaryDir m_installed;
    QString installed(int i) const {
        return m_installed.filePath(QStringLiteral("share%1/video-kelvanor").arg(i));
    }

    static QByteArray shifted(const QByteArray& text) {
        QByteArray out = text;
        for (char& c : out)
            c = char(quint8(c) + 1);
        return out;
    }
    // Writes codec.kl with these lines, each stored shifted.
    void writeInfo(const QList<QByteArray>& lines, const QString& path = Codec::CodecInfoPath()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QByteArray& line : lines)
            file.write(shifted(line) + "\r\n");
    }

private slots:
    void initTestCase() {
        qputenv("XDG_DATA_DIRS",
                QFile::encodeName(m_installed.filePath(QStringLiteral("share1")) + QLatin1Char(':') +
                                  m_installed.filePath(QStringLiteral("share2"))));
        QVERIFY(QDir().mkpath(installed(1)) && QDir().mkpath(installed(2)));
    }
    void init() {
        for (int i : {1, 2})
            QFile::remove(installed(i) + QStringLiteral("/codec.kl"));
        Vars::StartupDirectory = m_dir.path();
        QFile::remove(Codec::CodecInfoPath());
        MsgBoxTest::enable();
        MsgBoxTest::clear();
    }

    void unshiftTakesOneFromEveryByte() {
        QCOMPARE(Codec::Unshift("B"), QByteArray("A"));
        QCOMPARE(Codec::Unshift(QByteArray("\x00\x01", 2)), QByteArray("\xff\x00", 2));
    }

    void lookups_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("answer");
        const QByteArray header = Codec::kCodecInfoHeader;
        QTest::newRow("found") << QList<QByteArray>{header, "MJPG Motion JPEG", "CVID Cinepak"} << "CVID"
                               << "Cinepak";
        QTest::newRow("lower-case line, upper-case code")
            << QList<QByteArray>{header, "cvid Cinepak"} << "CVID"
            << "Cinepak";
        QTest::newRow("lower-case code") << QList<QByteArray>{header, "CVID Cinepak"} << "cvid"
                                         << "Cinepak";
        QTest::newRow("first line wins") << QList<QByteArray>{header, "CVID first", "cvid second"} << "CVID"
                                         << "first";
        QTest::newRow("any separator") << QList<QByteArray>{header, "IV50:Indeo 5"} << "IV50"
                                       << "Indeo 5";
        QTest::newRow("code without description") << QList<QByteArray>{header, "CVID"} << "CVID"
                                                  << "";
        QTest::newRow("unknown, in capitals") << QList<QByteArray>{header, "CVID Cinepak"} << "xvid"
                                              << "Unknown CODEC (XVID)";
        QTest::newRow("only the header") << QList<QByteArray>{header} << "CVID"
                                         << "Unknown CODEC (CVID)";
        QTest::newRow("short code") << QList<QByteArray>{header, "AB", "AB   x"} << "AB"
                                    << "Unknown CODEC (AB)";
        QTest::newRow("binary line") << QList<QByteArray>{header, QByteArray("\x00\xfe\x10", 3), "CVID ok"}
                                     << "CVID"
                                     << "ok";
    }
    void lookups() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QString, code);
        QFETCH(QString, answer);
        writeInfo(lines);
        QCOMPARE(Codec::ReadCodecInfo(code), answer);
        QVERIFY(MsgBoxTest::shown().empty());
    }

    void missingFileSaysC100AndGivesNothing() {
        QCOMPARE(Codec::ReadCodecInfo("CVID"), QString());
        QCOMPARE(MsgBoxTest::texts(), QStringList{"ERROR C100: Can't find CODEC Information file."});
        QCOMPARE(MsgBoxTest::shown()[0].style, int(MsgBoxStyle::vbCritical));
        QCOMPARE(MsgBoxTest::shown()[0].title, QStringLiteral("Video Kelvanor 2000"));
    }

    // The user's own file in the start-up folder first, then the installed ones in the
    // order of $XDG_DATA_DIRS.
    void theFirstFileFoundIsRead_data() {
        QTest::addColumn<QList<int>>("present"); // 0: the start-up folder, 1 and 2: installed
        QTest::addColumn<QString>("answer");
        QTest::newRow("start-up folder before installed") << QList<int>{0, 1, 2} << "start-up folder";
        QTest::newRow("first installed folder") << QList<int>{1, 2} << "installed 1";
        QTest::newRow("second installed folder") << QList<int>{2} << "installed 2";
    }
    void theFirstFileFoundIsRead() {
        QFETCH(QList<int>, present);
        QFETCH(QString, answer);
        for (int i : present) {
            const QString path = i == 0 ? Codec::CodecInfoPath() : installed(i) + QStringLiteral("/codec.kl");
            const QByteArray text = i == 0 ? "start-up folder" : "installed " + QByteArray::number(i);
            writeInfo({Codec::kCodecInfoHeader, "CVID " + text}, path);
        }
        QCOMPARE(Codec::ReadCodecInfo("CVID"), answer);
        QVERIFY(MsgBoxTest::shown().empty());
    }

    // A window that looks up many codes says a missing or wrong file once.
    void aSharedFlagSaysTheErrorOnce_data() {
        QTest::addColumn<QList<QByteArray>>("lines"); // empty: no file
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QList<QByteArray>{} << "ERROR C100: Can't find CODEC Information file.";
        QTest::newRow("wrong") << QList<QByteArray>{"NOT IT"} << "ERROR C101: Error in Script Alpha.";
    }
    void aSharedFlagSaysTheErrorOnce() {
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QString, message);
        if (!lines.isEmpty()) writeInfo(lines);
        bool shown = false;
        for (const char* code : {"CVID", "MJPG", "XVID"})
            Codec::ReadCodecInfo(code, &shown);
        QVERIFY(shown);
        QCOMPARE(MsgBoxTest::texts(), QStringList{message});
    }

    void wrongHeaderSaysC101AndGivesError_data() {
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("wrong text") << QList<QByteArray>{"KL2000 CODEC INFO 9090", "CVID Cinepak"};
        QTest::newRow("header not shifted") << QList<QByteArray>{Codec::Unshift(Codec::kCodecInfoHeader)};
        QTest::newRow("empty file") << QList<QByteArray>{};
    }
    void wrongHeaderSaysC101AndGivesError() {
        QFETCH(QList<QByteArray>, lines);
        writeInfo(lines);
        QCOMPARE(Codec::ReadCodecInfo("CVID"), QStringLiteral("Error"));
        QCOMPARE(MsgBoxTest::texts(), QStringList{"ERROR C101: Error in Script Alpha."});
        QCOMPARE(MsgBoxTest::shown()[0].style, int(MsgBoxStyle::vbCritical));
    }

    // The file the program ships describes every compressor this machine offers.
    void shippedFileDescribesEveryInstalledCompressor() {
        QVERIFY(QFile::copy(QStringLiteral(KV_CODEC_INFO), Codec::CodecInfoPath()));
        const auto compressors = SystemDirectory::installedVideoCompressors();
        QVERIFY(!compressors.isEmpty());
        for (const auto& c : compressors) {
            const QString text = Codec::ReadCodecInfo(c.fourcc);
            QVERIFY2(!text.isEmpty() && !text.startsWith(QStringLiteral("Unknown CODEC")),
                     qPrintable(c.fourcc));
        }
        QCOMPARE(Codec::ReadCodecInfo("MJPG"),
                 QStringLiteral("Motion JPEG: every frame a JPEG picture (FFmpeg mjpeg)"));
        // A "+" is stored as a comma, so that item is quoted in the file.
        QCOMPARE(Codec::ReadCodecInfo("h263"), QStringLiteral("ITU-T H.263 and H.263+ (FFmpeg h263)"));
        QVERIFY(MsgBoxTest::shown().empty());
    }
};

QTEST_MAIN(TestCodec)
#include "tst_codec.moc"
