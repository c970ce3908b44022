#pragma once

#include <QByteArray>

class QIODevice;

// Reads a text file item by item, the way the classic comma- and line-delimited text
// input does: blanks before an item are skipped; an item ends at a comma or a line end
// (CR, LF or CR LF); an item that begins with a double quote runs to the closing quote
// (line ends included) and what follows up to the next comma or line end is dropped.
// Unquoted items lose their trailing blanks.
//
// Bytes are taken as they come (binary data, NULs); an item longer than kMaxItemBytes
// keeps only its first kMaxItemBytes bytes, the rest is read and dropped, so no item
// can grow without bound.
class ItemReader {
public:
    static constexpr qsizetype kMaxItemBytes = 4096;

    explicit ItemReader(QIODevice& device) : m_device(device) {}

    // The next item; false at the end of the file (a file ending in a line end has no
    // empty item after it).
    bool next(QByteArray& item);

private:
    bool get(char& c);
    void unget(char c);

    QIODevice& m_device;
    bool m_hasPending = false;
    char m_pending = 0;
};
