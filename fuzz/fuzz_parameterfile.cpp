#include "ParameterFile.h"

#include <cstddef>
#include <cstdint>

// Any bytes: decoded, split into lines, every line read as a number of each width and
// as a list index; a text written back must read back as the same line.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ParameterFile file =
        ParameterFile::fromBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    while (const std::optional<QString> line = file.takeLine()) {
        const auto n16 = ParameterFile::toInt16(*line);
        const auto n32 = ParameterFile::toInt32(*line);
        const auto index = ParameterFile::toInteger(*line, -1, 3);
        if (n16 && (*n16 < -32768 || *n16 > 32767)) __builtin_trap();
        if (index && (*index < -1 || *index > 3)) __builtin_trap();
        if (n16 && (!n32 || *n32 != *n16)) __builtin_trap();
        ParameterFile out; // a text line comes back as it went, after the file's first line
        out.addText(QStringLiteral("Video Kelvanor File"));
        out.addText(*line);
        const ParameterFile back = ParameterFile::fromBytes(out.bytes());
        if (back.lines() != QStringList{QStringLiteral("Video Kelvanor File"), *line}) __builtin_trap();
    }
    return 0;
}
