#include "AviFile.h"

#include "WinApi32.h"

#include <QFile>
#include <optional>

namespace {

struct Subchunk {
    const char* id;
    int index; // into the texts; -1 for the fixed title
};

// The order in which the subchunks are written.
constexpr Subchunk kSubchunks[] = {{"ICOP", 0}, {"IART", 1}, {"ICMT", 5}, {"INAM", -1},
                                   {"IPRD", 3}, {"ISBJ", 2}, {"ISRC", 4}};

const char* const kTitle = "Video Kelvanor";

// id, size n + 1, the text, its NUL, and a pad byte when n + 1 is odd (not counted in
// the size) so that the next subchunk starts at an even offset.
QByteArray subchunk(const char* id, const QByteArray& text) {
    QByteArray out(id, 4);
    out += WinApi32::NumberToBytes(quint32(text.size() + 1));
    out += text;
    out += '\0';
    if ((text.size() + 1) % 2) out += '\0';
    return out;
}

QByteArray infoChunk(const std::array<QString, 7>& texts) {
    QByteArray info("INFO");
    for (const Subchunk& s : kSubchunks)
        info += subchunk(s.id, s.index < 0 ? QByteArray(kTitle) : texts[size_t(s.index)].toLocal8Bit());
    return "LIST" + WinApi32::NumberToBytes(quint32(info.size())) + info;
}

QByteArray readAt(QFile& file, qint64 offset, qint64 length) {
    if (!file.seek(offset)) return {};
    return file.read(length);
}

// Offset of the RIFF chunk whose data ends at the end of the file (after its pad byte,
// if any); none when the chain of RIFF chunks does not lead there.
std::optional<qint64> lastRiffChunk(QFile& file) {
    const qint64 fileSize = file.size();
    qint64 offset = 0;
    while (true) {
        const QByteArray header = readAt(file, offset, 8);
        if (header.size() < 8 || !header.startsWith("RIFF")) return std::nullopt;
        const qint64 size = WinApi32::BytesToNumber(header.mid(4));
        const qint64 end = offset + 8 + size + (size % 2);
        if (end == fileSize || offset + 8 + size == fileSize) return offset;
        if (end > fileSize) return std::nullopt;
        offset = end;
    }
}

} // namespace

namespace AviFile {

bool WriteAviInfoChunk(const QString& path, const std::array<QString, 7>& texts, QString* reason) {
    auto fail = [reason](const QString& why) {
        if (reason) *reason = why;
        return false;
    };
    QFile file(path);
    if (!file.exists()) return fail(QStringLiteral("the file does not exist"));
    if (!file.open(QIODevice::ReadWrite)) return fail(file.errorString());
    const QByteArray header = readAt(file, 0, 12);
    if (header.size() < 12 || !header.startsWith("RIFF") || header.mid(8, 4) != "AVI ")
        return fail(QStringLiteral("it is not an AVI movie"));

    const qint64 oldFileSize = file.size();
    // Chunks start at even offsets: after a last chunk of odd size whose pad byte is
    // missing, the pad byte comes first (and counts in the RIFF chunk that grows).
    const QByteArray chunk = (oldFileSize % 2 ? QByteArray(1, '\0') : QByteArray()) + infoChunk(texts);
    // A file whose sizes do not add up has its first RIFF size grown as found.
    const auto riff = lastRiffChunk(file);
    const qint64 riffOffset = riff.value_or(0);
    const qint64 oldRiffSize = WinApi32::BytesToNumber(readAt(file, riffOffset + 4, 4));
    const qint64 newRiffSize =
        riff ? oldFileSize + chunk.size() - (riffOffset + 8) : oldRiffSize + chunk.size();
    if (newRiffSize > qint64(0xFFFFFFFFu)) return fail(QStringLiteral("the movie is too large for it"));

    if (!file.seek(oldFileSize) || file.write(chunk) != chunk.size() || !file.flush()) {
        const QString why = file.errorString();
        file.resize(oldFileSize);
        return fail(why);
    }
    if (!file.seek(riffOffset + 4) || file.write(WinApi32::NumberToBytes(quint32(newRiffSize))) != 4 ||
        !file.flush()) {
        const QString why = file.errorString();
        file.resize(oldFileSize);
        return fail(why);
    }
    return true;
}

} // namespace AviFile
