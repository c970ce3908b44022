#include "ItemReader.h"

#include <QIODevice>

bool ItemReader::get(char& c) {
    if (m_hasPending) {
        m_hasPending = false;
        c = m_pending;
        return true;
    }
    return m_device.getChar(&c);
}

void ItemReader::unget(char c) {
    m_pending = c;
    m_hasPending = true;
}

bool ItemReader::next(QByteArray& item) {
    item.clear();
    auto append = [&item](char c) {
        if (item.size() < kMaxItemBytes) item.append(c);
    };
    // A line end: CR LF counts as one.
    auto endOfLine = [this](char c) {
        if (c == '\r') {
            char after;
            if (get(after) && after != '\n') unget(after);
            return true;
        }
        return c == '\n';
    };

    char c;
    do {
        if (!get(c)) return false;
    } while (c == ' ' || c == '\t');

    if (c == '"') {
        bool closed = false;
        while (get(c)) {
            if (c == '"') {
                closed = true;
                break;
            }
            append(c);
        }
        // Whatever stands between the closing quote and the delimiter is not part of the item.
        if (closed)
            while (get(c) && c != ',' && !endOfLine(c)) {
            }
        return true;
    }

    while (c != ',' && !endOfLine(c)) {
        append(c);
        if (!get(c)) break;
    }
    while (!item.isEmpty() && (item.back() == ' ' || item.back() == '\t'))
        item.chop(1);
    return true;
}
