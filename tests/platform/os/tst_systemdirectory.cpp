#include "SystemDirectory.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class tst_SystemDirectory : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void cleanupTestCase() { SystemDirectory::setPath({}); }

    void defaultIsInTheUsersDataFolder() {
        SystemDirectory::setPath({});
        QVERIFY(SystemDirectory::path().endsWith(QLatin1String("/video-kelvanor/system")));
    }

    void compressorsHaveUsableCodes() {
        const auto list = SystemDirectory::installedVideoCompressors();
        QVERIFY(!list.isEmpty());
        QSet<QString> codes;
        for (const auto& c : list) {
            QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9]{4}$")).match(c.fourcc).hasMatch(),
                     qPrintable(c.fourcc));
            QVERIFY2(!codes.contains(c.fourcc), qPrintable(c.fourcc));
            codes.insert(c.fourcc);
            QVERIFY(c.library.startsWith(QLatin1String("libavcodec.so.")));
            QVERIFY(!c.encoder.isEmpty());
        }
        // FFmpeg always carries its own Motion JPEG encoder, the recorder's default.
        QVERIFY(codes.contains(QStringLiteral("MJPG")));
    }

    void writesSystemIniOncePerRun() {
        const QString folder = m_dir.filePath(QStringLiteral("sys/deeper"));
        SystemDirectory::setPath(folder);
        QCOMPARE(SystemDirectory::prepared(), folder);
        QFile ini(folder + QStringLiteral("/system.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = ini.readAll().split('\n');
        ini.close();
        QCOMPARE(lines.first(), QByteArray("[drivers32]"));
        const QByteArray mjpeg =
            "VIDC.MJPG=" + SystemDirectory::installedVideoCompressors().first().library.toLatin1() + ":mjpeg";
        QVERIFY(lines.contains(mjpeg));
        for (const QByteArray& line : lines.mid(1))
            QVERIFY2(line.isEmpty() ||
                         QRegularExpression(QStringLiteral("^VIDC\\.[A-Za-z0-9]{4}=[^,=]+:[^,=]+$"))
                             .match(QString::fromLatin1(line))
                             .hasMatch(),
                     line.constData());

        // Not rewritten within the run.
        QVERIFY(QFile::remove(ini.fileName()));
        SystemDirectory::prepared();
        QVERIFY(!ini.exists());
    }

    void unwritableFolderReportsFailure() {
        const QString blocker = m_dir.filePath(QStringLiteral("file"));
        QFile f(blocker);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        SystemDirectory::setPath(blocker + QStringLiteral("/system"));
        QVERIFY(!SystemDirectory::writeSystemIni());
    }
};

QTEST_MAIN(tst_SystemDirectory)
#include "tst_systemdirectory.moc"
