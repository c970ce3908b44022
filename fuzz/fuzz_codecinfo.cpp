// The codec information file "codec.kl": any bytes as the file, looked up for the
// codes the program asks for.
#include "Codec.h"
#include "FuzzSupport.h"
#include "Vars.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzSupport::startApplication();
    Vars::StartupDirectory = FuzzSupport::scratch().path();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzSupport::writeFile(Codec::CodecInfoPath(), data, size);
    for (const char* code : {"MJPG", "mjpg", "IV50", "", "ab", "\xe9\xe9\xe9\xe9", "MJPGX"}) {
        Codec::ReadCodecInfo(QString::fromLatin1(code));
        MsgBoxTest::clear();
    }
    // The reader writes nothing back.
    FuzzSupport::require(FuzzSupport::readFile(Codec::CodecInfoPath()) ==
                         QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
