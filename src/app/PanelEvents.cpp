#include "PanelEvents.h"

#include "MSVIDEO.h"
#include "Vars.h"
#include "cMaster.h"

namespace PanelEvents {

namespace {

const QString kFilenamePanel = QStringLiteral("filename");

// "#00": at least two digits, never cut.
QString twoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Numbers shown as text carry one blank before a non-negative value.
QString signedText(int value) {
    return value >= 0 ? QLatin1Char(' ') + QString::number(value) : QString::number(value);
}

// Checks `on` and clears `off`.
void checkOne(QAction* on, QAction* off) {
    on->setChecked(true);
    off->setChecked(false);
}

// Steps 1 and 2 of the shoot-type switch: what each output type can use. Stamps are
// for pictures and the clipboard, the viewer frame rate and the movie information
// for movies.
void applyShootTypeControls(Master& m) {
    const bool movie = m.MultipleImageMode->currentIndex() == 0;
    m.MultipleImageToolbar2->setEnabled(!movie);
    m.MultipleImageTimePosition->setEnabled(!movie);
    m.MultipleImageDatePosition->setEnabled(!movie);
    m.MultipleImageTextPosition->setEnabled(!movie);
    m.MultipleImageText->setEnabled(!movie);
    m.MultipleImageFrameRate->setEnabled(movie);
    m.MultipleImageToolbar->setImage(QStringLiteral("filename"),
                                     movie ? QStringLiteral("avifile") : QStringLiteral("save"));
    m.MultipleImageToolbar->button(QStringLiteral("otherinfo"))->setEnabled(movie);
    m.MultipleImageToolbar->button(QStringLiteral("writeinfo"))->setEnabled(movie);
}

// The time, date or text colour from the colour dialog; both swatches of that stamp,
// the image panel's and the multiple-image panel's, show the colour in force.
void chooseStampColor(Master& m, const QString& key) {
    quint32* color;
    QLabel* imageSwatch;
    QLabel* multipleSwatch;
    QString title;
    if (key == QLatin1String("timecolor")) {
        color = &Vars::StampTimeColor;
        imageSwatch = m.ImageTimeColor;
        multipleSwatch = m.MultipleImageTimeColor;
        title = QStringLiteral("Time Color");
    } else if (key == QLatin1String("datecolor")) {
        color = &Vars::StampDateColor;
        imageSwatch = m.ImageDateColor;
        multipleSwatch = m.MultipleImageDateColor;
        title = QStringLiteral("Date Color");
    } else if (key == QLatin1String("textcolor")) {
        color = &Vars::StampTextColor;
        imageSwatch = m.ImageTextColor;
        multipleSwatch = m.MultipleImageTextColor;
        title = QStringLiteral("Text Color");
    } else {
        return; // "time", "date", "text": on/off switches read at capture time
    }
    m.MasterDialog.DialogTitle = title;
    m.MasterDialog.Color = *color; // the dialog opens on the colour in force
    if (m.MasterDialog.ShowColor()) *color = m.MasterDialog.Color;
    Master::paintSwatch(imageSwatch, *color);
    Master::paintSwatch(multipleSwatch, *color);
}

} // namespace

void connectAll(Master& m) {
    Master* f = &m;
    for (QSpinBox* c :
         {static_cast<QSpinBox*>(m.MovieHoursControl), static_cast<QSpinBox*>(m.MovieMinutesControl),
          static_cast<QSpinBox*>(m.MovieSecondsControl)})
        QObject::connect(c, &QSpinBox::valueChanged, f, [f, c] { MovieDuration_Change(*f, c); });
    QObject::connect(m.MovieFrameRateControl, &QSpinBox::valueChanged, f,
                     [f] { MovieFrameRateControl_Change(*f); });
    QObject::connect(m.MovieDisableLimit, &QCheckBox::toggled, f, [f] { MovieDisableLimit_Click(*f); });
    QObject::connect(m.MovieToolbar, &KeyedToolbar::ButtonClick, f,
                     [f](const QString& key) { MovieToolbar_ButtonClick(*f, key); });

    QObject::connect(m.AudioChannels, &QComboBox::currentIndexChanged, f, [f] { AudioChannels_Click(*f); });
    QObject::connect(m.AudioBits, &QComboBox::currentIndexChanged, f, [f] { AudioBits_Click(*f); });
    QObject::connect(m.AudioRate, &QComboBox::currentIndexChanged, f, [f] { AudioRate_Click(*f); });

    QObject::connect(m.ImageToolbar, &KeyedToolbar::ButtonClick, f,
                     [f](const QString& key) { ImageToolbar_ButtonClick(*f, key); });
    QObject::connect(m.ImageText, &QLineEdit::textChanged, f, [f] { ImageText_Change(*f); });

    QObject::connect(m.MultipleImageMode, &QComboBox::currentIndexChanged, f,
                     [f] { MultipleImageMode_Click(*f); });
    QObject::connect(m.MultipleImageAutoShoot, &QCheckBox::toggled, f,
                     [f] { MultipleImageAutoShoot_Click(*f); });
    for (QSpinBox* c : {static_cast<QSpinBox*>(m.MultipleImageHoursControl),
                        static_cast<QSpinBox*>(m.MultipleImageMinutesControl),
                        static_cast<QSpinBox*>(m.MultipleImageSecondsControl)})
        QObject::connect(c, &QSpinBox::valueChanged, f, [f, c] { MultipleImageInterval_Change(*f, c); });
    QObject::connect(m.MultipleImageToolbar, &KeyedToolbar::ButtonClick, f,
                     [f](const QString& key) { MultipleImageToolbar_ButtonClick(*f, key); });
    QObject::connect(m.MultipleImageToolbar2, &KeyedToolbar::ButtonClick, f,
                     [f](const QString& key) { MultipleImageToolbar2_ButtonClick(*f, key); });
    QObject::connect(m.MultipleImageText, &QLineEdit::textChanged, f, [f] { MultipleImageText_Change(*f); });
    QObject::connect(m.MultipleImageTimer, &QTimer::timeout, f,
                     [f] { MultipleImageTimer_Timer(*f, [f] { cMaster::CaptureStillImage(*f); }); });

    // The controls match the shoot type and the audio lists from the start, not only
    // after their first change.
    applyShootTypeControls(m);
    AudioChannels_Click(m);
    AudioBits_Click(m);
    AudioRate_Click(m);
}

// ---- Movie panel ----------------------------------------------------------------

void MovieDuration_Change(Master& m, QSpinBox* control) {
    QLabel* display = control == m.MovieHoursControl     ? m.MovieHoursDisplay
                      : control == m.MovieMinutesControl ? m.MovieMinutesDisplay
                                                         : m.MovieSecondsDisplay;
    display->setText(twoDigits(control->value()));
    // The shortest limit is one second; the seconds' own change shows "01".
    if (m.MovieHoursControl->value() == 0 && m.MovieMinutesControl->value() == 0 &&
        m.MovieSecondsControl->value() == 0)
        m.MovieSecondsControl->setValue(1);
}

void MovieFrameRateControl_Change(Master& m) {
    m.MovieFrameRateDisplay->setText(signedText(m.MovieFrameRateControl->value()) + QStringLiteral(" FPS"));
}

void MovieDisableLimit_Click(Master& m) {
    // The values stay, so unticking brings the previous limit back.
    const bool limited = !m.MovieDisableLimit->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(m.MovieHoursControl), static_cast<QWidget*>(m.MovieHoursDisplay),
          static_cast<QWidget*>(m.MovieMinutesControl), static_cast<QWidget*>(m.MovieMinutesDisplay),
          static_cast<QWidget*>(m.MovieSecondsControl), static_cast<QWidget*>(m.MovieSecondsDisplay)})
        w->setEnabled(limited);
}

