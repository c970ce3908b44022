#pragma once

#include <QDialog>

class Master;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// "Driver Information": what the connected driver reports about itself. Not modal.
// Each activation from another of the program's windows reads the driver's
// capabilities again and prints them below what is already there; coming back to it
// from another program does not.
class wVFWInfo : public QDialog {
    Q_OBJECT
public:
    explicit wVFWInfo(Master& master);

    // Shows the one information window (made on first use) and brings it to the front.
    static wVFWInfo* Show(Master& master);

    QLabel* DrvName = nullptr;
    QLabel* DrvVersion = nullptr;
    QPlainTextEdit* dVFW = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* ok_button = nullptr;

    void Form_Activate();

protected:
    bool event(QEvent* e) override;

private:
    void print(const QString& line);
    Master& m_master;
};
