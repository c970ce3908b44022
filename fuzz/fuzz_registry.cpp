// The registry file: any bytes as the store, read through the program's registry
// calls (the keys the program asks for, and typed values with small and large room).
#include "FuzzSupport.h"
#include "Registry.h"
#include "WinApi32.h"

#include <QFile>

using namespace Registry;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSupport::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A fresh name for each input: the settings cache never answers from an older file.
    static quint64 run = 0;
    const QString store = FuzzSupport::scratch().filePath(QStringLiteral("registry-%1.ini").arg(run++));
    FuzzSupport::writeFile(store, data, size);
    setStorePath(store);

    QString text;
    WinApi32::ReadRegistryValue(HKEY_LOCAL_MACHINE,
                                QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                                QStringLiteral("PATH"), text);
    WinApi32::ReadRegistryValue(HKEY_LOCAL_MACHINE,
                                QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                                QStringLiteral("MSINFO"), text);

    Key key;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, QStringLiteral("Software/Kelvanor"), 0, KEY_READ, key.out()) ==
        ERROR_SUCCESS) {
        for (const char* name : {"text", "number", "bytes", "typed", ""}) {
            DWORD type = 0;
            DWORD needed = 0;
            const LONG sized = RegQueryValueEx(key.get(), QString::fromLatin1(name), &type, nullptr, &needed);
            for (DWORD room : {DWORD(0), DWORD(1), DWORD(4), needed}) {
                // Guard bytes after the room: the call must never write past it.
                QByteArray buffer(qsizetype(room) + 16, '\x5a');
                DWORD got = room;
                const LONG result =
                    RegQueryValueEx(key.get(), QString::fromLatin1(name), &type, buffer.data(), &got);
                for (qsizetype i = qsizetype(room); i < buffer.size(); ++i)
                    FuzzSupport::require(buffer[i] == '\x5a');
                if (sized == ERROR_SUCCESS && room >= needed) FuzzSupport::require(result == ERROR_SUCCESS);
                if (result == ERROR_SUCCESS) FuzzSupport::require(got <= room);
            }
        }
    }
    // The readers write nothing back.
    FuzzSupport::require(FuzzSupport::readFile(store) ==
                         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QFile::remove(store);
    return 0;
}
