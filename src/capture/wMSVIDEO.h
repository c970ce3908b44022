#pragma once

#include <QSize>
#include <QWidget>

class Master;
class QMdiSubWindow;

// The video display window: a child window of the main window that owns the capture
// window of the device connection. It creates the capture window and connects
// MSVIDEO::DeviceIndex when it loads, fits itself to the video, re-reads the driver's
// records on every activation, and destroys the capture window when it unloads.
class wMSVIDEO : public QWidget {
    Q_OBJECT
public:
    // The open video display window, or nullptr.
    static wMSVIDEO* instance();
    // Loads a new video display window into the main window's MDI area and shows it.
    static wMSVIDEO* Show(Master& m);
    // Unloads the open window (if any): disconnects and destroys its capture window.
    static void Unload();

    // Window size for a video, in twips: the width holds one border and the video,
    // the height the caption, the video and two borders.
    static QSize windowSizeTwips(int videoWidth, int videoHeight);

    // Activation steps: front, fit, re-read caps, status and capture parameters.
    void RefreshWindow();

    // The window's size in twips as last fitted.
    QSize twipsSize() const { return m_twips; }

    ~wMSVIDEO() override;

private:
    explicit wMSVIDEO(QWidget* parent = nullptr);
    void Form_Load();
    void Form_Unload();
    void FitToVideo();
    QMdiSubWindow* frame() const;

    QSize m_twips;
    bool m_unloaded = false;
};
