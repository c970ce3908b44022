#pragma once

#include "UpDown.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QWidget>
#include <array>

class Master;

// The scheduled start: starts the capture of the current mode after a countdown
// (tab 1) or at a chosen date and time (tab 2), and shows a running clock. Not
// modal; one window at a time. The capture action closes it as its first step, and
// closing it keeps the countdown in Vars::ScheduledStart* for the next opening and
// the parameters file. All timers read the Clock stand-in.
class wAutostart : public QWidget {
    Q_OBJECT
public:
    explicit wAutostart(Master& master);
    ~wAutostart() override;

    // Shows the window (loaded with the stored countdown), or raises the open one.
    static wAutostart* Show(Master& master);
    // The open window, or nullptr.
    static wAutostart* instance();
    // Closes the open window, if any (the capture action's first step).
    static void CloseIfOpen();

    // The clock, and keeping the chosen date and time from lying in the past.
    void CDTimer_Timer();
    // One second off the countdown; at 0:00:00 the capture starts.
    void tcountdown_Timer();
    // The capture starts on the first tick at or after the chosen moment.
    void tdata_Timer();
    void counttag_Click(int tab);
    // OK: arms the countdown (tab 1) or the date-and-time watch (tab 2).
    void start_Click();

    QTabBar* counttag;
    // Element 1 holds the date-and-time controls, element 2 the countdown controls.
    std::array<QFrame*, 3> countframe{}; // [0] unused
    UpDown* chor;
    UpDown* cmin;
    UpDown* csec;
    QLabel* dhor;
    QLabel* dmin;
    QLabel* dsec;
    UpDown* bh;
    UpDown* bm;
    UpDown* bs;
    QLabel* hd;
    QLabel* md;
    QLabel* sd;
    QComboBox* ano;
    QComboBox* mes;
    QComboBox* dia;
    std::array<QLabel*, 9> effects{};
    QLabel* RealDate;
    QLabel* RealTime;
    QTimer* CDTimer;
    QTimer* tcountdown;
    QTimer* tdata;
    QPushButton* start;
    QPushButton* cancelbutton;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    // The stored countdown into the countdown controls (values out of range are left).
    void Form_Activate();
    void buildControls();
    // Whether the present wall-clock date and time have reached the chosen ones
    // (ScheduledMomentHasCome).
    bool chosenMomentHasCome() const;
    // Calls the capture action once.
    void startCapture();

    Master& m;
};
