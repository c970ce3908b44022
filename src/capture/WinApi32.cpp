#include "WinApi32.h"

#include "Launcher.h"
#include "MsgBox.h"
#include "SystemDirectory.h"

#include <QFileInfo>
#include <QtEndian>
#include <cstring>

namespace {

// Programs that show the machine's hardware and system, in order of preference.
const char* const kSystemInformationPrograms[] = {"hardinfo2", "hardinfo", "kinfocenter", "lshw-gtk"};

// The desktop's volume program and the argument that opens it on its recording streams.
const char* const kVolumeProgram = "pavucontrol";
const char* const kRecordingTab = "--tab=2";

constexpr Registry::DWORD kValueRoom = 1024;

QString unquoted(const QString& text) {
    const QString t = text.trimmed();
    if (t.size() >= 2 && t.startsWith(QLatin1Char('"')) && t.endsWith(QLatin1Char('"')))
        return t.mid(1, t.size() - 2);
    return t;
}

bool startProgramNamedInRegistry() {
    using namespace Registry;
    QString program;
    if (WinApi32::ReadRegistryValue(HKEY_LOCAL_MACHINE,
                                    QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                    QStringLiteral("PATH"), program) &&
        Launcher::start(unquoted(program)))
        return true;
    QString folder;
    if (WinApi32::ReadRegistryValue(HKEY_LOCAL_MACHINE,
                                    QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                    QStringLiteral("MSINFO"), folder)) {
        const QString file = unquoted(folder) + QStringLiteral("/msinfo32");
        if (QFileInfo::exists(file) && Launcher::start(file)) return true;
    }
    return false;
}

} // namespace

namespace WinApi32 {

bool ReadRegistryValue(Registry::HKEY root, const QString& keyPath, const QString& valueName, QString& text) {
    using namespace Registry;
    Key key;
    if (RegOpenKeyEx(root, keyPath, 0, 0x2003F, key.out()) != ERROR_SUCCESS) {
        text.clear();
        return false;
    }
    char buffer[kValueRoom];
    DWORD size = kValueRoom;
    DWORD type = REG_NONE;
    if (RegQueryValueEx(key.get(), valueName, &type, buffer, &size) != ERROR_SUCCESS) {
        text.clear();
        return false;
    }
    const QByteArray bytes(buffer, int(size));
    if (type == REG_SZ) {
        // Up to the terminating NUL, when the value was stored with one.
        const qsizetype end = bytes.indexOf('\0');
        text = QString::fromLocal8Bit(end < 0 ? bytes : bytes.left(end));
    } else if (type == REG_DWORD) {
        text = QString::number(qint32(BytesToNumber(bytes)));
    }
    return true;
}

void RunSystemInformation() {
    if (startProgramNamedInRegistry()) return;
    for (const char* name : kSystemInformationPrograms) {
        const QString program = Launcher::findOnPath(QString::fromLatin1(name));
        if (!program.isEmpty() && Launcher::start(program)) return;
    }
    MsgBox(QStringLiteral("System Information Is Unavailable At This Time"), MsgBoxStyle::vbOKOnly);
}

QString WindowsDirectory() {
    return SystemDirectory::prepared() + QLatin1Char('/');
}

QString StringFromPointer(const char* address, int n) {
    if (!address || n < 1) return {};
    const size_t room = size_t(n) * 2 - 1;
    return QString::fromLocal8Bit(address, qsizetype(qstrnlen(address, room)));
}

QByteArray NumberToBytes(quint32 value) {
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

quint32 BytesToNumber(const QByteArray& bytes) {
    char four[4] = {0, 0, 0, 0};
    std::memcpy(four, bytes.constData(), size_t(qMin<qsizetype>(4, bytes.size())));
    return qFromLittleEndian<quint32>(four);
}

QString ByteToBinary(quint8 value) {
    return QStringLiteral("%1").arg(value, 8, 2, QLatin1Char('0'));
}

quint8 BinaryToByte(const QString& digits) {
    return quint8(BinaryToNumber(digits));
}

QString NumberToBinary(quint32 value) {
    return QStringLiteral("%1").arg(value, 32, 2, QLatin1Char('0'));
}

quint32 BinaryToNumber(const QString& digits) {
    // The last 32 digits hold the value; wider text is cut to its low bits.
    bool ok = false;
    const quint32 value = digits.right(32).toUInt(&ok, 2);
    return ok ? value : 0;
}

bool VolumeProgramExists() {
    return !Launcher::findOnPath(QString::fromLatin1(kVolumeProgram)).isEmpty();
}

bool StartVolumeProgram() {
    const QString program = Launcher::findOnPath(QString::fromLatin1(kVolumeProgram));
    return !program.isEmpty() && Launcher::start(program);
}

bool StartRecordingSettings() {
    const QString program = Launcher::findOnPath(QString::fromLatin1(kVolumeProgram));
    return !program.isEmpty() && Launcher::start(program, {QString::fromLatin1(kRecordingTab)});
}

} // namespace WinApi32
