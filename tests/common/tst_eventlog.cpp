#include "Clock.h"
#include "EventLog.h"
#include "Vars.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestEventLog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    QByteArray logBytes() {
        QFile f(LogPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }

private slots:
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QFile::remove(LogPath());
        Clock::set(QDateTime(QDate(2026, 12, 6), QTime(9, 41, 7)));
    }
    void cleanup() { Clock::reset(); }

    void headerHasSixLinesWithStartTime() {
        QVERIFY(CreateLog());
        QCOMPARE(logBytes(),
                 QByteArray("Video Kelvanor 2000 Error LOG\r\n"
                            "\r\n"
                            "Video Kelvanor 2000 - video capture for Linux. Free software, no warranty.\r\n"
                            "\r\n"
                            "Startup at:09:41:07  -  12-06-2026\r\n"
                            "\r\n"));
    }

    void entriesCarryTheTimeOnly_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("plain") << "Init OK." << QByteArray("23:59:59 > Init OK.\r\n");
        QTest::newRow("empty") << "" << QByteArray("23:59:59 > \r\n");
        QTest::newRow("line break") << "a\r\nb" << QByteArray("23:59:59 > a\r\nb\r\n");
        QTest::newRow("latin-1") << QString::fromUtf8("Caf\xc3\xa9")
                                 << QString::fromUtf8("23:59:59 > Caf\xc3\xa9\r\n").toLocal8Bit();
    }
    void entriesCarryTheTimeOnly() {
        QFETCH(QString, message);
        QFETCH(QByteArray, line);
        QVERIFY(CreateLog());
        const QByteArray header = logBytes();
        Clock::set(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59)));
        QVERIFY(WriteLog(message));
        QCOMPARE(logBytes().mid(header.size()), line);
    }

    void secondStartEmptiesTheLog() {
        QVERIFY(CreateLog());
        QVERIFY(WriteLog(QStringLiteral("first run")));
        QVERIFY(CreateLog());
        QVERIFY(!logBytes().contains("first run"));
        QVERIFY(logBytes().startsWith("Video Kelvanor 2000 Error LOG\r\n"));
    }

    void writeLogCreatesAMissingLog() {
        QVERIFY(WriteLog(QStringLiteral("LMW")));
        QCOMPARE(logBytes(), QByteArray("09:41:07 > LMW\r\n"));
    }

    void pathJoinsWithOneSlash() {
        Vars::StartupDirectory = QStringLiteral("/");
        QCOMPARE(LogPath(), QStringLiteral("/kelvanor.log"));
        Vars::StartupDirectory = QStringLiteral("/home/u");
        QCOMPARE(Vars::startupPath(QStringLiteral("klsr.kl2")), QStringLiteral("/home/u/klsr.kl2"));
        Vars::StartupDirectory = QStringLiteral("/home/u/");
        QCOMPARE(Vars::startupPath(QStringLiteral("klsr.kl2")), QStringLiteral("/home/u/klsr.kl2"));
    }

    void unwritableFolderReportsTheReason() {
        Vars::StartupDirectory = m_dir.path() + QStringLiteral("/missing/folder");
        QString reason;
        QVERIFY(!CreateLog(&reason));
        QVERIFY(!reason.isEmpty());
        QVERIFY(!WriteLog(QStringLiteral("lost")));
    }
};

QTEST_MAIN(TestEventLog)
#include "tst_eventlog.moc"
