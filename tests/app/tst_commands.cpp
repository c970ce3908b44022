#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MovieFrameView.h"
#include "MoviePlayer.h"
#include "MsgBox.h"
#include "SystemDirectory.h"
#include "SystemMetrics.h"
#include "Vars.h"
#include "wAboutWindow.h"
#include "wImage.h"
#include "wMSVIDEO.h"
#include "wMovieViewer.h"
#include "wSplash.h"

#include "CommonDialog.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

// The main window's commands reach the operations they name: the clicks a user makes.
class TestCommands : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Master> m;

    int untitledImageWindows() const {
        int n = 0;
        for (QMdiSubWindow* sub : m->MDIClient->subWindowList())
            if (auto* w = qobject_cast<wImage*>(sub->widget());
                w && w->caption() == QStringLiteral("Untitled "))
                ++n;
        return n;
    }

    int viewers() const { return int(m->MDIClient->findChildren<wMovieViewer*>().size()); }

    // The command behind a menu item ("HelpMenu_9") or a toolbar button ("MainToolbar/about").
    QAction* command(const QString& id) const {
        const QStringList parts = id.split(QLatin1Char('/'));
        if (parts.size() == 2) return m->findChild<KeyedToolbar*>(parts[0])->button(parts[1]);
        return m->findChild<QAction*>(id);
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
        CommonDialogTest::disable();
        wMSVIDEO::Unload();
        m.reset();
    }

    // The Video menu's items 5, 7 and 9 and the device toolbar's "vidinfo" and
    // "vidsettings" open their windows, modal or not.
    void videoWindowsOpen_data() {
        QTest::addColumn<int>("menuIndex");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("modal");
        QTest::newRow("Video Codec's") << 5 << QString() << "wCODECS" << true;
        QTest::newRow("Video Advanced Settings") << 7 << QString() << "wVFWSettings" << true;
        QTest::newRow("vidsettings") << -1 << "vidsettings"
                                     << "wVFWSettings" << true;
        QTest::newRow("Video Capture Device...") << 9 << QString() << "wVFWInfo" << false;
        QTest::newRow("vidinfo") << -1 << "vidinfo"
                                 << "wVFWInfo" << false;
    }
    void videoWindowsOpen() {
        QFETCH(int, menuIndex);
        QFETCH(QString, button);
        QFETCH(QString, window);
        QFETCH(bool, modal);
        SystemDirectory::setPath(m_dir.filePath(QStringLiteral("system")));
        QString seen;
        if (modal)
            QTimer::singleShot(0, m.get(), [&seen] {
                if (QWidget* w = QApplication::activeModalWidget()) {
                    seen = w->objectName();
                    w->close();
                }
            });
        if (menuIndex >= 0)
            m->menuItem(QStringLiteral("VideoMenu"), menuIndex)->trigger();
        else
            m->msvideotoolbar->button(button)->trigger();
        if (modal) {
            QCOMPARE(seen, window);
        } else {
            QWidget* w = m->findChild<QWidget*>(window);
            QVERIFY(w && w->isVisible() && !w->isModal());
            w->close();
        }
        SystemDirectory::setPath(QString());
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

    // Each command opens its window, modal or not, as the user expects of it.
    void commandsOpenTheirWindows_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("modal");
        QTest::newRow("Help: Intro") << "HelpMenu_0"
                                     << "wSplash" << false;
        QTest::newRow("Help: About") << "HelpMenu_9"
                                     << "wAboutWindow" << false;
        QTest::newRow("toolbar: about") << "MainToolbar/about"
                                        << "wAboutWindow" << true;
        QTest::newRow("File: Movie Viewer") << "FileMenu_3"
                                            << "wMovieViewer" << false;
        QTest::newRow("toolbar: viewer") << "MainToolbar/viewer"
                                         << "wMovieViewer" << false;
        QTest::newRow("View: Full Screen") << "ViewMenu_3"
                                           << "wMSVIDEOFullScreen" << true;
        QTest::newRow("Video: Source") << "VideoMenu_0"
                                       << "VideoSourceDialog" << true;
        QTest::newRow("Video: Format") << "VideoMenu_1"
                                       << "VideoFormatDialog" << true;
        QTest::newRow("Video: Display") << "VideoMenu_2"
                                        << "VideoDisplayDialog" << true;
        QTest::newRow("toolbar: vidsource") << "msvideotoolbar/vidsource"
                                            << "VideoSourceDialog" << true;
        QTest::newRow("toolbar: vidformat") << "msvideotoolbar/vidformat"
                                            << "VideoFormatDialog" << true;
        QTest::newRow("toolbar: viddisplay") << "msvideotoolbar/viddisplay"
                                             << "VideoDisplayDialog" << true;
    }
    void commandsOpenTheirWindows() {
        QFETCH(QString, id);
        QFETCH(QString, window);
        QFETCH(bool, modal);
        CommonDialogTest::enable();
        CommonDialogTest::clear();
        CommonDialogTest::queueFile(m_dir.filePath(QStringLiteral("clip.avi")));
        QString modalSeen;
        if (modal) // the modal window is inspected and closed from inside its own loop
            QTimer::singleShot(0, this, [&] {
                if (QWidget* w = QApplication::activeModalWidget()) {
                    modalSeen = w->objectName();
                    w->close();
                }
            });
        QAction* a = command(id);
        QVERIFY(a && a->isEnabled());
        a->trigger();
        if (modal) {
            QCOMPARE(modalSeen, window);
            return;
        }
        QVERIFY(!QApplication::activeModalWidget());
        QWidget* shown = nullptr;
        for (QWidget* w : m->findChildren<QWidget*>(window))
            if (w->isVisible()) shown = w;
        QVERIFY2(shown, qPrintable(window));
        QApplication::processEvents(); // the program goes on while it is open
    }

    // Ctrl+Q and F1 as on every desktop: Ctrl+Q is the close request with its question
    // (answered No here, so the window stays), F1 the Help menu's first item, Intro.
    void standardShortcuts() {
        m->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m.get()));
        MsgBoxTest::queueAnswer(MsgBoxResult::vbNo);
        QTest::keyClick(m.get(), Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(MsgBoxTest::texts(), QStringList{"Are you sure you want to quit ?"});
        QVERIFY(m->isVisible());
        QVERIFY(QFile::exists(m_dir.filePath(QStringLiteral("klsr.kl2")))); // kept, as at every close request
        QCOMPARE(m->findChildren<wSplash*>().size(), 0);
        QTest::keyClick(m.get(), Qt::Key_F1);
        const QList<wSplash*> splashes = m->findChildren<wSplash*>();
        QCOMPARE(splashes.size(), 1);
        QVERIFY(splashes[0]->isVisible());
        splashes[0]->close();
    }

    // One About window at a time: opening it again brings the open one to the front,
    // from the Help menu and from the toolbar (which would otherwise stack a modal
    // one over it); once closed, the next opening starts again.
    void aboutIsOneWindow() {
        const auto shown = [this] {
            QList<wAboutWindow*> open;
            for (wAboutWindow* w : m->findChildren<wAboutWindow*>())
                if (w->isVisible()) open << w;
            return open;
        };
        command("HelpMenu_9")->trigger();
        QCOMPARE(shown().size(), 1);
        QPointer<wAboutWindow> first = shown().front();
        first->Timer2_Timer();
        first->Timer1_Timer();
        command("HelpMenu_9")->trigger();
        QCOMPARE(shown(), QList<wAboutWindow*>{first.data()});
        QString modalSeen;
        QTimer::singleShot(0, this, [&] {
            if (QWidget* w = QApplication::activeModalWidget()) {
                modalSeen = w->objectName();
                w->close();
            }
        });
        command("MainToolbar/about")->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(modalSeen, QString()); // no second, modal window over it
        QCOMPARE(shown(), QList<wAboutWindow*>{first.data()});
        QCOMPARE(first->CurrentPhoto, qint16(1)); // the open one, as it was

        first->Command1_Click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!first);
        command("HelpMenu_9")->trigger();
        QCOMPARE(shown().size(), 1);
        wAboutWindow* again = shown().front();
        QCOMPARE(again->CurrentPhoto, qint16(0));
        QCOMPARE(again->AboutText->y(), again->TextFrame->height());
        again->close();
    }

    void movieViewerAsksForAnAviAndMakesANewWindowEachTime() {
        CommonDialogTest::enable();
        CommonDialogTest::clear();
        const QString file = m_dir.filePath(QStringLiteral("clip.avi"));
        CommonDialogTest::queueFile(file);
        CommonDialogTest::queueFile(file);
        m->menuItem("FileMenu", 3)->trigger();
        m->MainToolbar->button("viewer")->trigger();
        QCOMPARE(viewers(), 2);
        QCOMPARE(CommonDialogTest::shown().size(), size_t(2));
        QCOMPARE(CommonDialogTest::shown()[0].kind, CommonDialogTest::Kind::Open);
        QCOMPARE(CommonDialogTest::shown()[0].title, QStringLiteral("Open AVI"));
        QCOMPARE(CommonDialogTest::shown()[0].filter, QStringLiteral("Movie File (*.avi)|*.avi|"));
        for (wMovieViewer* v : m->MDIClient->findChildren<wMovieViewer*>())
            QCOMPARE(v->windowTitle(), QStringLiteral("clip.avi"));
        // Cancelled: no window.
        m->menuItem("FileMenu", 3)->trigger();
        QCOMPARE(viewers(), 2);
    }

    // A small movie opened in the main window at its start-up size: the window is a
    // caption and 20 thin borders (1 pixel each) taller than its control, so the
    // picture is scaled down only as far as the panels above the area demand (with
    // the child frame's 4-pixel sizing border taken for the border, 80 pixels went
    // under the control bar and the picture shrank to 236 pixels wide).
    void smallMovieInTheMainWindowKeepsItsSize() {
        QCOMPARE(SystemMetrics::borderWidth(), 1);
        QCOMPARE(SystemMetrics::borderHeight(), 1);
        const QString file = m_dir.filePath(QStringLiteral("small.avi"));
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-t", "1",
                      "-c:v", "mjpeg", "-pix_fmt", "yuvj420p", file});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
        QCOMPARE(m->frameGeometry().size(), QSize(640, 480));
        CommonDialogTest::enable();
        CommonDialogTest::clear();
        CommonDialogTest::queueFile(file);
        m->menuItem("FileMenu", 3)->trigger();
        wMovieViewer* v = m->MDIClient->findChild<wMovieViewer*>();
        QVERIFY(v);
        QTRY_VERIFY_WITH_TIMEOUT(v->Movie->videoSize().isValid() || !v->Movie->errorText().isEmpty(), 20000);
        QCOMPARE(v->Movie->videoSize(), QSize(320, 240));
        const QWidget* frame = v->parentWidget();
        QCOMPARE(frame->height() - v->Movie->height(), SystemMetrics::captionHeight() + 20);
        QCOMPARE(v->Movie->height() - v->Movie->view()->height(), v->Movie->controlBarHeight());
        QVERIFY2(v->Movie->view()->width() >= 300, qPrintable(QString::number(v->Movie->view()->width())));
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
