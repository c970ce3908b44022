#include "TurboJpegPtr.h"

#include <turbojpeg.h>

void TurboJpegHandleDeleter::operator()(void* handle) const {
    tjDestroy(handle);
}

void TurboJpegBufferDeleter::operator()(unsigned char* buffer) const {
    tjFree(buffer);
}

TurboJpegHandlePtr makeTurboJpegCompressor() {
    return TurboJpegHandlePtr(tjInitCompress());
}

TurboJpegHandlePtr makeTurboJpegDecompressor() {
    return TurboJpegHandlePtr(tjInitDecompress());
}
