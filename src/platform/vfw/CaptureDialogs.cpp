#include "CaptureDialogs.h"

#include "SourceDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>
#include <map>

namespace CaptureDialogs {
namespace {

QString fourccText(std::uint32_t code) {
    QString text;
    for (int i = 0; i < 4; ++i)
        text += QChar(char((code >> (8 * i)) & 0xFF));
    return text.trimmed();
}

QDialogButtonBox* addButtons(QDialog& dialog, QVBoxLayout* layout) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    return buttons;
}

QString rateText(const FrameInterval& interval) {
    return QStringLiteral("%1 frames/s").arg(interval.framesPerSecond(), 0, 'g', 4);
}

} // namespace

void showSourceDialog(QWidget* parent, CaptureDriver& driver) {
    SourceDialog dialog(parent, driver);
    if (dialog.exec() == QDialog::Accepted)
        dialog.flush();
    else
        dialog.restore();
}

std::optional<VideoFormat> showFormatDialog(QWidget* parent, const std::vector<FormatOption>& formats,
                                            const VideoFormat& current, const QStringList& notes) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("VideoFormatDialog"));
    dialog.setWindowTitle(QStringLiteral("Video Format"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    auto* pixelFormat = new QComboBox(&dialog);
    pixelFormat->setObjectName(QStringLiteral("pixelFormat"));
    auto* frameSize = new QComboBox(&dialog);
    frameSize->setObjectName(QStringLiteral("frameSize"));
    auto* frameRate = new QComboBox(&dialog);
    frameRate->setObjectName(QStringLiteral("frameRate"));
    form->addRow(QStringLiteral("Pixel format:"), pixelFormat);
    form->addRow(QStringLiteral("Size:"), frameSize);
    form->addRow(QStringLiteral("Rate:"), frameRate);
    if (!notes.isEmpty()) {
        auto* noted = new QLabel(notes.join(QLatin1Char('\n')), &dialog);
        noted->setObjectName(QStringLiteral("formatNotes"));
        noted->setWordWrap(true);
        layout->addWidget(noted);
    }

    std::vector<std::uint32_t> codes;
    for (const FormatOption& option : formats) {
        if (std::find(codes.begin(), codes.end(), option.fourcc) == codes.end()) {
            codes.push_back(option.fourcc);
            pixelFormat->addItem(
                QStringLiteral("%1 (%2)").arg(option.pixelFormatName, fourccText(option.fourcc)),
                option.fourcc);
        }
    }
    auto fillRates = [&] {
        frameRate->clear();
        const int optionIndex = frameSize->currentData().toInt();
        if (optionIndex < 0 || optionIndex >= int(formats.size())) return;
        const auto& intervals = formats[std::size_t(optionIndex)].intervals;
        for (std::size_t i = 0; i < intervals.size(); ++i) {
            frameRate->addItem(rateText(intervals[i]), int(i));
            if (intervals[i] == current.interval) frameRate->setCurrentIndex(int(i));
        }
    };
    auto fillSizes = [&] {
        frameSize->clear();
        const auto code = pixelFormat->currentData().toUInt();
        for (std::size_t i = 0; i < formats.size(); ++i) {
            if (formats[i].fourcc != code) continue;
            frameSize->addItem(
                QStringLiteral("%1 x %2").arg(formats[i].size.width()).arg(formats[i].size.height()), int(i));
            if (formats[i].size == current.size) frameSize->setCurrentIndex(frameSize->count() - 1);
        }
        fillRates();
    };
    pixelFormat->setCurrentIndex(std::max(0, pixelFormat->findData(current.fourcc)));
    fillSizes();
    QObject::connect(pixelFormat, &QComboBox::currentIndexChanged, &dialog, fillSizes);
    QObject::connect(frameSize, &QComboBox::currentIndexChanged, &dialog, fillRates);
    addButtons(dialog, layout);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const int optionIndex = frameSize->currentData().toInt();
    const int rateIndex = frameRate->currentData().toInt();
    if (optionIndex < 0 || optionIndex >= int(formats.size())) return std::nullopt;
    const FormatOption& option = formats[std::size_t(optionIndex)];
    VideoFormat chosen;
    chosen.fourcc = option.fourcc;
    chosen.size = option.size;
    chosen.interval = rateIndex >= 0 && rateIndex < int(option.intervals.size())
                          ? option.intervals[std::size_t(rateIndex)]
                          : current.interval;
    return chosen;
}

std::optional<bool> showDisplayDialog(QWidget* parent, bool scale) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("VideoDisplayDialog"));
    dialog.setWindowTitle(QStringLiteral("Video Display"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* box = new QCheckBox(QStringLiteral("Stretch the video to the window"), &dialog);
    box->setObjectName(QStringLiteral("scale"));
    box->setChecked(scale);
    layout->addWidget(box);
    addButtons(dialog, layout);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return box->isChecked();
}

std::optional<VideoCompression> showCompressionDialog(QWidget* parent,
                                                      const std::vector<VideoEncoderInfo>& encoders,
                                                      const VideoCompression& current) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("VideoCompressionDialog"));
    dialog.setWindowTitle(QStringLiteral("Video Compression"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    auto* encoder = new QComboBox(&dialog);
    encoder->setObjectName(QStringLiteral("encoder"));
    for (const VideoEncoderInfo& info : encoders) {
        const QString text = info.name == QLatin1String("rawvideo")
                                 ? QStringLiteral("Full Frames (Uncompressed)")
                                 : QStringLiteral("%1 (%2)").arg(info.longName, info.name);
        encoder->addItem(text, info.name);
    }
    encoder->setCurrentIndex(std::max(0, encoder->findData(current.encoder)));
    auto* quality = new QSpinBox(&dialog);
    quality->setObjectName(QStringLiteral("quality"));
    quality->setRange(1, 100);
    quality->setValue(current.quality);
    form->addRow(QStringLiteral("Compressor:"), encoder);
    form->addRow(QStringLiteral("Quality:"), quality);
    addButtons(dialog, layout);
    if (dialog.exec() != QDialog::Accepted || encoder->count() == 0) return std::nullopt;
    return VideoCompression{encoder->currentData().toString(), quality->value()};
}

} // namespace CaptureDialogs
