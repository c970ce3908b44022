#include "DataFolders.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Where the program keeps its files, and where it finds the data it was installed with.
class tst_DataFolders : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_savedCwd;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    static void touch(const QString& file) {
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

private slots:
    void initTestCase() {
        m_savedCwd = QDir::currentPath();
        QVERIFY(QDir().mkpath(path(QStringLiteral("work"))));
        QVERIFY(QDir::setCurrent(path(QStringLiteral("work"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(QStringLiteral("home-share"))));
    }
    void cleanupTestCase() { QDir::setCurrent(m_savedCwd); }
    void cleanup() { qunsetenv(DataFolders::kFolderVariable); }

    // --folder first, then the environment variable, then the user's data folder; relative
    // names mean the working directory's.
    void startupFolder_data() {
        QTest::addColumn<QString>("requested");
        QTest::addColumn<QString>("variable"); // "-": not set
        QTest::addColumn<QString>("expected"); // relative to the test's folder
        QTest::newRow("default: the user's data folder") << ""
                                                         << "-"
                                                         << "home-share/video-kelvanor";
        QTest::newRow("empty variable is not set") << ""
                                                   << ""
                                                   << "home-share/video-kelvanor";
        QTest::newRow("the variable") << ""
                                      << "VAR"
                                      << "VAR";
        QTest::newRow("--folder before the variable") << "OPT"
                                                      << "VAR"
                                                      << "OPT";
        QTest::newRow("relative --folder: the working directory's") << "rel/x/../y"
                                                                    << "-"
                                                                    << "work/rel/y";
        QTest::newRow("relative variable") << ""
                                           << "portable"
                                           << "work/portable";
    }
    void startupFolder() {
        QFETCH(QString, requested);
        QFETCH(QString, variable);
        QFETCH(QString, expected);
        auto absolute = [this](const QString& name) {
            return name == QLatin1String("VAR") || name == QLatin1String("OPT") ? path(name) : name;
        };
        if (variable != QLatin1String("-"))
            qputenv(DataFolders::kFolderVariable, QFile::encodeName(absolute(variable)));
        QCOMPARE(DataFolders::chooseStartupFolder(absolute(requested)), QDir::cleanPath(path(expected)));
    }

    // $XDG_DATA_DIRS in its order, the user's own data folder not among them, and only
    // folders that exist.
    void installedFoldersFollowXdgDataDirs() {
        QVERIFY(QDir().mkpath(path(QStringLiteral("b/video-kelvanor"))));
        QVERIFY(QDir().mkpath(path(QStringLiteral("a/video-kelvanor"))));
        QVERIFY(QDir().mkpath(path(QStringLiteral("home-share/video-kelvanor"))));
        qputenv("XDG_DATA_DIRS",
                QFile::encodeName(path(QStringLiteral("b")) + ':' + path(QStringLiteral("none")) + ':' +
                                  path(QStringLiteral("a"))));
        const QStringList folders = DataFolders::installedFolders();
        QCOMPARE(folders.mid(0, 2), (QStringList{path(QStringLiteral("b/video-kelvanor")),
                                                 path(QStringLiteral("a/video-kelvanor"))}));
        QVERIFY(!folders.contains(path(QStringLiteral("home-share/video-kelvanor"))));
    }

    void findTakesTheFirstFileThatExists() {
        qputenv("XDG_DATA_DIRS",
                QFile::encodeName(path(QStringLiteral("d1")) + ':' + path(QStringLiteral("d2"))));
        const QString own = path(QStringLiteral("own"));
        QVERIFY(QDir().mkpath(own));
        QCOMPARE(DataFolders::find(own, QStringLiteral("codec.kl")), QString());
        touch(path(QStringLiteral("d2/video-kelvanor/codec.kl")));
        QCOMPARE(DataFolders::find(own, QStringLiteral("codec.kl")),
                 path(QStringLiteral("d2/video-kelvanor/codec.kl")));
        // A folder of that name is no file.
        QVERIFY(QDir().mkpath(path(QStringLiteral("d1/video-kelvanor/codec.kl"))));
        QCOMPARE(DataFolders::find(own, QStringLiteral("codec.kl")),
                 path(QStringLiteral("d2/video-kelvanor/codec.kl")));
        touch(own + QStringLiteral("/codec.kl"));
        QCOMPARE(DataFolders::find(own, QStringLiteral("codec.kl")), own + QStringLiteral("/codec.kl"));
    }
};

QTEST_GUILESS_MAIN(tst_DataFolders)
#include "tst_datafolders.moc"
