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

    // The commands and what they take, as the run gets them.
    void commands() {
        const QDateTime now(QDate(2026, 6, 1), QTime(12, 0, 0));
        const auto parse = [&](const QStringList& arguments) {
            return CommandLine::parse(QStringList{QStringLiteral("kelvanor")} + arguments, now);
        };
        using CommandLine::Command;
        {
            const CommandLine::Parsed p =
                parse({"--shot", "a.jpg", "--time", "bottom-right", "--date", "top-center", "--text", "Door",
                       "--text-place", "bottom_left", "--text-colour", "#ff8000", "-q", "75", "-d", "1", "-s",
                       "640x480"});
            QVERIFY2(p.run, qPrintable(p.errors));
            const CommandLine::Request& r = p.request;
            QCOMPARE(r.command, Command::Shot);
            QCOMPARE(r.file, QStringLiteral("a.jpg"));
            QCOMPARE(r.time.place, 4);
            QCOMPARE(r.date.place, 2);
            QCOMPARE(r.text.place, 3);
            QCOMPARE(r.stampText, QStringLiteral("Door"));
            QCOMPARE(r.text.colour.value_or(0), quint32(0x0080ff)); // 0x00BBGGRR
            QVERIFY(!r.time.colour);
            QCOMPARE(r.quality, 75);
            QCOMPARE(r.device, QStringLiteral("1"));
            QCOMPARE(r.size, QSize(640, 480));
            QVERIFY(r.capturing());
        }
        {
            const CommandLine::Parsed p = parse(
                {"--record", "m.avi", "-t", "10", "-r", "15", "--no-sound", "-c", "rawvideo", "--progress"});
            QVERIFY2(p.run, qPrintable(p.errors));
            QCOMPARE(p.request.command, Command::Record);
            QCOMPARE(p.request.seconds.value_or(0), 10);
            QCOMPARE(p.request.rate.value_or(0), 15);
            QCOMPARE(p.request.sound, std::optional<bool>(false));
            QCOMPARE(p.request.encoder, QStringLiteral("rawvideo"));
            QVERIFY(p.request.progress);
        }
        {
            const CommandLine::Parsed p =
                parse({"--run", "a.klp", "-n", "3", "-o", "x.avi", "--at", "2026-06-01 12:00:01"});
            QVERIFY2(p.run, qPrintable(p.errors));
            QCOMPARE(p.request.command, Command::Run);
            QCOMPARE(p.request.count.value_or(0), 3);
            QCOMPARE(p.request.output, QStringLiteral("x.avi"));
            QCOMPARE(p.request.at.value_or(QDateTime()), QDateTime(QDate(2026, 6, 1), QTime(12, 0, 1)));
        }
        {
            const CommandLine::Parsed p = parse({"--list-devices"});
            QCOMPARE(p.request.command, Command::ListDevices);
            QVERIFY(!p.request.capturing());
            QCOMPARE(parse({"--record", "m.avi", "--after", "0"}).request.afterSeconds.value_or(-1), 0);
            QCOMPARE(parse({}).request.command, Command::Window);
        }
    }

    // Every line a command cannot use ends with status 2, says what is wrong, and is
    // refused before anything runs.
    void badCommands_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown option")
            << QStringList{"--shot", "a.jpg", "--banner"} << "Unknown option 'banner'";
        QTest::newRow("missing value") << QStringList{"--shot"} << "Missing value after '--shot'";
        QTest::newRow("empty file name") << QStringList{"--record="} << "needs a file name";
        QTest::newRow("two commands")
            << QStringList{"--shot", "a.jpg", "--record", "b.avi"} << "one command at a time";
        QTest::newRow("a command twice")
            << QStringList{"--shot", "a.jpg", "--shot", "b.jpg"} << "more than once";
        QTest::newRow("bad size") << QStringList{"--shot", "a.jpg", "--size", "640*480"}
                                  << "not of the form WxH";
        QTest::newRow("zero size") << QStringList{"--shot", "a.jpg", "-s", "0x480"} << "not of the form WxH";
        QTest::newRow("seconds 0") << QStringList{"--record", "m.avi", "-t", "0"} << "from 1 to 86399";
        QTest::newRow("seconds not a number")
            << QStringList{"--record", "m.avi", "-t", "ten"} << "from 1 to 86399";
        QTest::newRow("rate too high") << QStringList{"--record", "m.avi", "-r", "41"} << "from 1 to 40";
        QTest::newRow("quality 0") << QStringList{"--shot", "a.jpg", "-q", "0"} << "from 1 to 100";
        QTest::newRow("unknown place")
            << QStringList{"--shot", "a.jpg", "--time", "middle"} << "none of top-left";
        QTest::newRow("bad colour") << QStringList{"--shot",   "a.jpg",         "--time",
                                                   "top-left", "--time-colour", "#12"}
                                    << "neither #RRGGBB";
        QTest::newRow("date in the past")
            << QStringList{"--shot", "a.jpg", "--at", "2026-06-01 11:59:59"} << "has already passed";
        QTest::newRow("the present moment")
            << QStringList{"--shot", "a.jpg", "--at", "2026-06-01 12:00:00"} << "has already passed";
        QTest::newRow("date of another form")
            << QStringList{"--shot", "a.jpg", "--at", "01.06.2027 12:00"} << "YYYY-MM-DD HH:MM:SS";
        QTest::newRow("no such day") << QStringList{"--shot", "a.jpg", "--at", "2027-02-30 12:00:00"}
                                     << "YYYY-MM-DD HH:MM:SS";
        QTest::newRow("--at and --after")
            << QStringList{"--shot", "a.jpg", "--at", "2027-01-01 00:00:00", "--after", "5"} << "not both";
        QTest::newRow("negative delay")
            << QStringList{"--shot", "a.jpg", "--after", "-5"} << "not a number of seconds";
        QTest::newRow("--seconds without --record")
            << QStringList{"--shot", "a.jpg", "-t", "5"} << "goes with --record";
        QTest::newRow("--count without --run")
            << QStringList{"--record", "m.avi", "-n", "5"} << "goes with --run";
        QTest::newRow("a stamp on a movie")
            << QStringList{"--record", "m.avi", "--time", "top-left"} << "goes with --shot";
        QTest::newRow("--device alone")
            << QStringList{"--device", "0"} << "goes with --shot, --record or --run";
        QTest::newRow("--text-place without --text")
            << QStringList{"--shot", "a.jpg", "--text-place", "top-left"} << "goes with --text";
        QTest::newRow("--sound and --no-sound")
            << QStringList{"--record", "m.avi", "--sound", "--no-sound"} << "not both";
        QTest::newRow("count 0") << QStringList{"--run", "a.klp", "-n", "0"} << "from 1 to 99999";
    }
    void badCommands() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const CommandLine::Parsed p = CommandLine::parse(QStringList{QStringLiteral("kelvanor")} + arguments,
                                                         QDateTime(QDate(2026, 6, 1), QTime(12, 0, 0)));
        QVERIFY(!p.run);
        QCOMPARE(p.exitCode, 2);
        QVERIFY2(p.errors.contains(error), qPrintable(p.errors));
        QVERIFY2(p.errors.contains(QStringLiteral("--help")), qPrintable(p.errors));
        QVERIFY(p.output.isEmpty());
    }

    void placeNames_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("place");
        QTest::newRow("top-left") << "top-left" << 0;
        QTest::newRow("top-right") << "Top-Right" << 1;
        QTest::newRow("top-centre") << "top-centre" << 2;
        QTest::newRow("top-center") << "top-center" << 2;
        QTest::newRow("bottom-left") << "bottom-left" << 3;
        QTest::newRow("bottom-right") << "bottom_right" << 4;
        QTest::newRow("bottom-centre") << "bottom-centre" << 5;
        QTest::newRow("none") << "left" << -1;
    }
    void placeNames() {
        QFETCH(QString, name);
        QFETCH(int, place);
        QCOMPARE(CommandLine::placeFromName(name), place);
    }

    // A command goes to the offscreen platform whatever the display; the window's
    // start does not.
    void runsWithoutWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("without");
        QTest::newRow("--shot") << QStringList{"--shot", "a.jpg"} << true;
        QTest::newRow("--record=FILE") << QStringList{"--record=m.avi"} << true;
        QTest::newRow("--run behind Qt's option")
            << QStringList{"-style", "fusion", "--run", "a.klp"} << true;
        QTest::newRow("--list-devices") << QStringList{"--list-devices"} << true;
        QTest::newRow("the window") << QStringList{"--folder", "x"} << false;
        QTest::newRow("nothing") << QStringList{} << false;
    }
    void runsWithoutWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, without);
        QList<QByteArray> bytes{"kelvanor"};
        for (const QString& a : arguments)
            bytes << a.toLocal8Bit();
        std::vector<const char*> argv;
        for (const QByteArray& b : bytes)
            argv.push_back(b.constData());
        QCOMPARE(CommandLine::runsWithoutWindow(int(argv.size()), argv.data()), without);
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
