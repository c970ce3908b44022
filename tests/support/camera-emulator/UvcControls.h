#pragma once

// The controls a UVC camera can have, as uvcvideo maps them to V4L2 (its table of
// mappings in drivers/media/usb/uvc/uvc_ctrl.c): the V4L2 id, the name the kernel
// gives that id (v4l2_ctrl_get_name in v4l2-ctrls-defs.c), the type, and for a manual
// control its automatic master and the master's value that makes it manual
// (uvcvideo's master_id / master_manual: the control is V4L2_CTRL_FLAG_INACTIVE
// while the master has any other value), and whether it can only be written.

#include <cstdint>
#include <linux/videodev2.h>

namespace camemu {

struct UvcControlInfo {
    std::uint32_t id;
    const char* shortName; // as v4l2-ctl prints it, used in the configuration file
    const char* name;      // the kernel's name
    std::uint32_t type;    // V4L2_CTRL_TYPE_*
    std::uint32_t masterId = 0;
    std::int32_t masterManual = 0;
    const char* const* menu = nullptr; // menu item names by index (menus only)
    // No GET_CUR in uvcvideo's uvc_ctrls table (buttons, relative iris and zoom):
    // V4L2_CTRL_FLAG_WRITE_ONLY, and reading it is EACCES.
    bool writeOnly = false;
};

// The known controls, in id order, or nullptr.
const UvcControlInfo* uvcControl(std::uint32_t id);
const UvcControlInfo* uvcControlByName(const char* shortName);
// The control class of an id (V4L2_CTRL_ID2WHICH) and its kernel name.
const char* controlClassName(std::uint32_t classId);

} // namespace camemu
