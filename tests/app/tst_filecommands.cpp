#include "Commands.h"
#include "CommonDialog.h"
#include "EventLog.h"
#include "MSVIDEO.h"
#include "Master.h"
#include "MasterEvents.h"
#include "MsgBox.h"
#include "Vars.h"
#include "cMaster.h"
#include "wMSVIDEO.h"
#include "wMovieViewer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// "Open Capture File..." and "Save Capture File..." from the File menu and the main
// toolbar: the dialogs they show and what each chosen file does.
class TestFileCommands : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<Master> m;

    QString path(const QString& name) const { return m_dir.filePath(name); }
    static QByteArray bytesOf(const QString& file) {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    // The click of the File menu item or of its toolbar button.
    void click(const QString& via, int fileMenuIndex) {
        if (via == QLatin1String("menu"))
            m->menuItem(QStringLiteral("FileMenu"), fileMenuIndex)->trigger();
        else
            m->MainToolbar->button(fileMenuIndex == 5 ? QStringLiteral("open") : QStringLiteral("save"))
                ->trigger();
    }

private slots:
    void initTestCase() {
        MsgBoxTest::enable();
        CommonDialogTest::enable();
    }
    void init() {
        Vars::StartupDirectory = m_dir.path();
        QVERIFY(CreateLog());
        MSVIDEO::reset();
        Vars::reset();
        MsgBoxTest::clear();
        CommonDialogTest::clear();
        m = std::make_unique<Master>();
        (new MasterEvents(*m))->Form_Load();
        m->show();
    }
    void cleanup() {
        wMSVIDEO::Unload();
        m.reset();
    }

    void via_data() {
        QTest::addColumn<QString>("via");
        QTest::newRow("File menu") << "menu";
        QTest::newRow("toolbar") << "toolbar";
    }

    // Saved from one mode, opened in another: the saved mode comes back. The save
    // dialog proposes the output name with "klp".
    void saveThenOpenParameters_data() { via_data(); }
    void saveThenOpenParameters() {
        QFETCH(QString, via);
        m->MainToolbar->button("image")->trigger();
        m->ImageText->setText(QStringLiteral("Door"));
        MSVIDEO::MovieFileName = path(QStringLiteral("door.avi"));
        const QString file = path(QStringLiteral("door.klp"));
        CommonDialogTest::queueFile(file);
        click(via, 6);
        QCOMPARE(CommonDialogTest::shown().size(), size_t(1));
        const CommonDialogTest::Shown save = CommonDialogTest::shown()[0];
        QCOMPARE(int(save.kind), int(CommonDialogTest::Kind::Save));
        QCOMPARE(save.title, QStringLiteral("Save Capture Parameters"));
        QCOMPARE(save.filter, QStringLiteral("Kelvanor Parameters (*.klp)|*.klp|"));
        QCOMPARE(save.fileName, file);
        QVERIFY(cMaster::SaveCaptureParameters(*m, path(QStringLiteral("direct.klp"))));
        QCOMPARE(bytesOf(file), bytesOf(path(QStringLiteral("direct.klp"))));

        m->MainToolbar->button("movie")->trigger();
        m->ImageText->setText(QStringLiteral("changed"));
        CommonDialogTest::queueFile(file);
        click(via, 5);
        const CommonDialogTest::Shown open = CommonDialogTest::shown()[1];
        QCOMPARE(int(open.kind), int(CommonDialogTest::Kind::Open));
        QCOMPARE(open.title, QStringLiteral("Open Capture Parameters"));
        QCOMPARE(open.filter,
                 QStringLiteral("All files |*.klp;*.bmp;*.jpg;*.avi|Kelvanor Parameters (*.klp)|*.klp|"
                                "Movie File (*.avi)|*.avi|Bitmap File (*.bmp)|*.bmp|"
                                "JPEG Image File (*.jpg)|*.jpg|"));
        QVERIFY(m->ImagePanel->Visible());
        QCOMPARE(m->MainToolbar->Value("image"), 1);
        QCOMPARE(m->ImageText->text(), QStringLiteral("Door"));
        QVERIFY(MsgBoxTest::shown().empty());
    }

    void savedNameIsTakenAsChosen() {
        CommonDialogTest::queueFile(path(QStringLiteral("no-extension")));
        click(QStringLiteral("menu"), 6);
        QVERIFY(QFile::exists(path(QStringLiteral("no-extension"))));
        QVERIFY(!QFile::exists(path(QStringLiteral("no-extension.klp"))));
    }

    void cancelledDialogsChangeNothing() {
        MSVIDEO::MovieFileName = path(QStringLiteral("keep.avi"));
        CommonDialogTest::queueCancel();
        click(QStringLiteral("menu"), 6);
        QVERIFY(!QFile::exists(path(QStringLiteral("keep.klp"))));
        CommonDialogTest::queueCancel();
        click(QStringLiteral("menu"), 5);
        QCOMPARE(MSVIDEO::MovieFileName, path(QStringLiteral("keep.avi")));
        QVERIFY(MsgBoxTest::shown().empty());
    }

    void unwritableParametersFileSaysWhereAndWhy() {
        const QString file = path(QStringLiteral("no/such/folder/set.klp"));
        CommonDialogTest::queueFile(file);
        click(QStringLiteral("toolbar"), 6);
        QCOMPARE(MsgBoxTest::shown().size(), size_t(1));
        const MsgBoxTest::Shown box = MsgBoxTest::shown()[0];
        QVERIFY2(
            box.text.startsWith(QStringLiteral("Cannot save the capture parameters to \"%1\": ").arg(file)),
            qPrintable(box.text));
        QVERIFY(box.text.size() >
                QStringLiteral("Cannot save the capture parameters to \"%1\": ").arg(file).size());
        QCOMPARE(box.style, int(MsgBoxStyle::vbCritical));
        QCOMPARE(box.title, QStringLiteral("Video Kelvanor 2000"));
    }

    // The type is the last three characters, in any case.
    void openByType_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("opens"); // "parameters", "movie", "nothing"
        QTest::newRow("klp") << "set.klp"
                             << "parameters";
        QTest::newRow("KLP") << "SET.KLP"
                             << "parameters";
        QTest::newRow("avi") << "clip.avi"
                             << "movie";
        QTest::newRow("AVI") << "CLIP.AVI"
                             << "movie";
        QTest::newRow("other") << "notes.txt"
                               << "nothing";
    }
    void openByType() {
        QFETCH(QString, name);
        QFETCH(QString, opens);
        m->MainToolbar->button("webcam")->trigger();
        QVERIFY(cMaster::SaveCaptureParameters(*m, path(name)));
        m->MainToolbar->button("image")->trigger();
        CommonDialogTest::queueFile(path(name));
        click(QStringLiteral("menu"), 5);
        QCOMPARE(m->MainToolbar->Value("webcam"), opens == QLatin1String("parameters") ? 1 : 0);
        QStringList movies;
        for (wMovieViewer* viewer : m->MDIClient->findChildren<wMovieViewer*>())
            movies << viewer->windowTitle();
        QCOMPARE(movies, opens == QLatin1String("movie") ? QStringList{name} : QStringList{});
    }

    void klpThatIsNotAParametersFileChangesNothing() {
        QFile f(path(QStringLiteral("fake.klp")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("just some text\r\n");
        f.close();
        MSVIDEO::MovieFileName = path(QStringLiteral("keep.avi"));
        CommonDialogTest::queueFile(f.fileName());
        click(QStringLiteral("menu"), 5);
        QCOMPARE(MSVIDEO::MovieFileName, path(QStringLiteral("keep.avi")));
        QCOMPARE(m->MainToolbar->Value("movie"), 1);
        QVERIFY(MsgBoxTest::shown().empty());
    }
};

QTEST_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