void MovieToolbar_ButtonClick(Master& m, const QString& key) {
    if (key == QLatin1String("filename"))
        cMaster::ChooseMovieFileName(m);
    else if (key == QLatin1String("audio"))
        m.ShowAudioPanel(!m.AudioToolbar->Visible());
    else if (key == QLatin1String("compression"))
        cMaster::ShowCompressionDialog(m);
    else if (key == QLatin1String("otherinfo"))
        cMaster::ShowOtherInformation(m);
    // "writeinfo" is an on/off switch read when a recording ends.
}

// ---- Audio panel ----------------------------------------------------------------

void AudioChannels_Click(Master& m) {
    QAction* mono = m.menuItem(QStringLiteral("AudioMenu"), 3);
    QAction* stereo = m.menuItem(QStringLiteral("AudioMenu"), 4);
    if (m.AudioChannels->currentIndex() == 1)
        checkOne(mono, stereo);
    else
        checkOne(stereo, mono);
}

void AudioBits_Click(Master& m) {
    QAction* eight = m.menuItem(QStringLiteral("AudioMenu"), 6);
    QAction* sixteen = m.menuItem(QStringLiteral("AudioMenu"), 7);
    if (m.AudioBits->currentIndex() == 1)
        checkOne(sixteen, eight);
    else
        checkOne(eight, sixteen);
}

