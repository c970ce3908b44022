#include "wPrintTarget.h"

#include "Printer.h"

#include <QLabel>
#include <QPixmap>

wPrintTarget::wPrintTarget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("wPrintTarget"));
    m_printImage = new QLabel(this);
    m_printImage->setObjectName(QStringLiteral("PrintImage"));
    m_printImage->move(0, 0);
}

void wPrintTarget::setPicture(const QImage& picture) {
    m_printImage->setPixmap(QPixmap::fromImage(picture));
    m_printImage->resize(picture.size());
    resize(picture.size());
}

bool wPrintTarget::PrintForm(const QString& jobName, QString* error) {
    if (m_printImage->pixmap().isNull()) return Printer::printImage(QImage(), jobName, error);
    QImage client(size(), QImage::Format_RGB32);
    client.fill(Qt::white);
    render(&client);
    return Printer::printImage(client, jobName, error);
}
