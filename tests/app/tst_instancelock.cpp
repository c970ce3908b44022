#include "InstanceLock.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// One running program per folder.
class TestInstanceLock : public QObject {
    Q_OBJECT

private slots:
    void aSecondProgramInTheSameFolderIsRefusedWithTheFirstNamed() {
        QTemporaryDir dir;
        InstanceLock first(dir.path());
        QVERIFY(first.acquire());
        QVERIFY(QFile::exists(dir.filePath(InstanceLock::fileName())));
        InstanceLock second(dir.path());
        QVERIFY(!second.acquire());
        const QString message = second.refusal();
        QVERIFY2(message.contains(QStringLiteral("already running")) && message.contains(dir.path()) &&
                     message.contains(QString::number(QCoreApplication::applicationPid())) &&
                     message.contains(QStringLiteral("--folder")),
                 qPrintable(message));
    }

    void anotherFolderIsAnotherProgram() {
        QTemporaryDir a, b;
        InstanceLock first(a.path());
        InstanceLock second(b.path());
        QVERIFY(first.acquire());
        QVERIFY(second.acquire());
    }

    void theFolderIsFreeAgainWhenTheFirstEnds() {
        QTemporaryDir dir;
        {
            InstanceLock first(dir.path());
            QVERIFY(first.acquire());
        }
        QVERIFY(!QFile::exists(dir.filePath(InstanceLock::fileName())));
        InstanceLock second(dir.path());
        QVERIFY(second.acquire());
    }

    // A file where the folder should be: no lock file can be made there, even by root.
    void aFolderThatCannotHoldTheLockIsSaid() {
        QTemporaryDir dir;
        const QString notAFolder = dir.filePath(QStringLiteral("file"));
        QFile f(notAFolder);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        InstanceLock lock(notAFolder);
        QVERIFY(!lock.acquire());
        QVERIFY2(lock.refusal().contains(QStringLiteral("Cannot make the lock file")),
                 qPrintable(lock.refusal()));
    }
};

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
