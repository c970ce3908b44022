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

protected:
    void showEvent(QShowEvent* event) override;
};
