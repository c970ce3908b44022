#include "MainModule.h"

#include "ToolIcons.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("video-kelvanor"));
    QApplication::setApplicationDisplayName(QStringLiteral("Video Kelvanor 2000"));
    QApplication::setWindowIcon(ToolIcons::icon(QStringLiteral("record")));
    return StartUp();
}
