#pragma once

#include <memory>

// Owners of the TurboJPEG objects: a compressor or decompressor handle (tjhandle is
// a void*), and an output buffer the library allocated. The header does not name
// the library, so that a class holding a handle can keep it out of its own header.
struct TurboJpegHandleDeleter {
    void operator()(void* handle) const; // tjDestroy
};
struct TurboJpegBufferDeleter {
    void operator()(unsigned char* buffer) const; // tjFree
};

using TurboJpegHandlePtr = std::unique_ptr<void, TurboJpegHandleDeleter>;
using TurboJpegBufferPtr = std::unique_ptr<unsigned char, TurboJpegBufferDeleter>;

// A new compressor or decompressor; null when the library cannot make one.
TurboJpegHandlePtr makeTurboJpegCompressor();
TurboJpegHandlePtr makeTurboJpegDecompressor();
