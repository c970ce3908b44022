#include "Clipboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace Clipboard {

QImage picture() {
    return QGuiApplication::clipboard()->image();
}

bool setPicture(const QImage& image) {
    if (image.isNull()) return false;
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(image);
    return true;
}

void clear() {
    QGuiApplication::clipboard()->clear();
}

} // namespace Clipboard
