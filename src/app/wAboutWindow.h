#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <array>

// The About window: the program's version, a text that scrolls up through its
// frame without end, and a slide show of four pictures that a click on the text
// pauses and resumes. There is one at a time: opened while closed it starts again
// (text below the frame, picture 0); opened while open, the open one comes to the
// front. "OK" closes it. Opened modal from the main toolbar, not modal from the Help
// menu.
class wAboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit wAboutWindow(QWidget* parent = nullptr);
    ~wAboutWindow() override;

    // The open About window, or nullptr.
    static wAboutWindow* instance();
    // Opens the window over `parent`, or brings the open one to the front. Modal: runs
    // the window's own loop and returns when it is closed (at once when one was open).
    static void Open(QWidget* parent, bool modal);

    QWidget* TextFrame;                  // the visible window onto the scrolling text
    QLabel* AboutText;                   // the picture holding the text, inside TextFrame
    std::array<QLabel*, 4> AboutPhoto{}; // one shown at a time, all in the same place
    QLabel* Build;                       // the version text
    QPushButton* Command1;               // "OK"
    QTimer* Timer1;                      // every 5 ms: moves the text
    QTimer* Timer2;                      // every 6 s: the next picture
    qint16 CurrentPhoto = 0;

    void Form_Load();
    // Moves the text up two pixels; once it has left the frame at the top it starts
    // again just below the frame.
    void Timer1_Timer();
    // Hides the picture shown and shows the next one, 0 after the last.
    void Timer2_Timer();
    // Pauses the slide show when it runs and resumes it when paused.
    void AboutText_Click();
    void Command1_Click();

    // The version text: " 3.01.05" for 3.1.5, " 3.02 Beta Release" for 3.0.2.
    static QString VersionText(int major, int minor, int revision);
    // What the scrolling text says.
    static QString aboutText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
