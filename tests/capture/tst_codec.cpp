#include "Codec.h"
#include "MsgBox.h"
#include "SystemDirectory.h"
#include "Vars.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// The codec information file: its header, its shifted items and the lookups.
class TestCodec : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static QByteArray shifted(const QByteArray& text) {
        QByteArray out = text;
        for (char& c : out)
            c = char(quint8(c) + 1);
        return out;
    }
    // Writes codec.kl with these lines, each stored shifted.
    void writeInfo(const QList<QByteArray>& lines) {
        QFile file(Codec::CodecInfoPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const QByteArray& line : lines)
            file.write(shifted(line) + "\r\n");
    }

private slots:
    void init() {
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
