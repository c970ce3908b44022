#include "CommonDialog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMaster.h"
#include "wOtherInfo.h"

#include <QtTest>
#include <memory>

// The mode controller and the movie settings, on a main window form of their own.
class tst_cMaster : public QObject {
    Q_OBJECT

    std::unique_ptr<Master> m;

    QString status() const { return m->MasterStatus->text(QStringLiteral("filename")); }
    QStringList visiblePanels() const {
        QStringList names;
        for (SmartPanel* p : {m->MoviePanel, m->AudioToolbar, m->ImagePanel, m->MultipleImagePanel,
                              m->WebcamPanel, m->ControlStatusPanel})
            if (p->Visible()) names << p->objectName();
        return names;
    }
    QStringList pressedModes() const {
        QStringList keys;
        for (const char* key : {"movie", "image", "multiple", "webcam"})
            if (m->MainToolbar->Value(QLatin1String(key))) keys << QLatin1String(key);
        return keys;
    }
    void select(const QString& mode) {
        if (mode == QLatin1String("movie"))
            cMaster::SelectMovieMode(*m);
        else if (mode == QLatin1String("image"))
            cMaster::SelectImageMode(*m);
        else if (mode == QLatin1String("multiple"))
            cMaster::SelectMultipleImageMode(*m);
        else
            cMaster::SelectWebcamMode(*m);
    }

private slots:
    void initTestCase() {
        MsgBoxTest::enable();
        CommonDialogTest::enable();
    }

    void init() {
        MSVIDEO::reset();
        Vars::reset();
        MsgBoxTest::clear();
        CommonDialogTest::clear();
        m = std::make_unique<Master>();
    }

    void cleanup() {
        if (MSVIDEO::CaptureWindow) MSVIDEO::DestroyCaptureWindow(MSVIDEO::CaptureWindow);
        MSVIDEO::CaptureWindow = 0;
        m.reset();
    }

