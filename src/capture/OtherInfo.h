#pragma once

#include <QString>
#include <array>

// The AVI information texts, part of the shared capture state: 0 copyright, 1 artist,
// 2 subject, 3 product, 4 source, 5 comments; 6 is kept and stored with the others but
// written nowhere. Empty at start; the parameters file saves and restores all seven.
namespace MSVIDEO {

inline std::array<QString, 7> OtherInfo;

inline void resetOtherInfo() {
    OtherInfo.fill(QString());
}

} // namespace MSVIDEO
