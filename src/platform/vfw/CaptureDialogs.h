#pragma once

#include "VideoCompression.h"
#include "drivers/CaptureDriver.h"

#include <optional>

class QWidget;

// The capture window's modal dialogs. Each gives the choice on OK and nullopt on
// Cancel. Widgets carry object names (given below) so that tests can drive them.
namespace CaptureDialogs {

// "VideoSourceDialog" (SourceDialog): one widget per driver control, named
// "control_<id>" (QSlider, QCheckBox or QComboBox), applied to the driver as it
// changes. Cancel puts back the values the dialog started with.
void showSourceDialog(QWidget* parent, CaptureDriver& driver);

// "VideoFormatDialog": combo boxes "pixelFormat", "frameSize", "frameRate", and the
// label "formatNotes" saying why the device's other formats are not offered.
std::optional<VideoFormat> showFormatDialog(QWidget* parent, const std::vector<FormatOption>& formats,
                                            const VideoFormat& current, const QStringList& notes = {});

// "VideoDisplayDialog": check box "scale" (stretch the video to the window).
std::optional<bool> showDisplayDialog(QWidget* parent, bool scale);

// "VideoCompressionDialog": combo box "encoder" (data: the encoder name) and spin
// box "quality" (1..100).
std::optional<VideoCompression> showCompressionDialog(QWidget* parent,
                                                      const std::vector<VideoEncoderInfo>& encoders,
                                                      const VideoCompression& current);

} // namespace CaptureDialogs
