#include "mIntelJPEGLibrary.h"

#include "JpegEncoder.h"
#include "MsgBox.h"
#include "cDIBSection.h"

#include <QFile>
#include <QSaveFile>
#include <cstring>
#include <memory>
#include <optional>

struct JpegEncoderState {
    JpegEncoder encoder;
};

int ijlInit(JPEG_CORE_PROPERTIES* jcprops) {
    if (!jcprops || jcprops->jprops) return IJL_INVALID_JPEG_PROPERTIES;
    auto state = std::make_unique<JpegEncoderState>();
    if (!state->encoder.isValid()) return IJL_MEMORY_ERROR;
    jcprops->DIBChannels = 3;
    jcprops->DIBColor = IJL_BGR;
    jcprops->DIBSubsampling = IJL_NONE;
    jcprops->JPGChannels = 3;
    jcprops->JPGColor = IJL_YCBCR;
    jcprops->JPGSubSampling = IJL_411;
    jcprops->cconversion_reqd = 1;
    jcprops->upsampling_reqd = 1;
    jcprops->jquality = 75;
    jcprops->jprops = state.release();
    return IJL_OK;
}

namespace {

std::optional<JpegPixels> pixelsOf(const JPEG_CORE_PROPERTIES& p) {
    if (p.DIBChannels == 3 && p.DIBColor == IJL_BGR) return JpegPixels::Bgr;
    if (p.DIBChannels == 3 && p.DIBColor == IJL_RGB) return JpegPixels::Rgb;
    if (p.DIBChannels == 1 && p.DIBColor == IJL_G) return JpegPixels::Gray;
    return std::nullopt;
}

std::optional<JpegSubsampling> subsamplingOf(const JPEG_CORE_PROPERTIES& p) {
    if (p.JPGColor == IJL_G || p.JPGChannels == 1) return JpegSubsampling::Gray;
    switch (p.JPGSubSampling) {
    case IJL_NONE:
        return JpegSubsampling::None444;
    case IJL_422:
        return JpegSubsampling::Half422;
    case IJL_411:
        return JpegSubsampling::Quarter420;
    }
    return std::nullopt;
}

} // namespace

int ijlWrite(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype) {
    if (!jcprops || !jcprops->jprops) return IJL_INVALID_JPEG_PROPERTIES;
    if (iotype != IJL_JFILE_WRITEWHOLEIMAGE) return IJL_BAD_PARAMETER;
    const JPEG_CORE_PROPERTIES& p = *jcprops;
    const std::optional<JpegPixels> pixels = pixelsOf(p);
    const std::optional<JpegSubsampling> subsampling = subsamplingOf(p);
    const int height = p.DIBHeight < 0 ? -p.DIBHeight : p.DIBHeight;
    if (!p.DIBBytes || p.DIBWidth <= 0 || height <= 0 || p.DIBPadBytes < 0 || !pixels || !subsampling ||
        p.JPGWidth != p.DIBWidth || p.JPGHeight != height || p.jquality < 1 || p.jquality > 100)
        return IJL_BAD_PARAMETER;
    if (!p.JPGFile || !*p.JPGFile) return IJL_INVALID_FILENAME;

    // A negative DIB height means rows stored bottom-up; the file is always upright.
    const JpegPicture picture{p.DIBBytes, p.DIBWidth,
                              height,     p.DIBWidth * JpegEncoder::bytesPerPixel(*pixels) + p.DIBPadBytes,
                              *pixels,    p.DIBHeight < 0};
    const QByteArray jpeg = p.jprops->encoder.encode(picture, {*subsampling, int(p.jquality), false});
    if (jpeg.isEmpty()) return IJL_ENCODE_ERROR;
    // Encoded before the file is opened, so a picture that cannot be encoded leaves
    // an earlier file of that name as it was; written beside it and put in its place
    // only when whole, so a full disk or a failing write leaves no half a picture.
    QSaveFile file(QFile::decodeName(p.JPGFile));
    if (!file.open(QIODevice::WriteOnly)) return IJL_ERR_FILEOPEN;
    if (file.write(jpeg) != jpeg.size()) return IJL_ERR_FILEWRITE;
    if (!file.commit()) return IJL_ERR_FILEWRITE;
    jcprops->JPGSizeBytes = quint32(jpeg.size());
    return IJL_OK;
}

int ijlFree(JPEG_CORE_PROPERTIES* jcprops) {
    if (!jcprops) return IJL_INVALID_JPEG_PROPERTIES;
    delete jcprops->jprops;
    jcprops->jprops = nullptr;
    return IJL_OK;
}

bool WriteJpegFile(const cDIBSection& dib, const QString& path, int quality) {
    JPEG_CORE_PROPERTIES jcprops;
    std::memset(static_cast<void*>(&jcprops), 0, sizeof jcprops);
    const int init = ijlInit(&jcprops);
    if (init != IJL_OK) {
        MsgBox(QStringLiteral("Failed to initialise the IJL library: ") + QString::number(init),
               MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation, QString::fromLatin1(kAppTitle));
        return false;
    }
    jcprops.DIBBytes = dib.DIBSectionBitsPtr();
    jcprops.DIBWidth = dib.Width();
    jcprops.DIBHeight = -dib.Height();
    jcprops.DIBPadBytes = dib.BytesPerScanLine() - dib.Width() * 3;
    // The encoded path must outlive ijlWrite.
    const QByteArray file = QFile::encodeName(path);
    jcprops.JPGFile = file.constData();
    jcprops.JPGWidth = dib.Width();
    jcprops.JPGHeight = dib.Height();
    jcprops.jquality = quint32(quality);

    bool result = true;
    if (ijlWrite(&jcprops, IJL_JFILE_WRITEWHOLEIMAGE) != IJL_OK) {
        MsgBox(QStringLiteral("Failed to save to JPG"), MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation,
               QString::fromLatin1(kAppTitle));
        result = false;
    }
    ijlFree(&jcprops);
    return result;
}
