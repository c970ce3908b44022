#include "Codec.h"

#include "DataFolders.h"
#include "ItemReader.h"
#include "MsgBox.h"
#include "Vars.h"

#include <QFile>

namespace Codec {

QString CodecInfoPath() {
    return Vars::StartupDirectory + QStringLiteral("/codec.kl");
}

QString FindCodecInfo() {
    return DataFolders::find(Vars::StartupDirectory, QStringLiteral("codec.kl"));
}

QByteArray Unshift(const QByteArray& item) {
    QByteArray text = item;
    for (char& c : text)
        c = char(quint8(c) - 1);
    return text;
}

QString ReadCodecInfo(const QString& code, bool* errorShown) {
    auto error = [errorShown](const char* text) {
        if (errorShown && *errorShown) return;
        MsgBox(QString::fromLatin1(text), MsgBoxStyle::vbCritical, QString::fromLatin1(kAppTitle));
        if (errorShown) *errorShown = true;
    };
    const QString path = FindCodecInfo();
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        error("ERROR C100: Can't find CODEC Information file.");
        return QString();
    }
    ItemReader items(file);
    QByteArray item;
    if (!items.next(item) || Unshift(item) != kCodecInfoHeader) {
        error("ERROR C101: Error in Script Alpha.");
        return QStringLiteral("Error");
    }
    // Codes are ASCII letters and digits: compare them by bytes, capitals on both sides.
    const QByteArray wanted = code.toLocal8Bit().toUpper();
    if (wanted.size() == 4) {
        while (items.next(item)) {
            const QByteArray line = Unshift(item);
            if (line.left(4).toUpper() == wanted) return QString::fromLocal8Bit(line.mid(5));
        }
    }
    return QStringLiteral("Unknown CODEC (") + code.toUpper() + QLatin1Char(')');
}

} // namespace Codec
