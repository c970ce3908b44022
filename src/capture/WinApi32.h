#pragma once

#include "Registry.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Small helpers around the operating system: registry values, the program's system
// folder, the system-information and volume programs, 8-bit texts from the capture
// service, and the 32-bit little-endian byte texts of RIFF files.
namespace WinApi32 {

// Reads value `valueName` of key `keyPath` under `root` into `text`. Text values come
// without their terminating NUL (stored with or without one); a REG_DWORD gives the
// decimal text of the value taken as signed 32-bit. Another type answers true and
// leaves `text` as it was. A missing key or value, or one longer than 1024 bytes,
// answers false with `text` empty.
bool ReadRegistryValue(Registry::HKEY root, const QString& keyPath, const QString& valueName, QString& text);

// Starts the system-information program without waiting: the one the registry names,
// else the first of the usual ones found on PATH. When none starts, says
// "System Information Is Unavailable At This Time".
void RunSystemInformation();

// The program's system folder, with a trailing "/". Its system.ini is written on the
// first call of a run.
QString WindowsDirectory();

// The NUL-terminated 8-bit text at `address`, read no further than 2 * n - 1 bytes, as
// a program text. A null address or n < 1 gives the empty text.
QString StringFromPointer(const char* address, int n);

// The four bytes of `value`, least significant first, and back. BytesToNumber reads
// the first four bytes; missing ones count as 0.
QByteArray NumberToBytes(quint32 value);
quint32 BytesToNumber(const QByteArray& bytes);

// 8 or 32 binary digits, most significant first, padded with "0" on the left, and
// back. Text that is not binary digits reads as 0; a value too wide is cut to its low bits.
QString ByteToBinary(quint8 value);
quint8 BinaryToByte(const QString& digits);
QString NumberToBinary(quint32 value);
quint32 BinaryToNumber(const QString& digits);

// The desktop's volume program. Exists: whether it is installed (the main window
// enables "Recording Settings" and "Sound Volume" by it). The starts answer whether the
// program runs; a missing program is no error to show.
bool VolumeProgramExists();
bool StartVolumeProgram();
bool StartRecordingSettings();

} // namespace WinApi32
