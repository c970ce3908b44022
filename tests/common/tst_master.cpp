#include "Master.h"

#include <QMdiSubWindow>
#include <QMenuBar>
#include <QToolTip>
#include <QtTest>

class TestMaster : public QObject {
    Q_OBJECT

    // Every widget or action whose enabled state AllControls may touch, by name.
    static QStringList switchedByAllControls() {
        return {"MSVIDEODevice",
                "MSVIDEOPreviewRate",
                "msvideotoolbar",
                "MovieToolbar",
                "MovieFrameRateControl",
                "MovieDisableLimit",
                "MovieHoursControl",
                "MovieMinutesControl",
                "MovieSecondsControl",
                "AudioChannels",
                "AudioBits",
                "AudioRate",
                "ImageToolbar",
                "MultipleImageToolbar",
                "MultipleImageMode",
                "MultipleImageAutoShoot",
                "MultipleImageHoursControl",
                "MultipleImageMinutesControl",
                "MultipleImageSecondsControl",
                "MainToolbar"};
    }
    static QStringList keptByAllControls() {
        return {
            "MultipleImageToolbar2",     "ImageTimeColor", "MultipleImageTimeColor", "ImageTimePosition",
            "MultipleImageDatePosition", "ImageText",      "MultipleImageText",      "MultipleImageFrameRate",
            "MovieHoursDisplay"};
    }

private slots:
    void allControlsSwitchesExactlyTheSettingControls() {
        Master m;
        QVERIFY(!m.Shooter->isEnabled()); // idle: no run to shoot in
        m.Shooter->setEnabled(true);
        m.AllControls(false);
        QVERIFY(m.Shooter->isEnabled());
        for (const QString& name : switchedByAllControls()) {
            auto* w = m.findChild<QWidget*>(name);
            QVERIFY2(w, qPrintable(name));
            QVERIFY2(!w->isEnabled(), qPrintable(name));
        }
        for (const QString& name : keptByAllControls()) {
            auto* w = m.findChild<QWidget*>(name);
            QVERIFY2(w, qPrintable(name));
            QVERIFY2(w->isEnabled(), qPrintable(name));
        }
        QVERIFY(!m.GlobalToolbar->button("autostart")->isEnabled());
        QVERIFY(m.GlobalToolbar->isEnabled());
        QVERIFY(m.GlobalToolbar->button("record")->isEnabled());
        for (QAction* a : m.menuBar()->actions())
            QVERIFY(a->isEnabled());

        m.AllControls(true);
        for (const QString& name : switchedByAllControls())
            QVERIFY2(m.findChild<QWidget*>(name)->isEnabled(), qPrintable(name));
        QVERIFY(m.GlobalToolbar->button("autostart")->isEnabled());
    }

    void everyNamedControlExists() {
        Master m;
        const QStringList names = {"MasterPanel",
                                   "MainToolbar",
                                   "MSVIDEOSmartPanel",
                                   "MoviePanel",
                                   "AudioToolbar",
                                   "ImagePanel",
                                   "MultipleImagePanel",
                                   "WebcamPanel",
                                   "ControlStatusPanel",
                                   "GlobalToolbar",
                                   "StatusTime",
                                   "StatusString",
                                   "MovieHoursDisplay",
                                   "MovieMinutesDisplay",
                                   "MovieSecondsDisplay",
                                   "MovieFrameRateDisplay",
                                   "MultipleImageHoursDisplay",
                                   "MultipleImageMinutesDisplay",
                                   "MultipleImageSecondsDisplay",
                                   "MasterStatus",
                                   "MDIClient",
                                   "MultipleImageTextColor",
                                   "MultipleImageDateColor",
                                   "ImageDateColor",
                                   "ImageTextColor",
                                   "ImageDatePosition",
                                   "ImageTextPosition",
                                   "MultipleImageTimePosition",
                                   "MultipleImageTextPosition"};
        for (const QString& name : names)
            QVERIFY2(m.findChild<QWidget*>(name), qPrintable(name));
        QCOMPARE(m.windowTitle(), QStringLiteral("Video Kelvanor 2000"));
        QCOMPARE(m.MovieDisableLimit->text(), QStringLiteral("No Limit"));
        QCOMPARE(m.MovieFrameRateDisplay->text(), QStringLiteral("30 FPS"));
        QCOMPARE(m.StatusTime->toolTip(), QStringLiteral("Capture time (Hours:Minutes:Seconds:Frames)"));
        QCOMPARE(m.MasterStatus->panel("diskcap")->toolTip(), QStringLiteral("Disk Capacity"));
        QCOMPARE(m.MultipleImagePanel->captionLabel()->text(), QStringLiteral("Mutiple Image Capture"));
        QCOMPARE(m.MultipleImageMode->itemText(5), QStringLiteral("Put On Clipboard"));
        QCOMPARE(m.AudioRate->itemText(3), QStringLiteral("44100 Hz"));
        QCOMPARE(m.GlobalToolbar->button("record")->toolTip(), QStringLiteral("Start capture"));
        QCOMPARE(m.MainToolbar->button("webcam")->toolTip(), QString()); // it has none
        QCOMPARE(m.MasterTimer->interval(), 1000);
        QVERIFY(!m.MultipleImageTimer->isActive());
    }

