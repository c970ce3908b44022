#pragma once

#include <QByteArray>
#include <QString>

// The codec information file "codec.kl", the user's own in the start-up folder or the
// one installed with the program (DataFolders::find): one item per line,
// every character stored one code higher than it reads. The first item reads
// "KL2000 CODEC INFO 9091"; each further item is a four-character code, one separator
// character and the code's description.
namespace Codec {

inline constexpr const char* kCodecInfoHeader = "KL2000 CODEC INFO 9091";

// Start-up folder + "/codec.kl": where the user's own copy goes.
QString CodecInfoPath();

// The file read: CodecInfoPath() when it exists, else the first installed one; empty
// when there is none.
QString FindCodecInfo();

// An item as stored, shifted back: every byte one lower.
QByteArray Unshift(const QByteArray& item);

// The description of a four-character code (compared without regard to case), from a
// fresh read of the file:
// - file missing: "ERROR C100: Can't find CODEC Information file." in a box, and "";
// - first item wrong: "ERROR C101: Error in Script Alpha." in a box, and "Error";
// - no item for the code (or a code shorter than four characters): "Unknown CODEC (CODE)".
// The first item for a code wins.
// A window that looks up many codes passes `errorShown`: a box is shown only while it
// is false, and showing one sets it, so a missing or wrong file is said once, not once
// per code.
QString ReadCodecInfo(const QString& code, bool* errorShown = nullptr);

} // namespace Codec
