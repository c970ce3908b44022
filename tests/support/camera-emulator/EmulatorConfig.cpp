#include "EmulatorConfig.h"

#include "UvcControls.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <linux/videodev2.h>
#include <sstream>

namespace camemu {
namespace {

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

void complain(int line, const std::string& text) {
    std::fprintf(stderr, "camera emulator: line %d not understood: %s\n", line, text.c_str());
}

bool toUint(const std::string& text, std::uint32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (*end || v > 0xFFFFFFFFul) return false;
    value = std::uint32_t(v);
    return true;
}

// Seconds since the Unix epoch with up to nine decimals, as nanoseconds.
bool toInstantNs(const std::string& text, std::int64_t& value) {
    const auto dot = text.find('.');
    const std::string whole = text.substr(0, dot);
    std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    if (whole.empty() || whole.size() > 11 || fraction.size() > 9) return false;
    for (const std::string* part : {&whole, static_cast<const std::string*>(&fraction)})
        for (char c : *part)
            if (c < '0' || c > '9') return false;
    fraction.resize(9, '0');
    value = std::stoll(whole) * 1000000000 + std::stoll(fraction);
    return value > 0;
}

bool toInt(const std::string& text, std::int32_t& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end) return false;
    value = std::int32_t(v);
    return true;
}

bool parseSize(const std::string& text, std::uint32_t& w, std::uint32_t& h) {
    const auto x = text.find('x');
    return x != std::string::npos && toUint(text.substr(0, x), w) && toUint(text.substr(x + 1), h) && w && h;
}

// "30" (frames per second) or "30000/1001" (a frame rate as a fraction): the interval.
bool parseRate(const std::string& text, Fraction& interval) {
    const auto slash = text.find('/');
    std::uint32_t num = 0, den = 1;
    if (slash == std::string::npos) {
        if (!toUint(text, num)) return false;
    } else if (!toUint(text.substr(0, slash), num) || !toUint(text.substr(slash + 1), den)) {
        return false;
    }
    if (!num || !den) return false;
    interval = {den, num};
    return true;
}

std::uint32_t fourccOf(const std::string& name) {
    if (name.size() != 4) return 0;
    return v4l2_fourcc(name[0], name[1], name[2], name[3]);
}

bool knownFourcc(std::uint32_t fourcc) {
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_H264:
        return true;
    default:
        return false;
    }
}

// "1920x1080@30,15", "stepwise 160x120-1280x720/16x8@30", "continuous 160x120-640x480@5-30"
bool parseSizeConfig(const std::string& kind, const std::string& text, FrameSizeConfig& size) {
    const auto at = text.find('@');
    if (at == std::string::npos) return false;
    const std::string dims = text.substr(0, at), rates = text.substr(at + 1);
    if (kind.empty()) {
        size.type = V4L2_FRMSIZE_TYPE_DISCRETE;
        if (!parseSize(dims, size.width, size.height)) return false;
    } else {
        size.type = kind == "stepwise" ? V4L2_FRMSIZE_TYPE_STEPWISE : V4L2_FRMSIZE_TYPE_CONTINUOUS;
        const auto dash = dims.find('-');
        if (dash == std::string::npos) return false;
        std::string upper = dims.substr(dash + 1), steps;
        if (const auto slash = upper.find('/'); slash != std::string::npos) {
            steps = upper.substr(slash + 1);
            upper = upper.substr(0, slash);
        }
        if (!parseSize(dims.substr(0, dash), size.minWidth, size.minHeight) ||
            !parseSize(upper, size.maxWidth, size.maxHeight))
            return false;
        if (size.type == V4L2_FRMSIZE_TYPE_STEPWISE && !parseSize(steps, size.stepWidth, size.stepHeight))
            return false;
        if (size.minWidth > size.maxWidth || size.minHeight > size.maxHeight) return false;
        size.width = size.maxWidth;
        size.height = size.maxHeight;
    }
    if (const auto dash = rates.find('-'); dash != std::string::npos) {
        Fraction slow, fast;
        if (!parseRate(rates.substr(0, dash), slow) || !parseRate(rates.substr(dash + 1), fast)) return false;
        size.intervalRange = true;
        size.intervalMin = fast;
        size.intervalMax = slow;
        return true;
    }
    std::stringstream list(rates);
    for (std::string rate; std::getline(list, rate, ',');) {
        Fraction interval;
        if (!parseRate(rate, interval)) return false;
        size.intervals.push_back(interval);
    }
    return !size.intervals.empty();
}

bool parseFormat(const std::string& value, FormatConfig& format) {
    std::stringstream words(value);
    std::string name, word, kind;
    words >> name;
    format.fourcc = fourccOf(name);
    if (!knownFourcc(format.fourcc)) return false;
    while (words >> word) {
        if (word == "stepwise" || word == "continuous") {
            kind = word;
            continue;
        }
        FrameSizeConfig size;
        if (!parseSizeConfig(kind, word, size)) return false;
        format.sizes.push_back(size);
        kind.clear();
    }
    return !format.sizes.empty();
}