void AudioRate_Click(Master& m) {
    const int selected = m.AudioRate->currentIndex();
    for (int i = 0; i < 4; ++i)
        m.menuItem(QStringLiteral("SampleRateMenu"), i)->setChecked(i == selected);
}

// ---- Image panel ----------------------------------------------------------------

void ImageToolbar_ButtonClick(Master& m, const QString& key) {
    chooseStampColor(m, key);
}

void ImageText_Change(Master& m) {
    cMaster::UpdateStampText(m);
}

// ---- Multiple-image panel -------------------------------------------------------

void MultipleImageMode_Click(Master& m) {
    applyShootTypeControls(m);
    // The output name is only touched while the panel is in use: a parameters file
    // sets the type of a hidden panel without renaming the movie file.
    if (!m.MultipleImagePanel->Visible()) return;
    const int type = m.MultipleImageMode->currentIndex();
    if (type == 5) { // clipboard: no file
        m.MasterStatus->setText(kFilenamePanel, QString());
        return;
    }
    if (type < 0 || type > 5) return;
    static const char* const kExtensions[] = {".AVI", ".BMP", ".JPG", ".BMP", ".JPG"};
    MSVIDEO::MovieFileName =
        cMaster::WithExtension(MSVIDEO::MovieFileName, 4, QLatin1String(kExtensions[type]));
    m.MasterStatus->setText(kFilenamePanel, QStringLiteral("Filename: ") + MSVIDEO::MovieFileName);
}

void MultipleImageAutoShoot_Click(Master& m) {
    m.Shooter->setHidden(m.MultipleImageAutoShoot->isChecked());
}

void MultipleImageInterval_Change(Master& m, QSpinBox* control) {
    QLabel* display = control == m.MultipleImageHoursControl     ? m.MultipleImageHoursDisplay
                      : control == m.MultipleImageMinutesControl ? m.MultipleImageMinutesDisplay
                                                                 : m.MultipleImageSecondsDisplay;
    display->setText(twoDigits(control->value()));
    // The shortest interval is one second; the seconds' own change shows "01".
    if (m.MultipleImageHoursControl->value() == 0 && m.MultipleImageMinutesControl->value() == 0 &&
        m.MultipleImageSecondsControl->value() == 0)
        m.MultipleImageSecondsControl->setValue(1);
}

void MultipleImageToolbar_ButtonClick(Master& m, const QString& key) {
    if (key == QLatin1String("filename")) {
        CommonDialog& dialog = m.MasterDialog;
        const QString type = MSVIDEO::MovieFileName.right(3).toUpper();
        if (type == QLatin1String("AVI"))
            dialog.Filter = QStringLiteral("Movie Clips (*.AVI)|*.avi");
        else if (type == QLatin1String("BMP"))
            dialog.Filter = QStringLiteral("Bitmap Image File (*.BMP)|*.BMP");
        else if (type == QLatin1String("JPG"))
            dialog.Filter = QStringLiteral("JPEG Image File (*.JPG)|*.JPG");
        // any other type keeps the filter of the dialog's last use
        dialog.FileName = MSVIDEO::MovieFileName;
        dialog.DialogTitle = QStringLiteral("Save as...");
        if (!dialog.ShowSave()) return;
        MSVIDEO::MovieFileName = dialog.FileName;
        m.MasterStatus->setText(kFilenamePanel, QStringLiteral("Filename: ") + MSVIDEO::MovieFileName);
    } else if (key == QLatin1String("otherinfo")) {
        cMaster::ShowOtherInformation(m);
    }
    // "writeinfo" is an on/off switch read when a movie ends.
}

void MultipleImageToolbar2_ButtonClick(Master& m, const QString& key) {
    chooseStampColor(m, key);
}

void MultipleImageText_Change(Master& m) {
    cMaster::UpdateStampText(m);
}

void MultipleImageTimer_Timer(Master& m, const std::function<void()>& shoot) {
    Vars::ShotElapsed += 1;
    if (Vars::ShotElapsed < Vars::ShotInterval) {
        m.StatusString->setText(signedText(Vars::ShotInterval - Vars::ShotElapsed) +
                                QStringLiteral(" seconds to capture another frame"));
        return;
    }
    // The count towards the next frame runs from the moment this one begins. A shot
    // asked for while the last one is still being taken is skipped by the still capture.
    Vars::ShotElapsed = 0;
    if (shoot) shoot();
}

} // namespace PanelEvents
