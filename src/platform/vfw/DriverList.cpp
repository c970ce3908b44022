#include "DriverList.h"

#include "drivers/TestPatternDriver.h"
#include "drivers/V4l2Driver.h"

namespace DriverList {
namespace {

std::function<std::vector<Entry>()>& testProvider() {
    static std::function<std::vector<Entry>()> provider;
    return provider;
}

} // namespace

std::vector<Entry> entries() {
    if (testProvider()) return testProvider()();
    std::vector<Entry> list;
    for (const V4l2Node& node : V4l2Driver::captureNodes()) {
        list.push_back({node.cardName, node.driverVersion,
                        [node] { return std::unique_ptr<CaptureDriver>(new V4l2Driver(node)); }, node.path});
    }
    list.push_back({TestPatternDriver::driverName(), TestPatternDriver::driverVersion(),
                    [] { return std::unique_ptr<CaptureDriver>(new TestPatternDriver); },
                    QStringLiteral("test-pattern")});
    return list;
}

std::optional<Entry> entry(int index) {
    auto list = entries();
    if (index < 0 || index >= int(list.size())) return std::nullopt;
    return std::move(list[std::size_t(index)]);
}

std::unique_ptr<CaptureDriver> create(int index) {
    const auto list = entries();
    if (index < 0 || index >= int(list.size())) return nullptr;
    return list[std::size_t(index)].create();
}

void setEntriesForTest(std::function<std::vector<Entry>()> provider) {
    testProvider() = std::move(provider);
}

} // namespace DriverList
