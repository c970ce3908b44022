#pragma once

#include <QString>
#include <array>

// The information chunk of a finished AVI movie.
namespace AviFile {

// Appends a RIFF LIST "INFO" chunk made of `texts` (MSVIDEO::OtherInfo: copyright,
// artist, subject, product, source, comments) and the title "Video Kelvanor" to the AVI
// file `path`, and grows the enclosing RIFF chunk by the chunk's length. Texts are
// written as 8-bit text. In a file of several RIFF chunks (past 1 GB) the chunk that grows is the
// one that ends at the end of the file. A file that does not exist, is not an AVI
// movie, cannot be read and written, or whose RIFF chunk would pass 4 GB, is left as
// it was; the result is then false with the reason in `reason` (when given).
bool WriteAviInfoChunk(const QString& path, const std::array<QString, 7>& texts, QString* reason = nullptr);

} // namespace AviFile