    // Which panels show, in which order, at which Tops; the mode buttons. Design heights:
    // device 35, movie 32, audio 29, image 62, multiple image 95, webcam 35.
    void selectStacksThePanels_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<QList<int>>("tops"); // the mode's column below the device panel
        QTest::addColumn<QStringList>("column");
        QTest::newRow("movie") << "movie" << QStringList{"MoviePanel", "ControlStatusPanel"}
                               << QList<int>{35, 67, 96}
                               << QStringList{"MoviePanel", "AudioToolbar", "ControlStatusPanel"};
        QTest::newRow("image") << "image" << QStringList{"ImagePanel", "ControlStatusPanel"}
                               << QList<int>{35, 97} << QStringList{"ImagePanel", "ControlStatusPanel"};
        QTest::newRow("multiple") << "multiple" << QStringList{"MultipleImagePanel", "ControlStatusPanel"}
                                  << QList<int>{35, 130}
                                  << QStringList{"MultipleImagePanel", "ControlStatusPanel"};
        QTest::newRow("webcam") << "webcam" << QStringList{"WebcamPanel"} << QList<int>{35, 70}
                                << QStringList{"WebcamPanel", "ControlStatusPanel"};
    }
    void selectStacksThePanels() {
        QFETCH(QString, mode);
        QFETCH(QStringList, visible);
        QFETCH(QList<int>, tops);
        QFETCH(QStringList, column);
        m->ShowAudioPanel(false); // as a driver without sound leaves it
        // From every other mode, so that nothing is left over from the one before.
        for (const QString from : {"movie", "image", "multiple", "webcam"}) {
            select(from);
            m->MSVIDEOSmartPanel->setTop(50); // the device panel goes back on top
            select(mode);
            QCOMPARE(visiblePanels(), visible);
            QCOMPARE(pressedModes(), QStringList{mode});
            QCOMPARE(m->MSVIDEOSmartPanel->Top(), 0);
            QVERIFY(m->MSVIDEOSmartPanel->Visible());
            for (int i = 0; i < column.size(); ++i)
                QCOMPARE(m->findChild<SmartPanel*>(column[i])->Top(), tops[i]);
        }
    }

    void movieModeAgainUnticksNoLimit() {
        cMaster::SelectMovieMode(*m);
        m->MovieDisableLimit->setChecked(true);
        cMaster::SelectMovieMode(*m);
        QVERIFY(!m->MovieDisableLimit->isChecked());
    }

    // Leaving movie mode hides the audio panel; coming back does not show it again.
    void audioPanelFollowsTheModes_data() {
        QTest::addColumn<QString>("other");
        QTest::newRow("image") << "image";
        QTest::newRow("multiple") << "multiple";
        QTest::newRow("webcam") << "webcam";
    }
    void audioPanelFollowsTheModes() {
        QFETCH(QString, other);
        cMaster::SelectMovieMode(*m);
        m->ShowAudioPanel(true);
        QCOMPARE(m->MovieToolbar->Value("audio"), 1);
        QCOMPARE(visiblePanels(), (QStringList{"MoviePanel", "AudioToolbar", "ControlStatusPanel"}));
        select(other);
        QVERIFY(!m->AudioToolbar->Visible());
        QCOMPARE(m->MovieToolbar->Value("audio"), 0);
        cMaster::SelectMovieMode(*m);
        QVERIFY(!m->AudioToolbar->Visible());
        QCOMPARE(m->MovieToolbar->Value("audio"), 0);
        // The audio panel keeps its place below the movie panel.
        QCOMPARE(m->AudioToolbar->Top(), 67);
    }

    // The output name's extension and the "filename" panel for each mode and shoot type.
    void extensionFollowsTheMode_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("shootType");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedStatus");
        QTest::newRow("movie") << "movie" << 0 << "/v/CLIP.avi"
                               << "Filename: /v/CLIP.avi";
        QTest::newRow("image keeps the name") << "image" << 0 << "/v/CLIP.bmp"
                                              << "";
        QTest::newRow("webcam keeps the status") << "webcam" << 0 << "/v/CLIP.bmp"
                                                 << "old";
        QTest::newRow("movie file") << "multiple" << 0 << "/v/CLIP.avi"
                                    << "Filename: /v/CLIP.avi";
        QTest::newRow("bitmaps") << "multiple" << 1 << "/v/CLIP.bmp"
                                 << "Filename: /v/CLIP.bmp";
        QTest::newRow("jpegs") << "multiple" << 2 << "/v/CLIP.jpg"
                               << "Filename: /v/CLIP.jpg";
        QTest::newRow("same bitmap") << "multiple" << 3 << "/v/CLIP.bmp"
                                     << "Filename: /v/CLIP.bmp";
        QTest::newRow("same jpeg") << "multiple" << 4 << "/v/CLIP.jpg"
                                   << "Filename: /v/CLIP.jpg";
        QTest::newRow("clipboard keeps the name") << "multiple" << 5 << "/v/CLIP.bmp"
                                                  << "";
    }
    void extensionFollowsTheMode() {
        QFETCH(QString, mode);
        QFETCH(int, shootType);
        QFETCH(QString, name);
        QFETCH(QString, expectedStatus);
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.bmp");
        m->MasterStatus->setText(QStringLiteral("filename"), QStringLiteral("old"));
        m->MultipleImageMode->setCurrentIndex(shootType);
        select(mode);
        QCOMPARE(MSVIDEO::MovieFileName, name);
        QCOMPARE(status(), expectedStatus);
    }

    void extensionGoesBothWays() {
        MSVIDEO::MovieFileName = QStringLiteral("CLIP.avi");
        m->MultipleImageMode->setCurrentIndex(1);
        cMaster::SelectMultipleImageMode(*m);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("CLIP.bmp"));
        cMaster::SelectMovieMode(*m);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("CLIP.avi"));
        // Exactly three characters are cut, whatever the extension was.
        MSVIDEO::MovieFileName = QStringLiteral("CLIP.mpeg");
        cMaster::SelectMovieMode(*m);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("CLIP.mavi"));
    }

    // A name too short to cut starts again from the capture window's default name.
    void shortNamesTakeTheDefaultName_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("two characters") << "ab";
    }
    void shortNamesTakeTheDefaultName() {
        QFETCH(QString, name);
        const QString fallback = cMaster::DefaultCaptureFileName();
        QVERIFY(fallback.endsWith(QLatin1String("/capture.avi")));
        MSVIDEO::MovieFileName = name;
        cMaster::SelectImageMode(*m);
        QCOMPARE(MSVIDEO::MovieFileName, name); // image mode writes no file: left alone
        cMaster::SelectMovieMode(*m);
        QCOMPARE(MSVIDEO::MovieFileName, fallback);
        MSVIDEO::MovieFileName = name;
        m->MultipleImageMode->setCurrentIndex(2);
        cMaster::SelectMultipleImageMode(*m);
        QCOMPARE(MSVIDEO::MovieFileName, fallback.chopped(3) + QStringLiteral("jpg"));
        QCOMPARE(cMaster::WithExtension(QStringLiteral("abc"), 4, QStringLiteral(".BMP")),
                 fallback.chopped(4) + QStringLiteral(".BMP"));
        QCOMPARE(cMaster::WithExtension(QStringLiteral("abc"), 3, QStringLiteral("bmp")),
                 QStringLiteral("bmp"));
    }

    void stampTextFollowsTheMode() {
        m->ImageText->setText(QStringLiteral("still"));
        m->MultipleImageText->setText(QStringLiteral("run"));
        cMaster::SelectMultipleImageMode(*m);
        QCOMPARE(Vars::StampText, QStringLiteral("run"));
        cMaster::SelectImageMode(*m);
        QCOMPARE(Vars::StampText, QStringLiteral("still"));
    }

    void readCaptureFileName() {
        MSVIDEO::MovieFileName = QStringLiteral("stale.avi");
        cMaster::ReadCaptureFileName(*m); // no capture window
        QCOMPARE(MSVIDEO::MovieFileName, QString());

        MSVIDEO::CaptureWindow = MSVIDEO::CreateCaptureWindow(m.get());
        QVERIFY(MSVIDEO::CaptureWindow);
        cMaster::ReadCaptureFileName(*m);
        QCOMPARE(MSVIDEO::MovieFileName, cMaster::DefaultCaptureFileName());

        m->MSVIDEOSmartPanel->setVisible(false);
        cMaster::ReadCaptureFileName(*m);
        QCOMPARE(MSVIDEO::MovieFileName, QString());
    }

    void chooseMovieFileName() {
        MSVIDEO::CaptureWindow = MSVIDEO::CreateCaptureWindow(m.get());
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.avi");
        CommonDialogTest::queueFile(QStringLiteral("/v/other.mov"));
        cMaster::ChooseMovieFileName(*m);
        QCOMPARE(CommonDialogTest::shown().size(), size_t(1));
        const auto& shown = CommonDialogTest::shown().front();
        QCOMPARE(shown.kind, CommonDialogTest::Kind::Save);
        QCOMPARE(shown.title, QStringLiteral("Set Movie Clip filename..."));
        QCOMPARE(shown.filter, QStringLiteral("Movie Clips (*.AVI)|*.avi"));
        QCOMPARE(shown.fileName, QStringLiteral("/v/CLIP.avi"));
        // Taken as chosen: the extension is set right only when movie mode is selected again.
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/other.mov"));
        QCOMPARE(status(), QStringLiteral("Filename: /v/other.mov"));
        QCOMPARE(MSVIDEO::GetCaptureFileName(MSVIDEO::CaptureWindow), QStringLiteral("/v/other.mov"));
        cMaster::SelectMovieMode(*m);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/other.avi"));
    }

    void cancelledMovieFileNameChangesNothing() {
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.avi");
        m->MasterStatus->setText(QStringLiteral("filename"), QStringLiteral("Filename: /v/CLIP.avi"));
        m->MasterDialog.FileName = QStringLiteral("/elsewhere/last.klp"); // an earlier use of the dialog
        CommonDialogTest::queueCancel();
        cMaster::ChooseMovieFileName(*m);
        QCOMPARE(CommonDialogTest::shown().size(), size_t(1));
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/CLIP.avi"));
        QCOMPARE(status(), QStringLiteral("Filename: /v/CLIP.avi"));
    }

    void compressionDialogWithoutDriver() {
        cMaster::ShowCompressionDialog(*m);
        QCOMPARE(MsgBoxTest::texts(), QStringList{"Ostrelle: Cannot show Video Compression Dialog."});
        MsgBoxTest::clear();
        m->MSVIDEOSmartPanel->setVisible(false);
        cMaster::ShowCompressionDialog(*m);
        QVERIFY(MsgBoxTest::texts().isEmpty());
    }

    void otherInformationIsOneWindow() {
        cMaster::ShowOtherInformation(*m);
        auto* first = m->findChild<wOtherInfo*>();
        QVERIFY(first);
        QVERIFY(!first->isHidden());
        QVERIFY(!first->isModal());
        cMaster::ShowOtherInformation(*m);
        QCOMPARE(m->findChildren<wOtherInfo*>().size(), 1);
    }
};

QTEST_MAIN(tst_cMaster)
#include "tst_cmaster.moc"
