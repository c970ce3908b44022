#pragma once

#include "drivers/CaptureDriver.h"

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <map>

class QLabel;

// The driver's source dialog ("VideoSourceDialog"): one widget per control, named
// "control_<id>" (QSlider, QCheckBox, QComboBox or QPushButton; a slider's number
// beside it is "value_<id>"; a relative control is two buttons, "less_<id>" and
// "more_<id>", in a widget "control_<id>"), applied to the driver as it changes.
//
// A camera's controls depend on each other: a manual control is inactive (shown
// disabled) while its automatic one is on. The camera announces such changes, and
// values another program sets, as events: the dialog reads them after each write and
// every kEventPollMs, and shows the controls anew. A value the camera refuses is
// reported in "controlStatus" and the widget shows the camera's value again. A slider
// being dragged writes at most every kDragWriteMs (each write is a USB transfer on a
// webcam), and its last value when released. A speed control (pan, tilt, zoom in
// motion) returns to 0 when released. A relative control or a button acts once per
// press and has no value to keep. Cancel puts back the starting values, automatic
// controls first, so that the manual values they govern are taken.
class SourceDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDragWriteMs = 40;
    static constexpr int kEventPollMs = 250;

    SourceDialog(QWidget* parent, CaptureDriver& driver);

    // Writes what a drag left waiting.
    void flush();
    // Puts back the values the dialog started with.
    void restore();
    // Reads the camera's announcements and shows what changed (the event timer's
    // handler).
    void takeControlChanges();

private:
    // Whether the control has a value to show and put back (not a button or a move).
    static bool keepsValue(const DriverControl& control);
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
    QTimer m_eventTimer;
    QLabel* m_status = nullptr;
};
