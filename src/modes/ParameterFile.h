#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

// The line format of the capture parameters file: one value per line, every line
// (the last too) ended by CR LF. Three kinds of line: text as it is, numbers with a
// sign position (" 5", "-1") and two-letter on/off markers.
//
// Writing collects lines and replaces the file in one step. Reading takes the lines
// of a file in order; a file is decoded as UTF-8 when its bytes are valid UTF-8 and
// as Windows-1252 otherwise, so files from older Windows set-ups keep their letters.
class ParameterFile {
public:
    ParameterFile() = default;

    // ---- Writing ----------------------------------------------------------------

    // A text line. Each line break in `text` (CR LF, CR or LF) becomes one blank, so
    // the lines after it stay in step.
    void addText(const QString& text);
    // A number line: " 5", " 0", "-1".
    void addNumber(qint64 value);
    // `on` or `off` as its own line.
    void addMarker(bool state, const char* on, const char* off);

    // The file's bytes: UTF-8, CR LF after every line.
    QByteArray bytes() const;
    // Replaces `path` in one step (a temporary file beside it, then a rename), so a
    // crash or a full disk never leaves half a file. On failure `reason` says why.
    bool write(const QString& path, QString* reason = nullptr) const;

    // ---- Reading ----------------------------------------------------------------

    // The lines of `path`; false (and `reason`) when it cannot be read. Only the first
    // kMaxBytes of a file are looked at: a parameters file is a few hundred bytes.
    bool read(const QString& path, QString* reason = nullptr);
    // The lines of `bytes` (CR LF, CR or LF end a line; a UTF-8 byte-order mark is dropped).
    static ParameterFile fromBytes(const QByteArray& bytes);

    // The next line, or nothing when the file has run out.
    std::optional<QString> takeLine();

    // The numeric value at the start of `line`: leading blanks skipped, an optional
    // sign, digits, a decimal point and an exponent; reading stops at the first
    // character that cannot belong to the number, and a line without one reads 0.
    // The value is rounded to an integer (half to even); nothing when it does not fit
    // between `minimum` and `maximum` (the field's width or the control's range).
    static std::optional<qint64> toInteger(const QString& line, qint64 minimum, qint64 maximum);
    static std::optional<qint64> toInt16(const QString& line) { return toInteger(line, -32768, 32767); }
    static std::optional<qint64> toInt32(const QString& line) {
        return toInteger(line, -2147483647LL - 1, 2147483647LL);
    }

    // Windows-1252 bytes as text (the five unassigned bytes map to the C1 controls).
    static QString fromWindows1252(const QByteArray& bytes);

    const QStringList& lines() const { return m_lines; }

    static constexpr qint64 kMaxBytes = 1 << 20;

private:
    QStringList m_lines;
    qsizetype m_next = 0;
};
