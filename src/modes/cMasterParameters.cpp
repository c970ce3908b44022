#include "cMaster.h"

#include "EventLog.h"
#include "MSVIDEO.h"
#include "ParameterFile.h"
#include "Vars.h"
#include "cMSVIDEO.h"

#include <functional>
#include <vector>

// The capture parameters file: the common lines 1 to 10, the mode tag, and the
// section of that one mode. Values are applied by setting the controls, so each
// control's own change handling runs as if the user had made the change; a toolbar
// button's pressed state is set without any handling. A value a control cannot take
// leaves that control as it was, and a file that ends early leaves the rest alone.

namespace cMaster {

namespace {

const QString kTitle = QStringLiteral("Video Kelvanor File");
const QString kKlp = QStringLiteral("KLP");

using Step = std::function<void(const QString& line)>;

// Applies `steps` to the next lines in order; false when the file ran out first.
bool applyLines(ParameterFile& file, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        const std::optional<QString> line = file.takeLine();
        if (!line) return false;
        step(*line);
    }
    return true;
}

Step list(QComboBox* box) {
    return [box](const QString& line) {
        const auto index = ParameterFile::toInteger(line, -1, box->count() - 1);
        if (index) box->setCurrentIndex(int(*index));
    };
}

Step checkBox(QCheckBox* box) {
    return [box](const QString& line) {
        const auto value = ParameterFile::toInteger(line, 0, 1);
        if (value) box->setChecked(*value == 1);
    };
}

Step upDown(QSpinBox* control) {
    return [control](const QString& line) {
        const auto value = ParameterFile::toInteger(line, control->minimum(), control->maximum());
        if (value) control->setValue(int(*value));
    };
}

void setWithin(QSpinBox* control, qint64 value) {
    if (value >= control->minimum() && value <= control->maximum()) control->setValue(int(value));
}

// A count of seconds split back into an hours, a minutes and a seconds control.
Step duration(QSpinBox* hours, QSpinBox* minutes, QSpinBox* seconds) {
    return [=](const QString& line) {
        const auto total = ParameterFile::toInt32(line);
        if (!total || *total < 0) return;
        setWithin(hours, MSVIDEO::HoursPart(*total));
        setWithin(minutes, MSVIDEO::MinutesPart(*total));
        setWithin(seconds, MSVIDEO::SecondsPart(*total));
    };
}

Step button(KeyedToolbar* bar, const char* key, const char* on) {
    return [bar, key, on](const QString& line) {
        bar->setValue(QLatin1String(key), line == QLatin1String(on) ? 1 : 0);
    };
}

Step text(QLineEdit* box) {
    return [box](const QString& line) { box->setText(line); };
}

Step int16(qint16& value) {
    return [&value](const QString& line) {
        if (const auto v = ParameterFile::toInt16(line)) value = qint16(*v);
    };
}

Step otherInfo(int entry) {
    return [entry](const QString& line) { MSVIDEO::OtherInfo[size_t(entry)] = line; };
}

// A stamp colour, shown at once in both panels' swatches.
Step color(quint32& value, QLabel* imageSwatch, QLabel* multipleSwatch) {
    return [&value, imageSwatch, multipleSwatch](const QString& line) {
        const auto v = ParameterFile::toInteger(line, 0, 0xFFFFFF);
        if (!v) return;
        value = quint32(*v);
        Master::paintSwatch(imageSwatch, value);
        Master::paintSwatch(multipleSwatch, value);
    };
}

std::vector<Step> commonSteps(Master& m) {
    return {
        [&m](const QString& line) {
            MSVIDEO::MovieFileName = line;
            m.MasterStatus->setText(QStringLiteral("filename"), QStringLiteral("Filename: ") + line);
        },
        [&m](const QString& line) {
            QComboBox* rate = m.MSVIDEOPreviewRate;
            const auto index = ParameterFile::toInteger(line, -1, rate->count() - 1);
            if (!index) return;
            rate->setCurrentIndex(int(*index));
            // The list's click handling, as when the user picks the entry.
            if (*index >= 0) emit rate->activated(int(*index));
        },
        [&m](const QString& line) {
            const auto overlay = ParameterFile::toInt32(line);
            if (overlay && *overlay == 1 && MSVIDEO::CapDriverCaps.fHasOverlay == 1) {
                cMSVIDEO::SetOverlayMode(m);
                return;
            }
            // A list without a selection previews at the rate in force, never at 0.
            const int index = m.MSVIDEOPreviewRate->currentIndex();
            cMSVIDEO::SetPreviewMode(m, index >= 0 ? index + 1 : MSVIDEO::PreviewRate);
        },
        // The video window re-reads the capture parameters from the capture window at
        // every activation: each loaded value goes to the capture window too, or the
        // next click on the video window would throw it away.
        [](const QString& line) {
            if (const auto v = ParameterFile::toInt32(line)) {
                MSVIDEO::CaptureParms.dwIndexSize = DWORD(*v);
                MSVIDEO::CaptureResult =
                    MSVIDEO::SetCaptureSetup(MSVIDEO::CaptureWindow, MSVIDEO::CaptureParms);
            }
        },
        [](const QString& line) {
            if (const auto v = ParameterFile::toInt32(line)) {
                MSVIDEO::CaptureParms.fYield = BOOL(*v);
                MSVIDEO::CaptureResult =
                    MSVIDEO::SetCaptureSetup(MSVIDEO::CaptureWindow, MSVIDEO::CaptureParms);
            }
        },
        int16(Vars::ScheduledStartHours),
        int16(Vars::ScheduledStartMinutes),
        int16(Vars::ScheduledStartSeconds),
    };
}

std::vector<Step> movieSteps(Master& m) {
    std::vector<Step> steps = {
        [&m](const QString& line) { m.ShowAudioPanel(line == QLatin1String("CA")); },
        list(m.AudioChannels),
        list(m.AudioBits),
        list(m.AudioRate),
        button(m.MovieToolbar, "writeinfo", "WI"),
        upDown(m.MovieFrameRateControl),
        duration(m.MovieHoursControl, m.MovieMinutesControl, m.MovieSecondsControl),
        checkBox(m.MovieDisableLimit),
    };
    for (int i = 0; i < 7; ++i)
        steps.push_back(otherInfo(i));
    return steps;
}

std::vector<Step> imageSteps(Master& m) {
    return {
        button(m.ImageToolbar, "time", "TI"),
        color(Vars::StampTimeColor, m.ImageTimeColor, m.MultipleImageTimeColor),
        list(m.ImageTimePosition),
        button(m.ImageToolbar, "date", "DA"),
        color(Vars::StampDateColor, m.ImageDateColor, m.MultipleImageDateColor),
        list(m.ImageDatePosition),
        button(m.ImageToolbar, "text", "TX"),
        color(Vars::StampTextColor, m.ImageTextColor, m.MultipleImageTextColor),
        list(m.ImageTextPosition),
        text(m.ImageText),
    };
}

std::vector<Step> multipleImageSteps(Master& m) {
    std::vector<Step> steps = {
        list(m.MultipleImageMode),
        button(m.MultipleImageToolbar2, "time", "TI"),
        color(Vars::StampTimeColor, m.ImageTimeColor, m.MultipleImageTimeColor),
        list(m.MultipleImageTimePosition),
        button(m.MultipleImageToolbar2, "date", "DA"),
        color(Vars::StampDateColor, m.ImageDateColor, m.MultipleImageDateColor),
        list(m.MultipleImageDatePosition),
        button(m.MultipleImageToolbar2, "text", "TX"),
        color(Vars::StampTextColor, m.ImageTextColor, m.MultipleImageTextColor),
        list(m.MultipleImageTextPosition),
        text(m.MultipleImageText),
        checkBox(m.MultipleImageAutoShoot),
        duration(m.MultipleImageHoursControl, m.MultipleImageMinutesControl, m.MultipleImageSecondsControl),
    };
    for (int i = 0; i < 7; ++i)
        steps.push_back(otherInfo(i));
    steps.push_back(button(m.MultipleImageToolbar, "writeinfo", "WI"));
    return steps;
}

qint64 seconds(const QSpinBox* hours, const QSpinBox* minutes, const QSpinBox* secs) {
    return MSVIDEO::TimeToSeconds(hours->value(), minutes->value(), secs->value());
}

bool pressed(const KeyedToolbar* bar, const char* key) {
    return bar->Value(QLatin1String(key)) == 1;
}

void addOtherInfo(ParameterFile& file) {
    for (const QString& entry : MSVIDEO::OtherInfo)
        file.addText(entry);
}

void addStamps(ParameterFile& file, const KeyedToolbar* bar, const QComboBox* time, const QComboBox* date,
               const QComboBox* text) {
    file.addMarker(pressed(bar, "time"), "TI", "NT");
    file.addNumber(Vars::StampTimeColor);
    file.addNumber(time->currentIndex());
    file.addMarker(pressed(bar, "date"), "DA", "ND");
    file.addNumber(Vars::StampDateColor);
    file.addNumber(date->currentIndex());
    file.addMarker(pressed(bar, "text"), "TX", "NT");
    file.addNumber(Vars::StampTextColor);
    file.addNumber(text->currentIndex());
}

ParameterFile compose(const Master& m) {
    ParameterFile file;
    file.addText(kTitle);
    file.addText(kKlp);
    file.addText(MSVIDEO::MovieFileName);
    file.addNumber(m.MSVIDEOPreviewRate->currentIndex());
    file.addNumber(MSVIDEO::CapStatus.fOverlayWindow);
    file.addNumber(qint32(MSVIDEO::CaptureParms.dwIndexSize)); // stored as a signed 32-bit value
    file.addNumber(MSVIDEO::CaptureParms.fYield);
    file.addNumber(Vars::ScheduledStartHours);
    file.addNumber(Vars::ScheduledStartMinutes);
    file.addNumber(Vars::ScheduledStartSeconds);

    if (m.MoviePanel->Visible()) {
        file.addText(QStringLiteral("MC"));
        file.addMarker(pressed(m.MovieToolbar, "audio"), "CA", "NA");
        file.addNumber(m.AudioChannels->currentIndex());
        file.addNumber(m.AudioBits->currentIndex());
        file.addNumber(m.AudioRate->currentIndex());
        file.addMarker(pressed(m.MovieToolbar, "writeinfo"), "WI", "NI");
        file.addNumber(m.MovieFrameRateControl->value());
        file.addNumber(seconds(m.MovieHoursControl, m.MovieMinutesControl, m.MovieSecondsControl));
        file.addNumber(m.MovieDisableLimit->isChecked() ? 1 : 0);
        addOtherInfo(file);
    } else if (m.ImagePanel->Visible()) {
        file.addText(QStringLiteral("IC"));
        addStamps(file, m.ImageToolbar, m.ImageTimePosition, m.ImageDatePosition, m.ImageTextPosition);
        file.addText(m.ImageText->text());
    } else if (m.MultipleImagePanel->Visible()) {
        file.addText(QStringLiteral("MIC"));
        file.addNumber(m.MultipleImageMode->currentIndex());
        addStamps(file, m.MultipleImageToolbar2, m.MultipleImageTimePosition, m.MultipleImageDatePosition,
                  m.MultipleImageTextPosition);
        file.addText(m.MultipleImageText->text());
        file.addNumber(m.MultipleImageAutoShoot->isChecked() ? 1 : 0);
        file.addNumber(seconds(m.MultipleImageHoursControl, m.MultipleImageMinutesControl,
                               m.MultipleImageSecondsControl));
        addOtherInfo(file);
        file.addMarker(pressed(m.MultipleImageToolbar, "writeinfo"), "WI", "NI");
    } else if (m.WebcamPanel->Visible()) {
        file.addText(QStringLiteral("WC"));
    }
    // No mode panel shown: the file ends after line 10.
    return file;
}

} // namespace

