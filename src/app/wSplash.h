#pragma once

#include <QDialog>
#include <QLabel>
#include <QTimer>

// The splash window: the logo, centred on the screen, closing itself 4 s after it
// is activated.
class wSplash : public QDialog {
    Q_OBJECT
public:
    explicit wSplash(QWidget* parent = nullptr);

    QTimer* Timer1;
    QLabel* Logo;

    // Timer1's handler: stops the timer and closes the window.
    void Timer1_Timer();

    // Shows the window modal and returns once it has closed. Qt lets pending events
    // run while it shows a splash window, so the window may close (its timer, a test
    // driving it, the program ended from outside) before a dialog's own loop would
    // start: then this returns at once, where QDialog::exec() would wait for ever.
    void showUntilClosed();

protected:
    void showEvent(QShowEvent* event) override;
};
