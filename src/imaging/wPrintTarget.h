#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

class QLabel;

// The window that printing goes through: never shown, one image control
// PrintImage in its top-left corner. It is made for one print and then dropped.
class wPrintTarget : public QWidget {
    Q_OBJECT
public:
    explicit wPrintTarget(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    QLabel* PrintImage() const { return m_printImage; }

    // Prints the window's client area (the picture at its place) on the default
    // printer. False, with the reason in `error`, when nothing could be printed.
    bool PrintForm(const QString& jobName, QString* error = nullptr);

private:
    QLabel* m_printImage = nullptr;
};
