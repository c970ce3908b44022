#pragma once

#include "drivers/CaptureDriver.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <map>

class QLabel;

// The driver's source dialog ("VideoSourceDialog"): one widget per control, named
// "control_<id>" (QSlider, QCheckBox or QComboBox; a slider's number beside it is
// "value_<id>"), applied to the driver as it changes.
//
// A camera's controls depend on each other: a manual control is inactive (shown
// disabled) while its automatic one is on, and changing a control flagged as
// updating others reads every control back. A value the camera refuses is reported
// in "controlStatus" and the widget shows the camera's value again. A slider being
// dragged writes at most every kDragWriteMs (each write is a USB transfer on a
// webcam), and its last value when released. A speed control (pan, tilt, zoom in
// motion) returns to 0 when released. Cancel puts back the starting values,
// automatic controls first, so that the manual values they govern are taken.
class SourceDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDragWriteMs = 40;

    SourceDialog(QWidget* parent, CaptureDriver& driver);

    // Writes what a drag left waiting.
    void flush();
    // Puts back the values the dialog started with.
    void restore();

private:
    void addControl(const DriverControl& control);
    void change(std::uint32_t id, int value);
    bool write(std::uint32_t id, int value);
    void refresh();

    CaptureDriver& m_driver;
    std::vector<DriverControl> m_start;
    std::map<std::uint32_t, QWidget*> m_widgets;
    std::map<std::uint32_t, QLabel*> m_valueLabels; // the number beside each slider
    std::map<std::uint32_t, int> m_pending;         // drag values not yet written
    QTimer m_dragTimer;
    QLabel* m_status = nullptr;
};
