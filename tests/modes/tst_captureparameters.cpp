#include "MSVIDEO.h"
#include "Master.h"
#include "MsgBox.h"
#include "Vars.h"
#include "VfwTestHooks.h"
#include "cMaster.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// The capture parameters file on a main window form: what each mode writes, byte for
// byte; that loading gives back what was saved; and what hand-made files do.
class tst_CaptureParameters : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Master> m;

    QString path(const QString& name = QStringLiteral("set.klp")) const { return m_dir.filePath(name); }

    QByteArray fileBytes(const QString& file) const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void writeFile(const QString& file, const QByteArray& bytes) const {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

    // A fresh form as the load leaves it: the preview-rate list filled, movie mode.
    void freshForm() {
        m = std::make_unique<Master>();
        for (int fps = 1; fps <= 40; ++fps)
            m->MSVIDEOPreviewRate->addItem(QString::number(fps));
        m->MSVIDEOPreviewRate->setCurrentIndex(9);
        cMaster::SelectMovieMode(*m);
    }

    // The state of a value by name: a control of the form, "Toolbar/key", or shared state.
    QString value(const QString& name) const {
        if (name == QLatin1String("mode")) {
            QStringList keys;
            for (const char* key : {"movie", "image", "multiple", "webcam"})
                if (m->MainToolbar->Value(QLatin1String(key))) keys << QLatin1String(key);
            return keys.join(QLatin1Char(','));
        }
        if (name == QLatin1String("MovieFileName")) return MSVIDEO::MovieFileName;
        if (name == QLatin1String("dwIndexSize")) return QString::number(MSVIDEO::CaptureParms.dwIndexSize);
        if (name == QLatin1String("fYield")) return QString::number(MSVIDEO::CaptureParms.fYield);
        if (name == QLatin1String("ScheduledStartHours")) return QString::number(Vars::ScheduledStartHours);
        if (name == QLatin1String("ScheduledStartMinutes"))
            return QString::number(Vars::ScheduledStartMinutes);
        if (name == QLatin1String("ScheduledStartSeconds"))
            return QString::number(Vars::ScheduledStartSeconds);
        if (name == QLatin1String("StampTimeColor")) return QString::number(Vars::StampTimeColor);
        if (name == QLatin1String("StampDateColor")) return QString::number(Vars::StampDateColor);
        if (name == QLatin1String("StampTextColor")) return QString::number(Vars::StampTextColor);
        if (name.startsWith(QLatin1String("OtherInfo")))
            return MSVIDEO::OtherInfo[size_t(name.mid(9).toInt())];
        if (name.contains(QLatin1Char('/'))) {
            const QStringList parts = name.split(QLatin1Char('/'));
            return QString::number(m->findChild<KeyedToolbar*>(parts[0])->Value(parts[1]));
        }
        QWidget* w = m->findChild<QWidget*>(name);
        if (auto* c = qobject_cast<QComboBox*>(w)) return QString::number(c->currentIndex());
        if (auto* s = qobject_cast<QSpinBox*>(w)) return QString::number(s->value());
        if (auto* c = qobject_cast<QCheckBox*>(w))
            return c->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
        if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
        if (auto* p = qobject_cast<SmartPanel*>(w))
            return p->Visible() ? QStringLiteral("shown") : QStringLiteral("hidden");
        return QStringLiteral("<no %1>").arg(name);
    }
    void verifyValues(const QStringList& expected) const {
        for (const QString& pair : expected) {
            const qsizetype eq = pair.indexOf(QLatin1Char('='));
            const QString name = pair.left(eq);
            QCOMPARE(name + QLatin1Char('=') + value(name), pair);
        }
    }

    static QByteArray crlf(const QList<QByteArray>& lines) {
        QByteArray out;
        for (const QByteArray& line : lines)
            out += line + "\r\n";
        return out;
    }
    static QList<QByteArray> common(const QByteArray& title = "Video Kelvanor File",
                                    const QByteArray& klp = "KLP") {
        return {title, klp, "/v/set.avi", " 4", " 0", " 100", " 0", " 1", " 2", " 3"};
    }

    // Sets every value of `mode`'s section (and of the common part) away from its default.
    void setUp(const QString& mode) {
        if (mode == QLatin1String("movie")) {
            cMaster::SelectMovieMode(*m);
            m->ShowAudioPanel(true);
            m->AudioChannels->setCurrentIndex(1);
            m->AudioBits->setCurrentIndex(1);
            m->AudioRate->setCurrentIndex(3);
            m->MovieToolbar->setValue(QStringLiteral("writeinfo"), 1);
            m->MovieFrameRateControl->setValue(15);
            m->MovieHoursControl->setValue(1);
            m->MovieMinutesControl->setValue(2);
            m->MovieSecondsControl->setValue(3);
            MSVIDEO::OtherInfo = {"(c) me", "artist", "", "", "", "comments", ""};
        } else if (mode == QLatin1String("image")) {
            cMaster::SelectImageMode(*m);
            m->ImageToolbar->setValue(QStringLiteral("time"), 1);
            m->ImageToolbar->setValue(QStringLiteral("text"), 1);
            m->ImageTimePosition->setCurrentIndex(1);
            m->ImageDatePosition->setCurrentIndex(4);
            m->ImageTextPosition->setCurrentIndex(5);
            m->ImageText->setText(QStringLiteral("Garden cam"));
            Vars::StampTimeColor = 0x0000FF;
            Vars::StampDateColor = 0x00FF00;
            Vars::StampTextColor = 0xFF0000;
        } else if (mode == QLatin1String("multiple")) {
            cMaster::SelectMultipleImageMode(*m);
            m->MultipleImageMode->setCurrentIndex(2);
            m->MultipleImageToolbar2->setValue(QStringLiteral("date"), 1);
            m->MultipleImageTimePosition->setCurrentIndex(3);
            m->MultipleImageDatePosition->setCurrentIndex(2);
            m->MultipleImageTextPosition->setCurrentIndex(1);
            m->MultipleImageText->setText(QStringLiteral("Run"));
            m->MultipleImageAutoShoot->setChecked(true);
            m->MultipleImageHoursControl->setValue(2);
            m->MultipleImageMinutesControl->setValue(0);
            m->MultipleImageSecondsControl->setValue(5);
            m->MultipleImageToolbar->setValue(QStringLiteral("writeinfo"), 1);
            Vars::StampDateColor = 0x123456;
            MSVIDEO::OtherInfo = {"a", "b", "c", "d", "e", "f", "g"};
        } else {
            cMaster::SelectWebcamMode(*m);
        }
        MSVIDEO::MovieFileName = QStringLiteral("/v/clip.avi");
        m->MSVIDEOPreviewRate->setCurrentIndex(14);
        MSVIDEO::CaptureParms.dwIndexSize = 324000;
        MSVIDEO::CaptureParms.fYield = 1;
        Vars::ScheduledStartHours = 0;
        Vars::ScheduledStartMinutes = 1;
        Vars::ScheduledStartSeconds = 30;
    }

private slots:
    void initTestCase() { MsgBoxTest::enable(); } // no capture window: preview boxes are answered

    void init() {
        MSVIDEO::reset();
        MSVIDEO::resetOtherInfo();
        Vars::reset();
        freshForm();
    }
    void cleanup() { m.reset(); }

    // Byte for byte what each mode writes.
    void writesTheCurrentModesSection_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("bytes");
        const QList<QByteArray> head = {
            "Video Kelvanor File", "KLP", "/v/clip.avi", " 14", " 0", " 324000", " 1", " 0", " 1", " 30"};
        QTest::newRow("movie") << "movie"
                               << crlf(head + QList<QByteArray>{"MC", "CA", " 1", " 1", " 3", "WI", " 15",
                                                                " 3723", " 0", "(c) me", "artist", "", "", "",
                                                                "comments", ""});
        QTest::newRow("image") << "image"
                               << crlf(head + QList<QByteArray>{"IC", "TI", " 255", " 1", "ND", " 65280",
                                                                " 4", "TX", " 16711680", " 5", "Garden cam"});
        QTest::newRow("multiple") << "multiple"
                                  << crlf(head + QList<QByteArray>{"MIC", " 2",       "NT", " 0",    " 3",
                                                                   "DA",  " 1193046", " 2", "NT",    " 0",
                                                                   " 1",  "Run",      " 1", " 7205", "a",
                                                                   "b",   "c",        "d",  "e",     "f",
                                                                   "g",   "WI"});
        QTest::newRow("webcam") << "webcam" << crlf(head + QList<QByteArray>{"WC"});
    }
    void writesTheCurrentModesSection() {
        QFETCH(QString, mode);
        QFETCH(QByteArray, bytes);
        setUp(mode);
        QVERIFY(cMaster::SaveCaptureParameters(*m, path()));
        QCOMPARE(fileBytes(path()), bytes);
    }

    void withoutAModePanelTheFileEndsAfterLine10() {
        for (SmartPanel* p : {m->MoviePanel, m->ImagePanel, m->MultipleImagePanel, m->WebcamPanel})
            p->setVisible(false);
        MSVIDEO::MovieFileName.clear(); // an empty name is an empty line
        m->MSVIDEOPreviewRate->setCurrentIndex(-1);
        QVERIFY(cMaster::SaveCaptureParameters(*m, path()));
        QCOMPARE(fileBytes(path()),
                 crlf({"Video Kelvanor File", "KLP", "", "-1", " 0", " 0", " 0", " 0", " 0", " 10"}));
    }

    // What one form saves, a fresh form loads, and then saves again to the same bytes.
    void loadingGivesBackWhatWasSaved_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("movie") << "movie" << QStringList{"mode=movie",
                                                         "AudioToolbar=shown",
                                                         "MovieToolbar/audio=1",
                                                         "AudioChannels=1",
                                                         "AudioBits=1",
                                                         "AudioRate=3",
                                                         "MovieToolbar/writeinfo=1",
                                                         "MovieFrameRateControl=15",
                                                         "MovieHoursControl=1",
                                                         "MovieMinutesControl=2",
                                                         "MovieSecondsControl=3",
                                                         "MovieDisableLimit=0",
                                                         "OtherInfo0=(c) me",
                                                         "OtherInfo5=comments"};
        QTest::newRow("image") << "image" << QStringList{"mode=image",
                                                         "ImageToolbar/time=1",
                                                         "ImageToolbar/date=0",
                                                         "ImageToolbar/text=1",
                                                         "StampTimeColor=255",
                                                         "StampDateColor=65280",
                                                         "StampTextColor=16711680",
                                                         "ImageTimePosition=1",
                                                         "ImageDatePosition=4",
                                                         "ImageTextPosition=5",
                                                         "ImageText=Garden cam"};
        QTest::newRow("multiple") << "multiple"
                                  << QStringList{"mode=multiple",
                                                 "MultipleImageMode=2",
                                                 "MultipleImageToolbar2/date=1",
                                                 "MultipleImageToolbar2/time=0",
                                                 "StampDateColor=1193046",
                                                 "MultipleImageTimePosition=3",
                                                 "MultipleImageText=Run",
                                                 "MultipleImageAutoShoot=1",
                                                 "MultipleImageHoursControl=2",
                                                 "MultipleImageMinutesControl=0",
                                                 "MultipleImageSecondsControl=5",
                                                 "OtherInfo6=g",
                                                 "MultipleImageToolbar/writeinfo=1"};
        QTest::newRow("webcam") << "webcam" << QStringList{"mode=webcam", "WebcamPanel=shown"};
    }
    void loadingGivesBackWhatWasSaved() {
        QFETCH(QString, mode);
        QFETCH(QStringList, values);
        setUp(mode);
        QVERIFY(cMaster::SaveCaptureParameters(*m, path()));
        MSVIDEO::reset();
        MSVIDEO::resetOtherInfo();
        Vars::reset();
        freshForm();
        QVERIFY(cMaster::LoadCaptureParameters(*m, path()));
        verifyValues(values + QStringList{"MSVIDEOPreviewRate=14", "dwIndexSize=324000", "fYield=1",
                                          "ScheduledStartHours=0", "ScheduledStartMinutes=1",
                                          "ScheduledStartSeconds=30"});
        QVERIFY(cMaster::SaveCaptureParameters(*m, path(QStringLiteral("again.klp"))));
        QCOMPARE(fileBytes(path(QStringLiteral("again.klp"))), fileBytes(path()));
    }

    // A text with a line break keeps the lines after it in step.
    void lineBreakInATextBecomesABlank() {
        setUp(QStringLiteral("movie"));
        MSVIDEO::OtherInfo[5] = QStringLiteral("first line\r\nsecond\nthird");
        QVERIFY(cMaster::SaveCaptureParameters(*m, path()));
        MSVIDEO::resetOtherInfo();
        QVERIFY(cMaster::LoadCaptureParameters(*m, path()));
        verifyValues({"OtherInfo5=first line second third", "OtherInfo6=", "OtherInfo0=(c) me"});
    }

    // Hand-made files, loaded over a known state: movie mode, "/start/name.avi",
    // preview entry 9, audio rate entry 2, frame rate 12, fYield 1.
    void handMadeFiles_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("modeSelected");
        QTest::addColumn<QStringList>("values");
        const QList<QByteArray> image = {"IC", "TI", " 255",   " 1", "ND",   " 0",
                                         " 2", "NT", " 65280", " 5", "hello"};
        QTest::newRow("title wrong, KLP right")
            << crlf(common("Video Kelvanor Flie") + image) << true
            << QStringList{"mode=image",           "MovieFileName=/v/set.avi",
                           "ImageToolbar/time=1",  "ImageToolbar/date=0",
                           "ImageToolbar/text=0",  "StampTimeColor=255",
                           "StampTextColor=65280", "ImageTextPosition=5",
                           "ImageText=hello",      "ScheduledStartSeconds=3"};
        QTest::newRow("title right, KLP wrong")
            << crlf(common("Video Kelvanor File", "KLP2") + image) << true << QStringList{"mode=image"};
        QTest::newRow("both wrong") << crlf(common("Video Kelvanor", "klp") + image) << false
                                    << QStringList{"mode=movie", "MovieFileName=/start/name.avi",
                                                   "ScheduledStartSeconds=10", "MSVIDEOPreviewRate=9"};
        QTest::newRow("empty file") << QByteArray() << false
                                    << QStringList{"mode=movie", "MovieFileName=/start/name.avi"};
        QTest::newRow("cut in the common part")
            << crlf(common().mid(0, 6)) << false
            << QStringList{"mode=movie", "MovieFileName=/v/set.avi", "MSVIDEOPreviewRate=4",
                           "dwIndexSize=100", "fYield=1"};
        QTest::newRow("cut before the tag")
            << crlf(common()) << false << QStringList{"mode=movie", "ScheduledStartSeconds=3"};
        QTest::newRow("cut in the movie section")
            << crlf(common() + QList<QByteArray>{"MC", "NA", " 1", " 0"}) << true
            << QStringList{"mode=movie",  "AudioToolbar=hidden", "AudioChannels=1",
                           "AudioBits=0", "AudioRate=2",         "MovieFrameRateControl=12"};
        QTest::newRow("cut in the image section")
            << crlf(common() + QList<QByteArray>{"IC", "TI", " 255"}) << true
            << QStringList{"mode=image", "ImageToolbar/time=1", "StampTimeColor=255", "ImageTimePosition=0"};
        QTest::newRow("cut in the multiple-image section")
            << crlf(common() + QList<QByteArray>{"MIC", " 3", "TI"}) << true
            << QStringList{"mode=multiple", "MultipleImageMode=3", "MultipleImageToolbar2/time=1",
                           "StampTimeColor=0"};
        QTest::newRow("last line without CR LF")
            << crlf(common() +
                    QList<QByteArray>{"IC", "TI", " 255", " 1", "ND", " 0", " 2", "TX", " 7", " 3"}) +
                   "no end"
            << true << QStringList{"ImageText=no end", "ImageToolbar/text=1", "ImageTextPosition=3"};
        QTest::newRow("garbage numbers")
            << crlf(common() +
                    QList<QByteArray>{"MC", "CA", "x", " 1junk", "2.6", "WI", "abc", "3723.4", "0"})
            << true
            << QStringList{"AudioToolbar=shown",  "AudioChannels=0",          "AudioBits=1",
                           "AudioRate=3",         "MovieToolbar/writeinfo=1", "MovieFrameRateControl=12",
                           "MovieHoursControl=1", "MovieMinutesControl=2",    "MovieSecondsControl=3",
                           "MovieDisableLimit=0"};
        QTest::newRow("values the controls cannot take") << crlf({"Video Kelvanor File",
                                                                  "KLP",
                                                                  "/v/set.avi",
                                                                  " 40",
                                                                  " 0",
                                                                  " 5000000000",
                                                                  " 0",
                                                                  " 70000",
                                                                  " 5",
                                                                  "-1",
                                                                  "MC",
                                                                  "NA",
                                                                  " 9",
                                                                  "-1",
                                                                  "-2",
                                                                  "NI",
                                                                  " 99",
                                                                  " 90061",
                                                                  " 2",
                                                                  "i0"})
                                                         << true << QStringList{"MSVIDEOPreviewRate=9",
                                                                                "dwIndexSize=0",
                                                                                "ScheduledStartHours=0",
                                                                                "ScheduledStartMinutes=5",
                                                                                "ScheduledStartSeconds=-1",
                                                                                "AudioChannels=0",
                                                                                "AudioBits=-1",
                                                                                "AudioRate=2",
                                                                                "MovieFrameRateControl=12",
                                                                                "MovieHoursControl=0",
                                                                                "MovieMinutesControl=1",
                                                                                "MovieSecondsControl=1",
                                                                                "MovieDisableLimit=0",
                                                                                "OtherInfo0=i0"};
        QTest::newRow("colours beyond 24 bits")
            << crlf(common() + QList<QByteArray>{"IC", "TI", "-5", " 1", "DA", " 16777216", " 2"}) << true
            << QStringList{"StampTimeColor=0", "StampDateColor=0", "ImageDatePosition=2"};
        QTest::newRow("windows-1252 texts")
            << crlf({"Video Kelvanor File",
                     "KLP",
                     "/v/\xE9t\xE9.avi",
                     " 4",
                     " 0",
                     " 0",
                     " 0",
                     " 0",
                     " 0",
                     " 10",
                     "MC",
                     "NA",
                     " 0",
                     " 0",
                     " 0",
                     "NI",
                     " 12",
                     " 60",
                     " 0",
                     "\xA9 Caf\xE9 \x80"})
            << true
            << QStringList{QStringLiteral("MovieFileName=/v/été.avi"), QStringLiteral("OtherInfo0=© Café €")};
        QTest::newRow("utf-8 texts") << crlf({"Video Kelvanor File", "KLP", "/v/\xC3\xA9t\xC3\xA9.avi", " 4",
                                              " 0", " 0", " 0", " 0", " 0", " 10", "WC"})
                                     << true
                                     << QStringList{QStringLiteral("MovieFileName=/v/été.avi"),
                                                    "mode=webcam"};
        QTest::newRow("unknown tag") << crlf(common() + QList<QByteArray>{"XC", "CA"}) << false
                                     << QStringList{"mode=movie", "AudioToolbar=hidden",
                                                    "MovieFileName=/v/set.avi"};
        QTest::newRow("movie section renames to avi")
            << crlf({"Video Kelvanor File", "KLP", "/v/set.bmp", " 4", " 0", " 0", " 0", " 0", " 0", " 10",
                     "MC"})
            << true << QStringList{"MovieFileName=/v/set.avi"};
    }
    void handMadeFiles() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, modeSelected);
        QFETCH(QStringList, values);
        MSVIDEO::MovieFileName = QStringLiteral("/start/name.avi");
        m->AudioRate->setCurrentIndex(2);
        m->MovieFrameRateControl->setValue(12);
        m->ShowAudioPanel(false);
        MSVIDEO::CaptureParms.fYield = 1;
        writeFile(path(), bytes);
        QCOMPARE(cMaster::LoadCaptureParameters(*m, path()), modeSelected);
        verifyValues(values);
    }

    // Line 5 comes after line 4: overlay where the file asks for it and the driver has
    // it, else preview at the rate of the list entry the file selected.
    void videoModeFollowsLines4And5_data() {
        QTest::addColumn<QByteArray>("rateLine");
        QTest::addColumn<QByteArray>("overlayLine");
        QTest::addColumn<int>("hasOverlay");
        QTest::addColumn<QString>("sent");
        QTest::newRow("overlay") << QByteArray(" 2") << QByteArray(" 1") << 1 << "overlay";
        QTest::newRow("overlay without the driver's")
            << QByteArray(" 2") << QByteArray(" 1") << 0 << "preview 333";
        QTest::newRow("preview") << QByteArray(" 2") << QByteArray(" 0") << 1 << "preview 333";
        QTest::newRow("overlay flag 2 is not 1")
            << QByteArray(" 4") << QByteArray(" 2") << 1 << "preview 200";
        // No selection in the list: the rate in force (10 frames/s), never 0.
        QTest::newRow("no rate selected") << QByteArray("-1") << QByteArray(" 0") << 0 << "preview 100";
    }
    void videoModeFollowsLines4And5() {
        QFETCH(QByteArray, rateLine);
        QFETCH(QByteArray, overlayLine);
        QFETCH(int, hasOverlay);
        QFETCH(QString, sent);
        MSVIDEO::CapDriverCaps.fHasOverlay = hasOverlay;
        QStringList messages;
        VfwTest::setMessageHook(
            [&messages](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
                if (message == WM_CAP_SET_OVERLAY) messages << QStringLiteral("overlay");
                if (message == WM_CAP_SET_PREVIEWRATE) messages << QStringLiteral("preview %1").arg(wParam);
                if (message == WM_CAP_SET_OVERLAY || message == WM_CAP_SET_PREVIEWRATE ||
                    message == WM_CAP_SET_PREVIEW)
                    return 1;
                return std::nullopt;
            });
        writeFile(path(), crlf({"Video Kelvanor File", "KLP", "/v/a.avi", rateLine, overlayLine}));
        cMaster::LoadCaptureParameters(*m, path());
        VfwTest::setMessageHook({});
        QCOMPARE(messages, QStringList{sent});
    }

    void missingFileChangesNothing() {
        MSVIDEO::MovieFileName = QStringLiteral("/start/name.avi");
        QVERIFY(!cMaster::LoadCaptureParameters(*m, path(QStringLiteral("none.klp"))));
        verifyValues({"mode=movie", "MovieFileName=/start/name.avi"});
    }

    void loadedColoursShowInBothPanelsSwatches() {
        writeFile(path(), crlf(common() + QList<QByteArray>{"IC", "TI", " 255", " 0", "DA", " 65280", " 0"}));
        QVERIFY(cMaster::LoadCaptureParameters(*m, path()));
        for (QLabel* swatch : {m->ImageTimeColor, m->MultipleImageTimeColor})
            QCOMPARE(swatch->palette().color(QPalette::Window), QColor(255, 0, 0));
        for (QLabel* swatch : {m->ImageDateColor, m->MultipleImageDateColor})
            QCOMPARE(swatch->palette().color(QPalette::Window), QColor(0, 255, 0));
    }
};

QTEST_MAIN(tst_CaptureParameters)
#include "tst_captureparameters.moc"
