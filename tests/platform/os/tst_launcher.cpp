#include "Launcher.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_Launcher : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QByteArray m_path;

    QString makeProgram(const QString& name, const QByteArray& body, bool executable = true) {
        const QString file = m_dir.filePath(name);
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        if (executable) f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        return file;
    }

private slots:
    void initTestCase() { m_path = qgetenv("PATH"); }
    void cleanup() {
        qputenv("PATH", m_path);
        Launcher::setStarter({});
    }

    void findsOnlyExecutablesOnPath() {
        const QString tool = makeProgram(QStringLiteral("kv-tool"), "exit 0");
        makeProgram(QStringLiteral("kv-plain"), "exit 0", false);
        qputenv("PATH", QFile::encodeName(m_dir.path()));
        QCOMPARE(Launcher::findOnPath(QStringLiteral("kv-tool")), tool);
        QVERIFY(Launcher::findOnPath(QStringLiteral("kv-plain")).isEmpty());
        QVERIFY(Launcher::findOnPath(QStringLiteral("kv-absent")).isEmpty());
    }

    // The program runs on its own with the arguments as given: no shell reads them.
    void startsWithoutShell() {
        const QString out = m_dir.filePath(QStringLiteral("args.txt"));
        const QString tool = makeProgram(QStringLiteral("kv-echo"), "printf '%s|' \"$@\" > \"$KV_OUT\"");
        qputenv("KV_OUT", QFile::encodeName(out));
        QVERIFY(Launcher::start(tool, {QStringLiteral("a b"), QStringLiteral("$HOME;x")}));
        QTRY_VERIFY_WITH_TIMEOUT(QFile(out).size() > 0, 10000);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("a b|$HOME;x|"));
    }

    void missingOrEmptyProgramFails() {
        QVERIFY(!Launcher::start(m_dir.filePath(QStringLiteral("kv-absent"))));
        QVERIFY(!Launcher::start(QString()));
        QVERIFY(!Launcher::start(makeProgram(QStringLiteral("kv-noexec"), "exit 0", false)));
    }

    void starterSeamTakesOver() {
        QStringList seen;
        Launcher::setStarter([&](const QString& program, const QStringList& args) {
            seen << program << args;
            return false;
        });
        QVERIFY(!Launcher::start(QStringLiteral("/bin/true"), {QStringLiteral("-x")}));
        QCOMPARE(seen, (QStringList{QStringLiteral("/bin/true"), QStringLiteral("-x")}));
    }
};

QTEST_MAIN(tst_Launcher)
#include "tst_launcher.moc"
