#include "Clock.h"
#include "DiskSpace.h"
#include "EventLog.h"
#include "LogEntries.h"
#include "MSVIDEO.h"
#include "MainModule.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "Vars.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestMasterEvents : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void init() {
        Vars::StartupDirectory = m_dir.path();
        Vars::reset();
        MsgBoxTest::enable();
        MsgBoxTest::clear();
        QVERIFY(CreateLog());
    }
    void cleanup() {
        DiskSpace::setOverride({});
        Clock::reset();
    }

    void freeSpaceText_data() {
        QTest::addColumn<qint64>("bytes"); // -1: the query failed
        QTest::addColumn<QString>("text");
        QTest::newRow("failed") << qint64(-1) << "Disk Full (< 1Mb)";
        QTest::newRow("empty") << qint64(0) << "Disk Full (< 1Mb)";
        QTest::newRow("exactly 1 MB") << qint64(1048576) << "Disk Full (< 1Mb)";
        QTest::newRow("1 MB + 1") << qint64(1048577) << "Free Space:  1 Mb";
        QTest::newRow("just under 2 MB") << qint64(2 * 1048576 - 1) << "Free Space:  1 Mb";
        QTest::newRow("above 4 GB") << qint64(5) * 1024 * 1024 * 1024 + 7 << "Free Space:  5120 Mb";
        QTest::newRow("3 TB") << qint64(3) * 1024 * 1024 * 1024 * 1024 << "Free Space:  3145728 Mb";
    }
    void freeSpaceText() {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        Master m;
        MasterEvents events(m);
        MSVIDEO::MovieFileName = QStringLiteral("/videos/capture.avi");
        QString asked;
        DiskSpace::setOverride([&](const QString& path) -> std::optional<quint64> {
            asked = path;
            if (bytes < 0) return std::nullopt;
            return quint64(bytes);
        });
        events.MasterTimer_Timer();
        QCOMPARE(m.MasterStatus->text("diskcap"), text);
        QCOMPARE(asked, QStringLiteral("/videos/capture.avi"));
    }

    void freeSpaceOfRealFolders() {
        // A relative or empty name cannot be measured; an absolute one in a folder that
        // does not exist yet is measured on its nearest existing ancestor.
        QVERIFY(!DiskSpace::freeBytesFor(QString()));
        QVERIFY(!DiskSpace::freeBytesFor(QStringLiteral("capture.avi")));
        const auto here = DiskSpace::freeBytesFor(m_dir.path() + QStringLiteral("/no/such/folder/clip.avi"));
        QVERIFY(here.has_value());
        QVERIFY(*here > 0);
    }

    void quitQuestion_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("closes");
        QTest::newRow("yes") << int(MsgBoxResult::vbYes) << true;
        QTest::newRow("no") << int(MsgBoxResult::vbNo) << false;
    }
    void quitQuestion() {
        QFETCH(int, answer);
        QFETCH(bool, closes);
        auto* m = new Master;
        new MasterEvents(*m);
        m->show();
        MsgBoxTest::queueAnswer(answer);
        QCOMPARE(m->close(), closes);
        QCOMPARE(m->isVisible(), !closes);
        QCOMPARE(MsgBoxTest::shown().size(), size_t(1));
        const auto& box = MsgBoxTest::shown()[0];
        QCOMPARE(box.text, QStringLiteral("Are you sure you want to quit ?"));
        QCOMPARE(box.style, MsgBoxStyle::vbYesNo | MsgBoxStyle::vbQuestion);
        QCOMPARE(box.title, QStringLiteral("Video Kelvanor 2000"));
        delete m;
    }

    void loadLogsInitAndLastRun() {
        Master m;
        MasterEvents events(m);
        events.Form_Load();
        const QStringList entries = logEntries();
        const auto init = entries.indexOf(QStringLiteral("Init OK."));
        QVERIFY(init >= 0);
        QCOMPARE(entries.indexOf(QStringLiteral("KL2 ok")), init + 1);
        QVERIFY(m.MasterTimer->isActive());
        QCOMPARE(m.MultipleImageFrameRate->count(), 30);
        QCOMPARE(m.MultipleImageFrameRate->itemText(0), QStringLiteral(" 1 FPS"));
        QCOMPARE(m.MultipleImageFrameRate->currentText(), QStringLiteral(" 11 FPS"));
        // A first start (no last-run file) is in movie mode, stacked below the device panel.
        QCOMPARE(m.MoviePanel->Top(), m.MSVIDEOSmartPanel->Height());
        QVERIFY(m.MoviePanel->Visible());
        QCOMPARE(m.MainToolbar->Value("movie"), 1);
        QCOMPARE(m.ControlStatusPanel->Top(), m.AudioToolbar->Top() + m.AudioToolbar->Height());
        // The live picture of the test camera, with its log lines before "Init OK.".
        QVERIFY(MSVIDEO::CaptureWindow != 0);
        QVERIFY(entries.indexOf(QRegularExpression("^Device  0:.+")) >= 0);
        const auto connected = entries.indexOf(QRegularExpression("^Init OK Device  0: .+"));
        QVERIFY(connected >= 0 && connected < init);
        QVERIFY(m.MasterStatus->text("filename").startsWith("Filename: /"));
        QVERIFY(m.MasterStatus->text("filename").endsWith(".avi"));
        // 640 x 480 is the whole window, frame and title bar included.
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QCOMPARE(m.frameGeometry().size(), QSize(640, 480));
    }

    // A long movie file name is cut in its status panel, in its middle so that the
    // file's own name stays in sight; the window keeps its size.
    void aLongFileNameKeepsTheWindowsSize() {
        Master m;
        MasterEvents events(m);
        events.Form_Load();
        m.MasterStatus->setText(QStringLiteral("filename"), QStringLiteral("Filename: /") +
                                                                QString(40, QLatin1Char('x')).repeated(8) +
                                                                QStringLiteral("/capture.avi"));
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QCOMPARE(m.frameGeometry().size(), QSize(640, 480));
        const QString shown = m.MasterStatus->shownText(QStringLiteral("filename"));
        QVERIFY2(shown.startsWith(QStringLiteral("Filename: /xxx")) && shown.contains(QChar(0x2026)) &&
                     shown.endsWith(QStringLiteral("x/capture.avi")),
                 qPrintable(shown));
        QVERIFY(m.MasterStatus->text(QStringLiteral("filename")).size() > shown.size());
        // The panels beside it keep their room: the contact text whole.
        const QLabel* contact = m.MasterStatus->panel(QStringLiteral("contact"));
        QVERIFY(contact->isVisible());
        QVERIFY(contact->width() >= contact->sizeHint().width());
        QVERIFY(m.MasterStatus->panel(QStringLiteral("diskcap"))->width() >= 150);
    }

    void captionsAreTheWindowsOwn() {
        // A display name would be added to every window's title by the desktop
        // ("Other Information — Video Kelvanor 2000").
        SetUpApplication();
        QCOMPARE(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
        QVERIFY(!QGuiApplication::windowIcon().isNull());
    }
};

QTEST_MAIN(TestMasterEvents)
#include "tst_masterevents.moc"
