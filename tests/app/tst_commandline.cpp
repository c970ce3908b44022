#include "CommandLine.h"
#include "MainModule.h"

#include <QCoreApplication>
#include <QTest>

// The program's command line: what it runs with, and what it answers and ends on.
class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { SetUpApplicationName(); }

    void parse_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("run");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("output"); // a part of the standard output
        QTest::addColumn<QString>("errors"); // a part of the standard error
        QTest::newRow("nothing") << QStringList{} << true << 0 << ""
                                 << ""
                                 << "";
        QTest::newRow("--folder DIR") << QStringList{"--folder", "/tmp/k"} << true << 0 << "/tmp/k"
                                      << ""
                                      << "";
        QTest::newRow("--folder=DIR") << QStringList{"--folder=rel"} << true << 0 << "rel"
                                      << ""
                                      << "";
        QTest::newRow("--folder without its folder") << QStringList{"--folder"} << false << 2 << ""
                                                     << ""
                                                     << "Missing value after '--folder'";
        QTest::newRow("--folder empty") << QStringList{"--folder="} << false << 2 << ""
                                        << ""
                                        << "needs a folder name";
        QTest::newRow("--help") << QStringList{"--help"} << false << 0 << ""
                                << "--folder <folder>"
                                << "";
        QTest::newRow("-h") << QStringList{"-h"} << false << 0 << ""
                            << "KELVANOR_FOLDER"
                            << "";
        QTest::newRow("--help-all") << QStringList{"--help-all"} << false << 0 << ""
                                    << "--version"
                                    << "";
        QTest::newRow("--version") << QStringList{"--version"} << false << 0 << ""
                                   << "video-kelvanor 0."
                                   << "";
        QTest::newRow("unknown option") << QStringList{"--fodler", "x"} << false << 2 << ""
                                        << ""
                                        << "Unknown option 'fodler'";
        QTest::newRow("a stray argument") << QStringList{"movie.avi"} << false << 2 << ""
                                          << ""
                                          << "Unexpected argument 'movie.avi'";
    }
    void parse() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, run);
        QFETCH(int, exitCode);
        QFETCH(QString, folder);
        QFETCH(QString, output);
        QFETCH(QString, errors);
        const CommandLine::Parsed p = CommandLine::parse(QStringList{QStringLiteral("kelvanor")} + arguments);
        QCOMPARE(p.run, run);
        QCOMPARE(p.exitCode, exitCode);
        QCOMPARE(p.folder, folder);
        QVERIFY2(output.isEmpty() ? p.output.isEmpty() : p.output.contains(output), qPrintable(p.output));
        QVERIFY2(errors.isEmpty() ? p.errors.isEmpty() : p.errors.contains(errors), qPrintable(p.errors));
    }

    // Only what prints and ends skips the window system; anything else, Qt's own options
    // included, goes the normal way.
    void answersWithoutDisplay_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("answered");
        QTest::newRow("--help") << QStringList{"--help"} << true;
        QTest::newRow("--version") << QStringList{"-v"} << true;
        QTest::newRow("--folder") << QStringList{"--folder", "x"} << false;
        QTest::newRow("nothing") << QStringList{} << false;
        QTest::newRow("Qt's own option") << QStringList{"-platform", "offscreen", "--help"} << false;
    }
    void answersWithoutDisplay() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, answered);
        QList<QByteArray> bytes{"kelvanor"};
        for (const QString& a : arguments)
            bytes << a.toLocal8Bit();
        std::vector<const char*> argv;
        for (const QByteArray& b : bytes)
            argv.push_back(b.constData());
        QCOMPARE(CommandLine::answersWithoutDisplay(int(argv.size()), argv.data()), answered);
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
