#pragma once

#include "drivers/CaptureDriver.h"
#include "drivers/V4l2Device.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Who a device is, whatever node or position it has now.
struct DeviceIdentity {
    QString card;    // the device's own name ("HD Webcam C270")
    QString busInfo; // where it sits ("usb-0000:00:14.0-1")
    QString byId;    // its /dev/v4l/by-id link name, empty without udev

    bool isEmpty() const { return card.isEmpty() && busInfo.isEmpty() && byId.isEmpty(); }
    // Names this device on this machine for as long as it stays plugged in.
    QString key() const { return card + QLatin1Char('@') + busInfo; }
    // The same device: the same by-id link when both have one, else the same card on the same bus.
    bool sameDevice(const DeviceIdentity& other) const {
        if (!byId.isEmpty() && !other.byId.isEmpty()) return byId == other.byId;
        return card == other.card && busInfo == other.busInfo;
    }
    // The same device at the same place: udev gives identical cameras without a serial
    // number one by-id link, so only the link and the USB port (the bus) together tell
    // them apart.
    bool samePlace(const DeviceIdentity& other) const {
        return card == other.card && busInfo == other.busInfo && byId == other.byId;
    }
};

// The drivers of this machine by index: every V4L2 node that can capture, in node
// order, then the test pattern (driver 0 on a machine without cameras).
//
// The list is read once and then kept: an index names the device that held that
// position when the list was last read, never whatever node holds it later. refresh()
// reads it again (the device watcher calls it when nodes come and go) and tells
// notifier() when it changed. A device that went away while a capture window is
// connected to it keeps its entry, marked absent, so that the window's selection
// stays and the camera can come back to it.
//
// UI thread only.
namespace DriverList {

struct Entry {
    Entry(QString name, QString version, std::function<std::unique_ptr<CaptureDriver>()> create,
          QString key = QString(), DeviceIdentity identity = {})
        : name(std::move(name)), version(std::move(version)), create(std::move(create)), key(std::move(key)),
          identity(std::move(identity)) {}

    QString name;
    QString version;
    std::function<std::unique_ptr<CaptureDriver>()> create;
    // Names the device: windows connected to entries with the same non-empty key share
    // one opened driver (a camera streams to one reader only).
    QString key;
    DeviceIdentity identity;
    // The device node ("/dev/video0"); empty for the test pattern.
    QString node;
    // False for a device that went away while connected (its entry is kept).
    bool present = true;
    // What its node file is now (V4l2Node::nodeId); empty for the test pattern. A
    // device made again under the same name (a USB reset) changes the list.
    QString nodeId{};

    // What the list follows the entry by: its identity, else its key, else its name.
    QString followKey() const;
};

// Tells when the list changed.
class Notifier : public QObject {
    Q_OBJECT
signals:
    void changed();
};
Notifier* notifier();

// The entry at `index`, or nullopt.
std::optional<Entry> entry(int index);

std::vector<Entry> entries();

// The position of the present entry that is this device, or -1.
int indexOf(const DeviceIdentity& identity);
// The position of the entry followed by `followKey`, or -1.
int indexOfKey(const QString& followKey);

// The driver at `index`, not yet opened; null when there is none.
std::unique_ptr<CaptureDriver> create(int index);

// The folder whose video nodes the list shows ("/dev"), for the device watcher.
QString deviceFolder();

// Reads the devices again. True (and notifier()->changed()) when the list changed.
bool refresh();

// Test seam: replaces the list (an empty function restores the real one). The list
// is read again at its next use.
void setEntriesForTest(std::function<std::vector<Entry>()> provider);
// Test seam: the real list, with its V4L2 nodes read from `folder` (and its sysfs
// folder `sysFolder`) and opened through `factory`. An empty factory restores the real
// devices. The list is read again at its next use.
void setV4l2SourceForTest(std::function<std::unique_ptr<V4l2Device>()> factory, const QString& folder,
                          const QString& sysFolder = QString());

} // namespace DriverList