    void menusAreIndexedArrays_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("file 5") << "FileMenu_5"
                                << "&Open Capture File...";
        QTest::newRow("file 11") << "FileMenu_11"
                                 << "E&xit";
        QTest::newRow("edit 0") << "EditMenu_0"
                                << "Capture Frame";
        QTest::newRow("view 3") << "ViewMenu_3"
                                << "Full Screen";
        QTest::newRow("video 5") << "VideoMenu_5"
                                 << "Video Codec's";
        QTest::newRow("audio 6") << "AudioMenu_6"
                                 << " &8 bits";
        QTest::newRow("audio 13") << "AudioMenu_13"
                                  << "Sound Volume";
        QTest::newRow("rate 2") << "SampleRateMenu_2"
                                << "22 Khz";
        QTest::newRow("window 3") << "WindowMenu_3"
                                  << "&Arrange Icons";
        QTest::newRow("help 9") << "HelpMenu_9"
                                << "About Video Kelvanor...";
    }
    void menusAreIndexedArrays() {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        Master m;
        auto* a = m.findChild<QAction*>(name);
        QVERIFY(a);
        QCOMPARE(a->text(), caption);
    }

    void menuClickReportsMenuAndIndex() {
        Master m;
        QSignalSpy spy(&m, &Master::menuClicked);
        m.menuItem("VideoMenu", 9)->trigger();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy[0][0].toString(), QStringLiteral("VideoMenu"));
        QCOMPARE(spy[0][1].toInt(), 9);
        QVERIFY(m.menuItem("VideoMenu", 8)->isSeparator());
    }

    void windowMenuArrangesChildren() {
        Master m;
        m.resize(800, 600);
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        for (int i = 0; i < 2; ++i) {
            auto* w = m.MDIClient->addSubWindow(new QWidget);
            w->resize(100, 80);
            w->show();
        }
        const auto windows = m.MDIClient->subWindowList();
        const QRect area = m.MDIClient->viewport()->rect();

        m.WindowMenu_Click(0); // one above the other, full width
        QCOMPARE(windows[0]->width(), area.width());
        QCOMPARE(windows[1]->width(), area.width());
        QVERIFY(windows[1]->y() >= windows[0]->y() + windows[0]->height() - 1);

        m.WindowMenu_Click(1); // side by side, full height
        QCOMPARE(windows[0]->height(), area.height());
        QVERIFY(windows[1]->x() >= windows[0]->x() + windows[0]->width() - 1);

        m.WindowMenu_Click(2); // cascaded: offset diagonally
        QVERIFY(windows[1]->pos() != windows[0]->pos());

        windows[0]->showMinimized();
        windows[1]->showMinimized();
        m.WindowMenu_Click(3); // minimised ones in a row along the bottom
        QCOMPARE(windows[0]->y() + windows[0]->height(), area.height());
        QCOMPARE(windows[1]->y(), windows[0]->y());
        QVERIFY(windows[0]->x() != windows[1]->x());
    }

    // The status line shows its whole text as a tool tip when it is cut off, and
    // no tip when it fits.
    void statusLineTipShowsTextThatDoesNotFit() {
        Master m;
        m.resize(640, 480);
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QLabel* line = m.StatusString;
        const QString longText = QStringLiteral("Capture End. Captured 2.866 sec.  43 frames (0 dropped) "
                                                "(15.000 fps). ")
                                     .repeated(3);
        for (const QString& text : {QStringLiteral("Live window"), longText}) {
            line->setText(text);
            QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), line->mapToGlobal(QPoint(5, 5)));
            QCoreApplication::sendEvent(line, &tip);
            if (text == longText)
                QCOMPARE(QToolTip::text(), longText);
            else
                QVERIFY(!QToolTip::isVisible());
        }
    }
};

QTEST_MAIN(TestMaster)
#include "tst_master.moc"
