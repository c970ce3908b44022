#include "Commands.h"

#include "EventLog.h"
#include "MSVIDEO.h"
#include "MsgBox.h"
#include "WinApi32.h"
#include "cMSVIDEO.h"
#include "cMaster.h"
#include "wAboutWindow.h"
#include "wAutostart.h"
#include "wCODECS.h"
#include "wImage.h"
#include "wMSVIDEO.h"
#include "wMSVIDEOFullScreen.h"
#include "wMovieViewer.h"
#include "wSplash.h"
#include "wVFWInfo.h"
#include "wVFWSettings.h"

namespace Commands {

void connectAll(Master& m) {
    QObject::connect(&m, &Master::menuClicked, &m, [&m](const QString& menu, int index) {
        if (menu == QLatin1String("FileMenu"))
            FileMenu_Click(m, index);
        else if (menu == QLatin1String("EditMenu"))
            EditMenu_Click(m, index);
        else if (menu == QLatin1String("ViewMenu"))
            ViewMenu_Click(m, index);
        else if (menu == QLatin1String("VideoMenu"))
            VideoMenu_Click(m, index);
        else if (menu == QLatin1String("AudioMenu"))
            AudioMenu_Click(m, index);
        else if (menu == QLatin1String("SampleRateMenu"))
            SampleRateMenu_Click(m, index);
        else if (menu == QLatin1String("HelpMenu"))
            HelpMenu_Click(m, index);
        // The Window menu is the form's own.
    });

    QObject::connect(m.MainToolbar, &KeyedToolbar::ButtonClick, &m, [&m](const QString& key) {
        if (key == QLatin1String("open"))
            FileMenu_Click(m, 5);
        else if (key == QLatin1String("save"))
            FileMenu_Click(m, 6);
        else if (key == QLatin1String("movie"))
            cMaster::SelectMovieMode(m);
        else if (key == QLatin1String("image"))
            cMaster::SelectImageMode(m);
        else if (key == QLatin1String("multiple"))
            cMaster::SelectMultipleImageMode(m);
        else if (key == QLatin1String("webcam"))
            cMaster::SelectWebcamMode(m);
        else if (key == QLatin1String("viewer"))
            FileMenu_Click(m, 3);
        else if (key == QLatin1String("about"))
            wAboutWindow::Open(&m, true);
    });

    // Start or stop a capture: the record button's picture says which.
    QObject::connect(m.GlobalToolbar, &KeyedToolbar::ButtonClick, &m, [&m](const QString& key) {
        if (key == QLatin1String("record"))
            cMaster::CaptureAction(m, m.GlobalToolbar->Image(QStringLiteral("record")) ==
                                          QLatin1String("record"));
        else if (key == QLatin1String("autostart"))
            wAutostart::Show(m);
    });
    // Every capture action first ends a scheduled start.
    cMaster::CloseScheduledStart = [] { wAutostart::CloseIfOpen(); };
    QObject::connect(m.Shooter, &QPushButton::clicked, &m, [&m] { cMaster::CaptureStillImage(m); });

    // The device panel.
    QObject::connect(m.MSVIDEODevice, &QComboBox::activated, &m,
                     [&m](int index) { cMSVIDEO::SelectVideoDevice(m, index); });
    QObject::connect(m.MSVIDEOPreviewRate, &QComboBox::activated, &m, [&m](int index) {
        MSVIDEO::PreviewRate = qint16(index + 1);
        cMSVIDEO::SetPreviewMode(m, MSVIDEO::PreviewRate);
    });
    QObject::connect(m.msvideotoolbar, &KeyedToolbar::ButtonClick, &m, [&m](const QString& key) {
        if (key == QLatin1String("vidsource"))
            VideoMenu_Click(m, 0);
        else if (key == QLatin1String("viddisplay"))
            VideoMenu_Click(m, 2);
        else if (key == QLatin1String("vidformat"))
            VideoMenu_Click(m, 1);
        else if (key == QLatin1String("vidoverlay"))
            cMSVIDEO::SetOverlayMode(m);
        else if (key == QLatin1String("vidpreview"))
            cMSVIDEO::SetPreviewMode(m, MSVIDEO::PreviewRate);
        else if (key == QLatin1String("vidinfo"))
            VideoMenu_Click(m, 9);
        else if (key == QLatin1String("vidsettings"))
            VideoMenu_Click(m, 7);
    });
}

static void refreshVideoWindow() {
    if (wMSVIDEO* w = wMSVIDEO::instance()) w->RefreshWindow();
}

void FileMenu_Click(Master& m, int index) {
    switch (index) {
    case 0:
        cMaster::SelectMovieMode(m);
        break;
    case 1:
        cMaster::SelectImageMode(m);
        break;
    case 2:
        cMaster::SelectMultipleImageMode(m);
        break;
    case 3: // a movie in a new viewer
        m.MasterDialog.DialogTitle = QStringLiteral("Open AVI");
        m.MasterDialog.Filter = QStringLiteral("Movie File (*.avi)|*.avi|");
        if (m.MasterDialog.ShowOpen()) wMovieViewer::OpenMovie(m.MDIClient, m.MasterDialog.FileName);
        break;
    case 5: { // open a parameters file, a movie or a picture
        m.MasterDialog.DialogTitle = QStringLiteral("Open Capture Parameters");
        m.MasterDialog.Filter =
            QStringLiteral("All files |*.klp;*.bmp;*.jpg;*.avi|Kelvanor Parameters (*.klp)|*.klp|"
                           "Movie File (*.avi)|*.avi|Bitmap File (*.bmp)|*.bmp|"
                           "JPEG Image File (*.jpg)|*.jpg|");
        if (!m.MasterDialog.ShowOpen()) break;
        const QString path = m.MasterDialog.FileName;
        const QString type = path.right(3).toLower();
        if (type == QLatin1String("klp"))
            cMaster::LoadCaptureParameters(m, path);
        else if (type == QLatin1String("avi"))
            wMovieViewer::OpenMovie(m.MDIClient, path);
        else if (type == QLatin1String("bmp") || type == QLatin1String("jpg"))
            wImage::openPictureFile(m.MDIClient, path);
        break;
    }
    case 6: { // save the capture parameters, proposing the output name with "klp"
        m.MasterDialog.DialogTitle = QStringLiteral("Save Capture Parameters");
        m.MasterDialog.FileName = cMaster::WithExtension(MSVIDEO::MovieFileName, 3, QStringLiteral("klp"));
        m.MasterDialog.Filter = QStringLiteral("Kelvanor Parameters (*.klp)|*.klp|");
        if (!m.MasterDialog.ShowSave()) break;
        const QString path = m.MasterDialog.FileName; // as chosen: no extension added
        QString reason;
        if (!cMaster::SaveCaptureParameters(m, path, &reason))
            MsgBox(QStringLiteral("Cannot save the capture parameters to \"%1\": %2").arg(path, reason),
                   MsgBoxStyle::vbCritical, QStringLiteral("Video Kelvanor 2000"));
        break;
    }
    case 9:
        WinApi32::RunSystemInformation();
        break;
    case 11: // E&xit: the close request, with its question
        m.close();
        break;
    default:
        break;
    }
}

void EditMenu_Click(Master& m, int index) {
    switch (index) {
    case 0:
        cMaster::CaptureFrameToWindow(m);
        break;
    case 2:
        cMaster::ShowOtherInformation(m);
        break;
    default:
        break;
    }
}

void ViewMenu_Click(Master& m, int index) {
    switch (index) {
    case 0:
        if (m.MSVIDEOSmartPanel->Visible()) cMSVIDEO::SetOverlayMode(m);
        break;
    case 1:
        if (m.MSVIDEOSmartPanel->Visible())
            cMSVIDEO::SetPreviewMode(m, m.MSVIDEOPreviewRate->currentIndex() + 1);
        break;
    case 3: {
        WriteLog(QStringLiteral("Fullscreen open"));
        {
            wMSVIDEOFullScreen full(m);
            full.exec();
        }
        WriteLog(QStringLiteral("Fullscreen close"));
        break;
    }
    default:
        break;
    }
}

void VideoMenu_Click(Master& m, int index) {
    switch (index) {
    case 0:
        MSVIDEO::ShowVideoSourceDialog(MSVIDEO::CaptureWindow);
        refreshVideoWindow();
        break;
    case 1:
        MSVIDEO::ShowVideoFormatDialog(MSVIDEO::CaptureWindow);
        refreshVideoWindow();
        break;
    case 2:
        MSVIDEO::ShowVideoDisplayDialog(MSVIDEO::CaptureWindow);
        refreshVideoWindow();
        break;
    case 4:
        WriteLog(QStringLiteral("KLopen"));
        cMaster::ShowCompressionDialog(m);
        WriteLog(QStringLiteral("KLclose"));
        break;
    case 5: {
        wCODECS codecs(&m);
        codecs.exec();
        break;
    }
    case 7: {
        wVFWSettings settings(&m);
        settings.exec();
        break;
    }
    case 9:
        wVFWInfo::Show(m);
        break;
    default:
        break;
    }
}

void HelpMenu_Click(Master& m, int index) {
    switch (index) {
    case 0: { // Intro: the splash, not modal, closing itself after 4 s
        auto* splash = new wSplash(&m);
        splash->setAttribute(Qt::WA_DeleteOnClose);
        splash->show();
        break;
    }
    case 9: { // the About window, not modal
        wAboutWindow::Open(&m, false);
        break;
    }
    default:
        break;
    }
}

} // namespace Commands
