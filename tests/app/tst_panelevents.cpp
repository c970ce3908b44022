#include "Commands.h"
#include "CommonDialog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "PanelEvents.h"
#include "Vars.h"
#include "cMaster.h"

#include <QtTest>
#include <memory>

// The movie, audio, image and multiple-image panels' handlers on a connected form.
class tst_PanelEvents : public QObject {
    Q_OBJECT

    std::unique_ptr<Master> m;

    QString status() const { return m->MasterStatus->text(QStringLiteral("filename")); }
    QAction* audioItem(int i) const { return m->menuItem(QStringLiteral("AudioMenu"), i); }
    QAction* rateItem(int i) const { return m->menuItem(QStringLiteral("SampleRateMenu"), i); }
    QStringList checkedAudioItems() const {
        QStringList names;
        for (int i : {3, 4, 6, 7})
            if (audioItem(i)->isChecked()) names << audioItem(i)->objectName();
        for (int i = 0; i < 4; ++i)
            if (rateItem(i)->isChecked()) names << rateItem(i)->objectName();
        return names;
    }
    // The menu items that should be checked for the lists' selections.
    QStringList expectedAudioItems() const {
        return {m->AudioChannels->currentIndex() == 1 ? "AudioMenu_3" : "AudioMenu_4",
                m->AudioBits->currentIndex() == 1 ? "AudioMenu_7" : "AudioMenu_6",
                QStringLiteral("SampleRateMenu_%1").arg(m->AudioRate->currentIndex())};
    }
    bool stampControlsEnabled() const {
        const bool on = m->MultipleImageToolbar2->isEnabled();
        for (QWidget* w : {static_cast<QWidget*>(m->MultipleImageTimePosition),
                           static_cast<QWidget*>(m->MultipleImageDatePosition),
                           static_cast<QWidget*>(m->MultipleImageTextPosition),
                           static_cast<QWidget*>(m->MultipleImageText)})
            if (w->isEnabled() != on)
                return !on; // mixed: report the opposite of the toolbar so a compare fails
        return on;
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
        PanelEvents::connectAll(*m);
    }

    void cleanup() { m.reset(); }

    // ---- Movie panel ----

