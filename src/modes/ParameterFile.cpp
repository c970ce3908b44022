#include "ParameterFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <cmath>

namespace {

const QByteArray kLineEnd = QByteArrayLiteral("\r\n");

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

} // namespace

void ParameterFile::addText(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            line += QLatin1Char(' ');
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
        } else if (c == QLatin1Char('\n')) {
            line += QLatin1Char(' ');
        } else {
            line += c;
        }
    }
    m_lines << line;
}

void ParameterFile::addNumber(qint64 value) {
    m_lines << (value >= 0 ? QLatin1Char(' ') + QString::number(value) : QString::number(value));
}

void ParameterFile::addMarker(bool state, const char* on, const char* off) {
    m_lines << QLatin1String(state ? on : off);
}

QByteArray ParameterFile::bytes() const {
    QByteArray out;
    for (const QString& line : m_lines)
        out += line.toUtf8() + kLineEnd;
    return out;
}

bool ParameterFile::write(const QString& path, QString* reason) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (reason) *reason = file.errorString();
        return false;
    }
    const QByteArray data = bytes();
    if (file.write(data) != data.size() || !file.commit()) {
        if (reason) *reason = file.errorString();
        return false;
    }
    return true;
}

bool ParameterFile::read(const QString& path, QString* reason) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (reason) *reason = file.errorString();
        return false;
    }
    *this = fromBytes(file.read(kMaxBytes));
    return true;
}

QString ParameterFile::fromWindows1252(const QByteArray& bytes) {
    // 0x80..0x9F; the rest of the code page is ISO 8859-1.
    static const char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        text += (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
    }
    return text;
}

ParameterFile ParameterFile::fromBytes(const QByteArray& bytes) {
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);

    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (utf8.hasError()) text = fromWindows1252(data);

    ParameterFile file;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
        file.m_lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) ++i;
        start = i + 1;
    }
    if (start < text.size()) file.m_lines << text.mid(start); // a last line without its CR LF
    return file;
}

std::optional<QString> ParameterFile::takeLine() {
    if (m_next >= m_lines.size()) return std::nullopt;
    return m_lines.at(m_next++);
}

std::optional<qint64> ParameterFile::toInteger(const QString& line, qint64 minimum, qint64 maximum) {
    qsizetype i = 0;
    const qsizetype n = line.size();
    while (i < n && (line.at(i) == QLatin1Char(' ') || line.at(i) == QLatin1Char('\t')))
        ++i;
    const qsizetype begin = i;
    if (i < n && (line.at(i) == QLatin1Char('+') || line.at(i) == QLatin1Char('-'))) ++i;
    qsizetype digits = 0;
    while (i < n && isDigit(line.at(i)))
        ++i, ++digits;
    if (i < n && line.at(i) == QLatin1Char('.')) {
        ++i;
        while (i < n && isDigit(line.at(i)))
            ++i, ++digits;
    }
    if (digits == 0) return 0 >= minimum && 0 <= maximum ? std::optional<qint64>(0) : std::nullopt;
    // An exponent counts only with at least one digit of its own.
    if (i < n && (line.at(i) == QLatin1Char('e') || line.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        if (j < n && (line.at(j) == QLatin1Char('+') || line.at(j) == QLatin1Char('-'))) ++j;
        if (j < n && isDigit(line.at(j))) {
            while (j < n && isDigit(line.at(j)))
                ++j;
            i = j;
        }
    }
    QString number = line.mid(begin, i - begin);
    if (number.endsWith(QLatin1Char('.'))) number.chop(1); // "5." is 5
    if (number.startsWith(QLatin1Char('.')) || number.startsWith(QLatin1String("-.")) ||
        number.startsWith(QLatin1String("+.")))
        number.insert(number.indexOf(QLatin1Char('.')), QLatin1Char('0'));
    bool ok = false;
    const double value = number.toDouble(&ok); // C locale, whatever the user's
    if (!ok || !std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value); // half to even in the default rounding mode
    if (rounded < double(minimum) || rounded > double(maximum)) return std::nullopt;
    return qint64(rounded);
}
