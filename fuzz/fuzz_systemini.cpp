// "system.ini" as the installed-compressors window reads it: any bytes as the file,
// each VIDC entry looked up in a valid codec.kl.
#include "Codec.h"
#include "FuzzSupport.h"
#include "SystemDirectory.h"
#include "Vars.h"
#include "WinApi32.h"
#include "wCODECS.h"

#include <QTreeWidget>

namespace {

QString systemIni() {
    return WinApi32::WindowsDirectory() + QStringLiteral("system.ini");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSupport::startApplication();
    Vars::StartupDirectory = FuzzSupport::scratch().path();
    SystemDirectory::setPath(FuzzSupport::path("system"));
    systemIni(); // the first call writes the machine's own file; each input replaces it
    // A valid codec.kl: every byte one higher than it reads.
    QByteArray info;
    for (QByteArray line :
         {QByteArray(Codec::kCodecInfoHeader), QByteArray("MJPG Motion JPEG"), QByteArray("IV50 Indeo 5")}) {
        for (char& c : line)
            c = char(quint8(c) + 1);
        info += line + '\n';
    }
    FuzzSupport::writeFile(Codec::CodecInfoPath(), reinterpret_cast<const std::uint8_t*>(info.constData()),
                           std::size_t(info.size()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzSupport::writeFile(systemIni(), data, size);
    {
        wCODECS window;
        // Every entry has its three lines.
        for (int i = 0; i < window.codecs->topLevelItemCount(); ++i)
            FuzzSupport::require(window.codecs->topLevelItem(i)->childCount() == 3);
    }
    MsgBoxTest::clear();
    FuzzSupport::require(FuzzSupport::readFile(systemIni()) ==
                         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
