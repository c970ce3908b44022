#include "MainModule.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SetUpApplication();
    return StartUp();
}
