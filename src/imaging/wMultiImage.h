#pragma once

#include <QPointer>
#include <QWidget>

class PictureBox;
class QMdiArea;

// The bank window in which the multiple-image mode composes each shot: the picture
// box MasterImage (frame as picture, stamps drawn over it) and a caption telling
// where the shot went. One window for the program: instance() makes it on the
// first shot, unload() closes it when a run stops. It fits its size to the picture
// each time it becomes active. UI thread only.
class wMultiImage : public QWidget {
    Q_OBJECT
public:
    explicit wMultiImage(QWidget* parent = nullptr);

    // The bank window, made in `area` (top level when null) if there is none yet.
    static wMultiImage* instance(QMdiArea* area);
    // The bank window if one is open, else null.
    static wMultiImage* existing();
    // Closes and deletes the bank window, if any.
    static void unload();

    PictureBox* MasterImage() const { return m_image; }
    void setCaption(const QString& caption) { setWindowTitle(caption); }
    QString caption() const { return windowTitle(); }

    // Empties the drawing layer (the picture stays).
    void Cls();
    // Shows the window (and its MDI frame), makes it active and lays it out.
    void showWindow();

    // Lays the window out around its picture (run on every activation).
    void Form_Activate();
    // The outer size: the picture plus 20 px, the caption bar and two borders.
    QSize layoutSize() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    PictureBox* m_image = nullptr;
    static QPointer<wMultiImage> s_instance;
};