bool SaveCaptureParameters(Master& m, const QString& path, QString* reason) {
    return compose(m).write(path, reason);
}

bool LoadCaptureParameters(Master& m, const QString& path) {
    ParameterFile file;
    if (!file.read(path)) return false;
    const std::optional<QString> first = file.takeLine();
    const std::optional<QString> second = file.takeLine();
    // Either line is enough; a file with neither is not ours and changes nothing.
    if (!(first && *first == kTitle) && !(second && *second == kKlp)) return false;

    if (!applyLines(file, commonSteps(m))) return false;
    const std::optional<QString> tag = file.takeLine();
    if (!tag) return false;
    if (*tag == QLatin1String("MC")) {
        SelectMovieMode(m);
        applyLines(file, movieSteps(m));
    } else if (*tag == QLatin1String("IC")) {
        SelectImageMode(m);
        applyLines(file, imageSteps(m));
    } else if (*tag == QLatin1String("MIC")) {
        SelectMultipleImageMode(m);
        applyLines(file, multipleImageSteps(m));
    } else if (*tag == QLatin1String("WC")) {
        SelectWebcamMode(m);
    } else {
        return false;
    }
    return true;
}

QString LastRunPath() {
    return Vars::startupPath(QStringLiteral("klsr.kl2"));
}

bool SaveLastRun(Master& m) {
    const QString path = LastRunPath();
    QString reason;
    if (SaveCaptureParameters(m, path, &reason)) return true;
    WriteLog(QStringLiteral("Cannot write the last-run file ") + path + QStringLiteral(": ") + reason);
    return false;
}

void RestoreLastRun(Master& m) {
    // A missing file is the normal first start. A file that names no mode (foreign,
    // cut short, or an unknown tag) would leave no mode panel at all: movie mode then.
    if (!LoadCaptureParameters(m, LastRunPath())) SelectMovieMode(m);
}

} // namespace cMaster
