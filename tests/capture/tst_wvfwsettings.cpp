#include "AviProbe.h"
#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMSVIDEO.h"
#include "wMSVIDEO.h"
#include "wVFWSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>

// "Microsoft Video for Windows Advanced Settings": the controls over CAPTUREPARMS, and
// what its values do to the next recording.
class TestwVFWSettings : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    static CAPTUREPARMS sample() {
        CAPTUREPARMS p{};
        p.fYield = 1;
        p.wNumVideoRequested = 32;
        p.wNumAudioRequested = 4;
        p.fUsingDOSMemory = 0;
        p.fDisableWriteCache = 1;
        p.dwIndexSize = 34952;
        p.wChunkGranularity = 512;
        p.wPercentDropForError = 25;
        p.dwRequestMicroSecPerFrame = 66667;
        return p;
    }

private slots:
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        MSVIDEO::reset();
        MsgBoxTest::enable();
        MsgBoxTest::clear();
    }
    void cleanup() { wMSVIDEO::Unload(); }

    void controlsAndCaptions() {
        wVFWSettings w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Microsoft Video for Windows Advanced Settings"));
        QVERIFY(w.isModal());
        QCOMPARE(w.Label1->text(),
                 QStringLiteral("It is recommend that only advanced users change this parameters."));
        QCOMPARE(w.Label3->text(), QStringLiteral("Memory & Disk:"));
        QCOMPARE(w.Yield[0]->text(), QStringLiteral("Exclusive Task"));
        QCOMPARE(w.Yield[1]->text(), QStringLiteral("Background task"));
        QCOMPARE(w.Command1->text(), QStringLiteral("Cancel"));
        QCOMPARE(w.SetDefaults->text(), QStringLiteral("Defaults"));
        QCOMPARE(w.DroppedFrames->count(), 101);
        QCOMPARE(w.DroppedFrames->itemText(0), QStringLiteral("Warn when drop  0 % of frames"));
        QCOMPARE(w.DroppedFrames->itemText(100), QStringLiteral("Warn when drop  100 % of frames"));
    }

    void loadShowsTheRecord() {
        MSVIDEO::CaptureParms = sample();
        wVFWSettings w;
        QVERIFY(w.Yield[1]->isChecked());
        QCOMPARE(w.VideoBuffers->text(), QStringLiteral(" 32"));
        QCOMPARE(w.AudioBuffers->text(), QStringLiteral(" 4"));
        QVERIFY(!w.DOSBuffers->isChecked());
        QVERIFY(w.DisableCache->isChecked());
        QCOMPARE(w.MaxIndexSize->text(), QStringLiteral(" 34952"));
        QCOMPARE(w.Chunk->text(), QStringLiteral(" 512"));
        QCOMPARE(w.DroppedFrames->currentIndex(), 25);
        // Only exactly 1 is "yes".
        MSVIDEO::CaptureParms.fYield = 2;
        MSVIDEO::CaptureParms.fDisableWriteCache = 2;
        wVFWSettings other;
        QVERIFY(other.Yield[0]->isChecked());
        QVERIFY(!other.DisableCache->isChecked());
    }

    void okStoresTheControls() {
        MSVIDEO::CaptureParms = sample();
        wVFWSettings unchanged;
        unchanged.OK->click();
        QCOMPARE(MSVIDEO::CaptureParms.fYield, 1);
        QCOMPARE(MSVIDEO::CaptureParms.wChunkGranularity, UINT(512));

        wVFWSettings w;
        w.Yield[0]->setChecked(true);
        w.VideoBuffers->setText(QStringLiteral("10"));
        w.AudioBuffers->setText(QStringLiteral(" 3.5"));
        w.DOSBuffers->setChecked(true);
        w.DisableCache->setChecked(false);
        w.MaxIndexSize->setText(QStringLiteral("324000.6"));
        w.Chunk->setText(QStringLiteral("sector"));
        w.DroppedFrames->setCurrentIndex(0);
        w.OK->click();
        const CAPTUREPARMS& p = MSVIDEO::CaptureParms;
        QCOMPARE(p.fYield, 0);
        QCOMPARE(p.wNumVideoRequested, UINT(10));
        QCOMPARE(p.wNumAudioRequested, UINT(4));
        QCOMPARE(p.fUsingDOSMemory, 1);
        QCOMPARE(p.fDisableWriteCache, 0);
        QCOMPARE(p.dwIndexSize, DWORD(324001));
        QCOMPARE(p.wChunkGranularity, UINT(0));
        QCOMPARE(p.wPercentDropForError, UINT(0));
        QCOMPARE(p.dwRequestMicroSecPerFrame, DWORD(66667)); // not the window's
        QCOMPARE(w.result(), int(QDialog::Accepted));
    }

    void defaultsThenCancelChangesNothing() {
        MSVIDEO::CaptureParms = sample();
        MSVIDEO::CaptureParms.fYield = 0;
        const CAPTUREPARMS before = MSVIDEO::CaptureParms;
        wVFWSettings w;
        w.SetDefaults->click();
        QVERIFY(w.Yield[1]->isChecked());
        QCOMPARE(w.VideoBuffers->text(), QStringLiteral("0"));
        QCOMPARE(w.AudioBuffers->text(), QStringLiteral("0"));
        QVERIFY(!w.DOSBuffers->isChecked());
        QVERIFY(w.DisableCache->isChecked());
        QCOMPARE(w.MaxIndexSize->text(), QStringLiteral("324000"));
        QCOMPARE(w.Chunk->text(), QStringLiteral("0"));
        QCOMPARE(w.DroppedFrames->currentIndex(), 10);
        w.Command1->click();
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(std::memcmp(&before, &MSVIDEO::CaptureParms, sizeof before), 0);
    }

    // A percentage the list cannot show selects nothing and survives "OK".
    void percentageBeyondTheListIsKept() {
        MSVIDEO::CaptureParms = sample();
        MSVIDEO::CaptureParms.wPercentDropForError = 150;
        wVFWSettings w;
        QCOMPARE(w.DroppedFrames->currentIndex(), -1);
        w.OK->click();
        QCOMPARE(MSVIDEO::CaptureParms.wPercentDropForError, UINT(150));
    }

    void textToNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("value");
        QTest::newRow("leading blank") << " 32" << 32u;
        QTest::newRow("rounds up") << "324000.6" << 324001u;
        QTest::newRow("half to even, down") << "2.5" << 2u;
        QTest::newRow("half to even, up") << "3.5" << 4u;
        QTest::newRow("not a number") << "abc" << 0u;
        QTest::newRow("empty") << "" << 0u;
        QTest::newRow("leading digits count") << "12abc" << 12u;
        QTest::newRow("blanks inside") << "1 000" << 1000u;
        QTest::newRow("exponent") << "1e3" << 1000u;
        QTest::newRow("fraction only") << ".4" << 0u;
        QTest::newRow("negative") << "-5" << 0u;
        QTest::newRow("too big") << "99999999999" << 4294967295u;
        QTest::newRow("overflowing exponent") << "1e999" << 4294967295u;
    }
    void textToNumber() {
        QFETCH(QString, text);
        QFETCH(uint, value);
        QCOMPARE(uint(wVFWSettings::TextToNumber(text)), value);
    }

    // "Background task" reaches the recording: it runs while the window stays live,
    // with the elapsed time shown, and ends on stop. The values reach the capture
    // window at "OK", so re-reading it (a click on the video window) keeps them.
    void backgroundTaskRecordsWithALiveWindow() {
        Master m;
        m.show();
        cMSVIDEO::StartVideoDevice(m);
        QVERIFY(MSVIDEO::CaptureWindow != 0);
        QCOMPARE(MSVIDEO::CaptureParms.fYield, 0); // the driver's default
        {
            wVFWSettings w;
            w.Yield[1]->setChecked(true);
            w.MaxIndexSize->setText(QStringLiteral("1800"));
            w.OK->click();
        }
        wMSVIDEO::instance()->RefreshWindow();
        QCOMPARE(MSVIDEO::CaptureParms.fYield, 1);
        QCOMPARE(MSVIDEO::CaptureParms.dwIndexSize, DWORD(1800));

        m.ShowAudioPanel(false);
        m.MovieDisableLimit->setChecked(true);
        m.MovieFrameRateControl->setValue(15);
        MSVIDEO::MovieFrameRate = 15;
        MSVIDEO::MovieFileName = m_dir.filePath(QStringLiteral("YIELD.avi"));
        m.GlobalToolbar->hide(); // as the capture action does
        cMSVIDEO::RecordMovie(m);
        // Back at once, still recording.
        QVERIFY(MSVIDEO::CaptureResult);
        QVERIFY(MSVIDEO::GetCaptureStatus(MSVIDEO::CaptureWindow, MSVIDEO::CapStatus));
        QVERIFY(MSVIDEO::CapStatus.fCapturingNow);
        QVERIFY(!m.GlobalToolbar->isVisible());
        // The program's own events run: the status callback shows the movie time.
        QTRY_VERIFY_WITH_TIMEOUT(m.StatusTime->text().startsWith(QStringLiteral("00:00:0")) &&
                                     MSVIDEO::CapStatus.dwCurrentVideoFrame >= 5,
                                 20000);
        QVERIFY(MSVIDEO::StopCapture(MSVIDEO::CaptureWindow));
        QTRY_VERIFY_WITH_TIMEOUT(m.GlobalToolbar->isVisible(), 20000);
        QCOMPARE(m.StatusTime->text(), QString());
        const AviProbe probe = AviProbe::read(MSVIDEO::MovieFileName);
        QVERIFY(probe.opened);
        QCOMPARE(probe.videoStreams, 1);
        QVERIFY(probe.headerFrames >= 5);
    }
};

QTEST_MAIN(TestwVFWSettings)
#include "tst_wvfwsettings.moc"