    void durationNeverZero_data() {
        QTest::addColumn<QList<int>>("start"); // hours, minutes, seconds
        QTest::addColumn<int>("control");      // 0 hours, 1 minutes, 2 seconds
        QTest::addColumn<int>("value");
        QTest::addColumn<QList<int>>("result");
        QTest::addColumn<QStringList>("displays");
        QTest::newRow("hours to 0") << QList<int>{1, 0, 0} << 0 << 0 << QList<int>{0, 0, 1}
                                    << QStringList{"00", "00", "01"};
        QTest::newRow("minutes to 0")
            << QList<int>{0, 5, 0} << 1 << 0 << QList<int>{0, 0, 1} << QStringList{"00", "00", "01"};
        QTest::newRow("seconds 0 with a minute")
            << QList<int>{0, 1, 7} << 2 << 0 << QList<int>{0, 1, 0} << QStringList{"00", "01", "00"};
        QTest::newRow("two digits") << QList<int>{0, 0, 1} << 0 << 23 << QList<int>{23, 0, 1}
                                    << QStringList{"23", "00", "01"};
    }
    void durationNeverZero() {
        QFETCH(QList<int>, start);
        QFETCH(int, control);
        QFETCH(int, value);
        QFETCH(QList<int>, result);
        QFETCH(QStringList, displays);
        UpDown* controls[] = {m->MovieHoursControl, m->MovieMinutesControl, m->MovieSecondsControl};
        QLabel* labels[] = {m->MovieHoursDisplay, m->MovieMinutesDisplay, m->MovieSecondsDisplay};
        // Set up from the far side, so that no intermediate zero is corrected away.
        controls[2]->setValue(start[2] ? start[2] : 1);
        controls[0]->setValue(start[0]);
        controls[1]->setValue(start[1]);
        controls[2]->setValue(start[2]);
        controls[control]->setValue(value);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(controls[i]->value(), result[i]);
            QCOMPARE(labels[i]->text(), displays[i]);
        }
    }

    void secondsSteppedDownFromOne() {
        m->MovieSecondsControl->setValue(1);
        m->MovieSecondsControl->stepBy(-1);
        QCOMPARE(m->MovieSecondsControl->value(), 1);
        QCOMPARE(m->MovieSecondsDisplay->text(), QStringLiteral("01"));
    }

    // No carry between the fields; each control stops at the end of its range.
    void durationStopsAtItsEnds() {
        m->MovieSecondsControl->setValue(59);
        m->MovieSecondsControl->stepBy(1);
        QCOMPARE(m->MovieSecondsControl->value(), 59);
        QCOMPARE(m->MovieMinutesControl->value(), 0);
        m->MovieHoursControl->setValue(23);
        m->MovieHoursControl->stepBy(1);
        QCOMPARE(m->MovieHoursControl->value(), 23);
        QCOMPARE(m->MovieHoursDisplay->text(), QStringLiteral("23"));
    }

    void frameRateDisplay_data() {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("5") << 5 << " 5 FPS";
        QTest::newRow("40") << 40 << " 40 FPS";
        QTest::newRow("past the top") << 41 << " 40 FPS";
        QTest::newRow("below the bottom") << 0 << " 1 FPS";
    }
    void frameRateDisplay() {
        QFETCH(int, value);
        QFETCH(QString, text);
        m->MovieFrameRateControl->setValue(value);
        QCOMPARE(m->MovieFrameRateDisplay->text(), text);
    }

    void noLimitGreysTheDuration() {
        m->MovieHoursControl->setValue(2);
        m->MovieMinutesControl->setValue(3);
        QWidget* duration[] = {m->MovieHoursControl,   m->MovieHoursDisplay,   m->MovieMinutesControl,
                               m->MovieMinutesDisplay, m->MovieSecondsControl, m->MovieSecondsDisplay};
        m->MovieDisableLimit->click();
        for (QWidget* w : duration)
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(m->MovieFrameRateControl->isEnabled());
        QVERIFY(m->MovieToolbar->isEnabled());
        // Selecting movie mode unticks the box and its handling brings the limit back.
        cMaster::SelectMovieMode(*m);
        QVERIFY(!m->MovieDisableLimit->isChecked());
        for (QWidget* w : duration)
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QCOMPARE(m->MovieHoursControl->value(), 2);
        QCOMPARE(m->MovieMinutesControl->value(), 3);
    }

    void audioButtonToggles() {
        m->ShowAudioPanel(false);
        QAction* audio = m->MovieToolbar->button(QStringLiteral("audio"));
        audio->trigger();
        QVERIFY(m->AudioToolbar->Visible());
        QCOMPARE(m->MovieToolbar->Value("audio"), 1);
        audio->trigger();
        QVERIFY(!m->AudioToolbar->Visible());
        QCOMPARE(m->MovieToolbar->Value("audio"), 0);
        Commands::AudioMenu_Click(*m, 1);
        QVERIFY(m->AudioToolbar->Visible());
        QCOMPARE(m->MovieToolbar->Value("audio"), 1);
        Commands::AudioMenu_Click(*m, 0);
        QVERIFY(!m->AudioToolbar->Visible());
    }

    void movieToolbarFileName() {
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.avi");
        CommonDialogTest::queueFile(QStringLiteral("/v/new.avi"));
        m->MovieToolbar->button(QStringLiteral("filename"))->trigger();
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/new.avi"));
        QCOMPARE(status(), QStringLiteral("Filename: /v/new.avi"));
    }

    // ---- Audio lists and menu ----

    void oneCheckMarkPerAudioGroup() {
        QCOMPARE(checkedAudioItems(), expectedAudioItems()); // from the start
        for (int i : {1, 0, 1}) {
            m->AudioChannels->setCurrentIndex(i);
            QCOMPARE(checkedAudioItems(), expectedAudioItems());
            m->AudioBits->setCurrentIndex(i);
            QCOMPARE(checkedAudioItems(), expectedAudioItems());
        }
        for (int i : {2, 3, 0, 1}) {
            m->AudioRate->setCurrentIndex(i);
            QCOMPARE(checkedAudioItems(), expectedAudioItems());
        }
    }

    // A menu click on any item, the checked one too, leaves one mark per group.
    void audioMenuSelectsTheLists_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("item");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("rate");
        QTest::newRow("Mono") << "AudioMenu" << 3 << 1 << 0 << 0;
        QTest::newRow("Stereo") << "AudioMenu" << 4 << 0 << 0 << 0;
        QTest::newRow("8 bits") << "AudioMenu" << 6 << 0 << 0 << 0;
        QTest::newRow("16 bits") << "AudioMenu" << 7 << 0 << 1 << 0;
        QTest::newRow("8 Khz") << "SampleRateMenu" << 0 << 0 << 0 << 0;
        QTest::newRow("22 Khz") << "SampleRateMenu" << 2 << 0 << 0 << 2;
        QTest::newRow("44 Khz") << "SampleRateMenu" << 3 << 0 << 0 << 3;
    }
    void audioMenuSelectsTheLists() {
        QFETCH(QString, menu);
        QFETCH(int, item);
        QFETCH(int, channels);
        QFETCH(int, bits);
        QFETCH(int, rate);
        Commands::connectAll(*m);
        for (int round = 0; round < 2; ++round) { // the second click hits the checked item
            m->menuItem(menu, item)->trigger();
            QCOMPARE(m->AudioChannels->currentIndex(), channels);
            QCOMPARE(m->AudioBits->currentIndex(), bits);
            QCOMPARE(m->AudioRate->currentIndex(), rate);
            QCOMPARE(checkedAudioItems(), expectedAudioItems());
        }
    }

    // ---- Image panel ----

    void stampColourSharedByBothPanels_data() {
        QTest::addColumn<QString>("toolbar");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("imageSwatch");
        QTest::addColumn<QString>("multipleSwatch");
        QTest::newRow("image time") << "ImageToolbar"
                                    << "timecolor"
                                    << "ImageTimeColor"
                                    << "MultipleImageTimeColor";
        QTest::newRow("image date") << "ImageToolbar"
                                    << "datecolor"
                                    << "ImageDateColor"
                                    << "MultipleImageDateColor";
        QTest::newRow("multiple text") << "MultipleImageToolbar2"
                                       << "textcolor"
                                       << "ImageTextColor"
                                       << "MultipleImageTextColor";
    }
    void stampColourSharedByBothPanels() {
        QFETCH(QString, toolbar);
        QFETCH(QString, key);
        QFETCH(QString, imageSwatch);
        QFETCH(QString, multipleSwatch);
        auto* bar = m->findChild<KeyedToolbar*>(toolbar);
        const quint32 chosen = 0x00336699;
        CommonDialogTest::queueColor(chosen);
        bar->button(key)->trigger();
        QCOMPARE(CommonDialogTest::shown().back().kind, CommonDialogTest::Kind::Color);
        for (const QString& swatch : {imageSwatch, multipleSwatch}) {
            auto* label = m->findChild<QLabel*>(swatch);
            QCOMPARE(label->property("color").toUInt(), chosen);
            QCOMPARE(label->palette().color(QPalette::Window), QColor(0x99, 0x66, 0x33));
        }
        const quint32 inForce = key == "timecolor"   ? Vars::StampTimeColor
                                : key == "datecolor" ? Vars::StampDateColor
                                                     : Vars::StampTextColor;
        QCOMPARE(inForce, chosen);
        // A cancel keeps the colour.
        CommonDialogTest::queueCancel();
        bar->button(key)->trigger();
        QCOMPARE(m->findChild<QLabel*>(imageSwatch)->property("color").toUInt(), chosen);
    }

    void stampTextFollowsTheCurrentMode() {
        cMaster::SelectImageMode(*m);
        m->ImageText->setText(QStringLiteral("still"));
        QCOMPARE(Vars::StampText, QStringLiteral("still"));
        m->MultipleImageText->setText(QStringLiteral("run")); // not the current mode's box
        QCOMPARE(Vars::StampText, QStringLiteral("still"));
        cMaster::SelectMultipleImageMode(*m);
        QCOMPARE(Vars::StampText, QStringLiteral("run"));
        m->MultipleImageText->setText(QStringLiteral("run 2"));
        QCOMPARE(Vars::StampText, QStringLiteral("run 2"));
    }

    // ---- Multiple-image panel ----

    void shootTypeSwitch_data() {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("stamps");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expectedStatus");
        QTest::newRow("movie") << 0 << false << "avifile"
                               << "/v/CLIP.AVI"
                               << "Filename: /v/CLIP.AVI";
        QTest::newRow("jpegs") << 2 << true << "save"
                               << "/v/CLIP.JPG"
                               << "Filename: /v/CLIP.JPG";
        QTest::newRow("clipboard") << 5 << true << "save"
                                   << "/v/CLIP.bmp"
                                   << "";
    }
    void shootTypeSwitch() {
        QFETCH(int, type);
        QFETCH(bool, stamps);
        QFETCH(QString, picture);
        QFETCH(QString, name);
        QFETCH(QString, expectedStatus);
        cMaster::SelectMultipleImageMode(*m);
        m->MultipleImageMode->setCurrentIndex(type == 0 ? 1 : 0); // a change, whatever the type
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.bmp");
        m->MultipleImageMode->setCurrentIndex(type);
        QCOMPARE(stampControlsEnabled(), stamps);
        QCOMPARE(m->MultipleImageFrameRate->isEnabled(), !stamps);
        QCOMPARE(m->MultipleImageToolbar->Image("filename"), picture);
        QCOMPARE(m->MultipleImageToolbar->button("otherinfo")->isEnabled(), !stamps);
        QCOMPARE(m->MultipleImageToolbar->button("writeinfo")->isEnabled(), !stamps);
        QCOMPARE(MSVIDEO::MovieFileName, name);
        QCOMPARE(status(), expectedStatus);
    }

    void shootTypeAfterClipboardGivesTheExtensionBack() {
        cMaster::SelectMultipleImageMode(*m);
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.avi");
        m->MultipleImageMode->setCurrentIndex(5);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/CLIP.avi"));
        m->MultipleImageMode->setCurrentIndex(2);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/CLIP.JPG"));
    }

    // A parameters file sets the type of a hidden panel: the controls follow, the name stays.
    void shootTypeOfHiddenPanel() {
        QVERIFY(stampControlsEnabled() == false); // type 0 from the start
        cMaster::SelectMovieMode(*m);
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.avi");
        m->MultipleImageMode->setCurrentIndex(1);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/CLIP.avi"));
        QVERIFY(stampControlsEnabled());
    }

    void automaticHidesShoot() {
        m->MultipleImageAutoShoot->click();
        QVERIFY(m->Shooter->isHidden());
        m->MultipleImageAutoShoot->click();
        QVERIFY(!m->Shooter->isHidden());
    }

    void intervalNeverZero() {
        m->MultipleImageMinutesControl->setValue(2);
        QCOMPARE(m->MultipleImageMinutesDisplay->text(), QStringLiteral("02"));
        m->MultipleImageMinutesControl->setValue(0);
        QCOMPARE(m->MultipleImageSecondsControl->value(), 1);
        QCOMPARE(m->MultipleImageSecondsDisplay->text(), QStringLiteral("01"));
        m->MultipleImageSecondsControl->stepBy(-1);
        QCOMPARE(m->MultipleImageSecondsControl->value(), 1);
        m->MultipleImageHoursControl->setValue(59); // hours too run to 59
        m->MultipleImageHoursControl->stepBy(1);
        QCOMPARE(m->MultipleImageHoursControl->value(), 59);
        QCOMPARE(m->MultipleImageHoursDisplay->text(), QStringLiteral("59"));
        m->MultipleImageSecondsControl->setValue(0);
        QCOMPARE(m->MultipleImageSecondsDisplay->text(), QStringLiteral("00"));
    }

    // The save dialog's filter follows the current extension; an unknown one keeps the last.
    void fileNameButton_data() {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("filter");
        QTest::newRow("avi") << "/v/CLIP.avi"
                             << "Movie Clips (*.AVI)|*.avi";
        QTest::newRow("bmp") << "/v/CLIP.Bmp"
                             << "Bitmap Image File (*.BMP)|*.BMP";
        QTest::newRow("jpg") << "/v/CLIP.JPG"
                             << "JPEG Image File (*.JPG)|*.JPG";
        QTest::newRow("other") << "/v/CLIP.mov"
                               << "earlier|*.x|";
        QTest::newRow("short") << ""
                               << "earlier|*.x|";
    }
    void fileNameButton() {
        QFETCH(QString, current);
        QFETCH(QString, filter);
        MSVIDEO::MovieFileName = current;
        m->MasterDialog.Filter = QStringLiteral("earlier|*.x|");
        CommonDialogTest::queueFile(QStringLiteral("/w/shots.tiff"));
        m->MultipleImageToolbar->button(QStringLiteral("filename"))->trigger();
        const auto& shown = CommonDialogTest::shown().back();
        QCOMPARE(shown.kind, CommonDialogTest::Kind::Save);
        QCOMPARE(shown.title, QStringLiteral("Save as..."));
        QCOMPARE(shown.filter, filter);
        QCOMPARE(shown.fileName, current);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/w/shots.tiff")); // as chosen
        QCOMPARE(status(), QStringLiteral("Filename: /w/shots.tiff"));
    }

    void fileNameButtonCancelAndUnknownExtension() {
        cMaster::SelectMultipleImageMode(*m);
        MSVIDEO::MovieFileName = QStringLiteral("/v/CLIP.avi");
        m->MasterStatus->setText(QStringLiteral("filename"), QStringLiteral("Filename: /v/CLIP.avi"));
        CommonDialogTest::queueCancel();
        m->MultipleImageToolbar->button(QStringLiteral("filename"))->trigger();
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/CLIP.avi"));
        QCOMPARE(status(), QStringLiteral("Filename: /v/CLIP.avi"));
        // A chosen name with another extension loses its last four characters on the next switch.
        CommonDialogTest::queueFile(QStringLiteral("/v/shots.tiff"));
        m->MultipleImageToolbar->button(QStringLiteral("filename"))->trigger();
        m->MultipleImageMode->setCurrentIndex(1);
        QCOMPARE(MSVIDEO::MovieFileName, QStringLiteral("/v/shots..BMP"));
    }

    // Interval 5 s: 4, 3, 2, 1 seconds to go, then a frame, then the countdown again.
    void intervalTimerCountsDown() {
        Vars::ShotInterval = 5;
        Vars::ShotElapsed = 0;
        int shots = 0;
        const auto shoot = [&shots] { ++shots; };
        for (int round = 0; round < 2; ++round) {
            for (int left : {4, 3, 2, 1}) {
                PanelEvents::MultipleImageTimer_Timer(*m, shoot);
                QCOMPARE(m->StatusString->text(),
                         QStringLiteral(" %1 seconds to capture another frame").arg(left));
                QCOMPARE(shots, round);
            }
            PanelEvents::MultipleImageTimer_Timer(*m, shoot);
            QCOMPARE(shots, round + 1);
            QCOMPARE(Vars::ShotElapsed, 0);
            // The status line is not cleared by the timer.
            QCOMPARE(m->StatusString->text(), QStringLiteral(" 1 seconds to capture another frame"));
        }
    }

    void intervalOfOneSecondShootsEveryTick() {
        Vars::ShotInterval = 1;
        Vars::ShotElapsed = 0;
        m->StatusString->setText(QStringLiteral("before"));
        int shots = 0;
        for (int i = 0; i < 3; ++i)
            PanelEvents::MultipleImageTimer_Timer(*m, [&shots] { ++shots; });
        QCOMPARE(shots, 3);
        QCOMPARE(m->StatusString->text(), QStringLiteral("before"));
    }

    // The running timer counts down and then takes a still shot.
    void timerIsConnected() {
        Vars::ShotInterval = 2;
        Vars::ShotElapsed = 0;
        Vars::ImageCounter = 0;
        QVERIFY(QMetaObject::invokeMethod(m->MultipleImageTimer, "timeout"));
        QCOMPARE(m->StatusString->text(), QStringLiteral(" 1 seconds to capture another frame"));
        QCOMPARE(Vars::ImageCounter, 0);
        QVERIFY(QMetaObject::invokeMethod(m->MultipleImageTimer, "timeout"));
        QCOMPARE(Vars::ImageCounter, 1); // the still capture counts every shot it starts
    }
};

QTEST_MAIN(tst_PanelEvents)
#include "tst_panelevents.moc"
