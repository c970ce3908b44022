#pragma once

#include "vfw.h"

#include <QDialog>
#include <QPoint>
#include <QSize>

class Master;

// The full-screen video window: covers the screen with a capture window of its own,
// connected to driver 0, and closes on any key (a modifier alone included). While it
// is open it holds MSVIDEO::CaptureWindow; closing it gives the handle of the video
// display window back.
class wMSVIDEOFullScreen : public QDialog {
    Q_OBJECT
public:
    explicit wMSVIDEOFullScreen(Master& m, QWidget* parent = nullptr);
    ~wMSVIDEOFullScreen() override;

    // Where a video of `video` size sits centred on a screen of `screen` pixels, each
    // coordinate rounded half to even.
    static QPoint centredPosition(QSize screen, QSize video);

    // The activation steps (connect, preview, place, tell the user how to leave).
    void Form_Activate();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Unload();

    Master& m_master;
    HWND m_previous = 0;
    HWND m_own = 0;
    bool m_activated = false;
};
