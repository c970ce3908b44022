#include "wVFWSettings.h"

#include "MSVIDEO.h"
#include "ToolIcons.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <cmath>
#include <cstdlib>

namespace {

template <typename T> T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel* heading(const QString& text, const char* name, QWidget* parent) {
    QLabel* label = named(new QLabel(text, parent), name);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

} // namespace

DWORD wVFWSettings::TextToNumber(const QString& text) {
    QString compact = text;
    compact.remove(QRegularExpression(QStringLiteral("[ \\t\\r\\n]")));
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+\\.?\\d*|\\.\\d+)([eEdD][+-]?\\d+)?"));
    const QRegularExpressionMatch match = number.match(compact);
    if (!match.hasMatch()) return 0;
    QString digits = match.captured(0);
    digits.replace(QLatin1Char('d'), QLatin1Char('e')).replace(QLatin1Char('D'), QLatin1Char('e'));
    const QByteArray bytes = digits.toLatin1();
    const double value = std::strtod(bytes.constData(), nullptr); // an overflow is HUGE_VAL
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(value); // half to even, the default rounding
    if (rounded <= 0) return 0;
    if (rounded >= 4294967295.0) return 4294967295u;
    return DWORD(rounded);
}

QString wVFWSettings::NumberToText(DWORD value) {
    return QLatin1Char(' ') + QString::number(value);
}

QString wVFWSettings::DroppedFramesEntry(int percent) {
    return QStringLiteral("Warn when drop ") + QLatin1Char(' ') + QString::number(percent) +
           QStringLiteral(" % of frames");
}

wVFWSettings::wVFWSettings(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("wVFWSettings"));
    setWindowTitle(QStringLiteral("Microsoft Video for Windows Advanced Settings"));
    setModal(true);

    Label1 = named(
        new QLabel(QStringLiteral("It is recommend that only advanced users change this parameters."), this),
        "Label1");
    Label1->setWordWrap(true);
    Image1 = named(new QLabel(this), "Image1");
    Image1->setPixmap(ToolIcons::standard(QStyle::SP_MessageBoxWarning).pixmap(32, 32));

    Label2 = heading(QStringLiteral("Capture operation:"), "Label2", this);
    Yield[0] = named(new QRadioButton(QStringLiteral("Exclusive Task"), this), "Yield_0");
    Yield[1] = named(new QRadioButton(QStringLiteral("Background task"), this), "Yield_1");

    Label3 = heading(QStringLiteral("Memory & Disk:"), "Label3", this);
    Label4 = named(new QLabel(QStringLiteral("Video Buffers:"), this), "Label4");
    VideoBuffers = named(new QLineEdit(this), "VideoBuffers");
    Label5 = named(new QLabel(QStringLiteral("Audio Buffers:"), this), "Label5");
    AudioBuffers = named(new QLineEdit(this), "AudioBuffers");
    DOSBuffers = named(new QCheckBox(QStringLiteral("Use DOS buffers"), this), "DOSBuffers");

    Label8 = heading(QStringLiteral("AVI File:"), "Label8", this);
    DisableCache = named(new QCheckBox(QStringLiteral("Disable Write Cache"), this), "DisableCache");
    Label6 = named(new QLabel(QStringLiteral("Max. Index Size:"), this), "Label6");
    MaxIndexSize = named(new QLineEdit(this), "MaxIndexSize");
    Label7 = named(new QLabel(QStringLiteral("Chunk Granularity:"), this), "Label7");
    Chunk = named(new QLineEdit(this), "Chunk");
    Label9 = named(new QLabel(QStringLiteral("Dropped Frames:"), this), "Label9");
    DroppedFrames = named(new QComboBox(this), "DroppedFrames");
    for (int percent = 0; percent <= 100; ++percent)
        DroppedFrames->addItem(DroppedFramesEntry(percent));

    OK = named(new QPushButton(QStringLiteral("OK"), this), "OK");
    Command1 = named(new QPushButton(QStringLiteral("Cancel"), this), "Command1");
    SetDefaults = named(new QPushButton(QStringLiteral("Defaults"), this), "SetDefaults");
    OK->setDefault(true);
    connect(OK, &QPushButton::clicked, this, &wVFWSettings::OK_Click);
    connect(Command1, &QPushButton::clicked, this, &wVFWSettings::Command1_Click);
    connect(SetDefaults, &QPushButton::clicked, this, &wVFWSettings::SetDefaults_Click);

    auto* grid = new QGridLayout;
    int row = 0;
    auto* top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addWidget(Label1, 1);
    grid->addLayout(top, row++, 0, 1, 2);
    grid->addWidget(Label2, row++, 0, 1, 2);
    grid->addWidget(Yield[0], row, 0);
    grid->addWidget(Yield[1], row++, 1);
    grid->addWidget(Label3, row++, 0, 1, 2);
    grid->addWidget(Label4, row, 0);
    grid->addWidget(VideoBuffers, row++, 1);
    grid->addWidget(Label5, row, 0);
    grid->addWidget(AudioBuffers, row++, 1);
    grid->addWidget(DOSBuffers, row++, 0, 1, 2);
    grid->addWidget(Label8, row++, 0, 1, 2);
    grid->addWidget(DisableCache, row++, 0, 1, 2);
    grid->addWidget(Label6, row, 0);
    grid->addWidget(MaxIndexSize, row++, 1);
    grid->addWidget(Label7, row, 0);
    grid->addWidget(Chunk, row++, 1);
    grid->addWidget(Label9, row, 0);
    grid->addWidget(DroppedFrames, row++, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(SetDefaults);
    buttons->addStretch(1);
    buttons->addWidget(OK);
    buttons->addWidget(Command1);
    grid->addLayout(buttons, row++, 0, 1, 2);
    setLayout(grid);

    Form_Load();
}

