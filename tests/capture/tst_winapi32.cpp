#include "WinApi32.h"

#include "Launcher.h"
#include "MsgBox.h"
#include "Registry.h"
#include "SystemDirectory.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace WinApi32;

class tst_WinApi32 : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_path;
    QList<QStringList> m_started;
    bool m_startAnswer = true;

    void writeRegistry(const QByteArray& text) {
        QFile f(m_dir.filePath(QStringLiteral("registry.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QString makeProgram(const QString& folder, const QString& name) {
        QDir().mkpath(folder);
        QFile f(folder + QLatin1Char('/') + name);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\nexit 0\n");
        f.close();
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return f.fileName();
    }
    // An empty PATH but for `folder`.
    void usePath(const QString& folder) {
        QDir().mkpath(folder);
        qputenv("PATH", QFile::encodeName(folder));
    }

private slots:
    void initTestCase() {
        m_path = qgetenv("PATH");
        MsgBoxTest::enable();
    }
    void init() {
        Registry::setStorePath(m_dir.filePath(QStringLiteral("registry.ini")));
        QFile::remove(Registry::storePath());
        m_started.clear();
        m_startAnswer = true;
        Launcher::setStarter([this](const QString& program, const QStringList& args) {
            m_started << (QStringList{program} + args);
            return m_startAnswer;
        });
        MsgBoxTest::clear();
    }
    void cleanup() { qputenv("PATH", m_path); }
    void cleanupTestCase() {
        Launcher::setStarter({});
        Registry::setStorePath({});
        SystemDirectory::setPath({});
    }

    void numberToBytes_data() {
        QTest::addColumn<quint32>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("0") << 0u << QByteArray(4, '\0');
        QTest::newRow("300") << 300u << QByteArray("\x2c\x01\x00\x00", 4);
        QTest::newRow("16777216") << 16777216u << QByteArray("\x00\x00\x00\x01", 4);
        QTest::newRow("16777217 + 255") << 16777472u << QByteArray("\x00\x01\x00\x01", 4);
        QTest::newRow("largest") << 4294967295u << QByteArray("\xff\xff\xff\xff", 4);
        QTest::newRow("high byte only") << 0x80000000u << QByteArray("\x00\x00\x00\x80", 4);
    }
    void numberToBytes() {
        QFETCH(quint32, value);
        QFETCH(QByteArray, bytes);
        QCOMPARE(NumberToBytes(value), bytes);
        QCOMPARE(BytesToNumber(bytes), value);
    }

    void roundTripsAcrossTheRange() {
        for (quint64 v = 0; v <= 0xFFFFFFFFull; v += 16777213ull)
            QCOMPARE(BytesToNumber(NumberToBytes(quint32(v))), quint32(v));
    }

    void binaryDigits() {
        QCOMPARE(ByteToBinary(5), QStringLiteral("00000101"));
        QCOMPARE(ByteToBinary(255), QStringLiteral("11111111"));
        QCOMPARE(BinaryToByte(QStringLiteral("10000000")), quint8(128));
        QCOMPARE(NumberToBinary(300), QStringLiteral("00000000000000000000000100101100"));
        QCOMPARE(BinaryToNumber(NumberToBinary(4294967295u)), 4294967295u);
        QCOMPARE(BinaryToNumber(QStringLiteral("12")), 0u);
    }

    void stringFromPointer() {
        QCOMPARE(StringFromPointer(nullptr, 256), QString());
        QCOMPARE(StringFromPointer("Capture End", 256), QStringLiteral("Capture End"));
        // Room for 2 * n bytes with the NUL: a longer text is cut, never read past.
        const char unterminated[5] = {'a', 'b', 'c', 'd', 'e'};
        QCOMPARE(StringFromPointer(unterminated, 2), QStringLiteral("abc"));
        QCOMPARE(StringFromPointer("x", 0), QString());
    }

    void readRegistryValue_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("text");
        QTest::newRow("text with NUL") << "WithNul" << true << "C:/Tools";
        QTest::newRow("text without NUL") << "WithoutNul" << true << "C:/Tools";
        QTest::newRow("dword") << "Number" << true << "300";
        QTest::newRow("negative dword") << "Negative" << true << "-1";
        QTest::newRow("other type leaves the text") << "Blob" << true << "before";
        QTest::newRow("missing value") << "Absent" << false << "";
        QTest::newRow("longer than the buffer") << "Long" << false << "";
    }
    void readRegistryValue() {
        QFETCH(QString, name);
        QFETCH(bool, found);
        QFETCH(QString, text);
        writeRegistry("[HKEY_LOCAL_MACHINE]\n"
                      "SOFTWARE\\Test\\WithNul=hex(1):43,3a,2f,54,6f,6f,6c,73,00\n"
                      "SOFTWARE\\Test\\WithoutNul=hex(1):43,3a,2f,54,6f,6f,6c,73\n"
                      "SOFTWARE\\Test\\Number=dword:0000012c\n"
                      "SOFTWARE\\Test\\Negative=dword:ffffffff\n"
                      "SOFTWARE\\Test\\Blob=hex:01,02\n"
                      "SOFTWARE\\Test\\Long=" +
                      QByteArray(1024, 'x') + "\n");
        QString out = QStringLiteral("before");
        QCOMPARE(ReadRegistryValue(Registry::HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Test"), name, out),
                 found);
        QCOMPARE(out, text);
    }

    void missingKeyEmptiesTheText() {
        QString out = QStringLiteral("before");
        QVERIFY(!ReadRegistryValue(Registry::HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\None"),
                                   QStringLiteral("PATH"), out));
        QVERIFY(out.isEmpty());
    }

    void windowsDirectoryEndsInSlashAndHoldsSystemIni() {
        const QString folder = m_dir.filePath(QStringLiteral("system"));
        SystemDirectory::setPath(folder);
        QCOMPARE(WindowsDirectory(), folder + QLatin1Char('/'));
        QVERIFY(QFile::exists(WindowsDirectory() + QStringLiteral("system.ini")));
    }

    // Which program the File menu's "System Information..." starts.
    void runSystemInformation_data() {
        QTest::addColumn<QByteArray>("registry");
        QTest::addColumn<bool>("msinfoInFolder");
        QTest::addColumn<QString>("onPath");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("expected"); // program started last; "" for none
        QTest::newRow("registry path")
            << QByteArray("SOFTWARE\\Microsoft\\Shared%20Tools\\MSINFO\\PATH=\"\\\"/opt/info/sysinfo\\\"\"\n")
            << false << "hardinfo" << true << "/opt/info/sysinfo";
        QTest::newRow("registry folder")
            << QByteArray("SOFTWARE\\Microsoft\\Shared%20Tools%20Location\\MSINFO=@F\n") << true << "hardinfo"
            << true << "@F/msinfo32";
        QTest::newRow("registry folder without the program")
            << QByteArray("SOFTWARE\\Microsoft\\Shared%20Tools%20Location\\MSINFO=@F\n") << false
            << "hardinfo" << true << "@P/hardinfo";
        QTest::newRow("found on PATH") << QByteArray() << false << "kinfocenter" << true << "@P/kinfocenter";
        QTest::newRow("nothing installed") << QByteArray() << false << "" << true << "";
        QTest::newRow("start fails") << QByteArray() << false << "hardinfo" << false << "";
    }
    void runSystemInformation() {
        QFETCH(QByteArray, registry);
        QFETCH(bool, msinfoInFolder);
        QFETCH(QString, onPath);
        QFETCH(bool, starts);
        QFETCH(QString, expected);
        const QString folder = m_dir.filePath(QStringLiteral("msinfo"));
        const QString pathFolder =
            m_dir.filePath(QStringLiteral("bin-") + QString::fromLatin1(QTest::currentDataTag()));
        writeRegistry("[HKEY_LOCAL_MACHINE]\n" + registry.replace("@F", QFile::encodeName(folder)));
        QFile::remove(folder + QStringLiteral("/msinfo32"));
        if (msinfoInFolder) makeProgram(folder, QStringLiteral("msinfo32"));
        usePath(pathFolder);
        if (!onPath.isEmpty()) makeProgram(pathFolder, onPath);
        m_startAnswer = starts;

        RunSystemInformation();

        expected.replace(QLatin1String("@F"), folder).replace(QLatin1String("@P"), pathFolder);
        if (expected.isEmpty()) {
            QCOMPARE(MsgBoxTest::texts(),
                     QStringList{QStringLiteral("System Information Is Unavailable At This Time")});
            QCOMPARE(MsgBoxTest::shown().front().style, int(MsgBoxStyle::vbOKOnly));
        } else {
            QVERIFY(MsgBoxTest::texts().isEmpty());
            QVERIFY(!m_started.isEmpty());
            QCOMPARE(m_started.last(), QStringList{expected});
        }
    }

    void volumeProgram() {
        const QString folder = m_dir.filePath(QStringLiteral("bin-volume"));
        usePath(folder);
        QVERIFY(!VolumeProgramExists());
        QVERIFY(!StartVolumeProgram());
        QVERIFY(!StartRecordingSettings());
        QVERIFY(m_started.isEmpty());

        const QString program = makeProgram(folder, QStringLiteral("pavucontrol"));
        QVERIFY(VolumeProgramExists());
        QVERIFY(StartVolumeProgram());
        QVERIFY(StartRecordingSettings());
        QCOMPARE(m_started, (QList<QStringList>{{program}, {program, QStringLiteral("--tab=2")}}));
        QVERIFY(MsgBoxTest::texts().isEmpty());
    }
};

QTEST_MAIN(tst_WinApi32)
#include "tst_winapi32.moc"
