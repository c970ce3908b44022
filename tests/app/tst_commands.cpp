#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "Vars.h"
#include "wImage.h"
#include "wMSVIDEO.h"

#include <QMdiSubWindow>
#include <QTemporaryDir>
#include <QtTest>

// The main window's commands reach the operations they name: the clicks a user makes.
class TestCommands : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Master> m;

    int untitledImageWindows() const {
        int n = 0;
        for (QMdiSubWindow* sub : m->MDIClient->subWindowList())
            if (auto* w = qobject_cast<wImage*>(sub->widget()); w && w->caption() == QStringLiteral("Untitled "))
                ++n;
        return n;
    }

private slots:
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        MSVIDEO::reset();
        Vars::reset();
        MsgBoxTest::enable();
        MsgBoxTest::clear();
        m = std::make_unique<Master>();
        (new MasterEvents(*m))->Form_Load();
        m->show();
    }
    void cleanup() {
        wMSVIDEO::Unload();
        m.reset();
    }

    void recordButtonStartsAndStopsARun() {
        m->MainToolbar->button("multiple")->trigger();
        QVERIFY(m->MultipleImagePanel->Visible());
        QCOMPARE(m->MainToolbar->Value("multiple"), 1);
        m->MultipleImageMode->setCurrentIndex(5);
        QAction* record = m->GlobalToolbar->button("record");
        record->trigger();
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("stop"));
        QVERIFY(m->Shooter->isEnabled());
        m->Shooter->click();
        QCOMPARE(Vars::ImageCounter, 1);
        record->trigger();
        QCOMPARE(m->GlobalToolbar->Image("record"), QStringLiteral("record"));
        QVERIFY(!m->Shooter->isEnabled());
    }

    void captureFrameMakesANewWindowEachTime() {
        m->menuItem("EditMenu", 0)->trigger();
        m->menuItem("EditMenu", 0)->trigger();
        QCOMPARE(untitledImageWindows(), 2);
    }

    void deviceListAndPreviewRateList() {
        const HWND before = MSVIDEO::CaptureWindow;
        emit m->MSVIDEODevice->activated(0); // the same driver: the window is built again
        QVERIFY(MSVIDEO::CaptureWindow != 0);
        QVERIFY(MSVIDEO::CaptureWindow != before);
        emit m->MSVIDEOPreviewRate->activated(4);
        QCOMPARE(MSVIDEO::PreviewRate, qint16(5));
        QCOMPARE(m->msvideotoolbar->Value("vidpreview"), 1);
    }

    void modeButtonsStayPressed() {
        // A click on the current mode's button leaves it pressed.
        m->MainToolbar->button("movie")->trigger();
        QCOMPARE(m->MainToolbar->Value("movie"), 1);
        m->MainToolbar->button("image")->trigger();
        QCOMPARE(m->MainToolbar->Value("image"), 1);
        QCOMPARE(m->MainToolbar->Value("movie"), 0);
        QVERIFY(m->ImagePanel->Visible());
        QVERIFY(!m->MoviePanel->Visible());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
