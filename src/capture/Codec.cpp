#include "Codec.h"

#include "ItemReader.h"
#include "MsgBox.h"
#include "Vars.h"

#include <QFile>

namespace Codec {

QString CodecInfoPath() {
    return Vars::StartupDirectory + QStringLiteral("/codec.kl");
}

QByteArray Unshift(const QByteArray& item) {
    QByteArray text = item;
    for (char& c : text)
        c = char(quint8(c) - 1);
    return text;
}

QString ReadCodecInfo(const QString& code) {
    const QString title = QString::fromLatin1(kAppTitle);
    QFile file(CodecInfoPath());
    if (!file.open(QIODevice::ReadOnly)) {
        MsgBox(QStringLiteral("ERROR C100: Can't find CODEC Information file."), MsgBoxStyle::vbCritical,
               title);
        return QString();
    }
    ItemReader items(file);
    QByteArray item;
    if (!items.next(item) || Unshift(item) != kCodecInfoHeader) {
        MsgBox(QStringLiteral("ERROR C101: Error in Script Alpha."), MsgBoxStyle::vbCritical, title);
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
