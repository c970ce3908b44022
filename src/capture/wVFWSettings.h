#pragma once

#include "vfw.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// "Microsoft Video for Windows Advanced Settings": the capture parameters the driver's
// dialogs leave out (yield, buffers, write cache, index size, chunk granularity and
// the dropped-frames warning). Shown modally; "OK" stores the controls into
// MSVIDEO::CaptureParms and hands them to the capture window, so they hold for the
// next recording; "Cancel" stores nothing; "Defaults" fills the controls only.
class wVFWSettings : public QDialog {
    Q_OBJECT
public:
    explicit wVFWSettings(QWidget* parent = nullptr);

    // The numeric value of a text as the classic Val reads it (blanks anywhere are
    // ignored; the leading number counts, so "12abc" is 12 and "abc" is 0), rounded
    // half to even and kept within 0..4294967295, the range of the record's fields.
    static DWORD TextToNumber(const QString& text);
    // " 324000": the number with its leading blank.
    static QString NumberToText(DWORD value);
    // "Warn when drop  10 % of frames".
    static QString DroppedFramesEntry(int percent);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QRadioButton* Yield[2] = {nullptr, nullptr};
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* VideoBuffers = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* AudioBuffers = nullptr;
    QCheckBox* DOSBuffers = nullptr;
    QLabel* Label8 = nullptr;
    QCheckBox* DisableCache = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* MaxIndexSize = nullptr;
    QLabel* Label7 = nullptr;
    QLineEdit* Chunk = nullptr;
    QLabel* Label9 = nullptr;
    QComboBox* DroppedFrames = nullptr;
    QPushButton* OK = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* SetDefaults = nullptr;
    QLabel* Image1 = nullptr;

    void Form_Load();
    void OK_Click();
    void Command1_Click();
    void SetDefaults_Click();
};