bool parseControl(const std::string& value, ControlConfig& control) {
    std::stringstream words(value);
    std::string name, minimum, maximum, step, def, menu;
    words >> name >> minimum >> maximum >> step >> def >> menu;
    const UvcControlInfo* info = uvcControlByName(name.c_str());
    if (!info) return false;
    control.id = info->id;
    if (info->type == V4L2_CTRL_TYPE_BUTTON) {
        control.minimum = 0;
        control.maximum = 0;
        control.step = 0;
        control.defaultValue = 0;
        return true;
    }
    if (!toInt(minimum, control.minimum) || !toInt(maximum, control.maximum) || !toInt(step, control.step) ||
        !toInt(def, control.defaultValue) || control.minimum > control.maximum)
        return false;
    if (info->type == V4L2_CTRL_TYPE_BOOLEAN && (control.minimum != 0 || control.maximum != 1)) return false;
    if (info->type == V4L2_CTRL_TYPE_MENU) {
        control.step = 1;
        std::stringstream list(menu);
        for (std::string index; std::getline(list, index, ',');) {
            std::uint32_t i = 0;
            if (!toUint(index, i) || i > 63) return false;
            control.menuMask |= std::uint64_t(1) << i;
        }
    }
    return control.step > 0 && control.defaultValue >= control.minimum &&
           control.defaultValue <= control.maximum;
}

bool parseQuirk(const std::string& value, Quirks& quirks) {
    std::stringstream words(value);
    std::string name, number;
    words >> name >> number;
    std::uint32_t n = 0;
    const bool hasNumber = toUint(number, n) && n > 0;
    if (name == "mjpeg-no-dht") return quirks.mjpegNoDht = true;
    if (name == "probe-rate") return parseRate(number, quirks.probeInterval);
    if (!hasNumber) return false;
    if (name == "mjpeg-padding")
        quirks.mjpegPadding = n;
    else if (name == "mjpeg-cut")
        quirks.mjpegCutEvery = n;
    else if (name == "mjpeg-warning")
        quirks.mjpegWarningEvery = n;
    else if (name == "error-buffer")
        quirks.errorEvery = n;
    else if (name == "empty-buffer")
        quirks.emptyEvery = n;
    else if (name == "queue-error-after")
        quirks.queueErrorAfter = n;
    else if (name == "unplug-after")
        quirks.unplugAfter = n;
    else if (name == "usb-reset-after")
        quirks.usbResetAfter = n;
    else if (name == "udev-permissions-ms")
        quirks.udevPermissionsMs = n;
    else
        return false;
    return true;
}

} // namespace

std::uint32_t controlIdByName(const std::string& name) {
    const UvcControlInfo* info = uvcControlByName(name.c_str());
    return info ? info->id : 0;
}

std::vector<CameraConfig> parseConfig(const std::string& text) {
    std::vector<CameraConfig> cameras;
    std::stringstream lines(text);
    int number = 0;
    for (std::string raw; std::getline(lines, raw);) {
        ++number;
        std::string line = trim(raw.substr(0, raw.find('#')));
        if (line.empty()) continue;
        if (line.rfind("camera ", 0) == 0) {
            cameras.emplace_back();
            cameras.back().node = trim(line.substr(7));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos || cameras.empty()) {
            complain(number, line);
            continue;
        }
        const std::string key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        CameraConfig& camera = cameras.back();
        bool ok = true;
        if (key == "card")
            camera.card = value.substr(0, 31);
        else if (key == "driver")
            camera.driver = value.substr(0, 15);
        else if (key == "bus")
            camera.bus = value.substr(0, 31);
        else if (key == "by-id")
            camera.byId = value;
        else if (key == "readwrite")
            camera.readWrite = value == "yes";
        else if (key == "source") {
            if (value.rfind("movie ", 0) == 0)
                camera.movie = trim(value.substr(6));
            else
                ok = value == "pattern";
        } else if (key == "movie-start")
            ok = toInstantNs(value, camera.movieStartNs);
        else if (key == "pattern-frames")
            ok = toUint(value, camera.patternFrames) && camera.patternFrames;
        else if (key == "mjpeg-sizeimage")
            ok = toUint(value, camera.mjpegBytesPerPixel) && camera.mjpegBytesPerPixel;
        else if (key == "format") {
            FormatConfig format;
            ok = parseFormat(value, format);
            if (ok) camera.formats.push_back(format);
        } else if (key == "control") {
            ControlConfig control;
            ok = parseControl(value, control);
            if (ok) camera.controls.push_back(control);
        } else if (key == "quirk")
            ok = parseQuirk(value, camera.quirks);
        else
            ok = false;
        if (!ok) complain(number, line);
    }
    std::vector<CameraConfig> usable;
    for (CameraConfig& camera : cameras)
        if (camera.node.rfind("/dev/", 0) == 0 && !camera.formats.empty())
            usable.push_back(std::move(camera));
    return usable;
}

std::vector<CameraConfig> readConfig(const std::string& path) {
    std::ifstream file(path);
    if (!file) return {};
    std::stringstream text;
    text << file.rdbuf();
    return parseConfig(text.str());
}

} // namespace camemu
