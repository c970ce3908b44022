#include "UvcControls.h"

#include <cstring>
#include <iterator>

namespace camemu {
namespace {

// Menu names as the kernel gives them (v4l2_ctrl_get_menu in v4l2-ctrls-defs.c).
const char* const kPowerLine[] = {"Disabled", "50 Hz", "60 Hz", "Auto", nullptr};
const char* const kExposureAuto[] = {"Auto Mode", "Manual Mode", "Shutter Priority Mode",
                                     "Aperture Priority Mode", nullptr};

const UvcControlInfo kControls[] = {
    {V4L2_CID_BRIGHTNESS, "brightness", "Brightness", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_CONTRAST, "contrast", "Contrast", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_SATURATION, "saturation", "Saturation", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_HUE, "hue", "Hue", V4L2_CTRL_TYPE_INTEGER, V4L2_CID_HUE_AUTO, 0},
    {V4L2_CID_AUTO_WHITE_BALANCE, "white_balance_automatic", "White Balance, Automatic",
     V4L2_CTRL_TYPE_BOOLEAN},
    {V4L2_CID_GAMMA, "gamma", "Gamma", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_GAIN, "gain", "Gain", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_POWER_LINE_FREQUENCY, "power_line_frequency", "Power Line Frequency", V4L2_CTRL_TYPE_MENU, 0, 0,
     kPowerLine},
    {V4L2_CID_HUE_AUTO, "hue_automatic", "Hue, Automatic", V4L2_CTRL_TYPE_BOOLEAN},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "white_balance_temperature", "White Balance Temperature",
     V4L2_CTRL_TYPE_INTEGER, V4L2_CID_AUTO_WHITE_BALANCE, 0},
    {V4L2_CID_SHARPNESS, "sharpness", "Sharpness", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_BACKLIGHT_COMPENSATION, "backlight_compensation", "Backlight Compensation",
     V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_EXPOSURE_AUTO, "auto_exposure", "Auto Exposure", V4L2_CTRL_TYPE_MENU, 0, 0, kExposureAuto},
    {V4L2_CID_EXPOSURE_ABSOLUTE, "exposure_time_absolute", "Exposure Time, Absolute", V4L2_CTRL_TYPE_INTEGER,
     V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
    {V4L2_CID_EXPOSURE_AUTO_PRIORITY, "exposure_dynamic_framerate", "Exposure, Dynamic Framerate",
     V4L2_CTRL_TYPE_BOOLEAN},
    {V4L2_CID_PAN_RESET, "pan_reset", "Pan, Reset", V4L2_CTRL_TYPE_BUTTON, 0, 0, nullptr, true},
    {V4L2_CID_TILT_RESET, "tilt_reset", "Tilt, Reset", V4L2_CTRL_TYPE_BUTTON, 0, 0, nullptr, true},
    {V4L2_CID_PAN_ABSOLUTE, "pan_absolute", "Pan, Absolute", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_TILT_ABSOLUTE, "tilt_absolute", "Tilt, Absolute", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_FOCUS_ABSOLUTE, "focus_absolute", "Focus, Absolute", V4L2_CTRL_TYPE_INTEGER,
     V4L2_CID_FOCUS_AUTO, 0},
    {V4L2_CID_FOCUS_AUTO, "focus_automatic_continuous", "Focus, Automatic Continuous",
     V4L2_CTRL_TYPE_BOOLEAN},
    {V4L2_CID_ZOOM_ABSOLUTE, "zoom_absolute", "Zoom, Absolute", V4L2_CTRL_TYPE_INTEGER},
    // UVC_CT_ZOOM_RELATIVE_CONTROL, mapped as a signed speed.
    {V4L2_CID_ZOOM_CONTINUOUS, "zoom_continuous", "Zoom, Continuous", V4L2_CTRL_TYPE_INTEGER, 0, 0, nullptr,
     true},
    {V4L2_CID_IRIS_ABSOLUTE, "iris_absolute", "Iris, Absolute", V4L2_CTRL_TYPE_INTEGER},
    // UVC_CT_IRIS_RELATIVE_CONTROL: one step open (1) or closed (-1) per write.
    {V4L2_CID_IRIS_RELATIVE, "iris_relative", "Iris, Relative", V4L2_CTRL_TYPE_INTEGER, 0, 0, nullptr, true},
    // UVC_CT_PANTILT_RELATIVE_CONTROL, mapped as two signed speeds.
    {V4L2_CID_PAN_SPEED, "pan_speed", "Pan, Speed", V4L2_CTRL_TYPE_INTEGER},
    {V4L2_CID_TILT_SPEED, "tilt_speed", "Tilt, Speed", V4L2_CTRL_TYPE_INTEGER},
};

} // namespace

const UvcControlInfo* uvcControl(std::uint32_t id) {
    for (const UvcControlInfo& info : kControls)
        if (info.id == id) return &info;
    return nullptr;
}

const UvcControlInfo* uvcControlByName(const char* shortName) {
    for (const UvcControlInfo& info : kControls)
        if (std::strcmp(info.shortName, shortName) == 0) return &info;
    return nullptr;
}

const char* controlClassName(std::uint32_t classId) {
    switch (classId) {
    case V4L2_CTRL_CLASS_USER:
        return "User Controls";
    case V4L2_CTRL_CLASS_CAMERA:
        return "Camera Controls";
    default:
        return "Unknown";
    }
}

} // namespace camemu
