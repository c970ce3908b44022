#include "CameraSettings.h"

#include <QSettings>
#include <algorithm>

namespace CameraSettings {
namespace {

QString& settingsFile() {
    static QString path;
    return path;
}

// The link and the port together: two identical cameras share their by-id link.
QString groupName(const DeviceIdentity& identity) {
    return identity.byId.isEmpty() ? identity.key() : identity.byId + QLatin1Char('@') + identity.busInfo;
}

// A kept camera that is plugged in now at its own place is that camera, not this one.
bool presentElsewhere(const DeviceIdentity& kept, const DeviceIdentity& identity) {
    if (kept.samePlace(identity)) return false;
    for (const DriverList::Entry& entry : DriverList::entries())
        if (entry.present && entry.identity.samePlace(kept)) return true;
    return false;
}

DeviceIdentity readIdentity(QSettings& settings, const QString& group) {
    settings.beginGroup(group);
    DeviceIdentity identity{settings.value(QStringLiteral("Card")).toString(),
                            settings.value(QStringLiteral("BusInfo")).toString(),
                            settings.value(QStringLiteral("ById")).toString()};
    settings.endGroup();
    return identity;
}

// The kept group of this camera: the same device at the same place; else (moved to
// another port) the same by-id link, else the first of the same name, unless that
// camera is plugged in at its own place now (it is another of the same model).
QString findGroup(QSettings& settings, const DeviceIdentity& identity) {
    QString sameLink, sameCard;
    for (const QString& group : settings.childGroups()) {
        const DeviceIdentity kept = readIdentity(settings, group);
        if (kept.samePlace(identity)) return group;
        if (presentElsewhere(kept, identity)) continue;
        if (kept.sameDevice(identity) && sameLink.isEmpty()) sameLink = group;
        if (kept.card == identity.card && sameCard.isEmpty()) sameCard = group;
    }
    return sameLink.isEmpty() ? sameCard : sameLink;
}

// Buttons and relative moves act when written; they have no value to keep.
bool keepsValue(const DriverControl& control) {
    return control.kind != DriverControl::Kind::Button && control.kind != DriverControl::Kind::Steps;
}

} // namespace

void setFile(const QString& path) {
    settingsFile() = path;
}

namespace {
bool g_readOnly = false;
}

void setReadOnly(bool readOnly) {
    g_readOnly = readOnly;
}

QString file() {
    return settingsFile();
}

void save(const DeviceIdentity& identity, const CaptureDriver& driver) {
    if (settingsFile().isEmpty() || identity.isEmpty() || g_readOnly) return;
    QSettings settings(settingsFile(), QSettings::IniFormat);
    const QString group = groupName(identity);
    settings.setValue(QStringLiteral("LastCamera"), group);
    settings.remove(group); // controls the camera no longer has go too
    settings.beginGroup(group);
    settings.setValue(QStringLiteral("Card"), identity.card);
    settings.setValue(QStringLiteral("BusInfo"), identity.busInfo);
    settings.setValue(QStringLiteral("ById"), identity.byId);
    const VideoFormat format = driver.format();
    settings.setValue(QStringLiteral("FourCC"), format.fourcc);
    settings.setValue(QStringLiteral("Width"), format.size.width());
    settings.setValue(QStringLiteral("Height"), format.size.height());
    settings.setValue(QStringLiteral("IntervalNumerator"), format.interval.numerator);
    settings.setValue(QStringLiteral("IntervalDenominator"), format.interval.denominator);
    settings.beginGroup(QStringLiteral("Controls"));
    for (const DriverControl& control : driver.controls())
        if (keepsValue(control)) settings.setValue(QString::number(control.id), control.value);
    settings.endGroup();
    settings.endGroup();
}

bool restore(const DeviceIdentity& identity, CaptureDriver& driver,
             const std::function<bool(const VideoFormat&)>& setFormat) {
    if (settingsFile().isEmpty() || identity.isEmpty()) return false;
    QSettings settings(settingsFile(), QSettings::IniFormat);
    const QString group = findGroup(settings, identity);
    if (group.isEmpty()) return false;
    settings.beginGroup(group);
    VideoFormat format;
    format.fourcc = settings.value(QStringLiteral("FourCC")).toUInt();
    format.size = QSize(settings.value(QStringLiteral("Width")).toInt(),
                        settings.value(QStringLiteral("Height")).toInt());
    format.interval = {settings.value(QStringLiteral("IntervalNumerator"), 1).toUInt(),
                       settings.value(QStringLiteral("IntervalDenominator"), 30).toUInt()};
    if (format.fourcc && !(format == driver.format()))
        setFormat(format); // one the camera no longer has is refused
    // Automatic controls first: they decide whether the manual ones take a value.
    settings.beginGroup(QStringLiteral("Controls"));
    auto controls = driver.controls();
    std::stable_partition(controls.begin(), controls.end(),
                          [](const DriverControl& c) { return c.updatesOthers; });
    for (const DriverControl& control : controls) {
        const QVariant kept = settings.value(QString::number(control.id));
        if (!kept.isValid() || control.returnsToZero || !keepsValue(control)) continue;
        const int value = kept.toInt();
        // A slider's value outside a range the camera now has is clamped by the camera
        // (uvcvideo and the control framework clamp integers); a menu entry must exist.
        const bool fits = control.kind == DriverControl::Kind::Slider ||
                          (value >= control.minimum && value <= control.maximum);
        if (value != control.value && fits)
            driver.setControl(control.id, value); // an inactive one refuses: the automatic control rules
    }
    settings.endGroup();
    settings.endGroup();
    return true;
}

int lastCameraIndex() {
    if (settingsFile().isEmpty()) return -1;
    QSettings settings(settingsFile(), QSettings::IniFormat);
    const QString group = settings.value(QStringLiteral("LastCamera")).toString();
    if (group.isEmpty() || !settings.childGroups().contains(group)) return -1;
    const DeviceIdentity kept = readIdentity(settings, group);
    const auto entries = DriverList::entries();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].present && entries[i].identity.samePlace(kept)) return int(i);
    int sameCard = -1, sameCardCount = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const DeviceIdentity& present = entries[i].identity;
        if (!entries[i].present || present.isEmpty()) continue;
        if (present.sameDevice(kept)) return int(i);
        if (present.card == kept.card) sameCard = int(i), ++sameCardCount;
    }
    // Moved to another port, and nothing better tells it: its name, when only one camera has it.
    return sameCardCount == 1 ? sameCard : -1;
}

} // namespace CameraSettings
