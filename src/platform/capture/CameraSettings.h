#pragma once

#include "DriverList.h"
#include "drivers/CaptureDriver.h"

#include <QString>

// Each camera's format and control values, and which camera was used last, kept
// between runs in an INI file of their own, keyed by the camera's identity. A camera
// is known again by its by-id link and its bus (USB port) together, else (moved to
// another port) by its by-id link, else by its card name alone; but never as a kept
// camera that is plugged in at its own place now: two identical cameras without
// serial numbers share their by-id link.
//
// No file is set until the program sets one: nothing is read or written then.
// UI thread only.
namespace CameraSettings {

void setFile(const QString& path);
// Read only: the kept values are restored, nothing is written (a capture from the
// command line uses the cameras as they are kept and changes nothing kept).
void setReadOnly(bool readOnly);
QString file();

// Keeps the driver's format and control values for this camera, and makes it the
// camera used last.
void save(const DeviceIdentity& identity, const CaptureDriver& driver);
// The kept values of this camera, if any: the format goes to `setFormat` (the driver
// must be able to take it), the control values straight to the driver. True when
// something was kept for it.
bool restore(const DeviceIdentity& identity, CaptureDriver& driver,
             const std::function<bool(const VideoFormat&)>& setFormat);

// The position in DriverList of the camera used last, or -1 when it is not there.
int lastCameraIndex();

} // namespace CameraSettings
