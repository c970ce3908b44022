#pragma once

#include <QString>
#include <QtGlobal>

class cDIBSection;

// The JPEG encoder's calling convention: a properties record that ijlInit fills
// with defaults, the caller completes, ijlWrite encodes from and ijlFree releases.
// Underneath is the platform's JPEG encoder; each call returns IJL_OK (0) or a
// negative error code.

enum IJLERR : int {
    IJL_OK = 0,
    IJL_INVALID_JPEG_PROPERTIES = -1,
    IJL_BAD_PARAMETER = -2,
    IJL_MEMORY_ERROR = -3,
    IJL_INVALID_FILENAME = -4,
    IJL_ERR_FILEOPEN = -5,
    IJL_ERR_FILEWRITE = -6,
    IJL_ENCODE_ERROR = -7,
    IJL_INTERNAL_ERROR = -8,
};

enum IJLIOTYPE : int { IJL_JFILE_WRITEWHOLEIMAGE = 8 };

enum IJL_COLOR : int { IJL_RGB = 1, IJL_BGR = 2, IJL_YCBCR = 3, IJL_G = 4 };

enum IJL_JPGSUBSAMPLING : int { IJL_NONE = 0, IJL_411 = 1, IJL_422 = 2 };

struct JpegEncoderState; // the library's own state, behind `jprops`

// The record's published shape. DIBHeight < 0 means the source rows are stored
// bottom-up; DIBPadBytes is what each source row carries after its pixels.
struct JPEG_CORE_PROPERTIES {
    quint32 UseJPEGPROPERTIES = 0;
    // The source picture.
    uchar* DIBBytes = nullptr;
    qint32 DIBWidth = 0;
    qint32 DIBHeight = 0;
    qint32 DIBPadBytes = 0;
    qint32 DIBChannels = 0;
    IJL_COLOR DIBColor = IJL_COLOR(0);
    IJL_JPGSUBSAMPLING DIBSubsampling = IJL_NONE;
    // The file.
    const char* JPGFile = nullptr; // 8-bit path, NUL-terminated
    uchar* JPGBytes = nullptr;
    quint32 JPGSizeBytes = 0;
    qint32 JPGWidth = 0;
    qint32 JPGHeight = 0;
    qint32 JPGChannels = 0;
    IJL_COLOR JPGColor = IJL_COLOR(0);
    IJL_JPGSUBSAMPLING JPGSubSampling = IJL_NONE;
    qint32 JPGThumbWidth = 0;
    qint32 JPGThumbHeight = 0;
    // Conversion flags and the quality, 1 to 100.
    quint32 cconversion_reqd = 0;
    quint32 upsampling_reqd = 0;
    quint32 jquality = 0;
    JpegEncoderState* jprops = nullptr;
};

// Fills the record with the defaults (3-channel BGR source, YCbCr 4:2:0 output,
// quality 75) and opens the encoder. The record must be zeroed first.
int ijlInit(JPEG_CORE_PROPERTIES* jcprops);
// Encodes the source into JPGFile as one baseline JPEG. The picture is encoded
// before the file is opened: a picture that cannot be encoded leaves an earlier
// file of that name untouched.
int ijlWrite(JPEG_CORE_PROPERTIES* jcprops, IJLIOTYPE iotype);
// Closes the encoder. Safe on a record whose ijlInit failed.
int ijlFree(JPEG_CORE_PROPERTIES* jcprops);

// Writes `dib` as a JPEG file of the given quality (1-100). On failure shows the
// encoder's message box and returns false.
bool WriteJpegFile(const cDIBSection& dib, const QString& path, int quality);