void wVFWSettings::Form_Load() {
    const CAPTUREPARMS& p = MSVIDEO::CaptureParms;
    (p.fYield == 1 ? Yield[1] : Yield[0])->setChecked(true);
    VideoBuffers->setText(NumberToText(p.wNumVideoRequested));
    AudioBuffers->setText(NumberToText(p.wNumAudioRequested));
    DOSBuffers->setChecked(p.fUsingDOSMemory == 1);
    DisableCache->setChecked(p.fDisableWriteCache == 1);
    MaxIndexSize->setText(NumberToText(p.dwIndexSize));
    Chunk->setText(NumberToText(p.wChunkGranularity));
    // A percentage beyond the list selects nothing, and "OK" then keeps it.
    DroppedFrames->setCurrentIndex(p.wPercentDropForError <= 100 ? int(p.wPercentDropForError) : -1);
}

void wVFWSettings::OK_Click() {
    CAPTUREPARMS& p = MSVIDEO::CaptureParms;
    p.fYield = Yield[0]->isChecked() ? 0 : 1;
    p.wNumVideoRequested = TextToNumber(VideoBuffers->text());
    p.wNumAudioRequested = TextToNumber(AudioBuffers->text());
    p.fUsingDOSMemory = DOSBuffers->isChecked() ? 1 : 0;
    p.fDisableWriteCache = DisableCache->isChecked() ? 1 : 0;
    p.dwIndexSize = TextToNumber(MaxIndexSize->text());
    p.wChunkGranularity = TextToNumber(Chunk->text());
    if (DroppedFrames->currentIndex() >= 0) p.wPercentDropForError = UINT(DroppedFrames->currentIndex());
    // The video window reads the parameters back from the capture window whenever it
    // is activated: hand them over now, so a click on it does not undo this.
    MSVIDEO::CaptureResult = MSVIDEO::SetCaptureSetup(MSVIDEO::CaptureWindow, p);
    accept();
}

void wVFWSettings::Command1_Click() {
    reject();
}

void wVFWSettings::SetDefaults_Click() {
    Yield[1]->setChecked(true);
    VideoBuffers->setText(QStringLiteral("0"));
    AudioBuffers->setText(QStringLiteral("0"));
    DOSBuffers->setChecked(false);
    DisableCache->setChecked(true);
    MaxIndexSize->setText(QStringLiteral("324000"));
    Chunk->setText(QStringLiteral("0"));
    DroppedFrames->setCurrentIndex(10);
}
