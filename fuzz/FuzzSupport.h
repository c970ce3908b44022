#pragma once

// What every fuzz target shares: a Qt application on the offscreen platform (made
// once, in LLVMFuzzerInitialize), message boxes in test mode (recorded, never shown),
// and one scratch folder for the files the readers are given.

#include "MsgBox.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace FuzzSupport {

inline void startApplication() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "*=false");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    MsgBoxTest::enable();
}

inline QTemporaryDir& scratch() {
    static QTemporaryDir dir;
    return dir;
}

inline QString path(const char* name) {
    return scratch().filePath(QString::fromLatin1(name));
}

inline void writeFile(const QString& path, const std::uint8_t* data, std::size_t size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort();
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A property of the program that the input broke: stop here so the fuzzer keeps it,
// naming the line that found it.
inline void require(bool condition, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
    if (condition) return;
    std::fprintf(stderr, "Broken property at %s:%d\n", file, line);
    std::abort();
}

} // namespace FuzzSupport
