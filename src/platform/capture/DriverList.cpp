#include "DriverList.h"

#include "SharedDriver.h"
#include "drivers/TestPatternDriver.h"
#include "drivers/V4l2Driver.h"

#include <algorithm>

namespace DriverList {
namespace {

std::function<std::vector<Entry>()>& testProvider() {
    static std::function<std::vector<Entry>()> provider;
    return provider;
}

struct V4l2Source {
    V4l2Driver::DeviceFactory listFactory = makePlainV4l2Device;
    V4l2Driver::DeviceFactory driverFactory = makeLibV4l2Device;
    QString folder = QStringLiteral("/dev");
    QString sysFolder = QStringLiteral("/sys/class/video4linux");
};

V4l2Source& v4l2Source() {
    static V4l2Source source;
    return source;
}

std::optional<std::vector<Entry>>& current() {
    static std::optional<std::vector<Entry>> list;
    return list;
}

std::vector<Entry> readDevices() {
    if (testProvider()) return testProvider()();
    std::vector<Entry> list;
    const V4l2Source& source = v4l2Source();
    for (const V4l2Node& node :
         V4l2Driver::captureNodes(source.listFactory, source.folder, source.sysFolder)) {
        const DeviceIdentity identity{node.card, node.busInfo, node.byId};
        // A node that cannot be opened has no identity; its path names it.
        const QString key = node.card.isEmpty() ? node.path : identity.key();
        list.push_back({node.cardName, node.driverVersion,
                        [node, factory = source.driverFactory, plain = source.listFactory] {
                            return std::unique_ptr<CaptureDriver>(new V4l2Driver(node, factory, plain));
                        },
                        key, node.card.isEmpty() ? DeviceIdentity{} : identity});
        list.back().node = node.path;
        list.back().nodeId = node.nodeId;
    }
    list.push_back({TestPatternDriver::driverName(), TestPatternDriver::driverVersion(),
                    [] { return std::unique_ptr<CaptureDriver>(new TestPatternDriver); },
                    QStringLiteral("test-pattern"),
                    DeviceIdentity{TestPatternDriver::driverName(), QStringLiteral("built-in"), QString()}});
    return list;
}

std::vector<Entry>& list() {
    if (!current()) current() = readDevices();
    return *current();
}

bool sameList(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Entry& x, const Entry& y) {
        return x.followKey() == y.followKey() && x.name == y.name && x.present == y.present &&
               x.nodeId == y.nodeId;
    });
}

} // namespace

QString Entry::followKey() const {
    if (!identity.isEmpty()) return identity.key();
    return key.isEmpty() ? name : key;
}

Notifier* notifier() {
    static Notifier instance;
    return &instance;
}

std::vector<Entry> entries() {
    return list();
}

std::optional<Entry> entry(int index) {
    const auto& entries = list();
    if (index < 0 || index >= int(entries.size())) return std::nullopt;
    return entries[std::size_t(index)];
}

int indexOf(const DeviceIdentity& identity) {
    const auto& entries = list();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].present && !entries[i].identity.isEmpty() && entries[i].identity.sameDevice(identity))
            return int(i);
    return -1;
}

int indexOfKey(const QString& followKey) {
    const auto& entries = list();
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].followKey() == followKey) return int(i);
    return -1;
}

std::unique_ptr<CaptureDriver> create(int index) {
    const auto chosen = entry(index);
    return chosen && chosen->create ? chosen->create() : nullptr;
}

QString deviceFolder() {
    return v4l2Source().folder;
}

bool refresh() {
    std::vector<Entry> fresh = readDevices();
    if (current()) {
        // A connected device that went away keeps its place, so its window keeps its entry.
        const std::vector<Entry>& old = *current();
        for (std::size_t i = 0; i < old.size(); ++i) {
            const Entry& gone = old[i];
            const bool stillThere = std::any_of(fresh.begin(), fresh.end(), [&](const Entry& e) {
                return e.followKey() == gone.followKey();
            });
            if (stillThere || gone.key.isEmpty() || !SharedDriver::inUse(gone.key)) continue;
            Entry kept = gone;
            kept.present = false;
            fresh.insert(fresh.begin() + std::ptrdiff_t(std::min(i, fresh.size())), std::move(kept));
        }
        if (sameList(old, fresh)) {
            current() = std::move(fresh); // same devices; nodes may have moved
            return false;
        }
    }
    current() = std::move(fresh);
    emit notifier()->changed();
    return true;
}

void setEntriesForTest(std::function<std::vector<Entry>()> provider) {
    testProvider() = std::move(provider);
    current().reset();
}

void setV4l2SourceForTest(std::function<std::unique_ptr<V4l2Device>()> factory, const QString& folder,
                          const QString& sysFolder) {
    if (factory)
        v4l2Source() = {factory, factory, folder,
                        sysFolder.isEmpty() ? folder + QStringLiteral("/sys") : sysFolder};
    else
        v4l2Source() = {};
    current().reset();
}

} // namespace DriverList
