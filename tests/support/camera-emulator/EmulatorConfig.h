#pragma once

// The cameras an emulator process shows, read from the file named by
// KV_CAMERA_EMULATOR_CONFIG. The file describes what is plugged in now: the emulator
// reads it again whenever it is replaced (write a new file, rename it over the old),
// so a camera block that goes away is an unplug and one that comes is a plug.
//
//   # comment
//   camera /dev/video42                 a node that does not exist on disk
//   card = Kelvanor Test Camera         VIDIOC_QUERYCAP's card (31 bytes at most)
//   driver = uvcvideo                   its driver (uvcvideo: no read(), privileges)
//   bus = usb-0000:00:14.0-1            its bus_info
//   by-id = usb-Kelvanor_Test_Camera-video-index0   a /dev/v4l/by-id link (optional)
//   readwrite = yes                     offers read() (V4L2_CAP_READWRITE); not for uvcvideo
//   source = pattern | movie /path/to/file          what the camera sees
//   movie-start = 1765450000.25         the movie plays once on the wall clock from
//                                       this CLOCK_REALTIME instant (see below)
//   pattern-frames = 30                 distinct pictures in the repeating cycle
//   format = MJPG 1920x1080@30,15 1280x720@30 640x480@30/1,15/1
//   format = YUYV stepwise 160x120-1280x720/16x8@30
//   format = NV12 continuous 160x120-640x480@5-30   (frame rates 5 to 30: a range)
//   mjpeg-sizeimage = 2                 MJPEG sizeimage in bytes per pixel (default 2)
//   control = brightness 0 255 1 128    name min max step default [menu indexes 1,3]
//   quirk = mjpeg-no-dht                see Quirks
//   quirk = probe-rate 25               the rate the camera's firmware really runs at
//
// Formats: MJPG, YUYV, NV12, YU12, RGB3, BGR3, H264. Rates are frames per second, or
// numerator/denominator of a frame rate.
//
// A movie without a start is a cycle of its first pictures, kept in memory. With a
// start it is a scene in front of the camera: it plays whole, once, in real time from
// that instant (before it the first picture shows, after its end the last), and every
// frame is the light the sensor gathered over its exposure, a whole frame interval
// from the frame's timestamp on (the start of exposure, V4L2_BUF_FLAG_TSTAMP_SRC_SOE,
// as uvcvideo stamps its buffers): a picture that changes within the exposure shows
// blended, as on a real sensor. Two processes given the same start film the same
// scene, and a sound played on the same clock is in step with it.
//
// Parsing never aborts: a line that cannot be read is reported on stderr and skipped.
//
// Processes on the same file share what the kernel keeps per device across processes:
// who holds each camera's stream (uvcvideo's privileges), as locks on files in the
// folder <file>.state beside it. With KV_CAMERA_EMULATOR_STATS naming a file, each
// stream's end appends a line there: the frames filled into buffers, the frames the
// camera sent while no buffer was queued, the frame times the emulator itself missed.

#include <cstdint>
#include <string>
#include <vector>

namespace camemu {

struct Fraction {
    std::uint32_t numerator = 0;
    std::uint32_t denominator = 0;
};

// One frame size of a format with its frame intervals (seconds per frame).
struct FrameSizeConfig {
    std::uint32_t type = 1; // V4L2_FRMSIZE_TYPE_DISCRETE, _CONTINUOUS, _STEPWISE
    std::uint32_t width = 0, height = 0;
    // Stepwise and continuous sizes.
    std::uint32_t minWidth = 0, maxWidth = 0, stepWidth = 1;
    std::uint32_t minHeight = 0, maxHeight = 0, stepHeight = 1;
    std::vector<Fraction> intervals; // discrete intervals, fastest first
    bool intervalRange = false;      // continuous intervals from intervalMin to intervalMax
    Fraction intervalMin, intervalMax;
};

struct FormatConfig {
    std::uint32_t fourcc = 0;
    std::vector<FrameSizeConfig> sizes;
};

struct ControlConfig {
    std::uint32_t id = 0;
    std::int32_t minimum = 0, maximum = 0, step = 1, defaultValue = 0;
    std::uint64_t menuMask = 0; // menu indexes offered (menus only); 0 = all
};

// Faults of real cameras, each off unless asked for.
struct Quirks {
    bool mjpegNoDht = false;             // MJPEG frames without Huffman tables
    std::uint32_t mjpegPadding = 0;      // bytes of zeros after the end marker
    std::uint32_t mjpegCutEvery = 0;     // every Nth frame cut off half way
    std::uint32_t mjpegWarningEvery = 0; // every Nth frame has bytes before its end marker
    std::uint32_t errorEvery = 0;        // every Nth buffer flagged V4L2_BUF_FLAG_ERROR
    std::uint32_t emptyEvery = 0;        // every Nth buffer with no bytes
    std::uint32_t queueErrorAfter = 0;   // vb2_queue_error after N frames
    std::uint32_t unplugAfter = 0;       // unplugged after N frames
    // A USB reset after N frames (usb_reset_device: uvcvideo's disconnect and probe):
    // the node goes and is made again at once, the same name and number but a new
    // node file; the camera that comes back has its defaults and no reset quirk.
    std::uint32_t usbResetAfter = 0;
    std::uint32_t udevPermissionsMs = 0; // 0600 root:root this long after a plug, then 0660 root:video
    // The camera's firmware answers this frame interval in its streaming probe whatever
    // the size's list and the rate asked for (uvc_probe_video): uvcvideo's S_PARM and
    // G_PARM answer it (uvc_v4l2_set_streamparm returns probe.dwFrameInterval), and the
    // camera streams at it. 0/0: the interval asked for, the nearest the list has.
    Fraction probeInterval{};
};

struct CameraConfig {
    std::string node;
    std::string card = "Emulated Camera";
    std::string driver = "uvcvideo";
    std::string bus = "usb-0000:00:14.0-1";
    std::string byId;
    bool readWrite = false;
    std::string movie; // empty: the test pattern
    // CLOCK_REALTIME nanoseconds of the movie's start; 0: the movie is a cycle.
    std::int64_t movieStartNs = 0;
    std::uint32_t patternFrames = 30;
    std::uint32_t mjpegBytesPerPixel = 2;
    std::vector<FormatConfig> formats;
    std::vector<ControlConfig> controls;
    Quirks quirks;
};

// Reads the file; cameras without a node or without formats are left out.
std::vector<CameraConfig> readConfig(const std::string& path);
std::vector<CameraConfig> parseConfig(const std::string& text);

// The V4L2 id of a control by its name as v4l2-ctl prints it ("brightness"), or 0.
std::uint32_t controlIdByName(const std::string& name);

} // namespace camemu
