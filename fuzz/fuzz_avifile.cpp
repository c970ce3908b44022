// The information chunk appended to a movie: any bytes as the file (RIFF walking over
// one or several RIFF chunks, OpenDML's AVIX). Either the file grows by exactly one
// LIST INFO chunk with one RIFF size raised by as much, or it is left as it was.
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
    // The chunk at the end, whole: "LIST", its size, "INFO" and the subchunks.
    FuzzSupport::require(after.size() > before.size());
    const QByteArray chunk = after.mid(before.size());
    FuzzSupport::require(chunk.startsWith("LIST") && chunk.mid(8, 4) == "INFO" &&
                         WinApi32::BytesToNumber(chunk.mid(4, 4)) == quint32(chunk.size() - 8));
    // Before it, the old bytes with one RIFF size (4 bytes) raised by the chunk's length.
    const QByteArray head = after.left(before.size());
    qsizetype changed = -1;
    for (qsizetype i = 0; i < head.size(); ++i)
        if (head[i] != before[i]) {
            changed = i;
            break;
        }
    FuzzSupport::require(changed >= 0);
    {
        // The size field follows a "RIFF" id; only it changed.
        qsizetype field = -1;
        for (qsizetype start = std::max<qsizetype>(0, changed - 3); start <= changed; ++start)
            if (start >= 4 && before.mid(start - 4, 4) == "RIFF" &&
                head.mid(start + 4) == before.mid(start + 4) && head.left(start) == before.left(start))
                field = start;
        FuzzSupport::require(field >= 0);
        FuzzSupport::require(WinApi32::BytesToNumber(head.mid(field, 4)) ==
                             WinApi32::BytesToNumber(before.mid(field, 4)) + quint32(chunk.size()));
    }
    return 0;
}
