// The information chunk appended to a movie: any bytes as the file (RIFF walking over
// one or several RIFF chunks, OpenDML's AVIX). Either the file grows by one LIST INFO
// chunk at an even offset, with one RIFF size raised to hold it, or it is left as it was.
#include "AviFile.h"
#include "FuzzSupport.h"
#include "WinApi32.h"

#include <array>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSupport::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString file = FuzzSupport::path("movie.avi");
    FuzzSupport::writeFile(file, data, size);
    const QByteArray before(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::array<QString, 7> texts{QStringLiteral("(c) 2000"),
                                       QStringLiteral("Artist"),
                                       QStringLiteral("Subject"),
                                       QStringLiteral("Product"),
                                       QStringLiteral("Source"),
                                       QStringLiteral("Comments, odd"),
                                       QString()};
    QString reason;
    const bool written = AviFile::WriteAviInfoChunk(file, texts, &reason);
    const QByteArray after = FuzzSupport::readFile(file);
    if (!written) {
        FuzzSupport::require(after == before && !reason.isEmpty());
        return 0;
    }
    // The chunk at the end, whole and at an even offset (after a pad byte the file
    // lacked): "LIST", its size, "INFO" and the subchunks.
    FuzzSupport::require(after.size() > before.size());
    const qsizetype at = before.size() + before.size() % 2;
    const QByteArray chunk = after.mid(at);
    FuzzSupport::require(chunk.startsWith("LIST") && chunk.mid(8, 4) == "INFO" &&
                         WinApi32::BytesToNumber(chunk.mid(4, 4)) == quint32(chunk.size() - 8));
    if (at > before.size()) FuzzSupport::require(after[before.size()] == '\0');
    // Before it, the old bytes with one RIFF size (4 bytes after a "RIFF" id) raised by
    // what was appended (and by the pad byte of the chunk that grows, now inside it).
    const QByteArray head = after.left(before.size());
    qsizetype field = -1;
    for (qsizetype i = 4; i + 4 <= head.size() && field < 0; ++i)
        if (head.mid(i, 4) != before.mid(i, 4) && before.mid(i - 4, 4) == "RIFF") field = i;
    FuzzSupport::require(field >= 0 && head.left(field) == before.left(field) &&
                         head.mid(field + 4) == before.mid(field + 4));
    const quint32 raised =
        WinApi32::BytesToNumber(head.mid(field, 4)) - WinApi32::BytesToNumber(before.mid(field, 4));
    const quint32 appended = quint32(after.size() - before.size());
    FuzzSupport::require(raised == appended || raised == appended + 1);
    return 0;
}
