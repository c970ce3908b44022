#include "Registry.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Registry;

class tst_Registry : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_file;

    void writeStore(const QByteArray& text) {
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

private slots:
    void init() {
        m_file = m_dir.filePath(QStringLiteral("registry.ini"));
        QFile::remove(m_file);
        setStorePath(m_file);
    }
    void cleanupTestCase() { setStorePath({}); }

    // Values written by hand in the store read back with the right type and bytes.
    void readsHandWrittenValues_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<DWORD>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << "Path" << REG_SZ << QByteArray("/usr/bin/hardinfo\0", 18);
        QTest::newRow("text without NUL") << "Bare" << REG_SZ << QByteArray("abc");
        QTest::newRow("dword") << "Count" << REG_DWORD << QByteArray("\x2c\x01\0\0", 4);
        QTest::newRow("binary") << "Blob" << REG_BINARY << QByteArray("\x01\x02", 2);
        QTest::newRow("quoted text with commas") << "Commas" << REG_SZ << QByteArray("a, b\0", 5);
    }
    void readsHandWrittenValues() {
        QFETCH(QString, name);
        QFETCH(DWORD, type);
        QFETCH(QByteArray, bytes);
        writeStore("[HKEY_LOCAL_MACHINE]\n"
                   "SOFTWARE\\Vendor\\Tool%20Set\\Path=/usr/bin/hardinfo\n"
                   "SOFTWARE\\Vendor\\Tool%20Set\\Bare=hex(1):61,62,63\n"
                   "SOFTWARE\\Vendor\\Tool%20Set\\Count=dword:0000012c\n"
                   "SOFTWARE\\Vendor\\Tool%20Set\\Blob=hex:01,02\n"
                   "SOFTWARE\\Vendor\\Tool%20Set\\Commas=\"a, b\"\n");
        Key key;
        // Names are matched without regard to case, with either separator.
        QCOMPARE(RegOpenKeyEx(HKEY_LOCAL_MACHINE, QStringLiteral("software\\VENDOR/tool set"), 0, KEY_READ,
                              key.out()),
                 ERROR_SUCCESS);
        char buffer[64];
        DWORD size = sizeof buffer;
        DWORD gotType = 0;
        QCOMPARE(RegQueryValueEx(key.get(), name.toUpper(), &gotType, buffer, &size), ERROR_SUCCESS);
        QCOMPARE(gotType, type);
        QCOMPARE(QByteArray(buffer, int(size)), bytes);
    }

    void writtenValuesRoundTrip_data() {
        QTest::addColumn<DWORD>("type");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << REG_SZ << QByteArray("C:/Program Files\0", 17);
        QTest::newRow("text without NUL") << REG_SZ << QByteArray("abc");
        QTest::newRow("text that looks like a dword") << REG_SZ << QByteArray("dword:1\0", 8);
        QTest::newRow("dword") << REG_DWORD << QByteArray("\xff\xff\xff\xff", 4);
        QTest::newRow("expand") << REG_EXPAND_SZ << QByteArray("%HOME%\0", 7);
        QTest::newRow("empty binary") << REG_BINARY << QByteArray();
    }
    void writtenValuesRoundTrip() {
        QFETCH(DWORD, type);
        QFETCH(QByteArray, bytes);
        {
            Key key;
            QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, QStringLiteral("Software\\Kelvanor"), key.out()),
                     ERROR_SUCCESS);
            QCOMPARE(RegSetValueEx(key.get(), QStringLiteral("Value"), type, bytes), ERROR_SUCCESS);
        }
        Key key;
        QCOMPARE(
            RegOpenKeyEx(HKEY_CURRENT_USER, QStringLiteral("Software\\Kelvanor"), 0, KEY_READ, key.out()),
            ERROR_SUCCESS);
        char buffer[64];
        DWORD size = sizeof buffer;
        DWORD gotType = 0;
        QCOMPARE(RegQueryValueEx(key.get(), QStringLiteral("Value"), &gotType, buffer, &size), ERROR_SUCCESS);
        QCOMPARE(gotType, type);
        QCOMPARE(QByteArray(buffer, int(size)), bytes);
    }

    void errors() {
        writeStore("[HKEY_LOCAL_MACHINE]\nSOFTWARE\\A\\Long=0123456789\n");
        HKEY none = 99;
        QCOMPARE(RegOpenKeyEx(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Missing"), 0, KEY_READ, &none),
                 ERROR_FILE_NOT_FOUND);
        QCOMPARE(none, HKEY(0));
        QCOMPARE(RegOpenKeyEx(12345, QStringLiteral("SOFTWARE"), 0, KEY_READ, &none), ERROR_INVALID_HANDLE);

        HKEY key = 0;
        QCOMPARE(RegOpenKeyEx(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\A"), 0, KEY_READ, &key),
                 ERROR_SUCCESS);
        char small[4];
        DWORD size = sizeof small;
        // Too little room: the length needed comes back, nothing is copied.
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("Long"), nullptr, small, &size), ERROR_MORE_DATA);
        QCOMPARE(size, DWORD(11));
        size = 4;
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("Other"), nullptr, small, &size), ERROR_FILE_NOT_FOUND);

        QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
        QCOMPARE(RegCloseKey(key), ERROR_INVALID_HANDLE);
        size = 4;
        QCOMPARE(RegQueryValueEx(key, QStringLiteral("Long"), nullptr, small, &size), ERROR_INVALID_HANDLE);
    }

    // A missing store file is an empty registry, not an error of its own.
    void missingStore() {
        setStorePath(m_dir.filePath(QStringLiteral("absent/registry.ini")));
        Key key;
        QCOMPARE(RegOpenKeyEx(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE"), 0, KEY_READ, key.out()),
                 ERROR_FILE_NOT_FOUND);
    }
};

QTEST_MAIN(tst_Registry)
#include "tst_registry.moc"
