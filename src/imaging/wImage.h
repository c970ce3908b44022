#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>

class CommonDialog;
class KeyedToolbar;
class PictureBox;
class QMdiArea;
class SmartPanel;

// A window showing one still picture in its picture box MasterImage, with a small
// toolbar (Mastertoolbar on the strip MasterPanel) to open a BMP or JPEG file into
// it, save it as BMP or JPEG, print it or copy it to the clipboard. It fits its
// size to the picture each time it becomes active. The caption names the picture.
//
// The main window makes these with create() (capture) or openPictureFile() (File
// menu); they live as MDI children until the user closes them. UI thread only.
class wImage : public QWidget {
    Q_OBJECT
public:
    explicit wImage(QWidget* parent = nullptr);
    ~wImage() override;

    // A new image window in `area`, captioned `caption`, not shown yet. The caller
    // puts the picture into MasterImage() (setPicture, setAutoRedraw(true), maybe
    // StampFrame) and calls showWindow().
    static wImage* create(QMdiArea* area, const QString& caption = QStringLiteral("Untitled "));

    // The one image window that image-capture mode reuses for every shot: made in
    // `area` on first use, and again after the user closed it. Not shown here.
    static wImage* mainInstance(QMdiArea* area);

    // The File menu's open of a picture: a new window in `area` with the file's
    // picture, captioned with the file's name, shown. A file that cannot be loaded
    // gives "Bad file format." and an empty window.
    static wImage* openPictureFile(QMdiArea* area, const QString& path);

    PictureBox* MasterImage() const { return m_image; }
    KeyedToolbar* Mastertoolbar() const { return m_toolbar; }
    SmartPanel* MasterPanel() const { return m_panel; }

    QString caption() const { return windowTitle(); }
    void setCaption(const QString& caption);

    // Shows the window (and its MDI frame), makes it active and lays it out.
    void showWindow();

    // Lays the window out around its picture (run on every activation).
    void Form_Activate();
    // The outer size the layout gives: the picture plus 20 px, the toolbar strip,
    // the caption bar and two borders.
    QSize layoutSize() const;

    // The toolbar's click, by button key; an unknown key does nothing.
    void Mastertoolbar_ButtonClick(const QString& key);

    // The commands after their dialogs. openFile keeps the old picture and caption
    // and says "Bad file format." when the file cannot be loaded. saveFile writes a
    // BMP or JPEG by the last three letters of `path` (lower case) and nothing for
    // any other ending.
    bool openFile(const QString& path);
    void saveFile(const QString& path);
    // Prints the composed picture on the default printer; a failure is shown.
    bool printImage();
    // Puts the composed picture on the clipboard and says "Image on Clipboard.".
    void copyToClipboard();

protected:
    void changeEvent(QEvent* event) override;

private:
    void attachToMdiFrame();
    // The toolbar strip: the toolbar's height + 4 px.
    int panelHeight() const;

    SmartPanel* m_panel = nullptr;
    KeyedToolbar* m_toolbar = nullptr;
    PictureBox* m_image = nullptr;
    bool m_frameHooked = false;
    std::unique_ptr<CommonDialog> m_dialog; // DialogBox: the Open and Save As dialogs
    static QPointer<wImage> s_main;
};
