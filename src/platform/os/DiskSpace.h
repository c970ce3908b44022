#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

// Free space of the file system that holds a file.
namespace DiskSpace {

// Free bytes available to the user on the file system holding `filePath`'s folder
// (or its nearest existing ancestor). None for an empty or relative path or when
// the query fails.
std::optional<std::uint64_t> freeBytesFor(const QString& filePath);

// Test seam: replaces the query for every path until cleared (pass {}).
void setOverride(std::function<std::optional<std::uint64_t>(const QString&)> query);

} // namespace DiskSpace
