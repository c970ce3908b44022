#pragma once

#include "drivers/CaptureDriver.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The drivers of this machine by index: every V4L2 node that can capture, in node
// order, then the test pattern (driver 0 on a machine without cameras). The list is
// read afresh on each call, so a camera plugged in later shows up.
namespace DriverList {

struct Entry {
    Entry(QString name, QString version, std::function<std::unique_ptr<CaptureDriver>()> create,
          QString key = QString())
        : name(std::move(name)), version(std::move(version)), create(std::move(create)), key(std::move(key)) {
    }

    QString name;
    QString version;
    std::function<std::unique_ptr<CaptureDriver>()> create;
    // Names the device: windows connected to entries with the same non-empty key share
    // one opened driver (a camera streams to one reader only).
    QString key;
};

// The entry at `index`, or nullopt.
std::optional<Entry> entry(int index);

std::vector<Entry> entries();

// The driver at `index`, not yet opened; null when there is none.
std::unique_ptr<CaptureDriver> create(int index);

// Test seam: replaces the list (an empty function restores the real one).
void setEntriesForTest(std::function<std::vector<Entry>()> provider);

} // namespace DriverList
